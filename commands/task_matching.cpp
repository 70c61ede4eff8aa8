#include "task_matching.h"

#include "strings.h"

namespace tandem {

bool PathStartsWith(std::wstring_view path, std::wstring_view prefix) noexcept {
    return path.size() >= prefix.size() && EqualsNoCase(path.substr(0, prefix.size()), prefix);
}

bool Matches(const CommandThreadTaskBase& task, std::wstring_view path, bool subTree) noexcept {
    const std::wstring& own = task.GetPath();
    return EqualsNoCase(own, path) || (subTree && PathStartsWith(own, path));
}

bool Covers(const CommandThreadTaskBase& task, std::wstring_view path) noexcept {
    const std::wstring& own = task.GetPath();
    return task.IsSubTree() && own.size() < path.size() && PathStartsWith(path, own);
}

bool IsBelow(const CommandThreadTaskBase& task, std::wstring_view path) noexcept {
    const std::wstring& own = task.GetPath();
    return path.size() < own.size() && PathStartsWith(own, path);
}

}  // namespace tandem
