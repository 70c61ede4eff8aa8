#include <gtest/gtest.h>

#include "com/class_factory.h"
#include "com/class_object_registration.h"
#include "com/com_object.h"
#include "com/module_lock.h"
#include "com_fixture.h"
#include "com_ptr.h"

using namespace tandem;
using namespace tandem::test;

namespace {

// A minimal outer object on the stack: it answers IUnknown itself and hands
// every other query to the object it aggregates.
class Outer final : public IUnknown {
public:
    STDMETHODIMP QueryInterface(REFIID iid, void** out) override {
        if (!IsEqualIID(iid, IID_IUnknown)) return inner ? inner->QueryInterface(iid, out) : E_NOINTERFACE;
        AddRef();
        *out = static_cast<IUnknown*>(this);
        return S_OK;
    }
    STDMETHODIMP_(ULONG) AddRef() override { return InterlockedIncrement(&refs); }
    STDMETHODIMP_(ULONG) Release() override { return InterlockedDecrement(&refs); }

    LONG refs = 1;
    ComPtr<IUnknown> inner;
};

IUnknown* IdentityOf(IUnknown* object) {
    ComPtr<IUnknown> identity;
    CheckHr(object->QueryInterface(IID_IUnknown, identity.put_void()));
    return identity.get();
}

class ModuleIdle : public ComTest {
protected:
    void SetUp() override {
        ComTest::SetUp();
        SetModuleIdleHandler([this] { ++idleCalls_; });
    }
    void TearDown() override {
        SetModuleIdleHandler({});
        ComTest::TearDown();
    }

    int idleCalls_ = 0;
};

using ComObjects = ComTest;
using Aggregation = ComTest;
using ClassObjects = ComTest;

}  // namespace

TEST_F(ComObjects, CountsReferencesAndDiesWithTheLast) {
    auto calculator = MakeComObject<Calculator>();
    EXPECT_EQ(LiveTestObjects(), 1);
    EXPECT_EQ(calculator->AddRef(), 2u);

    ComPtr<ITestLabel> label;
    ASSERT_HRESULT_SUCCEEDED(calculator.as(label));
    EXPECT_EQ(label->AddRef(), 4u);
    EXPECT_EQ(label->Release(), 3u);
    EXPECT_EQ(calculator->Release(), 2u);

    label.reset();
    EXPECT_EQ(LiveTestObjects(), 1);
    calculator.reset();
    EXPECT_EQ(LiveTestObjects(), 0);
}

TEST_F(ComObjects, AnswersItsTableWithOneIdentity) {
    auto calculator = MakeComObject<Calculator>();
    ComPtr<ITestLabel> label;
    ComPtr<ISupportErrorInfo> errors;
    ComPtr<IDispatch> dispatch;
    ASSERT_HRESULT_SUCCEEDED(calculator.as(label));
    ASSERT_HRESULT_SUCCEEDED(calculator.as(errors));
    ASSERT_HRESULT_SUCCEEDED(calculator.as(dispatch));

    IUnknown* identity = IdentityOf(static_cast<ITestCalculator*>(calculator.get()));
    EXPECT_EQ(IdentityOf(label.get()), identity);
    EXPECT_EQ(IdentityOf(errors.get()), identity);
    // IDispatch is the default interface's.
    EXPECT_EQ(static_cast<void*>(dispatch.get()), static_cast<ITestCalculator*>(calculator.get()));

    ComPtr<IPersist> persist;
    EXPECT_EQ(calculator.as(persist), E_NOINTERFACE);
    EXPECT_FALSE(persist);
    EXPECT_EQ(calculator->QueryInterface(IID_ITestLabel, nullptr), E_POINTER);
}

TEST_F(ComObjects, FailedConstructionLeavesNothingBehind) {
    ComPtr<ITestLabel> label;
    EXPECT_EQ(CreateComInstance<Label>(nullptr, IID_ITestLabel, label.put_void(), E_ACCESSDENIED), E_ACCESSDENIED);
    EXPECT_FALSE(label);

    // Construction queried and released the new object without killing it.
    ASSERT_HRESULT_SUCCEEDED(CreateComInstance<Label>(nullptr, IID_ITestLabel, label.put_void()));
    Bstr text;
    ASSERT_HRESULT_SUCCEEDED(label->get_Label(text.put()));
    EXPECT_EQ(text.view(), L"plain");
    EXPECT_EQ(ModuleLockCount(), 1);

    ComPtr<IPersist> persist;
    EXPECT_EQ(CreateComInstance<Label>(nullptr, IID_IPersist, persist.put_void()), E_NOINTERFACE);
    EXPECT_FALSE(persist);
    EXPECT_EQ(LiveTestObjects(), 1);
}

TEST_F(ModuleIdle, ObjectsAndServerLocksHoldTheModule) {
    auto factory = MakeComObject<ClassFactory<Calculator>>();
    EXPECT_EQ(ModuleLockCount(), 0);
    EXPECT_EQ(CanUnloadModule(), S_OK);

    ComPtr<ITestCalculator> calculator;
    ASSERT_HRESULT_SUCCEEDED(factory->CreateInstance(nullptr, IID_ITestCalculator, calculator.put_void()));
    ASSERT_HRESULT_SUCCEEDED(factory->LockServer(TRUE));
    EXPECT_EQ(ModuleLockCount(), 2);
    EXPECT_EQ(CanUnloadModule(), S_FALSE);

    calculator.reset();
    EXPECT_EQ(ModuleLockCount(), 1);
    EXPECT_EQ(idleCalls_, 0);
    ASSERT_HRESULT_SUCCEEDED(factory->LockServer(FALSE));
    EXPECT_EQ(idleCalls_, 1);
    EXPECT_EQ(CanUnloadModule(), S_OK);

    auto label = MakeComObject<Label>();
    label.reset();
    EXPECT_EQ(idleCalls_, 2);
}

TEST_F(Aggregation, RequiresIUnknownAndAnAggregatableClass) {
    Outer outer;
    ComPtr<IUnknown> inner;
    ComPtr<ITestCalculator> calculator;
    EXPECT_EQ(CreateComInstance<Calculator>(&outer, IID_ITestCalculator, calculator.put_void()),
              CLASS_E_NOAGGREGATION);
    EXPECT_FALSE(calculator);
    EXPECT_EQ(CreateComInstance<Label>(&outer, IID_IUnknown, inner.put_void()), CLASS_E_NOAGGREGATION);
    EXPECT_FALSE(inner);
    EXPECT_EQ(LiveTestObjects(), 0);
    EXPECT_EQ(outer.refs, 1);
}

TEST_F(Aggregation, InterfacesDelegateToTheOuterObject) {
    Outer outer;
    ASSERT_HRESULT_SUCCEEDED(CreateComInstance<Calculator>(&outer, IID_IUnknown, outer.inner.put_void()));
    // The inner object must not hold its outer: that would be a cycle.
    EXPECT_EQ(outer.refs, 1);
    EXPECT_NE(outer.inner.get(), &outer);
    EXPECT_EQ(IdentityOf(outer.inner.get()), outer.inner.get());

    ComPtr<ITestCalculator> calculator;
    ASSERT_HRESULT_SUCCEEDED(outer.QueryInterface(IID_ITestCalculator, calculator.put_void()));
    EXPECT_EQ(outer.refs, 2);
    EXPECT_EQ(IdentityOf(calculator.get()), &outer);
    ComPtr<ITestLabel> label;
    ASSERT_HRESULT_SUCCEEDED(calculator.as(label));
    EXPECT_EQ(outer.refs, 3);
    EXPECT_EQ(IdentityOf(label.get()), &outer);

    LONG sum = 0;
    ASSERT_HRESULT_SUCCEEDED(calculator->Add(2, 3, &sum));
    EXPECT_EQ(sum, 5);

    label.reset();
    calculator.reset();
    EXPECT_EQ(outer.refs, 1);
    EXPECT_EQ(LiveTestObjects(), 1);
    outer.inner.reset();
    EXPECT_EQ(LiveTestObjects(), 0);
}

TEST_F(ClassObjects, FactoryCreatesAggregatesAndRefuses) {
    auto factory = MakeComObject<ClassFactory<Calculator>>();
    ComPtr<ITestCalculator> calculator;
    ASSERT_HRESULT_SUCCEEDED(factory->CreateInstance(nullptr, IID_ITestCalculator, calculator.put_void()));
    LONG sum = 0;
    ASSERT_HRESULT_SUCCEEDED(calculator->Add(40, 2, &sum));
    EXPECT_EQ(sum, 42);

    Outer outer;
    EXPECT_EQ(factory->CreateInstance(&outer, IID_ITestCalculator, calculator.put_void()), CLASS_E_NOAGGREGATION);
    ASSERT_HRESULT_SUCCEEDED(factory->CreateInstance(&outer, IID_IUnknown, outer.inner.put_void()));
    EXPECT_EQ(LiveTestObjects(), 1);
    outer.inner.reset();

    EXPECT_EQ(factory->CreateInstance(nullptr, IID_ITestCalculator, nullptr), E_POINTER);
    ComPtr<IPersist> persist;
    EXPECT_EQ(factory->CreateInstance(nullptr, IID_IPersist, persist.put_void()), E_NOINTERFACE);
}

TEST_F(ClassObjects, LocalServerRegistrationServesUntilRevoked) {
    {
        ClassObjectRegistration registration = RegisterClassFactory<Calculator>(CLSID_TestCalculator);
        EXPECT_TRUE(registration);
        ResumeClassObjects();

        ComPtr<IClassFactory> factory;
        ASSERT_HRESULT_SUCCEEDED(CoGetClassObject(CLSID_TestCalculator, CLSCTX_LOCAL_SERVER, nullptr,
                                                  IID_IClassFactory, factory.put_void()));
        ComPtr<ITestCalculator> calculator;
        ASSERT_HRESULT_SUCCEEDED(factory->CreateInstance(nullptr, IID_ITestCalculator, calculator.put_void()));
        LONG sum = 0;
        ASSERT_HRESULT_SUCCEEDED(calculator->Add(1, 2, &sum));
        EXPECT_EQ(sum, 3);
    }
    ComPtr<IClassFactory> factory;
    EXPECT_HRESULT_FAILED(CoGetClassObject(CLSID_TestCalculator, CLSCTX_LOCAL_SERVER, nullptr, IID_IClassFactory,
                                           factory.put_void()));
}
