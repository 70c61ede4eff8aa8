#include <windows.h>

#include "wine_subfolders.h"

#include "paths.h"
#include "unique_resource.h"

namespace tandem {
namespace {

bool IsSubFolder(const WIN32_FIND_DATAW& entry) {
    if (!(entry.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) || (entry.dwFileAttributes & FILE_ATTRIBUTE_REPARSE_POINT))
        return false;
    const std::wstring_view name = entry.cFileName;
    return name != L"." && name != L"..";
}

void Reveal(const std::wstring& folder, bool recursive) {
    UniqueHandle opened(CreateFileW(folder.c_str(), FILE_LIST_DIRECTORY,
                                    FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr, OPEN_EXISTING,
                                    FILE_FLAG_BACKUP_SEMANTICS, nullptr));
    if (!opened || !recursive) return;
    const std::wstring prefix = WithTrailingBackslash(folder);
    WIN32_FIND_DATAW entry;
    UniqueFindHandle find(FindFirstFileW((prefix + L"*").c_str(), &entry));
    if (!find) return;
    do {
        if (IsSubFolder(entry)) Reveal(prefix + entry.cFileName, recursive);
    } while (FindNextFileW(find.get(), &entry));
}

}  // namespace

bool RunningUnderWine() noexcept {
    static const bool wine = [] {
        const HMODULE ntdll = GetModuleHandleW(L"ntdll.dll");
        return ntdll && GetProcAddress(ntdll, "wine_get_version") != nullptr;
    }();
    return wine;
}

void RevealSubFoldersToWine(const std::vector<std::wstring>& folders, bool recursive) noexcept {
    if (!RunningUnderWine()) return;
    for (const std::wstring& folder : folders) Reveal(folder, recursive);
}

}  // namespace tandem
