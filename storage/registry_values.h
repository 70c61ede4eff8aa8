#pragma once

#include <windows.h>

#include <optional>
#include <string>
#include <vector>

namespace tandem {

// The type of a value, nothing when it does not exist.
std::optional<DWORD> ValueType(HKEY key, const wchar_t* name);

// The bytes of a REG_BINARY value; nothing when it is missing or of another type.
std::optional<std::vector<BYTE>> TryReadBinary(HKEY key, const wchar_t* name);
void WriteBinary(HKEY key, const wchar_t* name, const std::vector<BYTE>& bytes);

// Sub-key names of a key, enumerated by index (names up to 255 characters).
std::vector<std::wstring> SubKeyNames(HKEY key);

}  // namespace tandem
