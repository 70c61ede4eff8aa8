#pragma once

#include <windows.h>

#include <memory>
#include <vector>

#include "exclusion_rules.h"
#include "folder_command_steps.h"
#include "folder_info_manager.h"
#include "registered_folder_manager.h"
#include "service_command_host.h"
#include "shared_ptr.h"
#include "storage_manager.h"
#include "sync_lock.h"

namespace tandem {

// The process-wide managers, each made on first use under one lock and
// released together in a fixed order.
class ServiceSingletons {
public:
    // devices may be null: storages then register no device notifications.
    explicit ServiceSingletons(DeviceNotificationRegistry* devices) noexcept : devices_(devices) {}
    ServiceSingletons(const ServiceSingletons&) = delete;
    ServiceSingletons& operator=(const ServiceSingletons&) = delete;
    ~ServiceSingletons() { Release(); }

    // Creation failures are raised and retried by the next use.
    StorageManager& Storages();
    RegisteredFolderManager& Folders();
    FolderInfoManager& FolderInfos();
    FolderCommandSteps& Steps();

    // The storages known so far, without making the manager.
    std::vector<SharedPtr<StorageInfo>> ExistingStorages() const;

    // Storages first: their command threads use everything after them. Once
    // released, nothing is made again.
    void Release() noexcept;

private:
    ServiceCommandHost& CommandHost();
    ServiceHostLinks Links();
    void CheckOpen() const;

    DeviceNotificationRegistry* const devices_;
    mutable CSyncLock lock_;
    bool released_ = false;
    std::unique_ptr<ServiceCommandHost> host_;
    SharedPtr<StorageManager> storages_;
    SharedPtr<RegisteredFolderManager> folders_;
    std::unique_ptr<ExclusionRules> rules_;
    SharedPtr<FolderInfoManager> folderInfos_;
    std::unique_ptr<FolderCommandSteps> steps_;
};

}  // namespace tandem
