#include "service_command_host.h"

#include <algorithm>

#include "command_thread.h"
#include "error.h"
#include "task_journal.h"

namespace tandem {
namespace {

// Short enough that a stop request is noticed promptly during the retries.
constexpr DWORD kStopPollSlice = 50;

bool StopRequested(const volatile LONG& stopFlag) {
    return InterlockedCompareExchange(const_cast<volatile LONG*>(&stopFlag), 0, 0) != 0;
}

bool WantsDeviceNotifications(TnStorageTypes type) {
    return type == tnStorageType_Fixed || type == tnStorageType_Removable || type == tnStorageType_CDROM;
}

class ImpersonationSession final : public WorkerSession {
public:
    explicit ImpersonationSession(ConsoleTokenSource& tokens) : user_(tokens) {}

private:
    ConsoleUserImpersonation user_;
};

}  // namespace

UniqueHandle WindowsRootOpener::Open(const std::wstring& root, DWORD& error) {
    UniqueHandle handle(CreateFileW(root.c_str(), FILE_LIST_DIRECTORY, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                                    OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS, nullptr));
    error = handle ? ERROR_SUCCESS : GetLastError();
    return handle;
}

void WindowsRootOpener::Wait(DWORD milliseconds, const volatile LONG& stopFlag) {
    for (DWORD waited = 0; waited < milliseconds && !StopRequested(stopFlag); waited += kStopPollSlice)
        Sleep(std::min(kStopPollSlice, milliseconds - waited));
}

RootOpener& DefaultRootOpener() {
    static WindowsRootOpener opener;
    return opener;
}

UniqueHandle OpenStorageRoot(const std::wstring& root, const volatile LONG& stopFlag, RootOpener& opener) {
    DWORD error = ERROR_SUCCESS;
    UniqueHandle handle = opener.Open(root, error);
    for (int retry = 0; !handle && error == ERROR_NETNAME_DELETED && retry < kRootRetries; ++retry) {
        if (StopRequested(stopFlag)) break;
        opener.Wait(kRootRetryWait, stopFlag);
        if (StopRequested(stopFlag)) break;
        handle = opener.Open(root, error);
    }
    if (!handle) ThrowWin32(error == ERROR_SUCCESS ? ERROR_GEN_FAILURE : error);
    return handle;
}

StorageConnector::StorageConnector(ServiceHostLinks links) : links_(std::move(links)) {}

void StorageConnector::Connect(StorageInfo& storage, const volatile LONG& stopFlag) {
    if (storage.IsEnabled()) return;
    const bool shareWasConnected = storage.IsShareConnected();
    storage.ConnectShare();
    try {
        OpenRoot(storage, stopFlag);
        StartWatching(storage);
    } catch (...) {
        // Half a connection would hold the root and the share until the next
        // connect: the disabled storage holds nothing.
        CloseRoot(storage, DeviceNotifications::Withdraw);
        if (!shareWasConnected) CatchHr([&] { storage.DisconnectShare(); });
        throw;
    }
    storage.SetEnabled(true);
    Fire(tnStorageEventType_Enabled, storage);
}

// Notifications kept from a safe-removal request name a root that is closed
// now; the new root gets its own.
void StorageConnector::OpenRoot(StorageInfo& storage, const volatile LONG& stopFlag) {
    CloseRoot(storage, DeviceNotifications::Withdraw);
    storage.SetRootHandle(OpenStorageRoot(storage.RootPath(), stopFlag, *links_.roots));
    if (!links_.devices || !WantsDeviceNotifications(storage.StorageType())) return;
    links_.devices->Withdraw(storage.UniqueID());
    CatchHr([&] { links_.devices->Register(storage.UniqueID(), storage.RootHandle()); });
}

void StorageConnector::StartWatching(StorageInfo& storage) {
    if (links_.notificators) links_.notificators->Start(storage);
    try {
        links_.folders().StartMonitoringStorage(storage.UniqueID(), storage.TakeRefreshOnConnect());
    } catch (...) {
        CatchHr([&] { links_.folders().StopMonitoringStorage(storage.UniqueID()); });
        if (links_.notificators) CatchHr([&] { links_.notificators->Stop(storage); });
        throw;
    }
}

// The storage goes down whatever fails on the way: a raise here would cost
// the worker its journal, so every step runs and nothing is raised.
void StorageConnector::Disconnect(StorageInfo& storage, DeviceNotifications notifications) {
    if (!storage.IsEnabled()) return;
    CatchHr([&] { links_.folders().StopMonitoringStorage(storage.UniqueID()); });
    if (links_.notificators) CatchHr([&] { links_.notificators->Stop(storage); });
    CloseRoot(storage, notifications);
    CatchHr([&] { storage.DisconnectShare(); });
    storage.SetEnabled(false);
    Fire(tnStorageEventType_Disabled, storage);
}

// A device notification outlives the handle it was registered on only to
// hear how a safe-removal request ends.
void StorageConnector::CloseRoot(StorageInfo& storage, DeviceNotifications notifications) noexcept {
    if (!storage.RootHandle()) return;
    if (links_.devices && notifications == DeviceNotifications::Withdraw) links_.devices->Withdraw(storage.UniqueID());
    storage.SetRootHandle(UniqueHandle());
}

// Only registered storages are announced: clients know no other.
void StorageConnector::Fire(TnStorageEventTypes type, const StorageInfo& storage) {
    StorageManager& storages = links_.storages();
    SharedPtr<StorageInfo> shared;
    if (FAILED(CatchHr([&] { shared = storages.FindById(storage.UniqueID()); }))) return;
    if (shared.get() == &storage) storages.FireStorageEvent(type, shared);
}

ServiceCommandHost::ServiceCommandHost(ServiceHostLinks links) : connector_(std::move(links)) {}

std::unique_ptr<WorkerSession> ServiceCommandHost::BeginSession(StorageInfo& storage, CommandWorker) {
    if (storage.StorageType() != tnStorageType_Remote) return nullptr;
    return std::make_unique<ImpersonationSession>(*Links().tokens);
}

void ServiceCommandHost::Connect(StorageInfo& storage, const volatile LONG& stopFlag) {
    connector_.Connect(storage, stopFlag);
}

void ServiceCommandHost::Disconnect(StorageInfo& storage, DeviceNotifications notifications) {
    connector_.Disconnect(storage, notifications);
}

SharedPtr<RegisteredFolder> ServiceCommandHost::FindFolder(const std::wstring& folderId) {
    return Links().folders().FindById(folderId);
}

void ServiceCommandHost::StartMonitoring(StorageInfo& storage, LONG refresh) {
    Links().folders().StartMonitoringStorage(storage.UniqueID(), refresh != 0);
}

std::vector<TaskPtr> ServiceCommandHost::LoadJournal(StorageInfo& storage, CommandWorker worker) {
    return LoadTaskJournal(storage.UniqueID(), worker,
                           [this](const std::wstring& folderId) { return FindFolder(folderId); });
}

void ServiceCommandHost::SaveJournal(StorageInfo& storage, CommandWorker worker, const std::vector<TaskPtr>& tasks) {
    SaveTaskJournal(storage.UniqueID(), worker, tasks);
}

bool ServiceCommandHost::RunCommand(CommandThread&, const CommandRegisterFolderFunc& func) {
    return Links().steps().RegisterFolder(func.Folder(), func.Path());
}

bool ServiceCommandHost::RunCommand(CommandThread& thread, const CommandUnRegisterFolderFunc& func) {
    StorageInfo& storage = thread.Storage();
    return Links().steps().UnregisterFolder(storage.UniqueID(), storage.RootPath(), func.Owner(), func.Path(),
                                            func.SubTree(), thread.Notifier(CommandWorker::UnRegister));
}

bool ServiceCommandHost::RunCommand(CommandThread& thread, const CommandDeleteFolderFunc& func) {
    return Links().steps().DeleteFolder(func.Folder(), func.Path(), thread.Notifier(CommandWorker::Main));
}

bool ServiceCommandHost::RunCommand(CommandThread& thread, const CommandRenameFolderFunc& func) {
    return Links().steps().RenameFolder(func.Folder(), func.OldPath(), func.Path(),
                                        thread.Notifier(CommandWorker::Main));
}

bool ServiceCommandHost::RunCommand(CommandThread& thread, const CommandRefreshFolderFunc& func) {
    return Links().steps().RefreshFolder(func.Folder(), func.Path(), thread.Notifier(CommandWorker::Main));
}

bool ServiceCommandHost::RunCommand(CommandThread& thread, const CommandUpdateFolderFunc& func) {
    return Links().steps().UpdateFolder(func.Folder(), func.Path(), func.Properties(),
                                        thread.Notifier(CommandWorker::Main));
}

StorageWorkerFactory MakeCommandThreadFactory(CommandThreadHost& host) {
    return [&host](StorageInfo& storage) -> std::unique_ptr<StorageWorker> {
        return std::make_unique<CommandThread>(storage, host);
    };
}

}  // namespace tandem
