#include "registry_values.h"

#include "error.h"

namespace tandem {

std::optional<DWORD> ValueType(HKEY key, const wchar_t* name) {
    DWORD type = 0;
    LONG error = RegQueryValueExW(key, name, nullptr, &type, nullptr, nullptr);
    if (error == ERROR_FILE_NOT_FOUND) return std::nullopt;
    CheckWin32(error);
    return type;
}

std::optional<std::vector<BYTE>> TryReadBinary(HKEY key, const wchar_t* name) {
    if (ValueType(key, name) != REG_BINARY) return std::nullopt;
    DWORD type = 0;
    DWORD size = 0;
    CheckWin32(RegQueryValueExW(key, name, nullptr, &type, nullptr, &size));
    std::vector<BYTE> bytes;
    LONG error = ERROR_SUCCESS;
    do {
        bytes.resize(size);
        error = RegQueryValueExW(key, name, nullptr, &type, bytes.data(), &size);
    } while (error == ERROR_MORE_DATA);
    CheckWin32(error);
    if (type != REG_BINARY) return std::nullopt;
    bytes.resize(size);
    return bytes;
}

void WriteBinary(HKEY key, const wchar_t* name, const std::vector<BYTE>& bytes) {
    CheckWin32(RegSetValueExW(key, name, 0, REG_BINARY, bytes.data(), static_cast<DWORD>(bytes.size())));
}

std::vector<std::wstring> SubKeyNames(HKEY key) {
    std::vector<std::wstring> names;
    for (DWORD index = 0;; ++index) {
        wchar_t name[256];
        DWORD length = 256;
        LONG error = RegEnumKeyExW(key, index, name, &length, nullptr, nullptr, nullptr, nullptr);
        if (error == ERROR_NO_MORE_ITEMS) return names;
        CheckWin32(error);
        names.emplace_back(name, length);
    }
}

}  // namespace tandem
