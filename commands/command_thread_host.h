#pragma once

#include <windows.h>

#include <memory>
#include <string>
#include <vector>

#include "command_funcs.h"
#include "command_task.h"

namespace tandem {

class CommandThread;
class StorageInfo;

enum class CommandWorker { Main = 0, UnRegister = 1 };

// Whether a disconnect withdraws the device notifications on the storage's
// root. A safe-removal request keeps them: the volume may stay after all,
// and only they tell the service so.
enum class DeviceNotifications { Withdraw, Keep };

// Held by a worker for its whole run (the console user's impersonation).
class WorkerSession {
public:
    virtual ~WorkerSession() = default;
};

// What a command thread needs from the rest of the service: the storage
// connection, the task journal, folder lookup and the plug-in work of the
// folder commands.
class CommandThreadHost {
public:
    virtual ~CommandThreadHost() = default;

    // The pending tasks of the worker's journal; empty when it cannot be read.
    virtual std::vector<TaskPtr> LoadJournal(StorageInfo& storage, CommandWorker worker) = 0;
    // Replaces the worker's journal with these tasks, in order; raises when
    // the journal could not be replaced.
    virtual void SaveJournal(StorageInfo& storage, CommandWorker worker, const std::vector<TaskPtr>& tasks) = 0;
    // Null when the worker needs no session.
    virtual std::unique_ptr<WorkerSession> BeginSession(StorageInfo& storage, CommandWorker worker) = 0;
    // Gives up early once stopFlag turns non-zero.
    virtual void Connect(StorageInfo& storage, const volatile LONG& stopFlag) = 0;
    virtual void Disconnect(StorageInfo& storage, DeviceNotifications notifications) = 0;

    // Null when no registered folder has this id.
    virtual SharedPtr<RegisteredFolder> FindFolder(const std::wstring& folderId) = 0;

    // The folder commands' plug-in work; true when every plug-in succeeded.
    virtual bool RunCommand(CommandThread& thread, const CommandRegisterFolderFunc& func) = 0;
    virtual bool RunCommand(CommandThread& thread, const CommandUnRegisterFolderFunc& func) = 0;
    virtual bool RunCommand(CommandThread& thread, const CommandDeleteFolderFunc& func) = 0;
    virtual bool RunCommand(CommandThread& thread, const CommandRenameFolderFunc& func) = 0;
    virtual bool RunCommand(CommandThread& thread, const CommandRefreshFolderFunc& func) = 0;
    virtual bool RunCommand(CommandThread& thread, const CommandUpdateFolderFunc& func) = 0;
    virtual void StartMonitoring(StorageInfo& storage, LONG refresh) = 0;
};

}  // namespace tandem
