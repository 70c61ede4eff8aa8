#pragma once

#include <windows.h>

#include <map>
#include <string>

#include "com_ptr.h"
#include "command_funcs.h"
#include "command_task.h"
#include "command_thread_host.h"
#include "progress_notifier.h"
#include "registered_folder.h"
#include "sync_lock.h"
#include "storage_worker.h"
#include "task_queue.h"
#include "thread.h"

namespace tandem {

// Serialises the folder work of one storage. Worker 1 runs every command
// but unregistration from the main queue; worker 2 runs unregistrations
// from their own queue, so neither waits behind the other. Posting drops
// queued tasks the new one makes redundant and cancels a running task it
// supersedes; the two queue locks are never held together.
class CommandThread final : public StorageWorker {
public:
    // Raises the failing HRESULT when a queue or notifier cannot be made.
    CommandThread(StorageInfo& storage, CommandThreadHost& host);
    CommandThread(const CommandThread&) = delete;
    CommandThread& operator=(const CommandThread&) = delete;
    // Stops both workers.
    ~CommandThread() override;

    // Starts each worker that is not running. A restarted main worker drops
    // the stop requests left from its last run.
    void Start() override;
    // Worker 1, then worker 2 once worker 1 has disconnected and saved.
    void Stop() override;
    // As Stop, but the storage's device notifications stay (a safe removal
    // that may yet be cancelled).
    void StopKeepingNotifications();
    bool IsRunning() const override;
    bool IsRunning(CommandWorker worker) const;
    // True once the worker is not running (any more) within the time-out.
    bool WaitForWorker(CommandWorker worker, DWORD milliseconds) const;
    // The worker's last run; its exit code is the failure that ended it.
    ThreadRun WorkerRun(CommandWorker worker) const { return ThreadOf(worker).CurrentRun(); }
    // Cancels the worker's current task and makes it end after that task.
    void RequestStop(CommandWorker worker);

    // Paths are full paths; a missing trailing backslash is added. An empty
    // path or a null folder is E_INVALIDARG.
    void PostRegisterFolder(const SharedPtr<RegisteredFolder>& folder, std::wstring_view path);
    void PostUnRegisterFolder(const std::wstring& owner, std::wstring_view path, bool subTree);
    void PostDeleteFolder(const SharedPtr<RegisteredFolder>& folder, std::wstring_view path);
    void PostRenameFolder(const SharedPtr<RegisteredFolder>& folder, std::wstring_view oldPath,
                          std::wstring_view newPath);
    void PostRefreshFolder(const SharedPtr<RegisteredFolder>& folder, std::wstring_view path);
    // E_INVALIDARG when no registered folder has this id.
    void PostRefreshFolder(const std::wstring& folderId, std::wstring_view path);
    void PostUpdateFolder(const SharedPtr<RegisteredFolder>& folder, std::wstring_view path,
                          std::map<LONG, std::wstring> properties);
    // Drops queued tasks of the operation (TnFolderOperationTypes) on path and
    // aborts a running one.
    void CancelFolderTasks(LONG operation, const SharedPtr<RegisteredFolder>& folder, std::wstring_view path);
    // A control task already queued takes in the same request again.
    void PostStartMonitoring(LONG refresh);
    void PostCheckAccessibility();
    void PostShutdown();

    // Busy while any folder command runs, on either worker.
    bool IsBusy() const noexcept { return InterlockedCompareExchange(&busy_, 0, 0) != 0; }
    void EnterBusy() noexcept { InterlockedIncrement(&busy_); }
    void LeaveBusy() noexcept { InterlockedDecrement(&busy_); }

    // Handed to the plug-ins of the worker's tasks; aborting it cancels them.
    CTandemProgressNotifier& Notifier(CommandWorker worker) const noexcept;
    ITandemProgressNotifier* NotifierInterface(CommandWorker worker) const noexcept;

    StorageInfo& Storage() const noexcept { return storage_; }
    CommandThreadHost& Host() const noexcept { return host_; }

    // For inspection: the worker's queued tasks and its current task.
    size_t QueuedCount(CommandWorker worker) const;
    std::vector<TaskPtr> QueuedTasks(CommandWorker worker) const;
    TaskPtr CurrentTask(CommandWorker worker) const;

private:
    struct Worker {
        explicit Worker(CommandWorker id);
        const CommandWorker id;
        volatile LONG stop = 0;
        volatile LONG keepNotifications = 0;
        TaskQueue queue;
        ComPtr<ComObject<CTandemProgressNotifier>> notifier;
    };

    Worker& Of(CommandWorker id) noexcept;
    const Worker& Of(CommandWorker id) const noexcept;
    Thread& ThreadOf(CommandWorker id) noexcept;
    const Thread& ThreadOf(CommandWorker id) const noexcept;

    void RunMainWorker();
    void RunUnRegisterWorker();
    void RunWorker(Worker& worker);
    void RunTasks(Worker& worker);
    void SaveJournal(Worker& worker);
    void Stop(DeviceNotifications notifications);
    void StopWorker(Worker& worker, DeviceNotifications notifications);
    void DropStaleStopRequests();
    // Under the worker's lock: marks the task, which the caller then aborts
    // with Abort once the lock is released.
    static TaskPtr Cancel(const TaskPtr& task);
    void Abort(Worker& worker, const TaskPtr& task);
    // Marks the current task and sets the stop flag; the task is to be aborted.
    TaskPtr RequestStopLocked(Worker& worker);
    // The current task if it is of kind and its interrupted flag is clear.
    TaskPtr LiveCurrent(Worker& worker, LONG kind) const;
    // Appends the control task unless one of its kind is queued.
    template <class Func>
    void PostControl(Func func);

    // Start and the decision to stop, for both workers; never held while
    // waiting or calling out.
    CSyncLock lifecycle_;
    Thread thread1_;
    Thread thread2_;
    mutable volatile LONG busy_ = 0;
    StorageInfo& storage_;
    CommandThreadHost& host_;
    Worker main_;
    Worker unregister_;
};

}  // namespace tandem
