#pragma once

#include <guiddef.h>

#include <string>
#include <string_view>

namespace tandem {

// Ordinal comparison ignoring case, as the file system compares names:
// negative, zero or positive.
int CompareNoCase(std::wstring_view a, std::wstring_view b) noexcept;

inline bool EqualsNoCase(std::wstring_view a, std::wstring_view b) noexcept { return CompareNoCase(a, b) == 0; }

// Orders paths and names for maps keyed without regard to case.
struct LessNoCase {
    using is_transparent = void;
    bool operator()(std::wstring_view a, std::wstring_view b) const noexcept { return CompareNoCase(a, b) < 0; }
};

// The id form of a GUID: its 32 hexadecimal digits, upper case, no braces or hyphens.
std::wstring GuidToId(const GUID& guid);
// The id of a new GUID.
std::wstring NewGuidId();
// The registry form of a GUID: {XXXXXXXX-XXXX-XXXX-XXXX-XXXXXXXXXXXX}.
std::wstring GuidToString(const GUID& guid);

}  // namespace tandem
