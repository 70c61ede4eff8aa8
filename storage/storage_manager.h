#pragma once

#include <windows.h>

#include <map>
#include <string>
#include <vector>

#include "shared_ptr.h"
#include "storage_events.h"
#include "storage_info.h"
#include "strings.h"
#include "sync_lock.h"

namespace tandem {

// All storages of the machine, by root (ignoring case) and by id (exact).
class StorageManager {
public:
    // Loads the storage list; any failure, a missing list key included, is raised.
    explicit StorageManager(StorageServices services = {}, StorageEventSink* events = nullptr);
    StorageManager(const StorageManager&) = delete;
    StorageManager& operator=(const StorageManager&) = delete;

    // The storage registered for the root (E_ACCESSDENIED when the
    // credentials differ), the registered storage named by the root's identity
    // file, or a new unregistered one.
    SharedPtr<StorageInfo> FindOrCreateStorage(const std::wstring& rootPath, const std::wstring& userId,
                                               const std::wstring& password);
    // Writes the identity file, then adds, saves and announces the storage
    // unless its root is registered already.
    void RegisterStorage(const SharedPtr<StorageInfo>& storage);
    void UnregisterStorage(const SharedPtr<StorageInfo>& storage);

    // E_INVALIDARG when absent.
    SharedPtr<StorageInfo> FindByRoot(const std::wstring& rootPath) const;
    SharedPtr<StorageInfo> FindById(const std::wstring& uniqueId) const;

    // Re-keys the storage; a root held by another storage is refused with
    // ERROR_ALREADY_EXISTS and nothing changes.
    void ChangeRoot(const SharedPtr<StorageInfo>& storage, const std::wstring& newRoot);

    std::vector<SharedPtr<StorageInfo>> RemoteStorages() const;
    std::vector<SharedPtr<StorageInfo>> AllStorages() const;

    // Bit 0 is A: ... bit 25 is Z:; a failure affects only its drive.
    void OnDrivesArrived(DWORD driveMask, bool forceRefresh);
    void OnDrivesRemoved(DWORD driveMask);
    void StartRemoteStorages(bool forceRefresh);
    void StopRemoteStorages();

    void FireStorageEvent(TnStorageEventTypes type, const SharedPtr<StorageInfo>& storage);
    void FireStorageEvent(TnStorageEventTypes type, const std::wstring& uniqueId);

    const StorageServices& Services() const noexcept { return services_; }

private:
    void Load();
    void DriveArrived(wchar_t letter, bool forceRefresh);
    std::wstring GenerateId(const std::wstring& root) const;

    StorageServices services_;
    StorageEventSink* events_;
    mutable CSyncLock lock_;
    std::map<std::wstring, SharedPtr<StorageInfo>, LessNoCase> byRoot_;
    std::map<std::wstring, SharedPtr<StorageInfo>> byId_;
};

}  // namespace tandem
