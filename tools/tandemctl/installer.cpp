// The set-up of a machine from the build's output folder, through the
// modules' own registration entry points; only the keys the service reads
// but no module writes are made here.

#include <functional>
#include <string>
#include <vector>

#include "commands.h"
#include "console.h"
#include "error.h"
#include "folder_keys.h"
#include "module_path.h"
#include "registry.h"
#include "unique_resource.h"

namespace tandem::ctl {
namespace {

constexpr wchar_t kPluginKey[] = L"SOFTWARE\\Marlo Corporation\\Tandem Content Folder Watcher\\Plugin";
constexpr DWORD kProgramLimit = 120000;

std::wstring Beside(const wchar_t* file) { return ModuleDirectory(nullptr) + file; }

// An export of a module, as the function type it has.
template <class Function>
Function* EntryPoint(HMODULE module, const char* name) {
    return reinterpret_cast<Function*>(reinterpret_cast<void*>(GetProcAddress(module, name)));
}

UniqueModule LoadModule(const wchar_t* file) {
    UniqueModule module(LoadLibraryW(Beside(file).c_str()));
    if (!module) throw CommandError(L"cannot load " + Beside(file), HRESULT_FROM_WIN32(GetLastError()));
    return module;
}

void CallEntry(const wchar_t* file, const char* entry) {
    const UniqueModule module = LoadModule(file);
    const auto function = EntryPoint<HRESULT WINAPI()>(module.get(), entry);
    if (!function) throw CommandError(std::wstring(file) + L" has no entry point", HRESULT_FROM_WIN32(GetLastError()));
    Check(function(), std::wstring(file) + L": " + std::wstring(entry, entry + strlen(entry)) + L" failed");
}

void CallPluginSwitch(bool add) {
    const UniqueModule module = LoadModule(L"TandemCatalog.dll");
    const auto install =
        EntryPoint<HRESULT WINAPI(BOOL, const wchar_t*)>(module.get(), "DllInstall");
    if (!install) throw CommandError(L"TandemCatalog.dll has no DllInstall", HRESULT_FROM_WIN32(GetLastError()));
    Check(install(add, L"plugin"), add ? L"cannot add the catalog plug-in's entry"
                                       : L"cannot remove the catalog plug-in's entry");
}

void RunTandem(const wchar_t* argument) {
    std::wstring commandLine = L"\"" + Beside(L"tandem.exe") + L"\" " + argument;
    STARTUPINFOW startup{};
    startup.cb = sizeof(startup);
    PROCESS_INFORMATION process{};
    if (!CreateProcessW(nullptr, commandLine.data(), nullptr, nullptr, FALSE, 0, nullptr, nullptr, &startup,
                        &process))
        throw CommandError(L"cannot run " + Beside(L"tandem.exe"), HRESULT_FROM_WIN32(GetLastError()));
    const UniqueHandle processHandle(process.hProcess);
    const UniqueHandle threadHandle(process.hThread);
    if (WaitForSingleObject(processHandle.get(), kProgramLimit) != WAIT_OBJECT_0)
        throw CommandError(L"tandem.exe " + std::wstring(argument) + L" did not end", HRESULT_FROM_WIN32(WAIT_TIMEOUT));
    DWORD exitCode = 0;
    GetExitCodeProcess(processHandle.get(), &exitCode);
    if (exitCode != 0) throw CommandError(L"tandem.exe " + std::wstring(argument) + L" failed", static_cast<HRESULT>(exitCode));
}

void CreateExpectedKeys() {
    try {
        CreateKey(HKEY_LOCAL_MACHINE, kPluginKey);
        CreateKey(HKEY_LOCAL_MACHINE, kOlderFolderListKey);
    } catch (const HResultError& error) {
        throw CommandError(L"cannot create the service's registry keys", error.hr());
    }
}

// The plug-in list goes when no plug-in is left in it.
void RemoveEmptyPluginKey() {
    const auto key = TryOpenKey(HKEY_LOCAL_MACHINE, kPluginKey);
    if (!key) return;
    DWORD subKeys = 0;
    if (RegQueryInfoKeyW(key->get(), nullptr, nullptr, nullptr, &subKeys, nullptr, nullptr, nullptr, nullptr,
                         nullptr, nullptr, nullptr) == ERROR_SUCCESS &&
        subKeys == 0)
        CheckWin32(RegDeleteKeyW(HKEY_LOCAL_MACHINE, kPluginKey));
}

struct Step {
    std::wstring what;
    std::function<void()> run;
};

const std::vector<Step>& InstallSteps() {
    static const std::vector<Step> steps{
        {L"watcher type library and proxies (MarloZephFw.dll)", [] { CallEntry(L"MarloZephFw.dll", "DllRegisterServer"); }},
        {L"plug-in type library and proxies (TandemPlugin.dll)", [] { CallEntry(L"TandemPlugin.dll", "DllRegisterServer"); }},
        {L"service Tandem (tandem.exe /Service)", [] { RunTandem(L"/Service"); }},
        {L"plug-in list and older folder list keys", CreateExpectedKeys},
        {L"catalog plug-in class (TandemCatalog.dll)", [] { CallEntry(L"TandemCatalog.dll", "DllRegisterServer"); }},
        {L"catalog plug-in entry in the plug-in list", [] { CallPluginSwitch(true); }},
    };
    return steps;
}

const std::vector<Step>& UninstallSteps() {
    static const std::vector<Step> steps{
        {L"catalog plug-in entry", [] { CallPluginSwitch(false); }},
        {L"catalog plug-in class", [] { CallEntry(L"TandemCatalog.dll", "DllUnregisterServer"); }},
        {L"service Tandem", [] { RunTandem(L"/UnregServer"); }},
        {L"plug-in type library and proxies", [] { CallEntry(L"TandemPlugin.dll", "DllUnregisterServer"); }},
        {L"watcher type library and proxies", [] { CallEntry(L"MarloZephFw.dll", "DllUnregisterServer"); }},
        {L"empty plug-in list key", RemoveEmptyPluginKey},
    };
    return steps;
}

}  // namespace

int InstallCommand(const ParsedCommand&) {
    for (const Step& step : InstallSteps()) {
        step.run();
        Out(L"installed: " + step.what);
    }
    Out(L"start the service with \"net start Tandem\"");
    return 0;
}

// Every step is tried, so that what an earlier failure left is still removed.
int UninstallCommand(const ParsedCommand&) {
    int exitCode = 0;
    for (const Step& step : UninstallSteps()) {
        try {
            step.run();
            Out(L"removed: " + step.what);
        } catch (const CommandError& error) {
            Err(L"tandemctl: uninstall: " + error.context() + L": " + DescribeHr(error.hr()));
            exitCode = 1;
        } catch (const HResultError& error) {
            Err(L"tandemctl: uninstall: " + step.what + L": " + DescribeHr(error.hr()));
            exitCode = 1;
        }
    }
    return exitCode;
}

int PluginCommand(const ParsedCommand& command) {
    const std::wstring& action = command.positionals[0];
    if (action != L"add" && action != L"remove")
        throw UsageError(L"plugin: say add or remove, not \"" + action + L"\"");
    if (action == L"add") CreateExpectedKeys();
    CallPluginSwitch(action == L"add");
    Out(action == L"add" ? L"catalog plug-in added; the service uses it from its next start"
                         : L"catalog plug-in removed; the service stops using it at its next start");
    return 0;
}

}  // namespace tandem::ctl
