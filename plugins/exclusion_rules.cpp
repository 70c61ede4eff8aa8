#include "exclusion_rules.h"

#include <string>

#include "paths.h"

namespace tandem {
namespace {

std::wstring_view LastComponent(std::wstring_view path) {
    const size_t slash = path.find_last_of(L'\\', path.size() > 1 ? path.size() - 2 : 0);
    return slash == std::wstring_view::npos ? path : path.substr(slash + 1);
}

}  // namespace

bool IsFileExcluded(const ExclusionList& files, std::wstring_view path) {
    const std::wstring relative = SplitRoot(path).relative;
    return IsExcluded(files, relative, LastComponent(relative));
}

// Checkers see folders below the root with their trailing backslash.
bool IsFolderExcluded(const ExclusionList& folders, std::wstring_view path) {
    const std::wstring relative = WithTrailingBackslash(SplitRoot(path).relative);
    if (relative.empty()) return false;
    return IsExcluded(folders, relative, LastComponent(relative));
}

}  // namespace tandem
