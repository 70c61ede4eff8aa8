#include "paths.h"

#include <windows.h>
#include <shlwapi.h>

#include <algorithm>

namespace tandem {

std::wstring WithTrailingBackslash(std::wstring_view path) {
    std::wstring result(path);
    if (!result.empty() && result.back() != L'\\') result.push_back(L'\\');
    return result;
}

std::wstring WithoutTrailingBackslash(std::wstring_view path) {
    if (!path.empty() && path.back() == L'\\') path.remove_suffix(1);
    return std::wstring(path);
}

RootSplit SplitRoot(std::wstring_view path) {
    std::wstring text(path);
    const wchar_t* rest = PathSkipRootW(text.c_str());
    if (!rest) return {WithTrailingBackslash(text), std::wstring()};
    size_t rootLength = static_cast<size_t>(rest - text.c_str());
    return {WithTrailingBackslash(text.substr(0, rootLength)), CollapseSeparators(text.substr(rootLength))};
}

std::wstring CollapseSeparators(std::wstring_view relative) {
    std::wstring result;
    for (wchar_t c : relative) {
        if (c == L'/') c = L'\\';
        if (c == L'\\' && (result.empty() || result.back() == L'\\')) continue;
        result.push_back(c);
    }
    return result;
}

bool HasOnlyNamedComponents(std::wstring_view relative) {
    while (!relative.empty()) {
        const size_t end = std::min(relative.find(L'\\'), relative.size());
        const std::wstring_view name = relative.substr(0, end);
        if (name.empty() || name == L"." || name == L"..") return false;
        relative.remove_prefix(std::min(end + 1, relative.size()));
    }
    return true;
}

}  // namespace tandem
