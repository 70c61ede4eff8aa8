// The modules' exports called in process; what they register goes to a
// redirected registry.

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "com_ptr.h"
#include "strings.h"
#include "error.h"
#include "module_test_support.h"
#include "registry.h"
#include "testing/registry_sandbox.h"
#include "type_description.h"
#include "unique_resource.h"

using namespace tandem;
using namespace tandem::typelibs;
using namespace tandem::typelibs::test;

namespace {

using GetClassObjectFn = HRESULT(WINAPI*)(const CLSID*, const IID*, void**);
using CanUnloadNowFn = HRESULT(WINAPI*)();
using RegisterFn = HRESULT(WINAPI*)();

template <class Fn>
Fn Export(HMODULE module, const char* name) {
    return reinterpret_cast<Fn>(reinterpret_cast<void*>(GetProcAddress(module, name)));
}

class ModuleExports : public testing::TestWithParam<ModuleCase> {
protected:
    void SetUp() override {
        ASSERT_TRUE(module_) << GetLastError();
        getClassObject_ = Export<GetClassObjectFn>(module_.get(), "DllGetClassObject");
        canUnloadNow_ = Export<CanUnloadNowFn>(module_.get(), "DllCanUnloadNow");
        ASSERT_TRUE(getClassObject_ && canUnloadNow_);
    }

    UniqueModule module_{LoadLibraryW(BuiltModulePath(GetParam().file).c_str())};
    GetClassObjectFn getClassObject_ = nullptr;
    CanUnloadNowFn canUnloadNow_ = nullptr;
};

TEST_P(ModuleExports, GetClassObjectRejectsMissingPointers) {
    const IID* iid = GetParam().proxied.front();
    EXPECT_EQ(getClassObject_(iid, &IID_IClassFactory, nullptr), E_POINTER);
    void* object = this;
    EXPECT_EQ(getClassObject_(nullptr, &IID_IClassFactory, &object), E_POINTER);
    EXPECT_EQ(object, nullptr);
    object = this;
    EXPECT_EQ(getClassObject_(iid, nullptr, &object), E_POINTER);
    EXPECT_EQ(object, nullptr);
}

TEST_P(ModuleExports, KnowsNoOtherClass) {
    const CLSID unknown = {0x1b2d4e6f, 0x1234, 0x4abc, {0x9a, 0xbc, 0xde, 0xf0, 0x12, 0x34, 0x56, 0x78}};
    std::vector<const IID*> others = GetParam().foreign;
    others.push_back(&unknown);
    for (const IID* iid : others) {
        void* object = this;
        EXPECT_EQ(getClassObject_(iid, &IID_IPSFactoryBuffer, &object), CLASS_E_CLASSNOTAVAILABLE);
        EXPECT_EQ(object, nullptr);
    }
}

TEST_P(ModuleExports, ProxyStubFactoryServesEachInterfaceAndKeepsTheModuleLoaded) {
    EXPECT_EQ(canUnloadNow_(), S_OK);
    std::vector<ComPtr<IPSFactoryBuffer>> factories;
    for (const IID* iid : GetParam().proxied) {
        ComPtr<IPSFactoryBuffer> factory;
        EXPECT_EQ(getClassObject_(iid, &IID_IPSFactoryBuffer, factory.put_void()), S_OK);
        factories.push_back(factory);
    }
    EXPECT_EQ(canUnloadNow_(), S_FALSE);
    factories.clear();
    EXPECT_EQ(canUnloadNow_(), S_OK);
}

class ThreadLocaleGuard {
public:
    ThreadLocaleGuard() noexcept : saved_(GetThreadLocale()) {}
    ThreadLocaleGuard(const ThreadLocaleGuard&) = delete;
    ThreadLocaleGuard& operator=(const ThreadLocaleGuard&) = delete;
    ~ThreadLocaleGuard() { SetThreadLocale(saved_); }

private:
    LCID saved_;
};

// In process, with the machine roots redirected, the registration is seen
// without touching the prefix's registry.
TEST_P(ModuleExports, RegistrationLeavesTheCallersThreadLocaleAlone) {
    tandem::test::RegistrySandbox sandbox;
    ThreadLocaleGuard guard;
    const LCID german = MAKELCID(MAKELANGID(LANG_GERMAN, SUBLANG_GERMAN), SORT_DEFAULT);
    ASSERT_TRUE(SetThreadLocale(german));
    const std::wstring appIdKey = std::wstring(L"AppID\\") + GetParam().appId;

    EXPECT_EQ(Export<RegisterFn>(module_.get(), "DllRegisterServer")(), S_OK);
    EXPECT_EQ(GetThreadLocale(), german);
    EXPECT_TRUE(TryOpenKey(HKEY_CLASSES_ROOT, appIdKey).has_value());

    EXPECT_EQ(Export<RegisterFn>(module_.get(), "DllUnregisterServer")(), S_OK);
    EXPECT_EQ(GetThreadLocale(), german);
    EXPECT_FALSE(TryOpenKey(HKEY_CLASSES_ROOT, appIdKey).has_value());
}

// A volatile TypeLib key takes no lasting subkeys, so the type library step
// fails after the registry script ran: the install takes the script back.
TEST_P(ModuleExports, FailedInstallRemovesWhatItWrote) {
    tandem::test::RegistrySandbox sandbox;
    RegKey typeLibs;
    ASSERT_EQ(RegCreateKeyExW(HKEY_CLASSES_ROOT, L"TypeLib", 0, nullptr, REG_OPTION_VOLATILE, KEY_ALL_ACCESS, nullptr,
                              typeLibs.put(), nullptr),
              ERROR_SUCCESS);

    using InstallFn = HRESULT(WINAPI*)(BOOL, const wchar_t*);
    const HRESULT hr = Export<InstallFn>(module_.get(), "DllInstall")(TRUE, nullptr);
    EXPECT_TRUE(FAILED(hr)) << std::hex << hr;
    EXPECT_FALSE(TryOpenKey(HKEY_CLASSES_ROOT, std::wstring(L"AppID\\") + GetParam().appId).has_value());
    EXPECT_FALSE(TryOpenKey(HKEY_CLASSES_ROOT, L"TypeLib\\" + GuidToString(*GetParam().libid)).has_value());
}

INSTANTIATE_TEST_SUITE_P(Modules, ModuleExports, testing::ValuesIn(TypeLibModules()));

}  // namespace
