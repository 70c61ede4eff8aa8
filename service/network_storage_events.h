#pragma once

#include <windows.h>

#include "registered_folder_manager.h"
#include "storage_manager.h"

namespace tandem {

// Network storages follow the machine's sleep and the console user's logon:
// their shares are reached under that user's identity.
void OnPowerEvent(DWORD eventType, StorageManager& storages, RegisteredFolderManager& folders);
void OnSessionChange(DWORD eventType, StorageManager& storages);

}  // namespace tandem
