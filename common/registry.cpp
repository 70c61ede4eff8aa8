#include "registry.h"

#include <vector>

#include "error.h"

namespace tandem {

RegKey OpenKey(HKEY parent, const std::wstring& subKey, REGSAM access) {
    RegKey key;
    CheckWin32(RegOpenKeyExW(parent, subKey.c_str(), 0, access, key.put()));
    return key;
}

std::optional<RegKey> TryOpenKey(HKEY parent, const std::wstring& subKey, REGSAM access) {
    RegKey key;
    LONG error = RegOpenKeyExW(parent, subKey.c_str(), 0, access, key.put());
    if (error == ERROR_FILE_NOT_FOUND) return std::nullopt;
    CheckWin32(error);
    return key;
}

bool KeyExists(HKEY parent, const std::wstring& subKey) { return TryOpenKey(parent, subKey).has_value(); }

RegKey CreateKey(HKEY parent, const std::wstring& subKey, REGSAM access) {
    RegKey key;
    CheckWin32(RegCreateKeyExW(parent, subKey.c_str(), 0, nullptr, REG_OPTION_NON_VOLATILE, access, nullptr,
                               key.put(), nullptr));
    return key;
}

void DeleteKeyTree(HKEY parent, const std::wstring& subKey) {
    LONG error = RegDeleteTreeW(parent, subKey.c_str());
    if (error != ERROR_FILE_NOT_FOUND) CheckWin32(error);
}

std::optional<std::wstring> TryReadString(HKEY key, const wchar_t* name) {
    DWORD type = 0;
    DWORD size = 0;
    LONG error = RegQueryValueExW(key, name, nullptr, &type, nullptr, &size);
    if (error == ERROR_FILE_NOT_FOUND) return std::nullopt;
    CheckWin32(error);
    if (type != REG_SZ && type != REG_EXPAND_SZ) ThrowWin32(ERROR_INVALID_DATA);
    std::vector<wchar_t> buffer;
    do {
        // Odd sizes are rounded up so the read never runs past the buffer.
        buffer.resize(size / sizeof(wchar_t) + 1);
        size = static_cast<DWORD>(buffer.size() * sizeof(wchar_t));
        error = RegQueryValueExW(key, name, nullptr, &type, reinterpret_cast<BYTE*>(buffer.data()), &size);
    } while (error == ERROR_MORE_DATA);
    CheckWin32(error);
    if (type != REG_SZ && type != REG_EXPAND_SZ) ThrowWin32(ERROR_INVALID_DATA);
    size_t units = size / sizeof(wchar_t);
    if (units == 0) return std::wstring();
    return std::wstring(buffer.data(), units - 1);
}

std::wstring ReadString(HKEY key, const wchar_t* name) {
    auto value = TryReadString(key, name);
    if (!value) ThrowWin32(ERROR_FILE_NOT_FOUND);
    return *value;
}

DWORD ReadDword(HKEY key, const wchar_t* name, DWORD fallback, DWORD low, DWORD high) {
    DWORD type = 0;
    DWORD value = 0;
    DWORD size = sizeof(value);
    LONG error = RegQueryValueExW(key, name, nullptr, &type, reinterpret_cast<BYTE*>(&value), &size);
    if (error == ERROR_FILE_NOT_FOUND || error == ERROR_MORE_DATA) return fallback;
    CheckWin32(error);
    if (type != REG_DWORD) ThrowWin32(ERROR_INVALID_DATA);
    return value >= low && value <= high ? value : fallback;
}

void WriteString(HKEY key, const wchar_t* name, std::wstring_view value) {
    std::wstring text(value);
    CheckWin32(RegSetValueExW(key, name, 0, REG_SZ, reinterpret_cast<const BYTE*>(text.c_str()),
                              static_cast<DWORD>((text.size() + 1) * sizeof(wchar_t))));
}

void WriteDword(HKEY key, const wchar_t* name, DWORD value) {
    CheckWin32(RegSetValueExW(key, name, 0, REG_DWORD, reinterpret_cast<const BYTE*>(&value), sizeof(value)));
}

void DeleteValue(HKEY key, const wchar_t* name) { CheckWin32(RegDeleteValueW(key, name)); }

}  // namespace tandem
