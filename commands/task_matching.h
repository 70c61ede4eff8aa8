#pragma once

#include <string>
#include <string_view>

#include "command_task.h"

namespace tandem {

// Case-insensitive. Folder paths end with a backslash, so prefixes stop at
// folder boundaries.
bool PathStartsWith(std::wstring_view path, std::wstring_view prefix) noexcept;

// The task works on path, or (subTree) at or below it.
bool Matches(const CommandThreadTaskBase& task, std::wstring_view path, bool subTree) noexcept;
// The task works on a strict ancestor of path including its sub-folders.
bool Covers(const CommandThreadTaskBase& task, std::wstring_view path) noexcept;
// path is a strict ancestor of the task's path.
bool IsBelow(const CommandThreadTaskBase& task, std::wstring_view path) noexcept;

}  // namespace tandem
