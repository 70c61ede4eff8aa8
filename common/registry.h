#pragma once

#include <windows.h>

#include <optional>
#include <string>
#include <string_view>

#include "unique_resource.h"

namespace tandem {

struct RegKeyTraits {
    using type = HKEY;
    static type invalid() noexcept { return nullptr; }
    static bool valid(type k) noexcept { return k != nullptr; }
    static void close(type k) noexcept { RegCloseKey(k); }
};
using RegKey = UniqueResource<RegKeyTraits>;

// Saving and deleting open keys with these rights, reading with KEY_READ.
constexpr REGSAM kKeyReadWrite = KEY_READ | KEY_WRITE;

// Every registry failure is raised as HRESULT_FROM_WIN32 of its error.
RegKey OpenKey(HKEY parent, const std::wstring& subKey, REGSAM access = KEY_READ);
// As OpenKey, but a key that does not exist gives nothing.
std::optional<RegKey> TryOpenKey(HKEY parent, const std::wstring& subKey, REGSAM access = KEY_READ);
bool KeyExists(HKEY parent, const std::wstring& subKey);
RegKey CreateKey(HKEY parent, const std::wstring& subKey, REGSAM access = kKeyReadWrite);
// Deletes a key with everything below it; a missing key is not an error.
void DeleteKeyTree(HKEY parent, const std::wstring& subKey);

// REG_SZ or REG_EXPAND_SZ (not expanded), else ERROR_INVALID_DATA. The last
// UTF-16 unit of the data is its terminator; data below 2 bytes is empty.
// A missing value is raised like any other registry error.
std::wstring ReadString(HKEY key, const wchar_t* name);
// As ReadString, but a missing value gives nothing.
std::optional<std::wstring> TryReadString(HKEY key, const wchar_t* name);

// A missing value or one longer than 4 bytes gives fallback; a value of at
// most 4 bytes of another type than REG_DWORD is ERROR_INVALID_DATA; a value
// outside [low, high] gives fallback.
DWORD ReadDword(HKEY key, const wchar_t* name, DWORD fallback, DWORD low = 0, DWORD high = MAXDWORD);

// Written as REG_SZ with the terminator stored.
void WriteString(HKEY key, const wchar_t* name, std::wstring_view value);
void WriteDword(HKEY key, const wchar_t* name, DWORD value);
void DeleteValue(HKEY key, const wchar_t* name);

}  // namespace tandem
