#pragma once

#include <string_view>

#include "exclusion_list.h"

namespace tandem {

// The file and folder exclusion lists, as loaded once by the caller.
struct ExclusionRules {
    ExclusionList files;
    ExclusionList folders;
};

// Full paths; a folder path may end with a backslash or not.
bool IsFileExcluded(const ExclusionList& files, std::wstring_view path);
bool IsFolderExcluded(const ExclusionList& folders, std::wstring_view path);

}  // namespace tandem
