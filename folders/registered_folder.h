#pragma once

#include <windows.h>

#include <atomic>
#include <map>
#include <memory>
#include <set>
#include <string>

#include "MarloZephFw.h"
#include "folder_hooks.h"
#include "shared_ptr.h"
#include "sync_lock.h"

namespace tandem {

// A directory that an owner application asked to keep in step with the
// content database, held as storage id plus path below the storage root.
class RegisteredFolder {
public:
    RegisteredFolder(std::wstring folderId, const FolderMonitorFactory& monitors);
    RegisteredFolder(const RegisteredFolder&) = delete;
    RegisteredFolder& operator=(const RegisteredFolder&) = delete;

    // Reads the folder-list sub-key of this id; malformed data is raised.
    static SharedPtr<RegisteredFolder> Load(HKEY folderList, const std::wstring& folderId,
                                            const FolderMonitorFactory& monitors);

    const std::wstring& FolderID() const noexcept { return folderId_; }
    // Root and relative path with one trailing backslash removed (D:\Music, or D: for the root).
    std::wstring FullPath(const std::wstring& rootPath) const;
    // Root and relative path as they stand (D:\Music\).
    std::wstring CommandPath(const std::wstring& rootPath) const;

    // Replaces the values of the folder's sub-key; the key is never left
    // without its required values.
    void Save() const;
    void DeleteFromRegistry() const;

    void StartMonitor();
    void StopMonitor();
    bool IsMonitorRunning() const;
    void RequestRefresh() noexcept { refreshRequested_.store(true); }
    bool RefreshRequested() const noexcept { return refreshRequested_.load(); }
    // For the monitor thread: whether a refresh was asked for, clearing the request.
    bool TakeRefreshRequest() noexcept { return refreshRequested_.exchange(false); }

    // Client calls, command, notificator, monitor and plug-in threads all
    // read and write these, so each access is a whole copy under the lock.
    std::wstring StorageID() const;
    void SetStorageID(std::wstring storageId);
    std::wstring Owner() const;
    void SetOwner(std::wstring owner);
    std::set<LONG> ObjectCategories() const;
    void SetObjectCategories(std::set<LONG> categories);
    // True when the categories are unrestricted or include this one.
    bool AllowsCategory(LONG category) const;
    std::map<LONG, std::wstring> Defaults() const;
    void SetDefaults(std::map<LONG, std::wstring> defaults);

    // Set while the record is built, before it is shared.
    std::wstring RelativePath;  // empty, or ending with one backslash
    std::atomic<LONG> Behavior{zephfwBehaviorMonitor};
    std::atomic<LONG> Refresh{zephfwStartupSilent};
    std::atomic<bool> StartupRefreshDone{false};
    std::atomic<bool> WatchSubTree{true};

private:
    void WriteValues(HKEY key) const;

    const std::wstring folderId_;
    mutable CSyncLock fieldsLock_;
    std::wstring storageId_;
    std::wstring owner_;
    std::set<LONG> objectCategories_;
    std::map<LONG, std::wstring> defaults_;
    // Two saves of one folder must not interleave their values.
    mutable CSyncLock saveLock_;
    std::atomic<bool> refreshRequested_{false};
    std::unique_ptr<FolderMonitor> monitor_;
};

// The values of a "Default" sub-key: property id (the name's leading digits)
// to string; the first value of an id wins. Malformed values are raised.
std::map<LONG, std::wstring> ReadDefaultProperties(HKEY defaultKey);

}  // namespace tandem
