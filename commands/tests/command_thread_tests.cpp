#include <gtest/gtest.h>

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

    std::vector<TaskPtr> saved = host.Saved(kMain);
    EXPECT_EQ(PathsOf(saved), (std::vector<std::wstring>{L"D:\\A\\", L"D:\\B\\", L"D:\\C\\"}));
    EXPECT_EQ(thread.QueuedCount(kMain), 1u);  // the shutdown stays for the next run

    // A restart loads the journal behind the left-over shutdown, which stops
    // the worker again before anything runs; the journal keeps the tasks.
    host.SetJournal(kMain, saved);
    thread.Start();
    EXPECT_TRUE(thread.WaitForWorker(kMain, 20000));
    EXPECT_EQ(PathsOf(host.Saved(kMain)), PathsOf(saved));
    EXPECT_EQ(thread.QueuedCount(kMain), 0u);

    host.SetJournal(kMain, saved);
    thread.Start();
    EXPECT_EQ(PathsOf(host.WaitRuns(4)),
              (std::vector<std::wstring>{L"D:\\A\\", L"D:\\A\\", L"D:\\B\\", L"D:\\C\\"}));
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

}  // namespace
}  // namespace tandem::test
