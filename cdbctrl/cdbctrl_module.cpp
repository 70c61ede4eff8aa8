// Entry points of ZephCdbCtrl: the controller class and the proxy/stub code
// for its interface, served and registered from the one module.

#include <windows.h>

#include <initializer_list>
#include <string>

#include "ZephCdbCtrl.h"
#include "cdb_controler.h"
#include "cdbctrl_resources.h"
#include "com/class_factory.h"
#include "com/module_lock.h"
#include "com/registry_script.h"
#include "com/type_library_registration.h"
#include "error.h"
#include "module_path.h"
#include "strings.h"

extern "C" IMAGE_DOS_HEADER __ImageBase;

// Generated proxy/stub entry points, compiled with the Prx prefix.
extern "C" {
BOOL WINAPI PrxDllMain(HINSTANCE instance, DWORD reason, void* reserved);
HRESULT WINAPI PrxDllRegisterServer();
HRESULT WINAPI PrxDllUnregisterServer();
HRESULT WINAPI PrxDllGetClassObject(REFCLSID clsid, REFIID iid, void** object);
HRESULT WINAPI PrxDllCanUnloadNow();
}

namespace tandem::cdbctrl {
namespace {

constexpr wchar_t kAppId[] = L"{1672D24B-C79F-4B9F-86E3-22E2137DA763}";

HMODULE ModuleHandle() noexcept { return reinterpret_cast<HMODULE>(&__ImageBase); }

ScriptReplacements Replacements() {
    return {{L"APPID", kAppId},
            {L"CLSID", GuidToString(CLSID_ZephCdbControler)},
            {L"LIBID", GuidToString(LIBID_ZephCdbCtrlLib)},
            {L"MODULE", ModuleFileName(ModuleHandle())}};
}

void RunScript(UINT resource, bool install) {
    const std::wstring script = LoadRegistryScript(ModuleHandle(), resource);
    if (install)
        RegisterScript(script, Replacements(), RegistrationScope::Machine);
    else
        UnregisterScript(script, Replacements(), RegistrationScope::Machine);
}

// The platform helper removes only what it finds complete, so the entries are
// written afresh first.
void UnregisterProxies() {
    CheckHr(PrxDllRegisterServer());
    CheckHr(PrxDllUnregisterServer());
}

HRESULT FirstFailure(std::initializer_list<HRESULT> results) noexcept {
    for (HRESULT hr : results)
        if (FAILED(hr)) return hr;
    return S_OK;
}

}  // namespace
}  // namespace tandem::cdbctrl

using namespace tandem;
using namespace tandem::cdbctrl;

extern "C" {

// The generated proxy code learns the module handle here.
BOOL WINAPI DllMain(HINSTANCE instance, DWORD reason, void* reserved) {
    return PrxDllMain(instance, reason, reserved);
}

HRESULT WINAPI CdbCtrlCanUnloadNow() {
    return CanUnloadModule() == S_OK && PrxDllCanUnloadNow() == S_OK ? S_OK : S_FALSE;
}

HRESULT WINAPI CdbCtrlGetClassObject(const CLSID* clsid, const IID* iid, void** object) {
    if (!object) return E_POINTER;
    *object = nullptr;
    if (!clsid || !iid) return E_POINTER;
    if (SUCCEEDED(PrxDllGetClassObject(*clsid, *iid, object))) return S_OK;
    if (!IsEqualCLSID(*clsid, CLSID_ZephCdbControler)) return CLASS_E_CLASSNOTAVAILABLE;
    return CatchHr([&] { return MakeComObject<ClassFactory<CZephCdbControler>>()->QueryInterface(*iid, object); });
}

HRESULT WINAPI CdbCtrlRegisterServer() {
    return CatchHr([] {
        RunScript(IDR_CDBCTRL_APPID, true);
        RunScript(IDR_CDBCTRL_CLASS, true);
        RegisterTypeLibrary(ModuleFileName(ModuleHandle()), RegistrationScope::Machine);
        CheckHr(PrxDllRegisterServer());
    });
}

// Every step runs even after a failure, so that an incomplete registration
// is removed as far as it got.
HRESULT WINAPI CdbCtrlUnregisterServer() {
    return FirstFailure({
        CatchHr([] { RunScript(IDR_CDBCTRL_APPID, false); }),
        CatchHr([] { RunScript(IDR_CDBCTRL_CLASS, false); }),
        CatchHr([] { UnregisterTypeLibrary(ModuleFileName(ModuleHandle()), RegistrationScope::Machine); }),
        CatchHr([] { UnregisterProxies(); }),
    });
}

}  // extern "C"
