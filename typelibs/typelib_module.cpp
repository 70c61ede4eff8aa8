// Entry points shared by the type-library modules: each carries a registry
// script, a type library and the proxy/stub code generated for its
// interfaces, and serves no classes of its own.

#include "typelib_module.h"

#include <windows.h>

#include <atomic>
#include <initializer_list>
#include <optional>
#include <string>

#include "com/registry_script.h"
#include "com/type_library_registration.h"
#include "error.h"
#include "module_resources.h"
#include "registry.h"
#include "strings.h"
#include "module_path.h"

extern "C" IMAGE_DOS_HEADER __ImageBase;

// Generated proxy/stub entry points, compiled with the Prx prefix.
extern "C" {
BOOL WINAPI PrxDllMain(HINSTANCE instance, DWORD reason, void* reserved);
HRESULT WINAPI PrxDllRegisterServer();
HRESULT WINAPI PrxDllUnregisterServer();
HRESULT WINAPI PrxDllGetClassObject(REFCLSID clsid, REFIID iid, void** object);
HRESULT WINAPI PrxDllCanUnloadNow();
}

namespace tandem::typelibs {
namespace {

std::atomic<long> g_moduleLocks{0};

// Keeps the module from being reported unloadable while an export runs.
class ModuleLock {
public:
    ModuleLock() noexcept { ++g_moduleLocks; }
    ModuleLock(const ModuleLock&) = delete;
    ModuleLock& operator=(const ModuleLock&) = delete;
    ~ModuleLock() { --g_moduleLocks; }
};

// Registration must not depend on the calling thread's locale.
class SystemLocaleScope {
public:
    SystemLocaleScope() noexcept : saved_(GetThreadLocale()) { SetThreadLocale(LOCALE_SYSTEM_DEFAULT); }
    SystemLocaleScope(const SystemLocaleScope&) = delete;
    SystemLocaleScope& operator=(const SystemLocaleScope&) = delete;
    ~SystemLocaleScope() { SetThreadLocale(saved_); }

private:
    LCID saved_;
};

// For a per-user registration, what the platform helpers write under
// HKEY_CLASSES_ROOT (proxy entries; type libraries where the per-user call
// registers machine-wide) lands in the user's own classes.
class UserClassesRedirect {
public:
    UserClassesRedirect() : classes_(CreateKey(HKEY_CURRENT_USER, L"Software\\Classes")) {
        CheckWin32(RegOverridePredefKey(HKEY_CLASSES_ROOT, classes_.get()));
    }
    UserClassesRedirect(const UserClassesRedirect&) = delete;
    UserClassesRedirect& operator=(const UserClassesRedirect&) = delete;
    ~UserClassesRedirect() { RegOverridePredefKey(HKEY_CLASSES_ROOT, nullptr); }

private:
    RegKey classes_;
};

class RegistrationContext {
public:
    explicit RegistrationContext(RegistrationScope scope) {
        if (scope == RegistrationScope::User) redirect_.emplace();
    }

private:
    ModuleLock lock_;
    SystemLocaleScope locale_;
    std::optional<UserClassesRedirect> redirect_;
};

HMODULE ModuleHandle() noexcept { return reinterpret_cast<HMODULE>(&__ImageBase); }

std::wstring ModulePath() { return ModuleFileName(ModuleHandle()); }

void RunModuleScript(RegistrationScope scope, bool install) {
    const std::wstring script = LoadRegistryScript(ModuleHandle(), IDR_MODULE_REGISTRY);
    const ScriptReplacements replacements{{L"APPID", kThisModule.appId}};
    if (install)
        RegisterScript(script, replacements, scope);
    else
        UnregisterScript(script, replacements, scope);
}

void RegisterProxies() { CheckHr(PrxDllRegisterServer()); }

// The platform helper removes only what it finds complete, so the entries are
// written afresh first.
void UnregisterProxies() {
    RegisterProxies();
    CheckHr(PrxDllUnregisterServer());
}

HRESULT FirstFailure(std::initializer_list<HRESULT> results) noexcept {
    for (HRESULT hr : results)
        if (FAILED(hr)) return hr;
    return S_OK;
}

HRESULT Register(RegistrationScope scope) noexcept {
    return CatchHr([scope] {
        RegistrationContext context(scope);
        RunModuleScript(scope, true);
        RegisterTypeLibrary(ModulePath(), scope);
        RegisterProxies();
    });
}

// Every step runs even after a failure, so that an incomplete registration
// is removed as far as it got.
HRESULT Unregister(RegistrationScope scope) noexcept {
    return CatchHr([scope] {
        RegistrationContext context(scope);
        return FirstFailure({
            CatchHr([scope] { RunModuleScript(scope, false); }),
            CatchHr([scope] { UnregisterTypeLibrary(ModulePath(), scope); }),
            CatchHr([] { UnregisterProxies(); }),
        });
    });
}

RegistrationScope ScopeOf(const wchar_t* commandLine) noexcept {
    return commandLine && EqualsNoCase(commandLine, L"user") ? RegistrationScope::User : RegistrationScope::Machine;
}

}  // namespace
}  // namespace tandem::typelibs

using tandem::RegistrationScope;
using namespace tandem::typelibs;

extern "C" {

// The generated proxy code learns the module handle here.
BOOL WINAPI DllMain(HINSTANCE instance, DWORD reason, void* reserved) {
    return PrxDllMain(instance, reason, reserved);
}

// Exported under the standard names through the module definition file.

HRESULT WINAPI TypelibModuleCanUnloadNow() {
    return g_moduleLocks == 0 && PrxDllCanUnloadNow() == S_OK ? S_OK : S_FALSE;
}

HRESULT WINAPI TypelibModuleGetClassObject(const CLSID* clsid, const IID* iid, void** object) {
    if (!object) return E_POINTER;
    *object = nullptr;
    if (!clsid || !iid) return E_POINTER;
    // Only the proxy/stub factory: the module's own class table is empty.
    return PrxDllGetClassObject(*clsid, *iid, object);
}

HRESULT WINAPI TypelibModuleRegisterServer() { return Register(RegistrationScope::Machine); }

HRESULT WINAPI TypelibModuleUnregisterServer() { return Unregister(RegistrationScope::Machine); }

HRESULT WINAPI TypelibModuleInstall(BOOL install, const wchar_t* commandLine) {
    const RegistrationScope scope = ScopeOf(commandLine);
    if (!install) return Unregister(scope);
    const HRESULT hr = Register(scope);
    if (FAILED(hr)) Unregister(scope);
    return hr;
}

}  // extern "C"
