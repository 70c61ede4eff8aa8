#pragma once

#include <windows.h>
#include <oleauto.h>

#include <string>

#include "com/com_object.h"
#include "com/dispatch.h"
#include "com/free_threaded_marshaler.h"
#include "com/provide_class_info.h"
#include "com/support_error_info.h"
#include "com/type_library.h"
#include "com_test.h"
#include "bstr.h"

namespace tandem::test {

// This test program's own path; its TYPELIB resource is the test library.
std::wstring ProgramPath();
TypeLibrary& TestLibrary();

// Test objects alive in the process.
LONG LiveTestObjects() noexcept;

class LiveCount {
public:
    LiveCount() noexcept;
    LiveCount(const LiveCount&) = delete;
    LiveCount& operator=(const LiveCount&) = delete;
    ~LiveCount();
};

class Calculator : public ComObjectRoot,
                   public DispatchImpl<ITestCalculator, TestLibrary>,
                   public DispatchImpl<ITestLabel, TestLibrary>,
                   public SupportErrorInfoImpl<ITestCalculator>,
                   public ProvideClassInfo2Impl<CLSID_TestCalculator, TestLibrary>,
                   public FreeThreadedMarshaler {
public:
    using Interfaces = InterfaceTable<ITestCalculator, Via<IDispatch, ITestCalculator>, ITestLabel,
                                      ISupportErrorInfo, IProvideClassInfo2,
                                      Via<IProvideClassInfo, IProvideClassInfo2>, FreeThreadedMarshaler>;
    static constexpr bool kAggregatable = true;

    STDMETHODIMP Add(LONG a, LONG b, LONG* sum) override;
    STDMETHODIMP get_Name(BSTR* name) override;
    // Fails with code, reported as error information.
    STDMETHODIMP Fail(LONG code) override;
    STDMETHODIMP get_Label(BSTR* label) override;
    STDMETHODIMP put_Label(BSTR label) override;

private:
    LiveCount live_;
    Bstr label_;
};

// Not aggregatable. Its construction queries and releases the new object,
// then fails with the given result, if any.
class Label : public ComObjectRoot, public DispatchImpl<ITestLabel, TestLibrary> {
public:
    using Interfaces = InterfaceTable<ITestLabel, IDispatch>;

    explicit Label(HRESULT construction = S_OK) noexcept : construction_(construction) {}
    void FinalConstruct();

    STDMETHODIMP get_Label(BSTR* label) override;
    STDMETHODIMP put_Label(BSTR label) override;

private:
    LiveCount live_;
    HRESULT construction_;
};

}  // namespace tandem::test
