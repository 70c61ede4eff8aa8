#pragma once

#include <windows.h>

#include <string>

#include "automation_context.h"

namespace tandem {

class ServiceSingletons;

// The automation objects' view of the service: the singletons' managers and
// the storages' command threads. Lives as long as the singletons; after their
// release every call raises ERROR_SHUTDOWN_IN_PROGRESS.
class ServiceAutomation final : public AutomationContext {
public:
    explicit ServiceAutomation(ServiceSingletons& singletons) noexcept : singletons_(singletons) {}

    StorageManager& Storages() override;
    RegisteredFolderManager& Folders() override;

    EventListenerManager& StorageManagerEvents() override;
    EventListenerManager& FolderWatcherEvents() override;
    EventListenerManager& RegisteredFolderEvents() override;

    bool IsStorageBusy(StorageInfo& storage) override;
    void PostRefreshFolder(StorageInfo& storage, const SharedPtr<RegisteredFolder>& folder,
                           const std::wstring& path) override;
    void CancelFolderTasks(StorageInfo& storage, LONG operation, const SharedPtr<RegisteredFolder>& folder,
                           const std::wstring& path) override;

private:
    ServiceSingletons& singletons_;
};

}  // namespace tandem
