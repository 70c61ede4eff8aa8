#pragma once

#include <windows.h>

#include <string_view>
#include <vector>

#include "file_name_checker.h"

namespace tandem {

// Checkers in the order of their registry values; read-only once loaded.
using ExclusionList = std::vector<FileNameCheckerPtr>;

enum class PatternGrammar { File, Folder };

// Under HKEY_LOCAL_MACHINE.
inline constexpr wchar_t kIgnoredFilesKey[] =
    L"SOFTWARE\\Marlo Corporation\\Pelion Entertainment Platform\\1.0\\ZephFw\\Excluded\\IgnoredFiles";
inline constexpr wchar_t kIgnoredFoldersKey[] =
    L"SOFTWARE\\Marlo Corporation\\Pelion Entertainment Platform\\1.0\\ZephFw\\Excluded\\Ignored";

// One pattern per value, value names meaningless. A missing key is an empty
// list; a value that is not a non-empty string fails with ERROR_INVALID_DATA.
ExclusionList LoadExclusionList(HKEY root, const wchar_t* subKey, PatternGrammar grammar);

bool IsExcluded(const ExclusionList& list, std::wstring_view relativePath, std::wstring_view name);

// The lists of the machine, as the content and folder managers load them.
ExclusionList LoadFileExclusions();
ExclusionList LoadFolderExclusions();

}  // namespace tandem
