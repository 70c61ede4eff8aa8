#include <gtest/gtest.h>

#include "fake_host.h"

namespace tandem::test {
namespace {

using Rules = CommandThreadTest;
using Paths_ = std::vector<std::wstring>;
using Kinds_ = std::vector<LONG>;
constexpr CommandWorker kMain = CommandWorker::Main;
constexpr CommandWorker kUnRegister = CommandWorker::UnRegister;

TEST_F(Rules, PathsGetOneTrailingBackslashAndEmptyPathsOrFoldersAreRejected) {
    thread.PostRefreshFolder(folder, L"D:\\A");
    thread.PostUpdateFolder(folder, L"D:\\B\\", {});
    EXPECT_EQ(Paths(kMain), (Paths_{L"D:\\A\\", L"D:\\B\\"}));

    auto code = [](auto post) {
        try {
            post();
        } catch (const HResultError& e) {
            return e.hr();
        }
        return S_OK;
    };
    EXPECT_EQ(code([&] { thread.PostRefreshFolder(folder, L""); }), E_INVALIDARG);
    EXPECT_EQ(code([&] { thread.PostDeleteFolder(nullptr, L"D:\\A\\"); }), E_INVALIDARG);
    EXPECT_EQ(code([&] { thread.PostRefreshFolder(std::wstring(L"{unknown}"), L"D:\\A\\"); }), E_INVALIDARG);
    EXPECT_EQ(thread.QueuedCount(kMain), 2u);

    host.AddFolder(folder);
    thread.PostRefreshFolder(folder->FolderID(), L"D:\\C");
    EXPECT_EQ(Paths(kMain).back(), L"D:\\C\\");
}

TEST_F(Rules, RenameReportsNewPathAndSubTreeIsReadFromTheFolderAtCallTime) {
    thread.PostRenameFolder(folder, L"D:\\Old\\", L"D:\\New\\");
    TaskPtr rename = thread.QueuedTasks(kMain).front();
    EXPECT_EQ(rename->GetType(), kTaskRename);
    EXPECT_EQ(rename->GetPath(), L"D:\\New\\");
    EXPECT_TRUE(rename->IsSubTree());
    folder->WatchSubTree = false;
    EXPECT_FALSE(rename->IsSubTree());

    thread.PostUnRegisterFolder(L"owner", L"D:\\U\\", false);
    EXPECT_FALSE(thread.QueuedTasks(kUnRegister).front()->IsSubTree());
}

TEST_F(Rules, RefreshCoalescesWithQueuedRefreshesIgnoringCase) {
    thread.PostRefreshFolder(folder, L"D:\\A\\B\\");
    thread.PostUpdateFolder(folder, L"D:\\A\\", {});
    thread.PostRefreshFolder(folder, L"D:\\A\\");  // replaces the one below it
    EXPECT_EQ(Paths(kMain), (Paths_{L"D:\\A\\", L"D:\\A\\"}));
    EXPECT_EQ(Kinds(kMain), (Kinds_{kTaskUpdate, kTaskRefresh}));

    thread.PostRefreshFolder(folder, L"d:\\a\\b\\");  // covered by the queued D:\A\ .
    thread.PostRefreshFolder(folder, L"d:\\a\\");     // same path: the old one goes, order follows posting
    EXPECT_EQ(Kinds(kMain), (Kinds_{kTaskUpdate, kTaskRefresh}));
    EXPECT_EQ(Paths(kMain).back(), L"d:\\a\\");
}

TEST_F(Rules, RefreshOfAFolderWithoutSubTreeKeepsRefreshesBelowIt) {
    auto flat = MakeFolder(L"{flat}", false);
    thread.PostRefreshFolder(flat, L"D:\\A\\B\\");
    thread.PostRefreshFolder(flat, L"D:\\A\\");
    thread.PostRefreshFolder(flat, L"D:\\A\\C\\");  // the flat D:\A\ does not cover it
    EXPECT_EQ(Paths(kMain), (Paths_{L"D:\\A\\B\\", L"D:\\A\\", L"D:\\A\\C\\"}));
}

TEST_F(Rules, DeleteDropsQueuedWorkBelowAndIsSkippedUnderACoveringTask) {
    thread.PostRegisterFolder(folder, L"D:\\A\\X\\");
    thread.PostRefreshFolder(folder, L"D:\\A\\X\\");
    thread.PostUpdateFolder(folder, L"D:\\A\\X\\", {});
    thread.PostRenameFolder(folder, L"D:\\Q\\", L"D:\\A\\X\\");
    thread.PostDeleteFolder(folder, L"D:\\A\\");
    EXPECT_EQ(Kinds(kMain), (Kinds_{kTaskRegister, kTaskRename, kTaskDelete}));

    thread.PostDeleteFolder(folder, L"D:\\A\\Y\\");  // the queued delete of D:\A\ covers it
    EXPECT_EQ(Kinds(kMain), (Kinds_{kTaskRegister, kTaskRename, kTaskDelete}));
}

TEST_F(Rules, RenameAndUpdateAreNeverCoalesced) {
    thread.PostUpdateFolder(folder, L"D:\\A\\", {{1, L"x"}});
    thread.PostUpdateFolder(folder, L"D:\\A\\", {{1, L"y"}});
    thread.PostRenameFolder(folder, L"D:\\A\\", L"D:\\B\\");
    thread.PostRenameFolder(folder, L"D:\\A\\", L"D:\\B\\");
    EXPECT_EQ(Kinds(kMain), (Kinds_{kTaskUpdate, kTaskUpdate, kTaskRename, kTaskRename}));
}

TEST_F(Rules, UnRegisterDropsQueuedDeleteRefreshUpdateButKeepsRegisterAndRename) {
    thread.PostRegisterFolder(folder, L"D:\\A\\");
    thread.PostRenameFolder(folder, L"D:\\Old\\", L"D:\\A\\");
    thread.PostDeleteFolder(folder, L"D:\\A\\B\\");
    thread.PostRefreshFolder(folder, L"D:\\A\\");
    thread.PostUpdateFolder(folder, L"D:\\A\\", {});
    thread.PostRefreshFolder(folder, L"D:\\Z\\");
    thread.PostUnRegisterFolder(L"owner", L"d:\\a\\", true);
    EXPECT_EQ(Kinds(kMain), (Kinds_{kTaskRegister, kTaskRename, kTaskRefresh}));
    EXPECT_EQ(Paths(kMain).back(), L"D:\\Z\\");
    EXPECT_EQ(Kinds(kUnRegister), (Kinds_{kTaskUnRegister}));
}

TEST_F(Rules, UnRegisterWithoutSubTreeKeepsWorkBelowThePath) {
    thread.PostRefreshFolder(folder, L"D:\\A\\B\\");
    thread.PostUnRegisterFolder(L"owner", L"D:\\A\\", false);
    EXPECT_EQ(Paths(kMain), (Paths_{L"D:\\A\\B\\"}));
}

TEST_F(Rules, RegisterDropsQueuedUnRegistrationsAtAndBelowThePath) {
    thread.PostUnRegisterFolder(L"owner", L"D:\\A\\", false);
    thread.PostUnRegisterFolder(L"owner", L"D:\\A\\B\\", false);
    thread.PostUnRegisterFolder(L"owner", L"D:\\AB\\", false);
    thread.PostRegisterFolder(folder, L"D:\\A\\");
    EXPECT_EQ(Paths(kUnRegister), (Paths_{L"D:\\AB\\"}));
    EXPECT_EQ(Kinds(kMain), (Kinds_{kTaskRegister}));
}

TEST_F(Rules, CancelFolderTasksRemovesOnlyTheMappedKind) {
    thread.PostRefreshFolder(folder, L"D:\\A\\B\\");
    thread.PostDeleteFolder(folder, L"D:\\C\\");
    thread.PostUpdateFolder(folder, L"D:\\A\\", {});
    thread.PostRefreshFolder(folder, L"D:\\Z\\");
    thread.CancelFolderTasks(tnFolderOperationType_Refresh, folder, L"D:\\A\\");
    EXPECT_EQ(Kinds(kMain), (Kinds_{kTaskDelete, kTaskUpdate, kTaskRefresh}));
    thread.CancelFolderTasks(42, folder, L"D:\\");
    EXPECT_EQ(thread.QueuedCount(kMain), 3u);
    thread.CancelFolderTasks(tnFolderOperationType_Update, folder, L"D:\\");
    EXPECT_EQ(Kinds(kMain), (Kinds_{kTaskDelete, kTaskRefresh}));
}

TEST_F(Rules, ControlTasksAreAppendedInOrder) {
    thread.PostStartMonitoring(1);
    thread.PostRefreshFolder(folder, L"D:\\A\\");
    thread.PostCheckAccessibility();
    thread.PostShutdown();
    EXPECT_EQ(Kinds(kMain), (Kinds_{kTaskControl, kTaskRefresh, kTaskControl, kTaskControl}));
    EXPECT_EQ(thread.QueuedTasks(kMain).front()->GetPath(), L"");
}

TEST_F(Rules, ControlTasksOfAKindAlreadyQueuedAreNotQueuedAgain) {
    thread.PostShutdown();
    thread.PostCheckAccessibility();
    thread.PostStartMonitoring(0);
    thread.PostShutdown();
    thread.PostCheckAccessibility();
    thread.PostStartMonitoring(0);
    EXPECT_EQ(thread.QueuedCount(kMain), 3u);

    // A start with a refresh takes the place of one without; not the reverse.
    thread.PostStartMonitoring(1);
    thread.PostStartMonitoring(0);
    std::vector<LONG> refreshes;
    for (const TaskPtr& task : thread.QueuedTasks(kMain))
        if (const auto* start = FunctionOf<StartMonitoringFunc>(*task)) refreshes.push_back(start->Refresh());
    EXPECT_EQ(refreshes, std::vector<LONG>{1});
    EXPECT_EQ(thread.QueuedCount(kMain), 3u);
}

// Cases about the running task: worker 1 is held in a command on D:\A\B\.
TEST_F(Rules, RefreshOfAnAncestorCancelsTheRunningRefreshBelowIt) {
    thread.PostRefreshFolder(folder, L"D:\\A\\B\\");
    TaskPtr running = RunBlocking(kMain, L"D:\\A\\B\\");
    thread.PostRefreshFolder(folder, L"D:\\A\\B\\");  // the same path is no reason to cancel
    EXPECT_FALSE(running->IsInterrupted());
    EXPECT_FALSE(thread.Notifier(kMain).IsCanceled());
    thread.PostRefreshFolder(folder, L"D:\\A\\");
    EXPECT_TRUE(running->IsInterrupted());
    EXPECT_TRUE(thread.Notifier(kMain).IsCanceled());
    EXPECT_EQ(Paths(kMain), (Paths_{L"D:\\A\\"}));
}

TEST_F(Rules, DeleteOfThePathBeingDeletedQueuesNothing) {
    thread.PostDeleteFolder(folder, L"D:\\A\\B\\");
    TaskPtr running = RunBlocking(kMain, L"D:\\A\\B\\");
    thread.PostDeleteFolder(folder, L"d:\\A\\b\\");
    EXPECT_EQ(thread.QueuedCount(kMain), 0u);
    EXPECT_FALSE(running->IsInterrupted());
    thread.PostDeleteFolder(folder, L"D:\\A\\");
    EXPECT_TRUE(running->IsInterrupted());
    EXPECT_TRUE(thread.Notifier(kMain).IsCanceled());
    EXPECT_EQ(Paths(kMain), (Paths_{L"D:\\A\\"}));
}

TEST_F(Rules, RefreshCancelsTheRunningDeleteOfItsPath) {
    thread.PostDeleteFolder(folder, L"D:\\A\\B\\");
    TaskPtr running = RunBlocking(kMain, L"D:\\A\\B\\");
    thread.PostRefreshFolder(folder, L"D:\\A\\B\\");
    EXPECT_TRUE(running->IsInterrupted());
    EXPECT_EQ(Kinds(kMain), (Kinds_{kTaskRefresh}));
}

TEST_F(Rules, UnRegisterCancelsTheRunningUpdateOnWorker1) {
    thread.PostUpdateFolder(folder, L"D:\\A\\B\\", {});
    TaskPtr running = RunBlocking(kMain, L"D:\\A\\B\\");
    thread.PostUnRegisterFolder(L"owner", L"D:\\A\\", true);
    EXPECT_TRUE(running->IsInterrupted());
    EXPECT_TRUE(thread.Notifier(kMain).IsCanceled());
    EXPECT_FALSE(thread.Notifier(kUnRegister).IsCanceled());
}

TEST_F(Rules, RegisterCancelsTheRunningUnRegistrationOnWorker2) {
    thread.PostUnRegisterFolder(L"owner", L"D:\\A\\B\\", false);
    TaskPtr running = RunBlocking(kUnRegister, L"D:\\A\\B\\");
    EXPECT_EQ(running->GetType(), kTaskUnRegister);
    thread.PostUnRegisterFolder(L"owner", L"D:\\A\\B\\C\\", false);
    thread.PostRegisterFolder(folder, L"D:\\A\\");
    EXPECT_TRUE(running->IsInterrupted());
    EXPECT_TRUE(thread.Notifier(kUnRegister).IsCanceled());
    EXPECT_FALSE(thread.Notifier(kMain).IsCanceled());
    EXPECT_EQ(thread.QueuedCount(kUnRegister), 0u);
}

TEST_F(Rules, CancelFolderTasksAbortsTheRunningTaskWithoutMarkingIt) {
    thread.PostRefreshFolder(folder, L"D:\\A\\B\\");
    TaskPtr running = RunBlocking(kMain, L"D:\\A\\B\\");
    thread.CancelFolderTasks(tnFolderOperationType_Delete, folder, L"D:\\A\\");
    EXPECT_FALSE(thread.Notifier(kMain).IsCanceled());
    thread.CancelFolderTasks(tnFolderOperationType_Refresh, folder, L"D:\\A\\");
    EXPECT_TRUE(thread.Notifier(kMain).IsCanceled());
    EXPECT_FALSE(running->IsInterrupted());
}

}  // namespace
}  // namespace tandem::test
