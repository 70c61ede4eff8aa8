#pragma once

#include <windows.h>

#include <cstring>
#include <map>
#include <set>
#include <string>
#include <string_view>

#include "settings_file.h"

namespace tandem::protected_audio {

struct ClassIdLess {
    bool operator()(const CLSID& a, const CLSID& b) const noexcept { return std::memcmp(&a, &b, sizeof(CLSID)) < 0; }
};

// Which tag-handler class opens a path, and where non-registered classes
// come from. The first row for a key wins.
class FormatMaps {
public:
    // The built-in extension rows.
    void InstallDefaults();
    void ClearExtensions() noexcept { extensions_.clear(); }
    bool AddExtension(std::wstring_view extension, const CLSID& clsid);
    bool AddPrefix(std::wstring_view prefix, const CLSID& clsid);
    void AddLibrary(const CLSID& clsid, std::wstring file);

    // Raises E_FAIL for a path no row covers.
    CLSID Lookup(std::wstring_view path) const;

    // The library file, relative to the module's folder, that provides clsid.
    const std::wstring* LibraryOf(const CLSID& clsid) const;

private:
    std::map<std::wstring, CLSID> extensions_;  // lower-case keys
    std::map<std::wstring, CLSID> prefixes_;    // case-sensitive code-unit order
    std::map<CLSID, std::wstring, ClassIdLess> libraries_;
    std::set<CLSID, ClassIdLess> libraryClasses_;
};

// The extension of a path's file-name part from its last dot, dot included,
// lower-cased; empty when the name has no dot.
std::wstring LowerExtension(std::wstring_view path);

// Adds every row of a map section whose value is a class identifier.
template <class Add>
void AddClassRows(const std::vector<SettingsRow>& rows, Add add) {
    for (const auto& [key, value] : rows)
        if (auto clsid = ParseClassId(value)) add(key, *clsid);
}

}  // namespace tandem::protected_audio
