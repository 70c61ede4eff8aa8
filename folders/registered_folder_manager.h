#pragma once

#include <windows.h>

#include <map>
#include <string>
#include <vector>

#include "folder_hooks.h"
#include "registered_folder.h"
#include "shared_ptr.h"
#include "storage_info.h"
#include "storage_manager.h"
#include "sync_lock.h"
#include "watcher_settings.h"

namespace tandem {

// All registered folders of the machine, by storage (in insertion order) and by id.
class RegisteredFolderManager {
public:
    static constexpr size_t kMaxFolders = 256;

    // Loads the settings and the folder list; any failure is raised.
    RegisteredFolderManager(StorageManager& storages, FolderEventSink* events = nullptr,
                            FolderMonitorFactory monitors = {});
    RegisteredFolderManager(const RegisteredFolderManager&) = delete;
    RegisteredFolderManager& operator=(const RegisteredFolderManager&) = delete;

    // The registered folder of this owner and path, or a new unregistered one;
    // E_INVALIDARG when another owner holds the path or a folder watching its
    // sub-tree covers it.
    SharedPtr<RegisteredFolder> CreateFolder(const StorageInfo& storage, const std::wstring& owner,
                                             const std::wstring& relativePath);
    // False when the owner registered the path already; E_FAIL when full;
    // E_INVALIDARG when the storage is being or was removed and is not
    // registered again.
    bool AddFolder(const SharedPtr<RegisteredFolder>& folder);
    // The record the list holds for the path: this one, or the one that
    // another registration of the same owner and path put there first.
    SharedPtr<RegisteredFolder> RegisterFolder(const SharedPtr<RegisteredFolder>& folder, const StorageInfo& storage);
    // Announces first, whether or not the folder is registered.
    void UnregisterFolder(const SharedPtr<RegisteredFolder>& folder, const StorageInfo& storage);
    // Stops and unregisters the folders below one that watches its sub-tree.
    void UnregisterNestedFolders(const SharedPtr<RegisteredFolder>& folder, const StorageInfo& storage);

    // E_INVALIDARG when absent.
    SharedPtr<RegisteredFolder> FindFolder(const std::wstring& storageId, const std::wstring& relativePath) const;
    // Null when absent: journals and change records name folders that may be gone.
    SharedPtr<RegisteredFolder> FindById(const std::wstring& folderId) const;
    SharedPtr<RegisteredFolder> FolderAt(size_t index) const;
    size_t Count() const;
    std::vector<SharedPtr<RegisteredFolder>> FoldersOfOwner(const std::wstring& owner) const;
    std::vector<SharedPtr<RegisteredFolder>> FoldersOfStorage(const std::wstring& storageId) const;
    std::vector<SharedPtr<RegisteredFolder>> AllFolders() const;

    // A never-registered record addressing the folder at path (E_INVALIDARG
    // when no storage is registered for its root).
    SharedPtr<RegisteredFolder> MakeDetachedFolder(const std::wstring& owner, const std::wstring& path) const;

    // Requests the refresh the folder's mode calls for, then starts its monitor unless it runs.
    void StartMonitoring(const SharedPtr<RegisteredFolder>& folder, bool forceRefresh);
    void StartMonitoringStorage(const std::wstring& storageId, bool forceRefresh);
    void StopMonitoringStorage(const std::wstring& storageId);

    // Held while a storage without folders is removed: no folder is added
    // to it meanwhile, and afterwards only once it is registered again.
    // E_INVALIDARG when the storage holds folders.
    class StorageRemoval {
    public:
        StorageRemoval(RegisteredFolderManager& folders, std::wstring storageId);
        StorageRemoval(const StorageRemoval&) = delete;
        StorageRemoval& operator=(const StorageRemoval&) = delete;
        ~StorageRemoval();

    private:
        RegisteredFolderManager& folders_;
        const std::wstring storageId_;
    };

    const WatcherSettings& Settings() const noexcept { return settings_; }
    // Kept in memory even when writing them fails.
    void SetStartupRefresh(DWORD startup, DWORD priority);

private:
    void Insert(const SharedPtr<RegisteredFolder>& folder);
    // The listed record of the folder's path and whether it is this one.
    std::pair<SharedPtr<RegisteredFolder>, bool> Add(const SharedPtr<RegisteredFolder>& folder);
    void CheckStorageAccepts(const std::wstring& storageId);
    void Notify(const std::wstring& folder, LONG param);

    StorageManager& storages_;
    FolderEventSink* events_;
    FolderMonitorFactory monitors_;
    WatcherSettings settings_;
    mutable CSyncLock lock_;
    std::multimap<std::wstring, SharedPtr<RegisteredFolder>> byStorage_;
    std::map<std::wstring, SharedPtr<RegisteredFolder>> byId_;
    // Storages removed by a client, to the flag of a removal in progress.
    std::map<std::wstring, bool> removedStorages_;
};

}  // namespace tandem
