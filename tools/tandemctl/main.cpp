#include <windows.h>
#include <objbase.h>

#include <string>
#include <vector>

#include "arguments.h"
#include "commands.h"
#include "console.h"
#include "error.h"

using namespace tandem;
using namespace tandem::ctl;

namespace {

using Handler = int (*)(const ParsedCommand&);

const std::vector<std::pair<std::wstring_view, Handler>>& Handlers() {
    static const std::vector<std::pair<std::wstring_view, Handler>> handlers{
        {L"register", RegisterCommand},     {L"unregister", UnregisterCommand},
        {L"update", UpdateCommand},         {L"refresh", RefreshCommand},
        {L"list", ListCommand},             {L"status", StatusCommand},
        {L"storages", StoragesCommand},     {L"add-storage", AddStorageCommand},
        {L"remove-storage", RemoveStorageCommand}, {L"watch", WatchCommand},
        {L"catalog", CatalogCommand},       {L"props", PropsCommand},
        {L"install", InstallCommand},       {L"uninstall", UninstallCommand},
        {L"plugin", PluginCommand},
    };
    return handlers;
}

class ComScope {
public:
    ComScope() : hr_(CoInitializeEx(nullptr, COINIT_MULTITHREADED)) {
        if (SUCCEEDED(hr_))
            CoInitializeSecurity(nullptr, -1, nullptr, nullptr, RPC_C_AUTHN_LEVEL_DEFAULT,
                                 RPC_C_IMP_LEVEL_IMPERSONATE, nullptr, EOAC_NONE, nullptr);
    }
    ComScope(const ComScope&) = delete;
    ComScope& operator=(const ComScope&) = delete;
    ~ComScope() {
        if (SUCCEEDED(hr_)) CoUninitialize();
    }
    HRESULT hr() const noexcept { return hr_; }

private:
    HRESULT hr_;
};

int Run(const std::vector<std::wstring>& arguments) {
    const ParsedCommand command = ParseArguments(arguments);
    if (command.help) {
        Out(command.definition ? CommandHelp(*command.definition) : GeneralHelp());
        return 0;
    }
    const ComScope com;
    Check(com.hr(), L"cannot start COM");
    for (const auto& [name, handler] : Handlers())
        if (name == command.definition->name) return handler(command);
    return 2;
}

}  // namespace

int wmain(int argc, wchar_t** argv) {
    const std::vector<std::wstring> arguments(argv + 1, argv + argc);
    const std::wstring name = arguments.empty() ? L"" : arguments[0] + L": ";
    try {
        return Run(arguments);
    } catch (const UsageError& error) {
        Err(L"tandemctl: " + error.message());
        return 2;
    } catch (const CommandError& error) {
        Err(L"tandemctl: " + name + error.context() + L": " + DescribeHr(error.hr()));
        return 1;
    } catch (const HResultError& error) {
        Err(L"tandemctl: " + name + DescribeHr(error.hr()));
        return 1;
    } catch (const std::exception&) {
        Err(L"tandemctl: " + name + DescribeHr(E_UNEXPECTED));
        return 1;
    }
}
