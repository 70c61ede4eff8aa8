#pragma once

#include <windows.h>

#include <chrono>
#include <condition_variable>
#include <functional>
#include <map>
#include <mutex>
#include <set>
#include <string>
#include <vector>

#include "command_thread.h"
#include "command_thread_host.h"
#include "error.h"
#include "storage_info.h"

namespace tandem::test {

// What a folder command's body does in the fake host.
enum class Outcome { Succeed, Fail, Throw, Block };

struct CommandRun {
    LONG kind;
    std::wstring path;
    DWORD threadId;
    bool busy;
};

// Records what the command thread asks for. Commands on a path marked Block
// signal `entered` and wait for `release`.
class FakeHost : public CommandThreadHost {
public:
    static constexpr auto kTimeout = std::chrono::seconds(20);

    FakeHost() : entered_(CreateEventW(nullptr, FALSE, FALSE, nullptr)), release_(CreateEventW(nullptr, TRUE, FALSE, nullptr)) {}

    void SetOutcome(const std::wstring& path, Outcome outcome) {
        std::lock_guard hold(mutex_);
        outcomes_[path] = outcome;
    }
    bool WaitEntered() { return WaitForSingleObject(entered_.get(), 20000) == WAIT_OBJECT_0; }
    void Release() { SetEvent(release_.get()); }

    // Waits until count commands ran (or the time-out passed) and returns them.
    std::vector<CommandRun> WaitRuns(size_t count) {
        std::unique_lock hold(mutex_);
        changed_.wait_for(hold, kTimeout, [&] { return runs_.size() >= count; });
        return runs_;
    }
    std::vector<std::wstring> WaitEvents(size_t count) {
        std::unique_lock hold(mutex_);
        changed_.wait_for(hold, kTimeout, [&] { return events_.size() >= count; });
        return events_;
    }
    std::vector<TaskPtr> Saved(CommandWorker worker) {
        std::lock_guard hold(mutex_);
        return saved_[worker];
    }
    void SetJournal(CommandWorker worker, std::vector<TaskPtr> tasks) {
        std::lock_guard hold(mutex_);
        journal_[worker] = std::move(tasks);
    }
    void AddFolder(SharedPtr<RegisteredFolder> folder) {
        std::lock_guard hold(mutex_);
        folders_[folder->FolderID()] = std::move(folder);
    }

    // Connects fail with hr from now on (S_OK: they succeed again).
    void FailConnects(HRESULT hr) {
        std::lock_guard hold(mutex_);
        connectFailure_ = hr;
    }
    void FailSaves(HRESULT hr) {
        std::lock_guard hold(mutex_);
        saveFailure_ = hr;
    }
    // Journal loads wait for ReleaseLoads, signalling LoadEntered first.
    void HoldLoads() { ResetEvent(loadRelease_.get()); }
    bool WaitLoadEntered() { return WaitForSingleObject(loadEntered_.get(), 20000) == WAIT_OBJECT_0; }
    void ReleaseLoads() { SetEvent(loadRelease_.get()); }
    // Runs instead of the outcome for commands on path, on the worker.
    void SetBody(const std::wstring& path, std::function<bool(CommandThread&)> body) {
        std::lock_guard hold(mutex_);
        bodies_[path] = std::move(body);
    }

    // As the file does: loading leaves the journal as it is, saving replaces it.
    std::vector<TaskPtr> LoadJournal(StorageInfo&, CommandWorker worker) override {
        SetEvent(loadEntered_.get());
        WaitForSingleObject(loadRelease_.get(), INFINITE);
        std::lock_guard hold(mutex_);
        return journal_[worker];
    }
    void SaveJournal(StorageInfo&, CommandWorker worker, const std::vector<TaskPtr>& tasks) override {
        std::lock_guard hold(mutex_);
        Event(worker == CommandWorker::Main ? L"save main" : L"save unregister");
        if (FAILED(saveFailure_)) ThrowHr(saveFailure_);
        saved_[worker] = tasks;
        journal_[worker] = tasks;
    }
    std::unique_ptr<WorkerSession> BeginSession(StorageInfo&, CommandWorker) override { return nullptr; }
    void Connect(StorageInfo&, const volatile LONG&) override {
        std::lock_guard hold(mutex_);
        Event(L"connect");
        if (FAILED(connectFailure_)) ThrowHr(connectFailure_);
    }
    void Disconnect(StorageInfo&, DeviceNotifications notifications) override {
        std::lock_guard hold(mutex_);
        Event(notifications == DeviceNotifications::Keep ? L"disconnect keeping notifications" : L"disconnect");
    }
    SharedPtr<RegisteredFolder> FindFolder(const std::wstring& folderId) override {
        std::lock_guard hold(mutex_);
        auto found = folders_.find(folderId);
        return found == folders_.end() ? nullptr : found->second;
    }

    bool RunCommand(CommandThread& t, const CommandRegisterFolderFunc& f) override { return Body(t, f.kKind, f.Path()); }
    bool RunCommand(CommandThread& t, const CommandUnRegisterFolderFunc& f) override { return Body(t, f.kKind, f.Path()); }
    bool RunCommand(CommandThread& t, const CommandDeleteFolderFunc& f) override { return Body(t, f.kKind, f.Path()); }
    bool RunCommand(CommandThread& t, const CommandRenameFolderFunc& f) override { return Body(t, f.kKind, f.Path()); }
    bool RunCommand(CommandThread& t, const CommandRefreshFolderFunc& f) override { return Body(t, f.kKind, f.Path()); }
    bool RunCommand(CommandThread& t, const CommandUpdateFolderFunc& f) override { return Body(t, f.kKind, f.Path()); }
    void StartMonitoring(StorageInfo&, LONG refresh) override {
        std::lock_guard hold(mutex_);
        Event(L"monitor " + std::to_wstring(refresh));
    }

private:
    void Event(std::wstring event) {
        events_.push_back(std::move(event));
        changed_.notify_all();
    }

    bool Body(CommandThread& thread, LONG kind, const std::wstring& path) {
        if (auto body = BodyOf(path)) {
            const bool done = body(thread);
            std::lock_guard hold(mutex_);
            runs_.push_back({kind, path, GetCurrentThreadId(), thread.IsBusy()});
            changed_.notify_all();
            return done;
        }
        Outcome outcome = OutcomeOf(path);
        if (outcome == Outcome::Block) {
            SetEvent(entered_.get());
            WaitForSingleObject(release_.get(), INFINITE);
        }
        {
            std::lock_guard hold(mutex_);
            runs_.push_back({kind, path, GetCurrentThreadId(), thread.IsBusy()});
            changed_.notify_all();
        }
        if (outcome == Outcome::Throw) ThrowHr(E_FAIL);
        return outcome != Outcome::Fail;
    }

    std::function<bool(CommandThread&)> BodyOf(const std::wstring& path) {
        std::lock_guard hold(mutex_);
        auto found = bodies_.find(path);
        return found == bodies_.end() ? nullptr : found->second;
    }

    Outcome OutcomeOf(const std::wstring& path) {
        std::lock_guard hold(mutex_);
        auto found = outcomes_.find(path);
        return found == outcomes_.end() ? Outcome::Succeed : found->second;
    }

    std::mutex mutex_;
    std::condition_variable changed_;
    std::map<std::wstring, Outcome> outcomes_;
    std::vector<CommandRun> runs_;
    std::vector<std::wstring> events_;
    std::map<CommandWorker, std::vector<TaskPtr>> journal_;
    std::map<CommandWorker, std::vector<TaskPtr>> saved_;
    std::map<std::wstring, SharedPtr<RegisteredFolder>> folders_;
    std::map<std::wstring, std::function<bool(CommandThread&)>> bodies_;
    HRESULT connectFailure_ = S_OK;
    HRESULT saveFailure_ = S_OK;
    UniqueHandle entered_;
    UniqueHandle release_;
    UniqueHandle loadEntered_{CreateEventW(nullptr, FALSE, FALSE, nullptr)};
    UniqueHandle loadRelease_{CreateEventW(nullptr, TRUE, TRUE, nullptr)};
};

inline SharedPtr<RegisteredFolder> MakeFolder(const std::wstring& id, bool watchSubTree = true) {
    auto folder = MakeShared<RegisteredFolder>(id, FolderMonitorFactory{});
    folder->WatchSubTree = watchSubTree;
    return folder;
}

// A command thread on a fixed storage, over a fake host. Blocked commands
// are released before the thread stops.
class CommandThreadTest : public ::testing::Test {
protected:
    void TearDown() override {
        host.Release();
        host.ReleaseLoads();
        thread.Stop();
    }

    std::vector<LONG> Kinds(CommandWorker worker) const {
        std::vector<LONG> kinds;
        for (const TaskPtr& task : thread.QueuedTasks(worker)) kinds.push_back(task->GetType());
        return kinds;
    }
    std::vector<std::wstring> Paths(CommandWorker worker) const {
        std::vector<std::wstring> paths;
        for (const TaskPtr& task : thread.QueuedTasks(worker)) paths.push_back(task->GetPath());
        return paths;
    }
    // Starts the workers and waits until a command on path blocks worker 1 or 2.
    TaskPtr RunBlocking(CommandWorker worker, const std::wstring& path) {
        host.SetOutcome(path, Outcome::Block);
        thread.Start();
        EXPECT_TRUE(host.WaitEntered());
        return thread.CurrentTask(worker);
    }

    FakeHost host;
    StorageInfo storage{L"C:\\", L"{storage}", tnStorageType_Fixed, L"", nullptr, {}};
    SharedPtr<RegisteredFolder> folder = MakeFolder(L"{folder}");
    CommandThread thread{storage, host};
};

}  // namespace tandem::test
