#pragma once

#include <windows.h>

#include <memory>
#include <vector>

#include "change_notificators.h"
#include "event_forwarders.h"
#include "event_listener_manager.h"
#include "exclusion_rules.h"
#include "folder_command_steps.h"
#include "folder_info_manager.h"
#include "monitor_links.h"
#include "registered_folder_manager.h"
#include "service_automation.h"
#include "service_command_host.h"
#include "shared_ptr.h"
#include "storage_manager.h"
#include "sync_lock.h"

namespace tandem {

// The listener registry of each event interface, process-wide. Kept to the
// end of the process: the connection points of objects that clients still
// hold after the stop withdraw their cookies from it.
struct EventListeners {
    EventListeners();
    // Withdraws every sink while COM is still up.
    void Clear() noexcept;
    EventListenerManager storageManager;
    EventListenerManager folderWatcher;
    EventListenerManager registeredFolder;
};

// The process-wide managers, each made on first use under one lock and
// released together in a fixed order.
class ServiceSingletons {
public:
    // devices may be null: storages then register no device notifications.
    explicit ServiceSingletons(DeviceNotificationRegistry* devices);
    ServiceSingletons(const ServiceSingletons&) = delete;
    ServiceSingletons& operator=(const ServiceSingletons&) = delete;
    ~ServiceSingletons() { Release(); }

    // Creation failures are raised and retried by the next use.
    StorageManager& Storages();
    RegisteredFolderManager& Folders();
    FolderInfoManager& FolderInfos();
    FolderCommandSteps& Steps();
    EventListeners& Listeners();

    // For the automation objects; valid as long as the singletons.
    AutomationContext& Automation() noexcept { return automation_; }

    // The storages known so far, without making the manager.
    std::vector<SharedPtr<StorageInfo>> ExistingStorages() const;

    // Storages first: their command threads use everything after them; then
    // the folders' monitor threads, then the notificators they feed. Once
    // released, nothing is made again.
    void Release() noexcept;

private:
    // Hands a monitor thread's status to the folder-status events.
    class MonitoringEvents final : public MonitoringStatusSink {
    public:
        explicit MonitoringEvents(ServiceSingletons& owner) noexcept : owner_(owner) {}
        void OnMonitoring(const RegisteredFolder& folder, bool monitoring) override;

    private:
        ServiceSingletons& owner_;
    };

    ServiceCommandHost& CommandHost();
    ServiceHostLinks Links();
    std::unique_ptr<IChangeNotifiable> MakeChangeListener(StorageInfo& storage);
    void CheckOpen() const;

    DeviceNotificationRegistry* const devices_;
    mutable CSyncLock lock_;
    bool released_ = false;
    // Stateless, and valid past the release: events then fail and are dropped.
    ServiceAutomation automation_{*this};
    StorageEventForwarder storageEvents_{automation_};
    FolderListEventForwarder folderListEvents_{automation_};
    const SharedPtr<FolderStatusEventForwarder> folderStatusEvents_;
    const SharedPtr<FolderProgressEventForwarder> folderProgressEvents_;
    MonitoringEvents monitoringEvents_{*this};
    MonitorLinks monitorLinks_;

    std::unique_ptr<ServiceCommandHost> host_;
    std::unique_ptr<ChangeNotificators> notificators_;
    SharedPtr<StorageManager> storages_;
    SharedPtr<RegisteredFolderManager> folders_;
    std::unique_ptr<EventListeners> listeners_;
    std::unique_ptr<ExclusionRules> rules_;
    SharedPtr<FolderInfoManager> folderInfos_;
    std::unique_ptr<FolderCommandSteps> steps_;
};

}  // namespace tandem
