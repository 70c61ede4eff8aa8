#include <windows.h>

#include "VltLib.h"
#include "com/class_factory.h"
#include "com/module_lock.h"
#include "library.h"
#include "playback.h"
#include "tag_handler.h"

using namespace tandem;

namespace {

template <class T>
HRESULT Factory(REFIID iid, void** out) {
    return CatchHr([&] { return MakeComObject<ClassFactory<T>>()->QueryInterface(iid, out); });
}

}  // namespace

extern "C" HRESULT STDAPICALLTYPE VltGetClassObject(REFCLSID clsid, REFIID iid, void** out) {
    if (!out) return E_POINTER;
    *out = nullptr;
    if (IsEqualCLSID(clsid, CLSID_VltLibrary)) return Factory<vlt::Library>(iid, out);
    for (const CLSID* format : {&CLSID_VltTagFormat1, &CLSID_VltTagFormat2, &CLSID_VltTagFormat3})
        if (IsEqualCLSID(clsid, *format)) return Factory<vlt::TagHandler>(iid, out);
    if (IsEqualCLSID(clsid, CLSID_VltPlayback) || IsEqualCLSID(clsid, CLSID_VltPlayback2))
        return Factory<vlt::Playback>(iid, out);
    return CLASS_E_CLASSNOTAVAILABLE;
}

extern "C" HRESULT STDAPICALLTYPE VltCanUnloadNow() { return CanUnloadModule(); }
