#pragma once

#include <windows.h>

#include <functional>
#include <memory>
#include <string>

#include "command_thread_host.h"
#include "console_user.h"
#include "folder_command_steps.h"
#include "registered_folder_manager.h"
#include "storage_info.h"
#include "storage_manager.h"
#include "storage_worker.h"
#include "unique_resource.h"

namespace tandem {

// Device notifications on storage roots, kept under the storage id.
class DeviceNotificationRegistry {
public:
    virtual ~DeviceNotificationRegistry() = default;
    virtual void Register(const std::wstring& storageId, HANDLE root) = 0;
    virtual void Withdraw(const std::wstring& storageId) noexcept = 0;
};

// The change notificator of a storage: runs while the storage is connected.
class ChangeNotificatorControl {
public:
    virtual ~ChangeNotificatorControl() = default;
    virtual void Start(StorageInfo& storage) = 0;
    // Waits for the notificator's thread to end.
    virtual void Stop(StorageInfo& storage) = 0;
};

// Opens storage roots and waits between attempts; tests substitute both.
class RootOpener {
public:
    virtual ~RootOpener() = default;
    // Empty with the Windows error in error on failure.
    virtual UniqueHandle Open(const std::wstring& root, DWORD& error) = 0;
    // Returns early once stopFlag turns non-zero.
    virtual void Wait(DWORD milliseconds, const volatile LONG& stopFlag) = 0;
};

class WindowsRootOpener final : public RootOpener {
public:
    UniqueHandle Open(const std::wstring& root, DWORD& error) override;
    void Wait(DWORD milliseconds, const volatile LONG& stopFlag) override;
};

RootOpener& DefaultRootOpener();

// A share whose connection was dropped comes back within about a minute.
constexpr DWORD kRootRetryWait = 1000;
constexpr int kRootRetries = 60;

// Opens the root, retrying while the network name is deleted and stopFlag
// is clear; any other failure (or the stop) raises the last error.
UniqueHandle OpenStorageRoot(const std::wstring& root, const volatile LONG& stopFlag, RootOpener& opener);

// The managers are reached through accessors because they come to life
// after the storages whose command threads use this host.
struct ServiceHostLinks {
    std::function<StorageManager&()> storages;
    std::function<RegisteredFolderManager&()> folders;
    std::function<FolderCommandSteps&()> steps;
    ConsoleTokenSource* tokens = &DefaultConsoleTokenSource();
    RootOpener* roots = &DefaultRootOpener();
    // Absent until the service provides them; their steps are then skipped.
    DeviceNotificationRegistry* devices = nullptr;
    ChangeNotificatorControl* notificators = nullptr;
};

// Enables a storage on its main worker and disables it again.
class StorageConnector {
public:
    explicit StorageConnector(ServiceHostLinks links);

    // Raises the failure after undoing what this call did: the storage stays disabled.
    void Connect(StorageInfo& storage, const volatile LONG& stopFlag);
    void Disconnect(StorageInfo& storage, DeviceNotifications notifications = DeviceNotifications::Withdraw);

    const ServiceHostLinks& Links() const noexcept { return links_; }

private:
    void CloseRoot(StorageInfo& storage, DeviceNotifications notifications) noexcept;
    void OpenRoot(StorageInfo& storage, const volatile LONG& stopFlag);
    void StartWatching(StorageInfo& storage);
    void Fire(TnStorageEventTypes type, const StorageInfo& storage);

    ServiceHostLinks links_;
};

// The command threads' host in the service.
class ServiceCommandHost : public CommandThreadHost {
public:
    explicit ServiceCommandHost(ServiceHostLinks links);

    std::vector<TaskPtr> LoadJournal(StorageInfo& storage, CommandWorker worker) override;
    void SaveJournal(StorageInfo& storage, CommandWorker worker, const std::vector<TaskPtr>& tasks) override;
    std::unique_ptr<WorkerSession> BeginSession(StorageInfo& storage, CommandWorker worker) override;
    void Connect(StorageInfo& storage, const volatile LONG& stopFlag) override;
    void Disconnect(StorageInfo& storage, DeviceNotifications notifications) override;
    SharedPtr<RegisteredFolder> FindFolder(const std::wstring& folderId) override;
    void StartMonitoring(StorageInfo& storage, LONG refresh) override;

    bool RunCommand(CommandThread& thread, const CommandRegisterFolderFunc& func) override;
    bool RunCommand(CommandThread& thread, const CommandUnRegisterFolderFunc& func) override;
    bool RunCommand(CommandThread& thread, const CommandDeleteFolderFunc& func) override;
    bool RunCommand(CommandThread& thread, const CommandRenameFolderFunc& func) override;
    bool RunCommand(CommandThread& thread, const CommandRefreshFolderFunc& func) override;
    bool RunCommand(CommandThread& thread, const CommandUpdateFolderFunc& func) override;

protected:
    const ServiceHostLinks& Links() const noexcept { return connector_.Links(); }

private:
    StorageConnector connector_;
};

// Storage workers that are command threads served by host, which must
// outlive every storage built with the factory.
StorageWorkerFactory MakeCommandThreadFactory(CommandThreadHost& host);

}  // namespace tandem
