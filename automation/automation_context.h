#pragma once

#include <windows.h>

#include <memory>
#include <string>

#include "caller_access.h"
#include "event_listener_manager.h"
#include "registered_folder.h"
#include "registered_folder_manager.h"
#include "shared_ptr.h"
#include "storage_info.h"
#include "storage_manager.h"

namespace tandem {

// What the automation objects need of the service: its process-wide
// managers, the listener registry of each event interface, and the few
// operations of a storage's command thread. The service module implements it
// over its singletons; it must outlive every automation object.
class AutomationContext {
public:
    virtual ~AutomationContext() = default;

    virtual StorageManager& Storages() = 0;
    virtual RegisteredFolderManager& Folders() = 0;

    virtual EventListenerManager& StorageManagerEvents() = 0;
    virtual EventListenerManager& FolderWatcherEvents() = 0;
    virtual EventListenerManager& RegisteredFolderEvents() = 0;

    // Whether the storage's command thread runs a folder command.
    virtual bool IsStorageBusy(StorageInfo& storage) = 0;
    // Paths are command paths (with their trailing backslash).
    virtual void PostRefreshFolder(StorageInfo& storage, const SharedPtr<RegisteredFolder>& folder,
                                   const std::wstring& path) = 0;
    virtual void CancelFolderTasks(StorageInfo& storage, LONG operation, const SharedPtr<RegisteredFolder>& folder,
                                   const std::wstring& path) = 0;

    // The client of the call in progress, as whom folders are opened.
    virtual std::unique_ptr<CallerImpersonation> ImpersonateCaller() { return ImpersonateComCaller(); }
};

}  // namespace tandem
