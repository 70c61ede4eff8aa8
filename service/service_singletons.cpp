#include "service_singletons.h"

#include "MarloZephFw.h"
#include "content_info_manager.h"
#include "error.h"
#include "monitor_thread.h"
#include "storage_change_listener.h"

namespace tandem {

EventListeners::EventListeners()
    : storageManager(DIID__ITnStorageManagerEvents),
      folderWatcher(DIID__IFolderWatcherEvents),
      registeredFolder(DIID__ITnRegisteredFolderEvents) {}

void EventListeners::Clear() noexcept {
    for (EventListenerManager* manager : {&storageManager, &folderWatcher, &registeredFolder}) manager->Clear();
}

void ServiceSingletons::MonitoringEvents::OnMonitoring(const RegisteredFolder& folder, bool monitoring) {
    // Best effort, like every event: a folder gone from the list has no object to send.
    CatchHr([&] {
        if (const auto registered = owner_.Folders().FindById(folder.FolderID()))
            owner_.folderStatusEvents_->OnFolderMonitoring(registered, monitoring);
    });
}

ServiceSingletons::ServiceSingletons(DeviceNotificationRegistry* devices)
    : devices_(devices),
      folderStatusEvents_(MakeShared<FolderStatusEventForwarder>(automation_)),
      folderProgressEvents_(MakeShared<FolderProgressEventForwarder>(automation_)) {
    monitorLinks_.storages = [this]() -> StorageManager& { return Storages(); };
    monitorLinks_.folders = [this]() -> RegisteredFolderManager& { return Folders(); };
    monitorLinks_.status = &monitoringEvents_;
}

ServiceHostLinks ServiceSingletons::Links() {
    ServiceHostLinks links;
    links.storages = [this]() -> StorageManager& { return Storages(); };
    links.folders = [this]() -> RegisteredFolderManager& { return Folders(); };
    links.steps = [this]() -> FolderCommandSteps& { return Steps(); };
    links.devices = devices_;
    links.notificators = notificators_.get();
    return links;
}

std::unique_ptr<IChangeNotifiable> ServiceSingletons::MakeChangeListener(StorageInfo& storage) {
    // Made with the notificators and released after them, so read without the
    // lock: a connecting storage must not wait for a manager being made.
    return std::make_unique<StorageChangeListener>([this]() -> StorageManager& { return Storages(); },
                                                   storage.UniqueID(), ContentInfoManager::Instance(),
                                                   *folderInfos_, *rules_);
}

ServiceCommandHost& ServiceSingletons::CommandHost() {
    CSyncLockHolder hold(lock_);
    CheckOpen();
    if (!host_) {
        FolderInfos();
        if (!notificators_) {
            notificators_ = std::make_unique<ChangeNotificators>(
                [this](StorageInfo& storage) { return MakeChangeListener(storage); });
            monitorLinks_.notificators = notificators_.get();
        }
        host_ = std::make_unique<ServiceCommandHost>(Links());
    }
    return *host_;
}

StorageManager& ServiceSingletons::Storages() {
    CSyncLockHolder hold(lock_);
    CheckOpen();
    if (!storages_) {
        StorageServices services;
        services.workers = MakeCommandThreadFactory(CommandHost());
        storages_ = MakeShared<StorageManager>(std::move(services), &storageEvents_);
    }
    return *storages_;
}

RegisteredFolderManager& ServiceSingletons::Folders() {
    CSyncLockHolder hold(lock_);
    CheckOpen();
    if (!folders_) {
        // The monitor threads feed the notificators the storages' host made.
        StorageManager& storages = Storages();
        folders_ = MakeShared<RegisteredFolderManager>(storages, &folderListEvents_,
                                                       MakeMonitorThreadFactory(monitorLinks_));
    }
    return *folders_;
}

FolderInfoManager& ServiceSingletons::FolderInfos() {
    CSyncLockHolder hold(lock_);
    CheckOpen();
    if (!rules_) rules_ = std::make_unique<ExclusionRules>(ExclusionRules{LoadFileExclusions(), LoadFolderExclusions()});
    if (!folderInfos_) folderInfos_ = MakeShared<FolderInfoManager>(rules_->folders);
    return *folderInfos_;
}

FolderCommandSteps& ServiceSingletons::Steps() {
    CSyncLockHolder hold(lock_);
    CheckOpen();
    if (!steps_) {
        FolderInfoManager& folderInfos = FolderInfos();
        steps_ = std::make_unique<FolderCommandSteps>(ContentInfoManager::Instance(), folderInfos, *rules_,
                                                      folderStatusEvents_, folderProgressEvents_);
    }
    return *steps_;
}

EventListeners& ServiceSingletons::Listeners() {
    CSyncLockHolder hold(lock_);
    CheckOpen();
    if (!listeners_) listeners_ = std::make_unique<EventListeners>();
    return *listeners_;
}

std::vector<SharedPtr<StorageInfo>> ServiceSingletons::ExistingStorages() const {
    CSyncLockHolder hold(lock_);
    return storages_ ? storages_->AllStorages() : std::vector<SharedPtr<StorageInfo>>{};
}

void ServiceSingletons::Release() noexcept {
    // Taken out under the lock, destroyed outside it: a destructor that waits
    // for a thread must not wait for one that is asking for a manager.
    decltype(storages_) storages;
    decltype(folders_) folders;
    decltype(notificators_) notificators;
    decltype(steps_) steps;
    decltype(folderInfos_) folderInfos;
    decltype(rules_) rules;
    decltype(host_) host;
    EventListeners* listeners = nullptr;
    {
        CSyncLockHolder hold(lock_);
        released_ = true;
        storages = std::move(storages_);
        folders = std::move(folders_);
        notificators = std::move(notificators_);
        steps = std::move(steps_);
        folderInfos = std::move(folderInfos_);
        rules = std::move(rules_);
        host = std::move(host_);
        listeners = listeners_.get();
    }
    storages.reset();
    folders.reset();
    notificators.reset();
    if (listeners) listeners->Clear();
    steps.reset();
    folderInfos.reset();
    rules.reset();
    host.reset();
}

void ServiceSingletons::CheckOpen() const {
    if (released_) ThrowWin32(ERROR_SHUTDOWN_IN_PROGRESS);
}

}  // namespace tandem
