#include "registered_folder_manager.h"

#include "error.h"
#include "folder_keys.h"
#include "older_folder_list.h"
#include "paths.h"
#include "registry.h"
#include "registry_values.h"
#include "strings.h"

namespace tandem {

namespace {

bool Covers(const RegisteredFolder& folder, const std::wstring& relativePath) {
    if (EqualsNoCase(folder.RelativePath, relativePath)) return true;
    return folder.WatchSubTree && relativePath.size() > folder.RelativePath.size() &&
           EqualsNoCase(std::wstring_view(relativePath).substr(0, folder.RelativePath.size()), folder.RelativePath);
}

}  // namespace

RegisteredFolderManager::RegisteredFolderManager(StorageManager& storages, FolderEventSink* events,
                                                 FolderMonitorFactory monitors)
    : storages_(storages), events_(events), monitors_(std::move(monitors)), settings_(WatcherSettings::Load()) {
    RegKey list = OpenKey(HKEY_LOCAL_MACHINE, kFolderListKey, KEY_READ);
    for (const std::wstring& id : SubKeyNames(list.get())) Insert(RegisteredFolder::Load(list.get(), id, monitors_));
}

void RegisteredFolderManager::Insert(const SharedPtr<RegisteredFolder>& folder) {
    CSyncLockHolder hold(lock_);
    byStorage_.emplace(folder->StorageID(), folder);
    byId_.emplace(folder->FolderID(), folder);
}

void RegisteredFolderManager::Notify(const std::wstring& folder, LONG param) {
    // A listener's failure does not undo the change it hears about.
    if (events_) CatchHr([&] { events_->OnStatusChange(folder, zephfwReasonNotice, param); });
}

SharedPtr<RegisteredFolder> RegisteredFolderManager::CreateFolder(const StorageInfo& storage,
                                                                  const std::wstring& owner,
                                                                  const std::wstring& relativePath) {
    std::wstring path = WithTrailingBackslash(CollapseSeparators(relativePath));
    if (!HasOnlyNamedComponents(path)) ThrowHr(E_INVALIDARG);
    {
        CSyncLockHolder hold(lock_);
        auto [first, last] = byStorage_.equal_range(storage.UniqueID());
        for (auto it = first; it != last; ++it) {
            const auto& folder = it->second;
            if (!Covers(*folder, path)) continue;
            if (EqualsNoCase(folder->RelativePath, path) && EqualsNoCase(folder->Owner(), owner)) return folder;
            ThrowHr(E_INVALIDARG);
        }
    }
    auto folder = MakeShared<RegisteredFolder>(NewGuidId(), monitors_);
    folder->SetStorageID(storage.UniqueID());
    folder->RelativePath = path;
    folder->SetOwner(owner);
    folder->Refresh = storage.StorageType() == tnStorageType_Remote ? zephfwStartupRefresh : zephfwStartupSilent;
    return folder;
}

bool RegisteredFolderManager::AddFolder(const SharedPtr<RegisteredFolder>& folder) { return Add(folder).second; }

std::pair<SharedPtr<RegisteredFolder>, bool> RegisteredFolderManager::Add(const SharedPtr<RegisteredFolder>& folder) {
    const std::wstring storageId = folder->StorageID();
    const std::wstring owner = folder->Owner();
    CSyncLockHolder hold(lock_);
    if (byId_.size() >= kMaxFolders) ThrowHr(E_FAIL);
    auto [first, last] = byStorage_.equal_range(storageId);
    for (auto it = first; it != last; ++it) {
        if (!EqualsNoCase(it->second->RelativePath, folder->RelativePath)) continue;
        if (!EqualsNoCase(it->second->Owner(), owner)) ThrowHr(E_INVALIDARG);
        return {it->second, false};
    }
    CheckStorageAccepts(storageId);
    byStorage_.emplace(storageId, folder);
    byId_.emplace(folder->FolderID(), folder);
    return {folder, true};
}

// Called under the lock, which StorageRemoval takes for its check as well.
void RegisteredFolderManager::CheckStorageAccepts(const std::wstring& storageId) {
    const auto removed = removedStorages_.find(storageId);
    if (removed == removedStorages_.end()) return;
    if (removed->second || FAILED(CatchHr([&] { storages_.FindById(storageId); }))) ThrowHr(E_INVALIDARG);
    removedStorages_.erase(removed);
}

RegisteredFolderManager::StorageRemoval::StorageRemoval(RegisteredFolderManager& folders, std::wstring storageId)
    : folders_(folders), storageId_(std::move(storageId)) {
    CSyncLockHolder hold(folders_.lock_);
    if (folders_.byStorage_.count(storageId_)) ThrowHr(E_INVALIDARG);
    folders_.removedStorages_[storageId_] = true;
}

RegisteredFolderManager::StorageRemoval::~StorageRemoval() {
    CSyncLockHolder hold(folders_.lock_);
    // The entry stays until a folder is added to the storage registered again.
    if (auto removed = folders_.removedStorages_.find(storageId_); removed != folders_.removedStorages_.end())
        removed->second = false;
}

SharedPtr<RegisteredFolder> RegisteredFolderManager::RegisterFolder(const SharedPtr<RegisteredFolder>& folder,
                                                                    const StorageInfo& storage) {
    auto [listed, added] = Add(folder);
    if (!added) return listed;
    folder->Save();
    std::wstring root = storage.RootPath();
    if (storage.StorageType() == tnStorageType_Fixed) AddToOlderList(folder->FullPath(root), folder->Owner());
    Notify(folder->CommandPath(root), ZEPHFW_I_STAT_LIST_CHANGED);
    Notify(folder->CommandPath(root), ZEPHFW_I_STAT_FOLDER_ADDED);
    return folder;
}

void RegisteredFolderManager::UnregisterFolder(const SharedPtr<RegisteredFolder>& folder,
                                               const StorageInfo& storage) {
    std::wstring root = storage.RootPath();
    Notify(folder->CommandPath(root), ZEPHFW_I_STAT_LIST_CHANGED);
    Notify(folder->CommandPath(root), ZEPHFW_I_STAT_FOLDER_REMOVED);
    SharedPtr<RegisteredFolder> registered;
    {
        CSyncLockHolder hold(lock_);
        auto [first, last] = byStorage_.equal_range(storage.UniqueID());
        for (auto it = first; it != last; ++it) {
            if (!EqualsNoCase(it->second->RelativePath, folder->RelativePath)) continue;
            registered = it->second;
            byId_.erase(registered->FolderID());
            byStorage_.erase(it);
            break;
        }
    }
    if (!registered) return;
    if (storage.StorageType() == tnStorageType_Fixed) RemoveFromOlderList(registered->FullPath(root));
    registered->DeleteFromRegistry();
}

void RegisteredFolderManager::UnregisterNestedFolders(const SharedPtr<RegisteredFolder>& folder,
                                                      const StorageInfo& storage) {
    if (!folder->WatchSubTree) return;
    std::vector<SharedPtr<RegisteredFolder>> nested;
    for (auto& candidate : FoldersOfStorage(storage.UniqueID())) {
        const std::wstring& path = candidate->RelativePath;
        if (path.size() > folder->RelativePath.size() &&
            EqualsNoCase(std::wstring_view(path).substr(0, folder->RelativePath.size()), folder->RelativePath))
            nested.push_back(std::move(candidate));
    }
    for (const auto& inner : nested) {
        if (inner->IsMonitorRunning()) inner->StopMonitor();
        UnregisterFolder(inner, storage);
    }
}

SharedPtr<RegisteredFolder> RegisteredFolderManager::FindFolder(const std::wstring& storageId,
                                                                const std::wstring& relativePath) const {
    std::wstring path = WithTrailingBackslash(relativePath);
    CSyncLockHolder hold(lock_);
    auto [first, last] = byStorage_.equal_range(storageId);
    for (auto it = first; it != last; ++it) {
        if (EqualsNoCase(it->second->RelativePath, path)) return it->second;
    }
    ThrowHr(E_INVALIDARG);
}

SharedPtr<RegisteredFolder> RegisteredFolderManager::FolderAt(size_t index) const {
    CSyncLockHolder hold(lock_);
    if (index >= byStorage_.size()) ThrowHr(E_INVALIDARG);
    return std::next(byStorage_.begin(), static_cast<std::ptrdiff_t>(index))->second;
}

size_t RegisteredFolderManager::Count() const {
    CSyncLockHolder hold(lock_);
    return byStorage_.size();
}

std::vector<SharedPtr<RegisteredFolder>> RegisteredFolderManager::AllFolders() const {
    CSyncLockHolder hold(lock_);
    std::vector<SharedPtr<RegisteredFolder>> folders;
    for (const auto& entry : byStorage_) folders.push_back(entry.second);
    return folders;
}

SharedPtr<RegisteredFolder> RegisteredFolderManager::FindById(const std::wstring& folderId) const {
    CSyncLockHolder hold(lock_);
    auto found = byId_.find(folderId);
    return found == byId_.end() ? nullptr : found->second;
}

std::vector<SharedPtr<RegisteredFolder>> RegisteredFolderManager::FoldersOfOwner(const std::wstring& owner) const {
    std::vector<SharedPtr<RegisteredFolder>> folders;
    for (auto& folder : AllFolders()) {
        if (EqualsNoCase(folder->Owner(), owner)) folders.push_back(std::move(folder));
    }
    return folders;
}

std::vector<SharedPtr<RegisteredFolder>> RegisteredFolderManager::FoldersOfStorage(
    const std::wstring& storageId) const {
    CSyncLockHolder hold(lock_);
    std::vector<SharedPtr<RegisteredFolder>> folders;
    auto [first, last] = byStorage_.equal_range(storageId);
    for (auto it = first; it != last; ++it) folders.push_back(it->second);
    return folders;
}

SharedPtr<RegisteredFolder> RegisteredFolderManager::MakeDetachedFolder(const std::wstring& owner,
                                                                        const std::wstring& path) const {
    RootSplit split = SplitRoot(path);
    auto storage = storages_.FindByRoot(split.root);
    auto folder = MakeShared<RegisteredFolder>(std::wstring(), FolderMonitorFactory());
    folder->SetStorageID(storage->UniqueID());
    folder->RelativePath = split.relative;
    folder->SetOwner(owner);
    return folder;
}

void RegisteredFolderManager::StartMonitoring(const SharedPtr<RegisteredFolder>& folder, bool forceRefresh) {
    if (forceRefresh) {
        folder->RequestRefresh();
    } else if (folder->Refresh == zephfwStartupRefresh) {
        if (!folder->StartupRefreshDone) {
            folder->StartupRefreshDone = true;
            folder->RequestRefresh();
        }
    } else if (folder->Refresh == zephfwStartupRefreshOnce) {
        folder->Refresh = zephfwStartupSilent;
        folder->Save();
        folder->RequestRefresh();
    }
    if (!folder->IsMonitorRunning()) folder->StartMonitor();
}

void RegisteredFolderManager::StartMonitoringStorage(const std::wstring& storageId, bool forceRefresh) {
    for (const auto& folder : FoldersOfStorage(storageId)) StartMonitoring(folder, forceRefresh);
}

void RegisteredFolderManager::StopMonitoringStorage(const std::wstring& storageId) {
    for (const auto& folder : FoldersOfStorage(storageId)) {
        if (folder->IsMonitorRunning()) folder->StopMonitor();
    }
}

void RegisteredFolderManager::SetStartupRefresh(DWORD startup, DWORD priority) {
    settings_.RefreshOnStartup = startup;
    settings_.RefreshPriority = priority;
    settings_.SaveStartupRefresh();
}

}  // namespace tandem
