#pragma once

namespace tandem {

class RegisteredFolderManager;
class StorageManager;

// Carries the older folder list into the current one, once per machine
// (guarded by its "Migrated" flag). A failing slot is skipped; nothing is raised.
void MigrateOlderList(RegisteredFolderManager& folders, StorageManager& storages) noexcept;

}  // namespace tandem
