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

    // Rewrites the folder's sub-key from scratch.
    void Save() const;
    void DeleteFromRegistry() const;

    void StartMonitor();
    void StopMonitor();
    bool IsMonitorRunning() const;
    void RequestRefresh() noexcept { refreshRequested_.store(true); }
    bool RefreshRequested() const noexcept { return refreshRequested_.load(); }
    // For the monitor thread: whether a refresh was asked for, clearing the request.
    bool TakeRefreshRequest() noexcept { return refreshRequested_.exchange(false); }

    std::wstring StorageID;
    std::wstring RelativePath;  // empty, or ending with one backslash
    std::wstring Owner;
    LONG Behavior = zephfwBehaviorMonitor;
    LONG Refresh = zephfwStartupSilent;
    bool StartupRefreshDone = false;
    bool WatchSubTree = true;
    std::set<LONG> ObjectCategories;
    std::map<LONG, std::wstring> Defaults;

private:
    const std::wstring folderId_;
    std::atomic<bool> refreshRequested_{false};
    std::unique_ptr<FolderMonitor> monitor_;
};

// The values of a "Default" sub-key: property id (the name's leading digits)
// to string; the first value of an id wins. Malformed values are raised.
std::map<LONG, std::wstring> ReadDefaultProperties(HKEY defaultKey);

}  // namespace tandem
