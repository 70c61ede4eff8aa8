#include "command_line.h"

#include <windows.h>

#include <array>
#include <cwctype>
#include <utility>

namespace tandem {

namespace {

constexpr std::array<std::pair<std::wstring_view, ModuleAction>, 5> kSwitches{{
    {L"RegServer", ModuleAction::RegServer},
    {L"RegServerPerUser", ModuleAction::RegServerPerUser},
    {L"Service", ModuleAction::Service},
    {L"UnregServer", ModuleAction::UnregServer},
    {L"UnregServerPerUser", ModuleAction::UnregServerPerUser},
}};

bool EqualNoCase(std::wstring_view a, std::wstring_view b) {
    if (a.size() != b.size()) return false;
    for (size_t i = 0; i < a.size(); ++i)
        if (std::towlower(a[i]) != std::towlower(b[i])) return false;
    return true;
}

}  // namespace

ModuleAction ParseCommandLine(std::wstring_view commandLine) {
    for (size_t at = commandLine.find_first_of(L"-/"); at != std::wstring_view::npos;
         at = commandLine.find_first_of(L"-/", at + 1)) {
        std::wstring_view token = commandLine.substr(at + 1);
        token = token.substr(0, token.find_first_of(L" \t\r\n"));
        for (const auto& [name, action] : kSwitches)
            if (EqualNoCase(token, name)) return action;
    }
    return ModuleAction::Run;
}

std::wstring_view ArgumentsOf(std::wstring_view commandLine) {
    size_t end;
    if (commandLine.starts_with(L'"')) {
        end = commandLine.find(L'"', 1);
        end = end == std::wstring_view::npos ? commandLine.size() : end + 1;
    } else {
        end = commandLine.find_first_of(L" \t");
        if (end == std::wstring_view::npos) end = commandLine.size();
    }
    return commandLine.substr(end);
}

}  // namespace tandem
