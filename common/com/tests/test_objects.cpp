#include "test_objects.h"

#include "com/error_info.h"
#include "com_ptr.h"
#include "error.h"
#include "module_path.h"

namespace tandem::test {

namespace {
LONG liveObjects = 0;
}  // namespace

std::wstring ProgramPath() { return ModuleFileName(nullptr); }

TypeLibrary& TestLibrary() {
    static TypeLibrary library(ProgramPath());
    return library;
}

LONG LiveTestObjects() noexcept { return InterlockedCompareExchange(&liveObjects, 0, 0); }

LiveCount::LiveCount() noexcept { InterlockedIncrement(&liveObjects); }
LiveCount::~LiveCount() { InterlockedDecrement(&liveObjects); }

STDMETHODIMP Calculator::Add(LONG a, LONG b, LONG* sum) {
    if (!sum) return E_POINTER;
    *sum = a + b;
    return S_OK;
}

STDMETHODIMP Calculator::get_Name(BSTR* name) { return AllocBstr(L"Calculator", name); }

STDMETHODIMP Calculator::Fail(LONG code) {
    return CatchHrAndReport(IID_ITestCalculator, [&] { ThrowHr(code); });
}

STDMETHODIMP Calculator::get_Label(BSTR* label) { return label_.CopyTo(label); }

STDMETHODIMP Calculator::put_Label(BSTR label) {
    return CatchHr([&] { label_ = Bstr(BstrView(label)); });
}

void Label::FinalConstruct() {
    ComPtr<ITestLabel> self;
    CheckHr(ControllingUnknown()->QueryInterface(IID_ITestLabel, self.put_void()));
    self.reset();
    CheckHr(construction_);
}

STDMETHODIMP Label::get_Label(BSTR* label) { return AllocBstr(L"plain", label); }

STDMETHODIMP Label::put_Label(BSTR) { return E_NOTIMPL; }

}  // namespace tandem::test
