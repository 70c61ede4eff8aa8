#include <windows.h>

#include <gtest/gtest.h>

#include <string>
#include <utility>
#include <vector>

#include "change_dispatcher.h"
#include "file_name_checker.h"
#include "folder_command_steps.h"
#include "plugin_object_fakes.h"
#include "plugin_test_host.h"

using namespace tandem;
using namespace tandem::test;

namespace {

class RecordingProgress : public ProgressEvents {
public:
    void OnOperationProgress(TnFolderOperationTypes operation, float percentage) override {
        log.push_back(L"progress " + std::to_wstring(operation) + L" " + std::to_wstring(static_cast<int>(percentage)));
    }
    void OnOperationAbort(TnFolderOperationTypes operation) override {
        log.push_back(L"abort " + std::to_wstring(operation));
    }
    std::vector<std::wstring> log;
};

class RecordingFolderEvents : public FolderProgressEvents, public FolderBusyEvents {
public:
    SharedPtr<ProgressEvents> ForFolder(const SharedPtr<RegisteredFolder>&) override { return progress; }
    void OnFolderBusy(const SharedPtr<RegisteredFolder>&, bool busy) override {
        progress->log.push_back(busy ? L"busy" : L"idle");
    }
    SharedPtr<RecordingProgress> progress = MakeShared<RecordingProgress>();
};

class RecordingQueue : public FolderCommandQueue {
public:
    void PostRefreshFolder(const std::wstring& path) override { posted.push_back(L"refresh " + path); }
    void PostDeleteFolder(const std::wstring& path) override { posted.push_back(L"delete " + path); }
    void PostRenameFolder(const std::wstring& oldPath, const std::wstring& newPath) override {
        posted.push_back(L"rename " + oldPath + L" " + newPath);
    }
    std::vector<std::wstring> posted;
};

// Alpha and beta, as every test of this program registers them: the
// process-wide plug-in snapshot is read once.
class FolderSteps : public PluginHostTest {
protected:
    void SetUp() override {
        AddPlugin(L"Alpha", kAlphaClass);
        AddPlugin(L"beta", kBetaClass);
        registrations_.push_back(RegisterTestPlugin(kAlphaClass, {L"Alpha"}, journal_));
        registrations_.push_back(RegisterTestPlugin(kBetaClass, {L"beta"}, journal_));
        folder_->WatchSubTree = true;
    }
    void TearDown() override {
        plugins_.reset();
        PluginHostTest::TearDown();
    }
    Journal Take() { return std::exchange(*journal_, {}); }
    // Journal lines of plug-in calls other than Open and Close.
    Journal Calls() {
        Journal calls;
        for (auto& line : Take())
            if (line.find(L".Open(") == std::wstring::npos && line.find(L".Close(") == std::wstring::npos)
                calls.push_back(line);
        return calls;
    }
    void Dispatch(ChangeKind kind, ChangeAction action, const std::wstring& path, const std::wstring& oldPath = {}) {
        if (!plugins_) {
            PluginManager manager;
            plugins_ = TandemPlugin::ForFolder(folder_, manager);
            Take();
        }
        dispatcher_.Dispatch({kind, action, plugins_, path, oldPath});
    }

    SharedPtr<Journal> journal_ = MakeShared<Journal>();
    std::vector<ClassObjectRegistration> registrations_;
    TempTree tree_;
    FakeSource source_;
    FolderInfoManager folders_{ExclusionList{}};
    ExclusionRules rules_{{MakeFileChecker(L"*.tmp")}, {}};
    RecordingQueue queue_;
    ChangeDispatcher dispatcher_{source_, folders_, rules_, queue_};
    SharedPtr<RecordingFolderEvents> events_ = MakeShared<RecordingFolderEvents>();
    FolderCommandSteps steps_{source_, folders_, rules_, events_, events_};
    SharedPtr<RegisteredFolder> folder_ = MakeShared<RegisteredFolder>(L"ID", FolderMonitorFactory());
    SharedPtr<TandemPlugin> plugins_;
    ComPtr<ComObject<CTandemProgressNotifier>> notifier_ = MakeComObject<CTandemProgressNotifier>();
};

}  // namespace

TEST_F(FolderSteps, VisibleFilesAreImportedHiddenOnesAreNot) {
    tree_.Folder(L"Secret", FILE_ATTRIBUTE_HIDDEN);
    Dispatch(ChangeKind::Content, ChangeAction::Added, tree_.File(L"a.jpg"));
    Dispatch(ChangeKind::Content, ChangeAction::Modified, tree_.File(L"h.jpg", 3, FILE_ATTRIBUTE_HIDDEN));
    Dispatch(ChangeKind::Content, ChangeAction::Added, tree_.File(L"Secret\\b.jpg"));
    Dispatch(ChangeKind::Content, ChangeAction::Added, tree_.Root() + L"vanished.jpg");
    EXPECT_EQ(Calls(), (Journal{L"Alpha.ImportContent(content)", L"beta.ImportContent(content)"}));
    EXPECT_EQ(source_.audioUses, 0);
}

TEST_F(FolderSteps, CategoryRestrictionsFilterImports) {
    folder_->SetObjectCategories({3});
    Dispatch(ChangeKind::Content, ChangeAction::Added, tree_.File(L"5-song.wav"));
    EXPECT_TRUE(Calls().empty());
    Dispatch(ChangeKind::Content, ChangeAction::Added, tree_.File(L"3-photo.jpg"));
    EXPECT_EQ(Calls(), (Journal{L"Alpha.ImportContent(content)", L"beta.ImportContent(content)"}));
}

TEST_F(FolderSteps, RenamesAcrossTheExclusionsBecomeImportsAndDeletes) {
    const std::wstring normal = tree_.File(L"a.jpg");
    const std::wstring excluded = tree_.Root() + L"a.tmp";
    Dispatch(ChangeKind::Content, ChangeAction::Renamed, normal, excluded);
    EXPECT_EQ(Calls(), (Journal{L"Alpha.ImportContent(content)", L"beta.ImportContent(content)"}));
    Dispatch(ChangeKind::Content, ChangeAction::Renamed, excluded, normal);
    EXPECT_EQ(Calls(), (Journal{L"Alpha.DeleteContent(" + normal + L")", L"beta.DeleteContent(" + normal + L")"}));
    const std::wstring old = tree_.Root() + L"old.jpg";
    Dispatch(ChangeKind::Content, ChangeAction::Renamed, normal, old);
    EXPECT_EQ(Calls(), (Journal{L"Alpha.RenameContent(" + old + L")", L"beta.RenameContent(" + old + L")"}));
    Dispatch(ChangeKind::Content, ChangeAction::Removed, normal);
    EXPECT_EQ(Calls(), (Journal{L"Alpha.DeleteContent(" + normal + L")", L"beta.DeleteContent(" + normal + L")"}));
}

TEST_F(FolderSteps, FolderChangesImportOrQueue) {
    const std::wstring added = tree_.Folder(L"New");
    Dispatch(ChangeKind::Folder, ChangeAction::Modified, added);
    EXPECT_TRUE(Calls().empty());
    Dispatch(ChangeKind::Folder, ChangeAction::Added, added);
    EXPECT_EQ(Calls(), (Journal{L"Alpha.ImportFolder(folder)", L"beta.ImportFolder(folder)"}));
    Dispatch(ChangeKind::Folder, ChangeAction::Removed, added);
    Dispatch(ChangeKind::Folder, ChangeAction::Renamed, added, tree_.Root() + L"Old");
    EXPECT_TRUE(Calls().empty());
    EXPECT_EQ(queue_.posted, (std::vector<std::wstring>{L"refresh " + added, L"delete " + added,
                                                        L"rename " + tree_.Root() + L"Old " + added}));
}

TEST_F(FolderSteps, CommandPathsReachPluginsWithoutBackslash) {
    const std::wstring path = tree_.Folder(L"Music");
    EXPECT_TRUE(steps_.RegisterFolder(folder_, path + L"\\"));
    EXPECT_TRUE(steps_.DeleteFolder(folder_, path + L"\\", *notifier_));
    EXPECT_TRUE(steps_.DeleteFolder(folder_, path, *notifier_));
    EXPECT_TRUE(steps_.RenameFolder(folder_, tree_.Root() + L"Old\\", path + L"\\", *notifier_));
    EXPECT_TRUE(steps_.UnregisterFolder(L"SID", tree_.Root(), L"Owner", path + L"\\", false, *notifier_));
    const Journal calls = Calls();
    const Journal expected{
        L"Alpha.ImportFolder(folder)",
        L"beta.ImportFolder(folder)",
        L"Alpha.DeleteFolder(" + path + L"|notifier)",
        L"beta.DeleteFolder(" + path + L"|notifier)",
        L"Alpha.DeleteFolder(" + path + L"|notifier)",
        L"beta.DeleteFolder(" + path + L"|notifier)",
        L"Alpha.RenameFolder(" + tree_.Root() + L"Old|notifier)",
        L"beta.RenameFolder(" + tree_.Root() + L"Old|notifier)",
        L"Alpha.DeleteFolder(" + path + L"|notifier)",
        L"beta.DeleteFolder(" + path + L"|notifier)",
    };
    EXPECT_EQ(calls, expected);
}

TEST_F(FolderSteps, RefreshAndUpdateReportProgressAndBusyAroundTheFanOut) {
    const std::wstring path = tree_.Folder(L"Music");
    EXPECT_TRUE(steps_.RefreshFolder(folder_, path + L"\\", *notifier_));
    EXPECT_TRUE(steps_.UpdateFolder(folder_, path + L"\\", {{5, L"five"}}, *notifier_));
    EXPECT_EQ(Calls(), (Journal{L"Alpha.RefreshFolder(notifier)", L"beta.RefreshFolder(notifier)",
                                L"Alpha.UpdateFolder(5=five|locked|notifier)",
                                L"beta.UpdateFolder(5=five|locked|notifier)"}));
    EXPECT_EQ(events_->progress->log, (std::vector<std::wstring>{L"busy", L"progress 0 0", L"progress 0 100", L"idle",
                                                                 L"busy", L"progress 3 0", L"progress 3 100",
                                                                 L"idle"}));
    EXPECT_EQ(source_.audioUses, 0);
}

TEST_F(FolderSteps, HiddenFolderIsNotHandedOn) {
    const std::wstring path = tree_.Folder(L"Secret", FILE_ATTRIBUTE_HIDDEN);
    EXPECT_TRUE(steps_.RefreshFolder(folder_, path + L"\\", *notifier_));
    EXPECT_TRUE(steps_.RegisterFolder(folder_, path + L"\\"));
    EXPECT_TRUE(Calls().empty());
    EXPECT_TRUE(events_->progress->log.empty());
}

TEST_F(FolderSteps, AbortBeforeTheStartSurvivesIt) {
    const std::wstring path = tree_.Folder(L"Music");
    notifier_->Abort();
    EXPECT_TRUE(steps_.DeleteFolder(folder_, path, *notifier_));
    EXPECT_TRUE(notifier_->IsCanceled());
    ASSERT_GE(events_->progress->log.size(), 3u);
    EXPECT_EQ(events_->progress->log[1], L"progress 1 0");
    EXPECT_EQ(events_->progress->log[2], L"abort 1");
}

TEST_F(FolderSteps, FailingPluginFailsTheCommand) {
    registrations_.clear();
    registrations_.push_back(RegisterTestPlugin(kAlphaClass, {L"Alpha", S_OK, E_FAIL}, journal_));
    registrations_.push_back(RegisterTestPlugin(kBetaClass, {L"beta"}, journal_));
    EXPECT_FALSE(steps_.DeleteFolder(folder_, tree_.Folder(L"Music"), *notifier_));
}
