// Entry points of the catalog plug-in's module. DllInstall with "plugin"
// adds (or, uninstalling, removes) the entry under the watcher's "Plugin"
// key that makes the service load it; registering the class does not.

#include <windows.h>

#include "catalog_plugin.h"
#include "catalog_resources.h"
#include "com/class_factory.h"
#include "com/module_lock.h"
#include "com/registry_script.h"
#include "module_path.h"
#include "strings.h"

extern "C" IMAGE_DOS_HEADER __ImageBase;

namespace tandem::catalog {
namespace {

HMODULE ModuleHandle() noexcept { return reinterpret_cast<HMODULE>(&__ImageBase); }

void RunScript(UINT resource, bool install) {
    const std::wstring script = LoadRegistryScript(ModuleHandle(), resource);
    const ScriptReplacements replacements{{L"CLSID", GuidToString(CLSID_TandemCatalog)},
                                          {L"MODULE", ModuleFileName(ModuleHandle())}};
    if (install)
        RegisterScript(script, replacements, RegistrationScope::Machine);
    else
        UnregisterScript(script, replacements, RegistrationScope::Machine);
}

}  // namespace
}  // namespace tandem::catalog

using namespace tandem;
using namespace tandem::catalog;

extern "C" {

HRESULT WINAPI CatalogCanUnloadNow() { return CanUnloadModule(); }

HRESULT WINAPI CatalogGetClassObject(const CLSID* clsid, const IID* iid, void** object) {
    if (!object) return E_POINTER;
    *object = nullptr;
    if (!clsid || !iid) return E_POINTER;
    if (!IsEqualCLSID(*clsid, CLSID_TandemCatalog)) return CLASS_E_CLASSNOTAVAILABLE;
    return CatchHr([&] { return MakeComObject<ClassFactory<CTandemCatalog>>()->QueryInterface(*iid, object); });
}

HRESULT WINAPI CatalogRegisterServer() {
    return CatchHr([] { RunScript(IDR_CATALOG_CLASS_REGISTRY, true); });
}

HRESULT WINAPI CatalogUnregisterServer() {
    return CatchHr([] { RunScript(IDR_CATALOG_CLASS_REGISTRY, false); });
}

HRESULT WINAPI CatalogInstall(BOOL install, const wchar_t* commandLine) {
    if (!commandLine || !EqualsNoCase(commandLine, L"plugin")) return E_INVALIDARG;
    return CatchHr([install] { RunScript(IDR_CATALOG_PLUGIN_REGISTRY, install != FALSE); });
}

}  // extern "C"
