#include "paths.h"

#include <windows.h>
#include <shlwapi.h>

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
    return {WithTrailingBackslash(text.substr(0, rootLength)), text.substr(rootLength)};
}

}  // namespace tandem
