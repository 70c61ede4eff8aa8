#pragma once

#include <windows.h>

#include <atomic>
#include <memory>
#include <string>

#include "MarloZephFw.h"
#include "console_user.h"
#include "credentials.h"
#include "network_connections.h"
#include "shared_ptr.h"
#include "storage_worker.h"
#include "sync_lock.h"
#include "unique_resource.h"

namespace tandem {

constexpr wchar_t kStorageListKey[] = L"SOFTWARE\\Marlo Corporation\\Pelion Content Storage Manager\\Storage List";

// What storages need from their surroundings; the defaults are the real ones.
struct StorageServices {
    ConsoleTokenSource* tokens = &DefaultConsoleTokenSource();
    NetworkConnections* network = &DefaultNetworkConnections();
    StorageWorkerFactory workers;
};

// A volume or share that holds registered folders, known by an id that
// follows the medium from one drive letter to another.
class StorageInfo {
public:
    StorageInfo(std::wstring rootPath, std::wstring uniqueId, TnStorageTypes type, std::wstring userId,
                SharedPtr<Credentials> credentials, StorageServices services);
    StorageInfo(const StorageInfo&) = delete;
    StorageInfo& operator=(const StorageInfo&) = delete;
    // A share still connected is cancelled in the console user's context.
    ~StorageInfo();

    // Reads the storage-list sub-key of this id.
    static SharedPtr<StorageInfo> Load(HKEY storageList, const std::wstring& uniqueId, StorageServices services);

    std::wstring RootPath() const;
    const std::wstring& UniqueID() const noexcept { return uniqueId_; }
    std::wstring UserID() const;
    TnStorageTypes StorageType() const noexcept { return type_; }
    bool HasCredentials() const;
    // The protected token, empty without credentials.
    std::vector<BYTE> Token() const;
    bool IsShareConnected() const;

    bool IsEnabled() const noexcept { return enabled_.load() != 0; }
    // For the connecting worker only.
    void SetEnabled(bool enabled) noexcept { enabled_.store(enabled ? 1 : 0); }
    // The open root directory while connected; null otherwise.
    HANDLE RootHandle() const;
    // Closes the handle held before.
    void SetRootHandle(UniqueHandle handle);
    // No-ops without credentials.
    void ConnectShare();
    void DisconnectShare();
    bool RefreshOnConnectRequested() const noexcept { return refreshOnConnect_.load(); }
    // For the connecting worker: whether to force a refresh, clearing the request.
    bool TakeRefreshOnConnect() noexcept { return refreshOnConnect_.exchange(false); }

    // Optionally asks the next connect to refresh, then starts the worker.
    void Start(bool refreshOnConnect);
    // Ends the worker, which disconnects the storage.
    void Stop();
    // Null when the storage was built without one.
    StorageWorker* Worker() const noexcept { return worker_.get(); }

    void Save() const;
    void DeleteFromRegistry() const;

    // Replaces (non-empty user id) or removes the credentials; not saved here.
    void SetCredentials(const std::wstring& userId, const std::wstring& password);
    bool CheckCredentials(const std::wstring& userId, const std::wstring& password) const;

private:
    friend class StorageManager;
    void SetRootPath(std::wstring rootPath);
    SharedPtr<Credentials> CurrentCredentials() const;

    const std::wstring uniqueId_;
    const TnStorageTypes type_;
    const StorageServices services_;
    mutable CSyncLock lock_;
    std::wstring rootPath_;
    std::wstring userId_;
    SharedPtr<Credentials> credentials_;
    UniqueHandle rootHandle_;
    std::atomic<LONG> enabled_{0};
    std::atomic<bool> refreshOnConnect_{false};
    std::unique_ptr<StorageWorker> worker_;
};

}  // namespace tandem
