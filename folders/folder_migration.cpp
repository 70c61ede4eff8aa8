#include "folder_migration.h"

#include <windows.h>

#include "error.h"
#include "folder_keys.h"
#include "paths.h"
#include "registered_folder_manager.h"
#include "registry.h"
#include "registry_values.h"
#include "storage_manager.h"

namespace tandem {

namespace {

void MigrateSlot(HKEY list, const std::wstring& name, RegisteredFolderManager& folders, StorageManager& storages) {
    RegKey slot = OpenKey(list, name, KEY_READ);
    std::wstring path = ReadString(slot.get(), L"Path");
    if (path.empty()) return;
    RootSplit split = SplitRoot(path);
    auto storage = storages.FindOrCreateStorage(split.root, L"", L"");
    storages.RegisterStorage(storage);
    std::wstring owner = ReadString(slot.get(), L"Owner");
    if (ValueType(slot.get(), L"Delete")) {
        if (ValueType(slot.get(), L"Delete") != REG_DWORD) ThrowWin32(ERROR_INVALID_DATA);
        if (ReadDword(slot.get(), L"Delete", 0) != 0) return;
    }
    auto folder = folders.CreateFolder(*storage, owner, split.relative);
    // A folder the owner registered already is found and kept as it is.
    if (folders.FindById(folder->FolderID()) == folder) return;
    folder->Refresh = static_cast<LONG>(ReadDword(slot.get(), L"Refresh", zephfwStartupSilent));
    folder->Behavior = static_cast<LONG>(ReadDword(slot.get(), L"Behavior", zephfwBehaviorMonitor));
    if (auto defaults = TryOpenKey(slot.get(), L"Default")) folder->SetDefaults(ReadDefaultProperties(defaults->get()));
    folders.RegisterFolder(folder, *storage);
}

}  // namespace

void MigrateOlderList(RegisteredFolderManager& folders, StorageManager& storages) noexcept {
    CatchHr([&] {
        RegKey list = OpenKey(HKEY_LOCAL_MACHINE, kOlderFolderListKey, kKeyReadWrite);
        if (ReadDword(list.get(), L"Migrated", 0) != 0) return;
        // Registering mirrors fixed-disk folders into this very list, so the
        // slot names are taken before any slot is migrated.
        for (const std::wstring& name : SubKeyNames(list.get()))
            CatchHr([&] { MigrateSlot(list.get(), name, folders, storages); });
        WriteDword(list.get(), L"Migrated", 1);
    });
}

}  // namespace tandem
