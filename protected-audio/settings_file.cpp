#include "settings_file.h"

#include <objbase.h>

namespace tandem::protected_audio {

namespace {

constexpr DWORD kFirstKeyBuffer = 1024;
constexpr DWORD kLastKeyBuffer = 65536;
constexpr DWORD kValueBuffer = 256;

// The reader answers a buffer that was too small with its size less 2.
std::wstring ReadKeyNames(const wchar_t* section, const std::wstring& file) {
    for (DWORD size = kFirstKeyBuffer; size <= kLastKeyBuffer; size *= 2) {
        std::wstring buffer(size, L'\0');
        DWORD length = GetPrivateProfileStringW(section, nullptr, L"", buffer.data(), size, file.c_str());
        if (length != size - 2) {
            buffer.resize(length);
            return buffer;
        }
    }
    return {};
}

}  // namespace

SettingsFile SettingsFile::Beside(const std::wstring& modulePath) {
    std::wstring::size_type dot = modulePath.rfind(L'.');
    std::wstring::size_type slash = modulePath.find_last_of(L"\\/");
    if (dot == std::wstring::npos || (slash != std::wstring::npos && dot < slash)) return SettingsFile(modulePath + L".ini");
    return SettingsFile(modulePath.substr(0, dot) + L".ini");
}

LONG SettingsFile::ReadInteger(const wchar_t* section, const wchar_t* key) const {
    wchar_t value[kValueBuffer] = {};
    GetPrivateProfileStringW(section, key, L"", value, kValueBuffer, path_.c_str());
    return static_cast<LONG>(wcstol(value, nullptr, 10));
}

std::vector<SettingsRow> SettingsFile::ReadSection(const wchar_t* section) const {
    std::wstring names = ReadKeyNames(section, path_);
    std::vector<SettingsRow> rows;
    for (const wchar_t* key = names.c_str(); *key; key += wcslen(key) + 1) {
        wchar_t value[kValueBuffer] = {};
        GetPrivateProfileStringW(section, key, L"", value, kValueBuffer, path_.c_str());
        rows.emplace_back(key, value);
    }
    return rows;
}

std::optional<CLSID> ParseClassId(const std::wstring& text) {
    CLSID clsid;
    if (text.size() != 38 || FAILED(IIDFromString(text.c_str(), &clsid))) return std::nullopt;
    return clsid;
}

}  // namespace tandem::protected_audio
