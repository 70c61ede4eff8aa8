#include "service_singletons.h"

#include "content_info_manager.h"
#include "error.h"

namespace tandem {

ServiceHostLinks ServiceSingletons::Links() {
    ServiceHostLinks links;
    links.storages = [this]() -> StorageManager& { return Storages(); };
    links.folders = [this]() -> RegisteredFolderManager& { return Folders(); };
    links.steps = [this]() -> FolderCommandSteps& { return Steps(); };
    links.devices = devices_;
    // The change notificators join here when they land.
    return links;
}

ServiceCommandHost& ServiceSingletons::CommandHost() {
    CSyncLockHolder hold(lock_);
    CheckOpen();
    if (!host_) host_ = std::make_unique<ServiceCommandHost>(Links());
    return *host_;
}

StorageManager& ServiceSingletons::Storages() {
    CSyncLockHolder hold(lock_);
    CheckOpen();
    if (!storages_) {
        StorageServices services;
        services.workers = MakeCommandThreadFactory(CommandHost());
        storages_ = MakeShared<StorageManager>(std::move(services));
    }
    return *storages_;
}

RegisteredFolderManager& ServiceSingletons::Folders() {
    CSyncLockHolder hold(lock_);
    CheckOpen();
    // The folders' monitor threads join here when they land.
    if (!folders_) folders_ = MakeShared<RegisteredFolderManager>(Storages());
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
        steps_ = std::make_unique<FolderCommandSteps>(ContentInfoManager::Instance(), folderInfos, *rules_);
    }
    return *steps_;
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
    decltype(steps_) steps;
    decltype(folderInfos_) folderInfos;
    decltype(rules_) rules;
    decltype(host_) host;
    {
        CSyncLockHolder hold(lock_);
        released_ = true;
        storages = std::move(storages_);
        folders = std::move(folders_);
        steps = std::move(steps_);
        folderInfos = std::move(folderInfos_);
        rules = std::move(rules_);
        host = std::move(host_);
    }
    storages.reset();
    folders.reset();
    steps.reset();
    folderInfos.reset();
    rules.reset();
    host.reset();
}

void ServiceSingletons::CheckOpen() const {
    if (released_) ThrowWin32(ERROR_SHUTDOWN_IN_PROGRESS);
}

}  // namespace tandem
