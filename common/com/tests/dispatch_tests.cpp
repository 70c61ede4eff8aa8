#include <gtest/gtest.h>

#include <algorithm>
#include <thread>
#include <vector>

#include "bstr.h"
#include "strings.h"
#include "com/error_info.h"
#include "com/type_attributes.h"
#include "com/type_library.h"
#include "com/type_library_registration.h"
#include "com_fixture.h"
#include "com_ptr.h"
#include "registry.h"
#include "testing/registry_sandbox.h"
#include "variant.h"

using namespace tandem;
using namespace tandem::test;

namespace {

// The unmarshal class of the free-threaded marshaler, spelled out: the
// symbol this compiler's libraries give it holds another value.
constexpr CLSID kFreeThreadedUnmarshaler = {0x0000033A, 0x0000, 0x0000, {0xC0, 0, 0, 0, 0, 0, 0, 0x46}};

DISPID IdOf(IDispatch* dispatch, const wchar_t* name) {
    std::wstring text(name);
    LPOLESTR names[] = {text.data()};
    DISPID id = DISPID_UNKNOWN;
    CheckHr(dispatch->GetIDsOfNames(IID_NULL, names, 1, LOCALE_USER_DEFAULT, &id));
    return id;
}

HRESULT HrOfIdOf(IDispatch* dispatch, const wchar_t* name) {
    return CatchHr([&] { IdOf(dispatch, name); });
}

HRESULT HrOf(const auto& f) { return CatchHr(f); }

// Arguments in call order; Invoke wants them reversed.
HRESULT Call(IDispatch* dispatch, DISPID id, WORD flags, std::vector<Variant> arguments, Variant& result,
             EXCEPINFO* exception = nullptr) {
    std::reverse(arguments.begin(), arguments.end());
    std::vector<VARIANTARG> raw;
    for (Variant& argument : arguments) raw.push_back(argument.get());
    DISPID put = DISPID_PROPERTYPUT;
    DISPPARAMS params{raw.data(), flags == DISPATCH_PROPERTYPUT ? &put : nullptr, static_cast<UINT>(raw.size()),
                      flags == DISPATCH_PROPERTYPUT ? 1u : 0u};
    UINT argumentError = 0;
    return dispatch->Invoke(id, IID_NULL, LOCALE_USER_DEFAULT, flags, &params, result.put(), exception,
                            &argumentError);
}

// EXCEPINFO's strings, freed with it.
struct ExceptionInfo : EXCEPINFO {
    ExceptionInfo() : EXCEPINFO{} {}
    ExceptionInfo(const ExceptionInfo&) = delete;
    ExceptionInfo& operator=(const ExceptionInfo&) = delete;
    ~ExceptionInfo() {
        SysFreeString(bstrSource);
        SysFreeString(bstrDescription);
        SysFreeString(bstrHelpFile);
    }
};

using Dispatch = ComTest;
using ErrorInformation = ComTest;
using ClassInformation = ComTest;
using FreeThreaded = ComTest;

}  // namespace

TEST_F(Dispatch, NamesResolveWithoutRegardToCasePerInterface) {
    auto calculator = MakeComObject<Calculator>();
    ComPtr<IDispatch> dispatch;
    ASSERT_HRESULT_SUCCEEDED(calculator.as(dispatch));
    EXPECT_EQ(IdOf(dispatch.get(), L"Add"), 1);
    EXPECT_EQ(IdOf(dispatch.get(), L"aDD"), 1);
    EXPECT_EQ(IdOf(dispatch.get(), L"NAME"), 2);
    EXPECT_EQ(HrOfIdOf(dispatch.get(), L"Label"), DISP_E_UNKNOWNNAME);

    // The second dual interface answers from its own type information.
    ComPtr<ITestLabel> label;
    ASSERT_HRESULT_SUCCEEDED(calculator.as(label));
    EXPECT_EQ(IdOf(label.get(), L"label"), 1);
    EXPECT_EQ(HrOfIdOf(label.get(), L"Add"), DISP_E_UNKNOWNNAME);

    std::wstring name = L"Add";
    LPOLESTR names[] = {name.data()};
    DISPID id = 0;
    EXPECT_EQ(dispatch->GetIDsOfNames(IID_ITestCalculator, names, 1, LOCALE_USER_DEFAULT, &id),
              DISP_E_UNKNOWNINTERFACE);
}

TEST_F(Dispatch, InvokesMethodsAndProperties) {
    auto calculator = MakeComObject<Calculator>();
    ComPtr<IDispatch> dispatch;
    ASSERT_HRESULT_SUCCEEDED(calculator.as(dispatch));

    Variant result;
    ASSERT_HRESULT_SUCCEEDED(
        Call(dispatch.get(), 1, DISPATCH_METHOD, {Variant::FromLong(40), Variant::FromLong(2)}, result));
    ASSERT_EQ(result.type(), VT_I4);
    EXPECT_EQ(V_I4(&result.get()), 42);

    ASSERT_HRESULT_SUCCEEDED(Call(dispatch.get(), IdOf(dispatch.get(), L"name"), DISPATCH_PROPERTYGET, {}, result));
    ASSERT_EQ(result.type(), VT_BSTR);
    EXPECT_EQ(BstrView(V_BSTR(&result.get())), L"Calculator");

    ComPtr<ITestLabel> label;
    ASSERT_HRESULT_SUCCEEDED(calculator.as(label));
    ASSERT_HRESULT_SUCCEEDED(
        Call(label.get(), 1, DISPATCH_PROPERTYPUT, {Variant::FromString(L"set late")}, result));
    Bstr text;
    ASSERT_HRESULT_SUCCEEDED(label->get_Label(text.put()));
    EXPECT_EQ(text.view(), L"set late");

    EXPECT_EQ(Call(dispatch.get(), 1, DISPATCH_METHOD, {Variant::FromLong(1)}, result), DISP_E_BADPARAMCOUNT);
    EXPECT_EQ(Call(dispatch.get(), 99, DISPATCH_METHOD, {}, result), DISP_E_MEMBERNOTFOUND);
}

TEST_F(Dispatch, HandsOutTheInterfaceSideOfTheDualInterface) {
    auto calculator = MakeComObject<Calculator>();
    ComPtr<IDispatch> dispatch;
    ASSERT_HRESULT_SUCCEEDED(calculator.as(dispatch));
    UINT count = 0;
    ASSERT_HRESULT_SUCCEEDED(dispatch->GetTypeInfoCount(&count));
    EXPECT_EQ(count, 1u);

    ComPtr<ITypeInfo> info;
    ASSERT_HRESULT_SUCCEEDED(dispatch->GetTypeInfo(0, LOCALE_USER_DEFAULT, info.put()));
    TypeAttributes attributes(info);
    EXPECT_EQ(attributes->typekind, TKIND_INTERFACE);
    EXPECT_TRUE(IsEqualGUID(attributes->guid, IID_ITestCalculator));
    EXPECT_EQ(dispatch->GetTypeInfo(1, LOCALE_USER_DEFAULT, info.put()), DISP_E_BADINDEX);
    EXPECT_FALSE(info);
}

TEST_F(Dispatch, RegisteredLibraryServesTypeInformation) {
    RegistrySandbox sandbox;
    TypeLibrary registered(LIBID_TandemComTestLib, 1, 0);
    EXPECT_EQ(HrOf([&] { registered.Library(); }), TYPE_E_LIBNOTREGISTERED);

    RegisterTypeLibrary(ProgramPath(), RegistrationScope::Machine);
    EXPECT_TRUE(KeyExists(HKEY_CLASSES_ROOT, L"TypeLib\\" + GuidToString(LIBID_TandemComTestLib) + L"\\1.0"));

    // The failed load is not remembered.
    ComPtr<ITypeInfo> info = registered.TypeInfoOf(IID_ITestCalculator);
    EXPECT_EQ(TypeAttributes(info)->typekind, TKIND_INTERFACE);
    EXPECT_EQ(registered.TypeInfoOf(IID_ITestCalculator), info);
    EXPECT_EQ(TypeAttributes(registered.TypeInfoOf(DIID__ITestCalculatorEvents))->typekind, TKIND_DISPATCH);

    // What the registered library describes drives a call.
    auto calculator = MakeComObject<Calculator>();
    VARIANTARG arguments[2];
    V_VT(&arguments[0]) = VT_I4;
    V_I4(&arguments[0]) = 5;
    V_VT(&arguments[1]) = VT_I4;
    V_I4(&arguments[1]) = 7;
    DISPPARAMS params{arguments, nullptr, 2, 0};
    Variant result;
    ASSERT_HRESULT_SUCCEEDED(DispInvoke(static_cast<ITestCalculator*>(calculator.get()), info.get(), 1,
                                        DISPATCH_METHOD, &params, result.put(), nullptr, nullptr));
    EXPECT_EQ(V_I4(&result.get()), 12);

    UnregisterTypeLibrary(ProgramPath(), RegistrationScope::Machine);
    EXPECT_FALSE(KeyExists(HKEY_CLASSES_ROOT, L"TypeLib\\" + GuidToString(LIBID_TandemComTestLib)));
}

// Wine registers per-user libraries machine-wide; either way the library is
// found once registered and gone once unregistered.
TEST_F(Dispatch, PerUserRegistrationIsFoundAndRemoved) {
    RegistrySandbox sandbox({HKEY_CURRENT_USER, HKEY_CLASSES_ROOT, HKEY_LOCAL_MACHINE});
    RegisterTypeLibrary(ProgramPath(), RegistrationScope::User);
    TypeLibrary registered(LIBID_TandemComTestLib, 1, 0);
    EXPECT_NO_THROW(registered.Library());

    UnregisterTypeLibrary(ProgramPath(), RegistrationScope::User);
    TypeLibrary unregistered(LIBID_TandemComTestLib, 1, 0);
    EXPECT_EQ(HrOf([&] { unregistered.Library(); }), TYPE_E_LIBNOTREGISTERED);
}

TEST_F(ErrorInformation, FailingCallsDescribeTheirFailure) {
    auto calculator = MakeComObject<Calculator>();
    ComPtr<ISupportErrorInfo> support;
    ASSERT_HRESULT_SUCCEEDED(calculator.as(support));
    EXPECT_EQ(support->InterfaceSupportsErrorInfo(IID_ITestCalculator), S_OK);
    EXPECT_EQ(support->InterfaceSupportsErrorInfo(IID_ITestLabel), S_FALSE);

    SetErrorInfo(0, nullptr);
    EXPECT_EQ(calculator->Fail(E_ACCESSDENIED), E_ACCESSDENIED);
    ComPtr<IErrorInfo> info;
    ASSERT_EQ(GetErrorInfo(0, info.put()), S_OK);
    GUID guid{};
    ASSERT_HRESULT_SUCCEEDED(info->GetGUID(&guid));
    EXPECT_TRUE(IsEqualGUID(guid, IID_ITestCalculator));
    Bstr description;
    ASSERT_HRESULT_SUCCEEDED(info->GetDescription(description.put()));
    EXPECT_FALSE(description.empty());

    EXPECT_EQ(ReportError(E_INVALIDARG, IID_ITestLabel, L"The label is too long"), E_INVALIDARG);
    ASSERT_EQ(GetErrorInfo(0, info.put()), S_OK);
    ASSERT_HRESULT_SUCCEEDED(info->GetDescription(description.put()));
    EXPECT_EQ(description.view(), L"The label is too long");
    ASSERT_HRESULT_SUCCEEDED(info->GetGUID(&guid));
    EXPECT_TRUE(IsEqualGUID(guid, IID_ITestLabel));
}

TEST_F(ErrorInformation, LateBoundCallersGetTheFailureAsException) {
    auto calculator = MakeComObject<Calculator>();
    ComPtr<IDispatch> dispatch;
    ASSERT_HRESULT_SUCCEEDED(calculator.as(dispatch));
    Variant result;
    ExceptionInfo exception;
    EXPECT_EQ(Call(dispatch.get(), 3, DISPATCH_METHOD, {Variant::FromLong(E_ACCESSDENIED)}, result, &exception),
              DISP_E_EXCEPTION);
    EXPECT_EQ(exception.scode, E_ACCESSDENIED);
    EXPECT_GT(SysStringLen(exception.bstrDescription), 0u);
}

TEST_F(ClassInformation, ReportsTheClassAndItsDefaultSource) {
    auto calculator = MakeComObject<Calculator>();
    ComPtr<IProvideClassInfo2> provide;
    ASSERT_HRESULT_SUCCEEDED(calculator.as(provide));
    ComPtr<IProvideClassInfo> provideFirst;
    ASSERT_HRESULT_SUCCEEDED(calculator.as(provideFirst));

    ComPtr<ITypeInfo> info;
    ASSERT_HRESULT_SUCCEEDED(provideFirst->GetClassInfo(info.put()));
    TypeAttributes attributes(info);
    EXPECT_EQ(attributes->typekind, TKIND_COCLASS);
    EXPECT_TRUE(IsEqualGUID(attributes->guid, CLSID_TestCalculator));

    GUID source{};
    ASSERT_HRESULT_SUCCEEDED(provide->GetGUID(GUIDKIND_DEFAULT_SOURCE_DISP_IID, &source));
    EXPECT_TRUE(IsEqualGUID(source, DIID__ITestCalculatorEvents));

    EXPECT_EQ(provide->GetGUID(GUIDKIND_DEFAULT_SOURCE_DISP_IID + 1, &source), E_INVALIDARG);
    EXPECT_TRUE(IsEqualGUID(source, GUID_NULL));
    EXPECT_EQ(provide->GetGUID(GUIDKIND_DEFAULT_SOURCE_DISP_IID, nullptr), E_POINTER);
    EXPECT_EQ(provide->GetClassInfo(nullptr), E_POINTER);
}

TEST_F(FreeThreaded, MarshalsByTheFreeThreadedMarshaler) {
    auto calculator = MakeComObject<Calculator>();
    ComPtr<IMarshal> marshal;
    ASSERT_HRESULT_SUCCEEDED(calculator.as(marshal));
    CLSID unmarshaler{};
    ASSERT_HRESULT_SUCCEEDED(marshal->GetUnmarshalClass(IID_ITestCalculator,
                                                        static_cast<ITestCalculator*>(calculator.get()),
                                                        MSHCTX_INPROC, nullptr, MSHLFLAGS_NORMAL, &unmarshaler));
    EXPECT_TRUE(IsEqualCLSID(unmarshaler, kFreeThreadedUnmarshaler)) << GuidToString(unmarshaler).c_str();
    // The marshaler is aggregated: it shares the object's identity.
    ComPtr<IUnknown> identity;
    ASSERT_HRESULT_SUCCEEDED(marshal.as(identity));
    ComPtr<IUnknown> objectIdentity;
    ASSERT_HRESULT_SUCCEEDED(calculator.as(objectIdentity));
    EXPECT_EQ(identity, objectIdentity);

    ComPtr<IMarshal> notAgile;
    EXPECT_EQ(MakeComObject<Label>().as(notAgile), E_NOINTERFACE);
}

TEST_F(FreeThreaded, OtherApartmentsGetTheObjectItself) {
    auto calculator = MakeComObject<Calculator>();
    ComPtr<IStream> stream;
    ASSERT_HRESULT_SUCCEEDED(CoMarshalInterThreadInterfaceInStream(
        IID_ITestCalculator, static_cast<ITestCalculator*>(calculator.get()), stream.put()));

    void* unmarshalled = nullptr;
    HRESULT hr = E_FAIL;
    std::thread([&] {
        if (SUCCEEDED(CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED))) {
            ComPtr<ITestCalculator> received;
            hr = CoGetInterfaceAndReleaseStream(stream.detach(), IID_ITestCalculator, received.put_void());
            unmarshalled = received.get();
            received.reset();
            CoUninitialize();
        }
    }).join();
    ASSERT_HRESULT_SUCCEEDED(hr);
    EXPECT_EQ(unmarshalled, static_cast<ITestCalculator*>(calculator.get()));
}
