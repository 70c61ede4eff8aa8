#include "file_name_checkers.h"

#include <windows.h>
#include <shlwapi.h>

#include "strings.h"

namespace tandem {

bool UnderRootChecker::IsMatch(std::wstring_view relativePath, std::wstring_view) const {
    return EqualsNoCase(relativePath, text());
}

bool PrefixChecker::IsMatch(std::wstring_view, std::wstring_view name) const {
    return name.size() >= text().size() && EqualsNoCase(name.substr(0, text().size()), text());
}

bool PostfixChecker::IsMatch(std::wstring_view, std::wstring_view name) const {
    if (name.size() <= text().size()) return EqualsNoCase(name, text());
    return EqualsNoCase(name.substr(name.size() - text().size()), text());
}

bool BetweenfixChecker::IsMatch(std::wstring_view, std::wstring_view name) const {
    if (text().empty()) return true;
    const auto dot = name.rfind(L'.');
    // StrStrIW needs terminated strings; the view may be part of a longer path.
    const std::wstring tail(dot == std::wstring_view::npos ? name : name.substr(dot));
    return StrStrIW(tail.c_str(), text().c_str()) != nullptr;
}

bool FileNameChecker::IsMatch(std::wstring_view, std::wstring_view name) const {
    return EqualsNoCase(name, text());
}

bool NoExtChecker::IsMatch(std::wstring_view, std::wstring_view name) const {
    const std::wstring terminated(name);
    return *PathFindExtensionW(terminated.c_str()) == L'\0';
}

}  // namespace tandem
