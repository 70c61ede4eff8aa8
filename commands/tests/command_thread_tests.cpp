#include <gtest/gtest.h>

#include <atomic>
#include <functional>
#include <memory>
#include <thread>

#include "fake_host.h"

namespace tandem::test {
namespace {

using Workers = CommandThreadTest;
constexpr CommandWorker kMain = CommandWorker::Main;
constexpr CommandWorker kUnRegister = CommandWorker::UnRegister;

std::vector<std::wstring> PathsOf(const std::vector<CommandRun>& runs) {
    std::vector<std::wstring> paths;
    for (const CommandRun& run : runs) paths.push_back(run.path);
    return paths;
}

std::vector<std::wstring> PathsOf(const std::vector<TaskPtr>& tasks) {
    std::vector<std::wstring> paths;
    for (const TaskPtr& task : tasks) paths.push_back(task->GetPath());
    return paths;
}

TEST_F(Workers, RunTasksInPostingOrderWithUnRegistrationOnWorker2Only) {
    thread.PostRefreshFolder(folder, L"D:\\A\\");
    thread.PostUnRegisterFolder(L"owner", L"D:\\U\\", true);
    thread.PostUpdateFolder(folder, L"D:\\B\\", {});
    thread.PostRenameFolder(folder, L"D:\\C\\", L"D:\\D\\");
    thread.Start();
    EXPECT_TRUE(thread.IsRunning(kMain));
    EXPECT_TRUE(thread.IsRunning(kUnRegister));
    std::vector<CommandRun> runs = host.WaitRuns(4);
    ASSERT_EQ(runs.size(), 4u);

    std::vector<std::wstring> main;
    DWORD mainThread = 0, unregisterThread = 0;
    for (const CommandRun& run : runs) {
        if (run.kind == kTaskUnRegister) {
            unregisterThread = run.threadId;
        } else {
            main.push_back(run.path);
            if (mainThread == 0) mainThread = run.threadId;
            EXPECT_EQ(run.threadId, mainThread);
        }
    }
    EXPECT_EQ(main, (std::vector<std::wstring>{L"D:\\A\\", L"D:\\B\\", L"D:\\D\\"}));
    EXPECT_NE(unregisterThread, 0u);
    EXPECT_NE(unregisterThread, mainThread);
}

TEST_F(Workers, BusyWhileAFolderCommandRunsAlsoWhenItThrows) {
    thread.PostRefreshFolder(folder, L"D:\\A\\");
    RunBlocking(kMain, L"D:\\A\\");
    EXPECT_TRUE(thread.IsBusy());
    host.Release();
    host.SetOutcome(L"D:\\T\\", Outcome::Throw);
    thread.PostRefreshFolder(folder, L"D:\\T\\");
    thread.PostStartMonitoring(1);
    host.WaitEvents(2);  // connect, then the monitoring start after the throwing task
    std::vector<CommandRun> runs = host.WaitRuns(2);
    ASSERT_EQ(runs.size(), 2u);
    EXPECT_TRUE(runs[0].busy);
    EXPECT_TRUE(runs[1].busy);
    EXPECT_FALSE(thread.IsBusy());
    EXPECT_EQ(thread.CurrentTask(kMain)->GetPath(), L"D:\\T\\");
    EXPECT_TRUE(thread.CurrentTask(kMain)->IsInterrupted());
}

TEST_F(Workers, AFailedTaskStaysCurrentInterruptedAndTheWorkerGoesOn) {
    host.SetOutcome(L"D:\\F\\", Outcome::Fail);
    thread.PostDeleteFolder(folder, L"D:\\F\\");
    thread.PostStartMonitoring(0);
    thread.Start();
    EXPECT_EQ(host.WaitEvents(2).back(), L"monitor 0");
    TaskPtr failed = thread.CurrentTask(kMain);
    EXPECT_EQ(failed->GetPath(), L"D:\\F\\");
    EXPECT_TRUE(failed->IsInterrupted());

    thread.PostRefreshFolder(folder, L"D:\\OK\\");
    thread.PostStartMonitoring(1);
    EXPECT_EQ(host.WaitEvents(3).back(), L"monitor 1");
    EXPECT_EQ(thread.CurrentTask(kMain)->GetType(), kTaskControl);
    EXPECT_EQ(PathsOf(host.WaitRuns(2)), (std::vector<std::wstring>{L"D:\\F\\", L"D:\\OK\\"}));
}

TEST_F(Workers, StopEndsWorker1BeforeAskingWorker2) {
    thread.Start();
    thread.Stop();
    EXPECT_FALSE(thread.IsRunning());
    EXPECT_EQ(host.WaitEvents(4),
              (std::vector<std::wstring>{L"connect", L"disconnect", L"save main", L"save unregister"}));
    EXPECT_TRUE(host.Saved(kMain).empty());  // the wake-up task is not journalled
    EXPECT_TRUE(host.Saved(kUnRegister).empty());
}

TEST_F(Workers, RequestStopCancelsTheRunningTaskAndPendingTasksGoToTheJournal) {
    thread.PostRefreshFolder(folder, L"D:\\A\\");
    TaskPtr running = RunBlocking(kMain, L"D:\\A\\");
    thread.PostUpdateFolder(folder, L"D:\\B\\", {});
    thread.PostShutdown();
    thread.PostDeleteFolder(folder, L"D:\\C\\");
    thread.RequestStop(kMain);
    EXPECT_TRUE(running->IsInterrupted());
    EXPECT_TRUE(thread.Notifier(kMain).IsCanceled());
    host.Release();
    EXPECT_TRUE(thread.WaitForWorker(kMain, 20000));
    EXPECT_TRUE(thread.IsRunning(kUnRegister));

    EXPECT_EQ(PathsOf(host.Saved(kMain)), (std::vector<std::wstring>{L"D:\\A\\", L"D:\\B\\", L"D:\\C\\"}));
    EXPECT_EQ(thread.QueuedCount(kMain), 1u);  // the shutdown stays queued

    // A restart drops the left-over shutdown, which was for the run that
    // ended, and runs the journal.
    thread.Start();
    EXPECT_EQ(PathsOf(host.WaitRuns(4)),
              (std::vector<std::wstring>{L"D:\\A\\", L"D:\\A\\", L"D:\\B\\", L"D:\\C\\"}));
    EXPECT_TRUE(thread.IsRunning(kMain));
}

TEST_F(Workers, ShutdownStopsOnlyWorker1AndLaterPostsWaitForTheNextStart) {
    thread.Start();
    thread.PostShutdown();
    EXPECT_TRUE(thread.WaitForWorker(kMain, 20000));
    EXPECT_TRUE(thread.IsRunning(kUnRegister));
    thread.PostRefreshFolder(folder, L"D:\\Later\\");
    thread.PostUnRegisterFolder(L"owner", L"D:\\U\\", false);
    EXPECT_EQ(host.WaitRuns(1).front().path, L"D:\\U\\");
    EXPECT_EQ(thread.QueuedCount(kMain), 1u);
    thread.Start();
    EXPECT_EQ(host.WaitRuns(2).back().path, L"D:\\Later\\");
}

TEST_F(Workers, CheckAccessibilityStopsWorker1OnlyWhenTheRootIsGone) {
    StorageInfo gone{L"C:\\tandem-no-such-root\\", L"{gone}", tnStorageType_Fixed, L"", nullptr, {}};
    CommandThread goneThread{gone, host};
    goneThread.Start();
    goneThread.PostCheckAccessibility();
    EXPECT_TRUE(goneThread.WaitForWorker(kMain, 20000));

    thread.Start();
    thread.PostCheckAccessibility();
    thread.PostStartMonitoring(1);
    EXPECT_EQ(host.WaitEvents(5).back(), L"monitor 1");
    EXPECT_TRUE(thread.IsRunning(kMain));
}

// A client told of progress aborts the refresh from its handler and waits
// for its call, as one in another process does: the call must return.
class AbortingClient : public ProgressEvents {
public:
    AbortingClient(CommandThread& thread, SharedPtr<RegisteredFolder> folder)
        : thread_(thread), folder_(std::move(folder)) {}

    void OnOperationProgress(TnFolderOperationTypes, float percentage) override {
        if (percentage < 50.0f) return;
        auto done = std::make_shared<UniqueHandle>(CreateEventW(nullptr, TRUE, FALSE, nullptr));
        std::thread client([&thread = thread_, folder = folder_, done] {
            thread.CancelFolderTasks(tnFolderOperationType_Refresh, folder, L"D:\\A\\");
            thread.PostRefreshFolder(folder, L"D:\\Next\\");
            SetEvent(done->get());
        });
        returned = WaitForSingleObject(done->get(), 10000) == WAIT_OBJECT_0;
        if (returned)
            client.join();
        else
            client.detach();
    }
    void OnOperationAbort(TnFolderOperationTypes) override { ++aborts; }

    std::atomic<bool> returned{false};
    std::atomic<int> aborts{0};

private:
    CommandThread& thread_;
    SharedPtr<RegisteredFolder> folder_;
};

// The body of a refresh whose single plug-in reports half its work done.
std::function<bool(CommandThread&)> ReportingHalfWay(SharedPtr<ProgressEvents> events) {
    return [events](CommandThread& thread) {
        CTandemProgressNotifier& notifier = thread.Notifier(kMain);
        notifier.StartOperation(events, tnFolderOperationType_Refresh, 1);
        notifier.put_Total(100);
        notifier.put_Progress(50);
        const bool canceled = notifier.IsCanceled();
        notifier.StepDone();
        return !canceled;
    };
}

TEST_F(Workers, ACancelFromAProgressHandlerReturnsAndThePostsAfterItRun) {
    auto client = MakeShared<AbortingClient>(thread, folder);
    host.SetBody(L"D:\\A\\", ReportingHalfWay(client));
    thread.PostRefreshFolder(folder, L"D:\\A\\");
    thread.Start();
    EXPECT_EQ(PathsOf(host.WaitRuns(2)), (std::vector<std::wstring>{L"D:\\A\\", L"D:\\Next\\"}));
    EXPECT_TRUE(client->returned);
    EXPECT_EQ(client->aborts, 1);
}

// A stale abort: the cancel lands after the running refresh's plug-ins
// returned, and the refresh it queues must not inherit it.
TEST_F(Workers, AnAbortRacingATasksEndLeavesTheNextTaskAlone) {
    UniqueHandle returned(CreateEventW(nullptr, TRUE, FALSE, nullptr));
    UniqueHandle resume(CreateEventW(nullptr, TRUE, FALSE, nullptr));
    std::atomic<bool> nextCanceled{true};
    host.SetBody(L"D:\\A\\B\\", [&](CommandThread&) {
        SetEvent(returned.get());
        WaitForSingleObject(resume.get(), INFINITE);
        return true;
    });
    host.SetBody(L"D:\\A\\", [&](CommandThread& t) {
        nextCanceled = t.Notifier(kMain).IsCanceled();
        return true;
    });
    thread.PostRefreshFolder(folder, L"D:\\A\\B\\");
    thread.Start();
    ASSERT_EQ(WaitForSingleObject(returned.get(), 20000), WAIT_OBJECT_0);
    thread.PostRefreshFolder(folder, L"D:\\A\\");  // supersedes the one below it
    SetEvent(resume.get());
    thread.PostStartMonitoring(0);
    EXPECT_EQ(host.WaitEvents(2).back(), L"monitor 0");
    EXPECT_EQ(PathsOf(host.WaitRuns(2)), (std::vector<std::wstring>{L"D:\\A\\B\\", L"D:\\A\\"}));
    EXPECT_FALSE(nextCanceled);
    EXPECT_EQ(thread.CurrentTask(kMain)->GetType(), kTaskControl);  // it completed
}

TEST_F(Workers, StartsThatFailBeforeTheLoopQueueTheJournalOnceAndRunItOnce) {
    host.SetJournal(kMain, {MakeTask(CommandRefreshFolderFunc(folder, L"D:\\A\\")),
                            MakeTask(CommandRenameFolderFunc(folder, L"D:\\B\\", L"D:\\C\\"))});
    host.FailConnects(E_FAIL);
    for (int attempt = 0; attempt < 3; ++attempt) {
        thread.Start();
        ASSERT_TRUE(thread.WaitForWorker(kMain, 20000));
        EXPECT_EQ(thread.QueuedCount(kMain), 2u);
    }
    host.FailConnects(S_OK);
    thread.Start();
    EXPECT_EQ(PathsOf(host.WaitRuns(2)), (std::vector<std::wstring>{L"D:\\A\\", L"D:\\C\\"}));
    thread.Stop();
    EXPECT_EQ(host.WaitRuns(0).size(), 2u);
    EXPECT_TRUE(host.Saved(kMain).empty());
}

TEST_F(Workers, ARegistrationPostedDuringASlowJournalLoadDropsTheJournalledUnregistration) {
    host.SetJournal(kUnRegister, {MakeTask(CommandUnRegisterFolderFunc(L"owner", L"D:\\P\\", false))});
    host.HoldLoads();
    thread.Start();
    ASSERT_TRUE(host.WaitLoadEntered());
    thread.PostRegisterFolder(folder, L"D:\\P\\");
    host.ReleaseLoads();
    EXPECT_EQ(host.WaitRuns(1).front().kind, kTaskRegister);
    thread.Stop();
    std::vector<CommandRun> runs = host.WaitRuns(0);
    ASSERT_EQ(runs.size(), 1u);
    EXPECT_EQ(runs[0].path, L"D:\\P\\");
    EXPECT_TRUE(host.Saved(kUnRegister).empty());
}

// The journal that the failed save could not replace holds tasks that ran
// already; the pending ones stay queued instead and run once.
TEST_F(Workers, AFailedJournalSaveKeepsThePendingTasksAndTheOldJournalIsNotRunAgain) {
    host.SetJournal(kMain, {MakeTask(CommandRefreshFolderFunc(folder, L"D:\\Old\\"))});
    thread.PostRefreshFolder(folder, L"D:\\B\\");
    RunBlocking(kMain, L"D:\\B\\");
    thread.PostUpdateFolder(folder, L"D:\\C\\", {});
    host.FailSaves(HRESULT_FROM_WIN32(ERROR_DISK_FULL));
    thread.RequestStop(kMain);
    host.Release();
    ASSERT_TRUE(thread.WaitForWorker(kMain, 20000));
    DWORD code = 0;
    ASSERT_TRUE(GetExitCodeThread(thread.WorkerRun(kMain).Handle(), &code));
    EXPECT_EQ(static_cast<HRESULT>(code), HRESULT_FROM_WIN32(ERROR_DISK_FULL));
    EXPECT_EQ(PathsOf(thread.QueuedTasks(kMain)), (std::vector<std::wstring>{L"D:\\B\\", L"D:\\C\\"}));

    host.FailSaves(S_OK);
    thread.Start();
    EXPECT_EQ(PathsOf(host.WaitRuns(4)),
              (std::vector<std::wstring>{L"D:\\Old\\", L"D:\\B\\", L"D:\\B\\", L"D:\\C\\"}));
    thread.Stop();
    EXPECT_EQ(host.WaitRuns(0).size(), 4u);
    EXPECT_TRUE(host.Saved(kMain).empty());
}

// Every monitor thread of a vanished share posts a shutdown; one is kept,
// and one left over from the last run does not stop the next.
TEST_F(Workers, ShutdownsAreCoalescedAndALeftOverOneIsDroppedByTheNextStart) {
    thread.PostRefreshFolder(folder, L"D:\\A\\");
    RunBlocking(kMain, L"D:\\A\\");
    for (int monitor = 0; monitor < 3; ++monitor) thread.PostShutdown();
    EXPECT_EQ(thread.QueuedCount(kMain), 1u);
    host.Release();
    ASSERT_TRUE(thread.WaitForWorker(kMain, 20000));

    thread.PostShutdown();
    thread.Start();
    thread.PostRefreshFolder(folder, L"D:\\Later\\");
    EXPECT_EQ(host.WaitRuns(2).back().path, L"D:\\Later\\");
    EXPECT_TRUE(thread.IsRunning(kMain));
    EXPECT_EQ(host.WaitEvents(0), (std::vector<std::wstring>{L"connect", L"disconnect", L"save main", L"connect"}));
}

TEST_F(Workers, StartsFromTwoThreadsAtOnceRunOneWorkerEach) {
    constexpr int kRounds = 20;
    for (int round = 0; round < kRounds; ++round) {
        UniqueHandle go(CreateEventW(nullptr, TRUE, FALSE, nullptr));
        auto start = [&] {
            WaitForSingleObject(go.get(), INFINITE);
            thread.Start();
        };
        std::thread first(start), second(start);
        SetEvent(go.get());
        first.join();
        second.join();
        thread.Stop();
    }
    size_t connects = 0;
    for (const std::wstring& event : host.WaitEvents(0)) connects += event == L"connect";
    EXPECT_EQ(connects, static_cast<size_t>(kRounds));
}

TEST_F(Workers, ASafeRemovalStopDisconnectsWithoutWithdrawingTheNotifications) {
    thread.Start();
    thread.StopKeepingNotifications();
    thread.Start();
    thread.Stop();
    EXPECT_EQ(host.WaitEvents(0),
              (std::vector<std::wstring>{L"connect", L"disconnect keeping notifications", L"save main",
                                         L"save unregister", L"connect", L"disconnect", L"save main",
                                         L"save unregister"}));
}

}  // namespace
}  // namespace tandem::test
