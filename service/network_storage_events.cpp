#include "network_storage_events.h"

#include <wtsapi32.h>

#include "error.h"

namespace tandem {

namespace {

// A connected storage refreshes all of its folders now; one that is not
// connects with a refresh.
void RefreshAfterResume(StorageInfo& storage, RegisteredFolderManager& folders) {
    if (storage.IsEnabled()) {
        folders.StartMonitoringStorage(storage.UniqueID(), true);
    } else {
        storage.Start(true);
    }
}

}  // namespace

void OnPowerEvent(DWORD eventType, StorageManager& storages, RegisteredFolderManager& folders) {
    if (eventType == PBT_APMSUSPEND) {
        for (const auto& storage : storages.RemoteStorages())
            CatchHr([&] { folders.StopMonitoringStorage(storage->UniqueID()); });
    } else if (eventType == PBT_APMRESUMEAUTOMATIC) {
        for (const auto& storage : storages.RemoteStorages())
            CatchHr([&] { RefreshAfterResume(*storage, folders); });
    }
}

void OnSessionChange(DWORD eventType, StorageManager& storages) {
    switch (eventType) {
    case WTS_CONSOLE_CONNECT:
    case WTS_SESSION_LOGON:
        storages.StartRemoteStorages(true);
        break;
    case WTS_CONSOLE_DISCONNECT:
    case WTS_SESSION_LOGOFF:
        storages.StopRemoteStorages();
        break;
    default:
        break;
    }
}

}  // namespace tandem
