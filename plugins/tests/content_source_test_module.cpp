#include <windows.h>

#include "ZephCs.h"
#include "com/class_factory.h"
#include "content_source_test_module.h"

using namespace tandem;

namespace {

LONG openClasses = 0;

// A content-source class that can be opened and closed and offers nothing else.
class TestSourceClass : public ComObjectRoot, public IZephCsClass {
public:
    using Interfaces = InterfaceTable<IZephCsClass>;

    STDMETHODIMP OpenClass(LONG) override {
        InterlockedIncrement(&openClasses);
        return S_OK;
    }
    STDMETHODIMP CloseClass() override {
        InterlockedDecrement(&openClasses);
        return S_OK;
    }
    STDMETHODIMP GetProperty(LONG, VARIANT* value) override {
        if (value) VariantInit(value);
        return ZEPHCS_E_UNKNOWN_PROPERTY;
    }
    STDMETHODIMP GetObject(REFIID, IZephCsMedia*, REFIID, void** out) override { return Refuse(out); }
    STDMETHODIMP GetConverter(REFIID, IZephCsMedia*, REFIID, IZephCsMedia*, REFIID, void** out) override {
        return Refuse(out);
    }
    STDMETHODIMP GetReader(REFIID, IZephCsMedia*, REFIID, void** out) override { return Refuse(out); }
    STDMETHODIMP GetWriter(REFIID, IZephCsMedia*, REFIID, void** out) override { return Refuse(out); }

private:
    static HRESULT Refuse(void** out) {
        if (out) *out = nullptr;
        return E_NOTIMPL;
    }
};

}  // namespace

extern "C" HRESULT STDAPICALLTYPE TestSourceGetClassObject(REFCLSID clsid, REFIID iid, void** out) {
    if (!out) return E_POINTER;
    *out = nullptr;
    if (!IsEqualCLSID(clsid, kTestContentSourceClass)) return CLASS_E_CLASSNOTAVAILABLE;
    return CatchHr([&] { return MakeComObject<ClassFactory<TestSourceClass>>()->QueryInterface(iid, out); });
}

// How many instances of the class a framework holds open.
extern "C" LONG STDAPICALLTYPE TestSourceOpenClassCount() { return openClasses; }
