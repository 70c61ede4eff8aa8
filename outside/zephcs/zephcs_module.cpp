#include <windows.h>

#include "ZephCs.h"
#include "com/class_factory.h"
#include "manager.h"
#include "com/module_lock.h"

using namespace tandem;

extern "C" HRESULT STDAPICALLTYPE ZephCsGetClassObject(REFCLSID clsid, REFIID iid, void** out) {
    if (!out) return E_POINTER;
    *out = nullptr;
    if (!IsEqualCLSID(clsid, CLSID_ZephCsManager)) return CLASS_E_CLASSNOTAVAILABLE;
    return CatchHr([&] { return MakeComObject<ClassFactory<zephcs::Manager>>()->QueryInterface(iid, out); });
}

extern "C" HRESULT STDAPICALLTYPE ZephCsCanUnloadNow() { return CanUnloadModule(); }
