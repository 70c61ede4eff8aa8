#include "command_thread.h"

#include "error.h"
#include "paths.h"
#include "strings.h"
#include "task_matching.h"

namespace tandem {

namespace {

std::wstring FolderPath(std::wstring_view path) {
    if (path.empty()) ThrowHr(E_INVALIDARG);
    return WithTrailingBackslash(path);
}

const SharedPtr<RegisteredFolder>& Checked(const SharedPtr<RegisteredFolder>& folder) {
    if (!folder) ThrowHr(E_INVALIDARG);
    return folder;
}

bool IsOneOf(const CommandThreadTaskBase& task, std::initializer_list<LONG> kinds) {
    for (LONG kind : kinds)
        if (task.GetType() == kind) return true;
    return false;
}

LONG KindOfOperation(LONG operation) noexcept {
    switch (operation) {
    case tnFolderOperationType_Refresh:
        return kTaskRefresh;
    case tnFolderOperationType_Delete:
        return kTaskDelete;
    case tnFolderOperationType_Rename:
        return kTaskRename;
    case tnFolderOperationType_Update:
        return kTaskUpdate;
    default:
        return kTaskControl;
    }
}

}  // namespace

CommandThread::Worker::Worker(CommandWorker workerId)
    : id(workerId), notifier(MakeComObject<CTandemProgressNotifier>()) {}

CommandThread::CommandThread(StorageInfo& storage, CommandThreadHost& host)
    : thread1_(this, &CommandThread::RunMainWorker),
      thread2_(this, &CommandThread::RunUnRegisterWorker),
      storage_(storage),
      host_(host),
      main_(CommandWorker::Main),
      unregister_(CommandWorker::UnRegister) {}

CommandThread::~CommandThread() {
    CatchHr([this] { Stop(); });
}

CommandThread::Worker& CommandThread::Of(CommandWorker id) noexcept {
    return id == CommandWorker::Main ? main_ : unregister_;
}

const CommandThread::Worker& CommandThread::Of(CommandWorker id) const noexcept {
    return id == CommandWorker::Main ? main_ : unregister_;
}

Thread& CommandThread::ThreadOf(CommandWorker id) noexcept {
    return id == CommandWorker::Main ? thread1_ : thread2_;
}

const Thread& CommandThread::ThreadOf(CommandWorker id) const noexcept {
    return id == CommandWorker::Main ? thread1_ : thread2_;
}

// Clients, device events, the control handler and the storage itself start
// the same command thread at once.
void CommandThread::Start() {
    CSyncLockHolder hold(lifecycle_);
    for (Worker* worker : {&main_, &unregister_}) {
        Thread& thread = ThreadOf(worker->id);
        if (thread.IsRunning()) continue;
        InterlockedExchange(&worker->stop, 0);
        InterlockedExchange(&worker->keepNotifications, 0);
        if (worker == &main_) DropStaleStopRequests();
        thread.Start();
    }
}

// A shutdown or wake-up left queued was meant for a run that is over; run
// now, it would stop the new one before it did anything.
void CommandThread::DropStaleStopRequests() {
    main_.queue.RemoveIf([](const CommandThreadTaskBase& task) {
        return FunctionOf<ShutdownFunc>(task) || dynamic_cast<const DummyTask*>(&task);
    });
}

void CommandThread::Stop() { Stop(DeviceNotifications::Withdraw); }

void CommandThread::StopKeepingNotifications() { Stop(DeviceNotifications::Keep); }

void CommandThread::Stop(DeviceNotifications notifications) {
    StopWorker(main_, notifications);
    StopWorker(unregister_, notifications);
}

// Waits for the run it stopped, outside every lock: the stopping worker may
// still need them, or a client it is calling may.
void CommandThread::StopWorker(Worker& worker, DeviceNotifications notifications) {
    ThreadRun run;
    TaskPtr aborted;
    {
        CSyncLockHolder hold(lifecycle_);
        run = ThreadOf(worker.id).CurrentRun();
        if (!run.IsRunning()) return;
        if (notifications == DeviceNotifications::Keep) InterlockedExchange(&worker.keepNotifications, 1);
        aborted = RequestStopLocked(worker);
        worker.queue.Append(MakeShared<DummyTask>());
    }
    Abort(worker, aborted);
    run.Wait(INFINITE);
}

bool CommandThread::IsRunning() const { return thread1_.IsRunning() || thread2_.IsRunning(); }

bool CommandThread::IsRunning(CommandWorker worker) const { return ThreadOf(worker).IsRunning(); }

bool CommandThread::WaitForWorker(CommandWorker worker, DWORD milliseconds) const {
    return ThreadOf(worker).Wait(milliseconds);
}

void CommandThread::RequestStop(CommandWorker id) {
    Worker& worker = Of(id);
    Abort(worker, RequestStopLocked(worker));
}

TaskPtr CommandThread::RequestStopLocked(Worker& worker) {
    return worker.queue.WithLock([&]() -> TaskPtr {
        TaskPtr current = worker.queue.Current();
        current->MarkInterrupted();
        InterlockedExchange(&worker.stop, 1);
        return current->GetType() != kTaskControl ? current : nullptr;
    });
}

void CommandThread::RunMainWorker() { RunWorker(main_); }

void CommandThread::RunUnRegisterWorker() { RunWorker(unregister_); }

// A journal already merged (a start that failed before its loop, a save
// that failed) is not read again: its tasks are queued still.
void CommandThread::RunWorker(Worker& worker) {
    if (worker.queue.JournalUnmerged()) worker.queue.MergeJournal(host_.LoadJournal(storage_, worker.id));
    {
        auto session = host_.BeginSession(storage_, worker.id);
        const bool connects = worker.id == CommandWorker::Main;
        if (connects) host_.Connect(storage_, worker.stop);
        RunTasks(worker);
        if (connects)
            host_.Disconnect(storage_, InterlockedCompareExchange(&worker.keepNotifications, 0, 0)
                                           ? DeviceNotifications::Keep
                                           : DeviceNotifications::Withdraw);
    }
    SaveJournal(worker);
}

// A task that ended interrupted stays current until the next folder task is
// dequeued, so a stop right after it journals it first. Each folder task
// has the notifier to itself from its dequeue on.
void CommandThread::RunTasks(Worker& worker) {
    while (InterlockedCompareExchange(&worker.stop, 0, 0) == 0) {
        TaskPtr task = worker.queue.Dequeue();
        const bool folderTask = task->GetType() != kTaskControl;
        if (folderTask) worker.notifier->Bind(task->GetCancellation());
        task->Run(*this);
        if (folderTask && !task->IsInterrupted()) worker.queue.ResetCurrent();
    }
}

// The journal takes the pending tasks over; when it cannot, they stay
// queued and the failure ends the worker.
void CommandThread::SaveJournal(Worker& worker) {
    std::vector<TaskPtr> pending = worker.queue.TakePending();
    try {
        host_.SaveJournal(storage_, worker.id, pending);
    } catch (...) {
        worker.queue.MergeJournal(std::move(pending));
        throw;
    }
}

TaskPtr CommandThread::Cancel(const TaskPtr& task) {
    task->MarkInterrupted();
    return task;
}

void CommandThread::Abort(Worker& worker, const TaskPtr& task) {
    if (task) worker.notifier->Abort(task->GetCancellation());
}

TaskPtr CommandThread::LiveCurrent(Worker& worker, LONG kind) const {
    TaskPtr current = worker.queue.Current();
    if (current->GetType() != kind || current->IsInterrupted()) return nullptr;
    return current;
}

void CommandThread::PostRegisterFolder(const SharedPtr<RegisteredFolder>& folder, std::wstring_view path) {
    std::wstring p = FolderPath(path);
    const bool sub = Checked(folder)->WatchSubTree;
    TaskPtr aborted = unregister_.queue.WithLock([&]() -> TaskPtr {
        unregister_.queue.RemoveIf([p, sub](const CommandThreadTaskBase& task) {
            return task.GetType() == kTaskUnRegister && Matches(task, p, sub);
        });
        if (TaskPtr current = LiveCurrent(unregister_, kTaskUnRegister); current && Matches(*current, p, sub))
            return Cancel(current);
        return nullptr;
    });
    Abort(unregister_, aborted);
    main_.queue.Append(MakeTask(CommandRegisterFolderFunc(folder, std::move(p))));
}

void CommandThread::PostUnRegisterFolder(const std::wstring& owner, std::wstring_view path, bool subTree) {
    std::wstring p = FolderPath(path);
    TaskPtr aborted = main_.queue.WithLock([&]() -> TaskPtr {
        main_.queue.RemoveIf([p, subTree](const CommandThreadTaskBase& task) {
            return IsOneOf(task, {kTaskDelete, kTaskRefresh, kTaskUpdate}) && Matches(task, p, subTree);
        });
        TaskPtr current = main_.queue.Current();
        if (!current->IsInterrupted() && IsOneOf(*current, {kTaskDelete, kTaskRefresh, kTaskUpdate}) &&
            Matches(*current, p, subTree))
            return Cancel(current);
        return nullptr;
    });
    Abort(main_, aborted);
    unregister_.queue.Append(MakeTask(CommandUnRegisterFolderFunc(owner, std::move(p), subTree)));
}

void CommandThread::PostDeleteFolder(const SharedPtr<RegisteredFolder>& folder, std::wstring_view path) {
    std::wstring p = FolderPath(path);
    const bool sub = Checked(folder)->WatchSubTree;
    TaskPtr aborted = main_.queue.WithLock([&]() -> TaskPtr {
        main_.queue.RemoveIf([p, sub](const CommandThreadTaskBase& task) {
            return IsOneOf(task, {kTaskDelete, kTaskRefresh, kTaskUpdate}) && Matches(task, p, sub);
        });
        TaskPtr cancelled;
        if (TaskPtr current = LiveCurrent(main_, kTaskDelete)) {
            if (sub && IsBelow(*current, p)) {
                cancelled = Cancel(current);
            } else if (EqualsNoCase(current->GetPath(), p)) {
                return nullptr;  // the running deletion does this already
            }
        }
        for (LONG kind : {kTaskRefresh, kTaskUpdate})
            if (TaskPtr current = LiveCurrent(main_, kind); current && Matches(*current, p, sub))
                cancelled = Cancel(current);
        if (!main_.queue.AnyOf([&](const CommandThreadTaskBase& task) {
                return IsOneOf(task, {kTaskDelete, kTaskRefresh}) && Covers(task, p);
            }))
            main_.queue.Append(MakeTask(CommandDeleteFolderFunc(folder, p)));
        return cancelled;
    });
    Abort(main_, aborted);
}

void CommandThread::PostRenameFolder(const SharedPtr<RegisteredFolder>& folder, std::wstring_view oldPath,
                                     std::wstring_view newPath) {
    main_.queue.Append(
        MakeTask(CommandRenameFolderFunc(Checked(folder), FolderPath(oldPath), FolderPath(newPath))));
}

void CommandThread::PostRefreshFolder(const SharedPtr<RegisteredFolder>& folder, std::wstring_view path) {
    std::wstring p = FolderPath(path);
    const bool sub = Checked(folder)->WatchSubTree;
    TaskPtr aborted = main_.queue.WithLock([&]() -> TaskPtr {
        main_.queue.RemoveIf([p, sub](const CommandThreadTaskBase& task) {
            return IsOneOf(task, {kTaskDelete, kTaskRefresh}) && Matches(task, p, sub);
        });
        TaskPtr cancelled;
        if (TaskPtr current = LiveCurrent(main_, kTaskDelete); current && Matches(*current, p, sub))
            cancelled = Cancel(current);
        if (TaskPtr current = LiveCurrent(main_, kTaskRefresh); current && sub && IsBelow(*current, p))
            cancelled = Cancel(current);
        if (!main_.queue.AnyOf([&](const CommandThreadTaskBase& task) {
                return task.GetType() == kTaskRefresh && Covers(task, p);
            }))
            main_.queue.Append(MakeTask(CommandRefreshFolderFunc(folder, p)));
        return cancelled;
    });
    Abort(main_, aborted);
}

void CommandThread::PostRefreshFolder(const std::wstring& folderId, std::wstring_view path) {
    SharedPtr<RegisteredFolder> folder = host_.FindFolder(folderId);
    if (!folder) ThrowHr(E_INVALIDARG);
    PostRefreshFolder(folder, path);
}

void CommandThread::PostUpdateFolder(const SharedPtr<RegisteredFolder>& folder, std::wstring_view path,
                                     std::map<LONG, std::wstring> properties) {
    main_.queue.Append(MakeTask(CommandUpdateFolderFunc(Checked(folder), FolderPath(path), std::move(properties))));
}

// The running task is not marked here: its plug-ins see the cancellation
// and fail, which marks it.
void CommandThread::CancelFolderTasks(LONG operation, const SharedPtr<RegisteredFolder>& folder,
                                      std::wstring_view path) {
    std::wstring p = FolderPath(path);
    const bool sub = Checked(folder)->WatchSubTree;
    const LONG kind = KindOfOperation(operation);
    if (kind == kTaskControl) return;
    TaskPtr aborted = main_.queue.WithLock([&]() -> TaskPtr {
        main_.queue.RemoveIf(
            [p, sub, kind](const CommandThreadTaskBase& task) { return task.GetType() == kind && Matches(task, p, sub); });
        if (TaskPtr current = LiveCurrent(main_, kind); current && Matches(*current, p, sub)) return current;
        return nullptr;
    });
    Abort(main_, aborted);
}

// A start-monitoring request with a refresh takes in one without.
void CommandThread::PostStartMonitoring(LONG refresh) {
    main_.queue.WithLock([&] {
        const bool taken = main_.queue.AnyOf([&](const CommandThreadTaskBase& task) {
            const StartMonitoringFunc* queued = FunctionOf<StartMonitoringFunc>(task);
            return queued && (queued->Refresh() != 0 || refresh == 0);
        });
        if (taken) return;
        main_.queue.RemoveIf(
            [](const CommandThreadTaskBase& task) { return FunctionOf<StartMonitoringFunc>(task) != nullptr; });
        main_.queue.Append(MakeTask(StartMonitoringFunc(refresh)));
    });
}

template <class Func>
void CommandThread::PostControl(Func func) {
    main_.queue.WithLock([&] {
        if (main_.queue.AnyOf([](const CommandThreadTaskBase& task) { return FunctionOf<Func>(task) != nullptr; }))
            return;
        main_.queue.Append(MakeTask(std::move(func)));
    });
}

void CommandThread::PostCheckAccessibility() { PostControl(CheckAccessibilityFunc()); }

void CommandThread::PostShutdown() { PostControl(ShutdownFunc()); }

CTandemProgressNotifier& CommandThread::Notifier(CommandWorker worker) const noexcept {
    return *Of(worker).notifier;
}

ITandemProgressNotifier* CommandThread::NotifierInterface(CommandWorker worker) const noexcept {
    return Of(worker).notifier.get();
}

size_t CommandThread::QueuedCount(CommandWorker worker) const { return Of(worker).queue.Size(); }

std::vector<TaskPtr> CommandThread::QueuedTasks(CommandWorker worker) const { return Of(worker).queue.Snapshot(); }

TaskPtr CommandThread::CurrentTask(CommandWorker worker) const { return Of(worker).queue.Current(); }

}  // namespace tandem
