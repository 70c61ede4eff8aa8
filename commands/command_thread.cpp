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

void CommandThread::Start() {
    for (Worker* worker : {&main_, &unregister_}) {
        Thread& thread = ThreadOf(worker->id);
        if (thread.IsRunning()) continue;
        InterlockedExchange(&worker->stop, 0);
        thread.Start();
    }
}

void CommandThread::Stop() {
    StopWorker(main_);
    StopWorker(unregister_);
}

void CommandThread::StopWorker(Worker& worker) {
    Thread& thread = ThreadOf(worker.id);
    if (!thread.IsRunning()) return;
    RequestStop(worker.id);
    worker.queue.Append(MakeShared<DummyTask>());
    thread.Wait(INFINITE);
}

bool CommandThread::IsRunning() const { return thread1_.IsRunning() || thread2_.IsRunning(); }

bool CommandThread::IsRunning(CommandWorker worker) const { return ThreadOf(worker).IsRunning(); }

bool CommandThread::WaitForWorker(CommandWorker worker, DWORD milliseconds) const {
    return ThreadOf(worker).Wait(milliseconds);
}

void CommandThread::RequestStop(CommandWorker id) {
    Worker& worker = Of(id);
    worker.queue.WithLock([&] {
        TaskPtr current = worker.queue.Current();
        current->MarkInterrupted();
        if (current->GetType() != kTaskControl) worker.notifier->Abort();
        InterlockedExchange(&worker.stop, 1);
    });
}

void CommandThread::RunMainWorker() { RunWorker(main_); }

void CommandThread::RunUnRegisterWorker() { RunWorker(unregister_); }

void CommandThread::RunWorker(Worker& worker) {
    for (TaskPtr& task : host_.LoadJournal(storage_, worker.id)) worker.queue.Append(std::move(task));
    {
        auto session = host_.BeginSession(storage_, worker.id);
        const bool connects = worker.id == CommandWorker::Main;
        if (connects) host_.Connect(storage_, worker.stop);
        RunTasks(worker);
        if (connects) host_.Disconnect(storage_);
    }
    SaveJournal(worker);
}

// A task that ended interrupted stays current until the next folder task is
// dequeued, so a stop right after it journals it first.
void CommandThread::RunTasks(Worker& worker) {
    while (InterlockedCompareExchange(&worker.stop, 0, 0) == 0) {
        TaskPtr task = worker.queue.Dequeue();
        task->Run(*this);
        if (task->GetType() != kTaskControl && !task->IsInterrupted()) worker.queue.ResetCurrent();
    }
}

// The journal takes the pending tasks over; the next start loads them
// again, so they must not also stay queued.
void CommandThread::SaveJournal(Worker& worker) {
    std::vector<TaskPtr> pending = worker.queue.TakePending();
    try {
        host_.SaveJournal(storage_, worker.id, pending);
    } catch (...) {
        worker.queue.RestorePending(pending);
        throw;
    }
}

void CommandThread::Cancel(Worker& worker, CommandThreadTaskBase& task) {
    task.MarkInterrupted();
    worker.notifier->Abort();
}

TaskPtr CommandThread::LiveCurrent(Worker& worker, LONG kind) const {
    TaskPtr current = worker.queue.Current();
    if (current->GetType() != kind || current->IsInterrupted()) return nullptr;
    return current;
}

void CommandThread::PostRegisterFolder(const SharedPtr<RegisteredFolder>& folder, std::wstring_view path) {
    std::wstring p = FolderPath(path);
    const bool sub = Checked(folder)->WatchSubTree;
    unregister_.queue.WithLock([&] {
        unregister_.queue.RemoveIf([&](const CommandThreadTaskBase& task) {
            return task.GetType() == kTaskUnRegister && Matches(task, p, sub);
        });
        if (TaskPtr current = LiveCurrent(unregister_, kTaskUnRegister); current && Matches(*current, p, sub))
            Cancel(unregister_, *current);
    });
    main_.queue.Append(MakeTask(CommandRegisterFolderFunc(folder, std::move(p))));
}

void CommandThread::PostUnRegisterFolder(const std::wstring& owner, std::wstring_view path, bool subTree) {
    std::wstring p = FolderPath(path);
    main_.queue.WithLock([&] {
        main_.queue.RemoveIf([&](const CommandThreadTaskBase& task) {
            return IsOneOf(task, {kTaskDelete, kTaskRefresh, kTaskUpdate}) && Matches(task, p, subTree);
        });
        TaskPtr current = main_.queue.Current();
        if (!current->IsInterrupted() && IsOneOf(*current, {kTaskDelete, kTaskRefresh, kTaskUpdate}) &&
            Matches(*current, p, subTree))
            Cancel(main_, *current);
    });
    unregister_.queue.Append(MakeTask(CommandUnRegisterFolderFunc(owner, std::move(p), subTree)));
}

void CommandThread::PostDeleteFolder(const SharedPtr<RegisteredFolder>& folder, std::wstring_view path) {
    std::wstring p = FolderPath(path);
    const bool sub = Checked(folder)->WatchSubTree;
    main_.queue.WithLock([&] {
        main_.queue.RemoveIf([&](const CommandThreadTaskBase& task) {
            return IsOneOf(task, {kTaskDelete, kTaskRefresh, kTaskUpdate}) && Matches(task, p, sub);
        });
        if (TaskPtr current = LiveCurrent(main_, kTaskDelete)) {
            if (sub && IsBelow(*current, p)) {
                Cancel(main_, *current);
            } else if (EqualsNoCase(current->GetPath(), p)) {
                return;  // the running deletion does this already
            }
        }
        for (LONG kind : {kTaskRefresh, kTaskUpdate})
            if (TaskPtr current = LiveCurrent(main_, kind); current && Matches(*current, p, sub))
                Cancel(main_, *current);
        if (main_.queue.AnyOf([&](const CommandThreadTaskBase& task) {
                return IsOneOf(task, {kTaskDelete, kTaskRefresh}) && Covers(task, p);
            }))
            return;
        main_.queue.Append(MakeTask(CommandDeleteFolderFunc(folder, p)));
    });
}

void CommandThread::PostRenameFolder(const SharedPtr<RegisteredFolder>& folder, std::wstring_view oldPath,
                                     std::wstring_view newPath) {
    main_.queue.Append(
        MakeTask(CommandRenameFolderFunc(Checked(folder), FolderPath(oldPath), FolderPath(newPath))));
}

void CommandThread::PostRefreshFolder(const SharedPtr<RegisteredFolder>& folder, std::wstring_view path) {
    std::wstring p = FolderPath(path);
    const bool sub = Checked(folder)->WatchSubTree;
    main_.queue.WithLock([&] {
        main_.queue.RemoveIf([&](const CommandThreadTaskBase& task) {
            return IsOneOf(task, {kTaskDelete, kTaskRefresh}) && Matches(task, p, sub);
        });
        if (TaskPtr current = LiveCurrent(main_, kTaskDelete); current && Matches(*current, p, sub))
            Cancel(main_, *current);
        if (TaskPtr current = LiveCurrent(main_, kTaskRefresh); current && sub && IsBelow(*current, p))
            Cancel(main_, *current);
        if (main_.queue.AnyOf([&](const CommandThreadTaskBase& task) {
                return task.GetType() == kTaskRefresh && Covers(task, p);
            }))
            return;
        main_.queue.Append(MakeTask(CommandRefreshFolderFunc(folder, p)));
    });
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
    main_.queue.WithLock([&] {
        main_.queue.RemoveIf(
            [&](const CommandThreadTaskBase& task) { return task.GetType() == kind && Matches(task, p, sub); });
        if (TaskPtr current = LiveCurrent(main_, kind); current && Matches(*current, p, sub))
            main_.notifier->Abort();
    });
}

void CommandThread::PostStartMonitoring(LONG refresh) { main_.queue.Append(MakeTask(StartMonitoringFunc(refresh))); }

void CommandThread::PostCheckAccessibility() { main_.queue.Append(MakeTask(CheckAccessibilityFunc())); }

void CommandThread::PostShutdown() { main_.queue.Append(MakeTask(ShutdownFunc())); }

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
