#pragma once

#include <windows.h>

#include <optional>
#include <string>
#include <utility>
#include <vector>

namespace tandem::protected_audio {

using SettingsRow = std::pair<std::wstring, std::wstring>;

// The module's initialisation file, read through the platform's profile
// reader.
class SettingsFile {
public:
    explicit SettingsFile(std::wstring path) : path_(std::move(path)) {}

    // The file beside a module: its path with everything from the last "."
    // replaced by ".ini".
    static SettingsFile Beside(const std::wstring& modulePath);

    const std::wstring& Path() const noexcept { return path_; }

    // The decimal value of the text; 0 for no text or text that is not a number.
    LONG ReadInteger(const wchar_t* section, const wchar_t* key) const;

    // Every row of a section in file order; a section whose key names do not
    // fit in 65,536 characters reads as empty.
    std::vector<SettingsRow> ReadSection(const wchar_t* section) const;

private:
    std::wstring path_;
};

// A class identifier in its registry form; nothing for any other text.
std::optional<CLSID> ParseClassId(const std::wstring& text);

}  // namespace tandem::protected_audio
