#include "older_folder_list.h"

#include <windows.h>

#include <cstdio>
#include <optional>

#include "error.h"
#include "folder_keys.h"
#include "registry.h"
#include "strings.h"

namespace tandem {

namespace {

constexpr int kSlots = 100;

std::wstring SlotName(int slot, const wchar_t* format) {
    wchar_t name[8];
    swprintf(name, 8, format, slot);
    return name;
}

std::optional<RegKey> OpenSlot(HKEY list, int slot, bool create) {
    if (auto key = TryOpenKey(list, SlotName(slot, L"%03d"), kKeyReadWrite)) return key;
    if (create) return CreateKey(list, SlotName(slot, L"%02d"), kKeyReadWrite);
    return TryOpenKey(list, SlotName(slot, L"%02d"), kKeyReadWrite);
}

std::wstring SlotPath(HKEY slot) {
    std::wstring path;
    CatchHr([&] { path = TryReadString(slot, L"Path").value_or(L""); });
    return path;
}

}  // namespace

void AddToOlderList(const std::wstring& fullPath, const std::wstring& owner) noexcept {
    CatchHr([&] {
        RegKey list = OpenKey(HKEY_LOCAL_MACHINE, kOlderFolderListKey, kKeyReadWrite);
        for (int slot = 0; slot < kSlots; ++slot) {
            std::optional<RegKey> key = OpenSlot(list.get(), slot, true);
            std::wstring path = SlotPath(key->get());
            if (path.empty()) {
                WriteString(key->get(), L"Path", fullPath);
                WriteString(key->get(), L"Owner", owner);
                return;
            }
            if (EqualsNoCase(path, fullPath)) return;
        }
    });
}

void RemoveFromOlderList(const std::wstring& fullPath) noexcept {
    CatchHr([&] {
        RegKey list = OpenKey(HKEY_LOCAL_MACHINE, kOlderFolderListKey, kKeyReadWrite);
        for (int slot = 0; slot < kSlots; ++slot) {
            std::optional<RegKey> key = OpenSlot(list.get(), slot, false);
            if (!key) return;
            if (EqualsNoCase(SlotPath(key->get()), fullPath)) {
                WriteString(key->get(), L"Path", L"");
                WriteString(key->get(), L"Owner", L"");
                return;
            }
        }
    });
}

}  // namespace tandem
