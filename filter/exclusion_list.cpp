#include "exclusion_list.h"

#include <algorithm>
#include <optional>
#include <string>

#include "error.h"
#include "registry.h"

namespace tandem {
namespace {

// The name of value index, or nothing past the last one. Checks the value's
// type and size on the way.
std::optional<std::wstring> PatternValueName(HKEY key, DWORD index) {
    wchar_t name[256];
    DWORD nameLength = static_cast<DWORD>(std::size(name));
    DWORD type = 0;
    DWORD size = 0;
    const LONG error = RegEnumValueW(key, index, name, &nameLength, nullptr, &type, nullptr, &size);
    if (error == ERROR_NO_MORE_ITEMS) return std::nullopt;
    CheckWin32(error);
    if ((type != REG_SZ && type != REG_EXPAND_SZ) || size == 0) ThrowWin32(ERROR_INVALID_DATA);
    return std::wstring(name, nameLength);
}

}  // namespace

ExclusionList LoadExclusionList(HKEY root, const wchar_t* subKey, PatternGrammar grammar) {
    ExclusionList list;
    // A key that cannot be opened, for whatever reason, excludes nothing.
    RegKey key;
    if (RegOpenKeyExW(root, subKey, 0, KEY_READ, key.put()) != ERROR_SUCCESS) return list;
    const auto make = grammar == PatternGrammar::File ? MakeFileChecker : MakeFolderChecker;
    for (DWORD index = 0;; ++index) {
        auto name = PatternValueName(key.get(), index);
        if (!name) break;
        list.push_back(make(ReadString(key.get(), name->c_str())));
    }
    return list;
}

bool IsExcluded(const ExclusionList& list, std::wstring_view relativePath, std::wstring_view name) {
    return std::any_of(list.begin(), list.end(),
                       [&](const FileNameCheckerPtr& checker) { return checker->IsMatch(relativePath, name); });
}

ExclusionList LoadFileExclusions() {
    return LoadExclusionList(HKEY_LOCAL_MACHINE, kIgnoredFilesKey, PatternGrammar::File);
}

ExclusionList LoadFolderExclusions() {
    return LoadExclusionList(HKEY_LOCAL_MACHINE, kIgnoredFoldersKey, PatternGrammar::Folder);
}

}  // namespace tandem
