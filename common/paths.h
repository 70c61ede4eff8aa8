#pragma once

#include <string>
#include <string_view>

namespace tandem {

// One backslash appended to a non-empty path that does not end with one.
std::wstring WithTrailingBackslash(std::wstring_view path);
// One trailing backslash removed, if there is one.
std::wstring WithoutTrailingBackslash(std::wstring_view path);

struct RootSplit {
    std::wstring root;      // C:\ or \\server\share\, always with a trailing backslash
    std::wstring relative;  // the rest, separators collapsed
};

// Splits a path by the shell's root-skipping rule. When no root can be
// skipped, the whole path (completed with a backslash) is the root.
RootSplit SplitRoot(std::wstring_view path);

// Forward slashes made backslashes, runs of them made one, none leading: one
// folder is one string however a client typed it.
std::wstring CollapseSeparators(std::wstring_view relative);
// False for an empty component or a "." or "..", which name a folder by
// another string or climb above the root.
bool HasOnlyNamedComponents(std::wstring_view relative);

}  // namespace tandem
