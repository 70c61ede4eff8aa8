#include <windows.h>

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "plugin_set.h"
#include "plugin_test_host.h"

using namespace tandem;
using namespace tandem::test;

namespace {

// Two working plug-ins, beta registered first: Alpha must still come first.
class PluginSet : public PluginHostTest {
protected:
    void SetUp() override {
        AddPlugin(L"beta", kBetaClass);
        AddPlugin(L"Alpha", kAlphaClass);
        Install(kAlphaClass, {L"Alpha"});
        Install(kBetaClass, {L"beta"});
    }
    void Install(const CLSID& clsid, PluginBehaviour behaviour) {
        registrations_.push_back(RegisterTestPlugin(clsid, std::move(behaviour), journal_));
    }
    SharedPtr<TandemPlugin> OpenForOwner(const std::wstring& owner = L"Owner") {
        PluginManager manager;
        return TandemPlugin::ForOwner(owner, {}, manager);
    }
    Journal Take() { return std::exchange(*journal_, {}); }

    SharedPtr<Journal> journal_ = MakeShared<Journal>();
    std::vector<ClassObjectRegistration> registrations_;
};

const PluginResults kBothOk{{L"Alpha", S_OK}, {L"beta", S_OK}};

}  // namespace

TEST_F(PluginSet, OpenReceivesFolderOwnerAndLockedPropertiesInNameOrder) {
    auto folder = MakeShared<RegisteredFolder>(L"0123456789ABCDEF0123456789ABCDEF", FolderMonitorFactory());
    folder->SetOwner(L"Player");
    folder->SetDefaults({{7, L"seven"}, {-2, L"minus"}});
    PluginManager manager;
    auto set = TandemPlugin::ForFolder(folder, manager);
    EXPECT_EQ(set->Folder(), folder);
    EXPECT_EQ(Take(), (Journal{L"Alpha.Open(Player|-2=minus,7=seven|locked)",
                               L"beta.Open(Player|-2=minus,7=seven|locked)"}));
}

TEST_F(PluginSet, UnregisteringSetCarriesATemporaryFolder) {
    PluginManager manager;
    auto set = TandemPlugin::ForUnregistering(L"SID", L"Music\\", L"Player", {{1, L"one"}}, manager);
    ASSERT_TRUE(set->Folder());
    EXPECT_EQ(set->Folder()->StorageID(), L"SID");
    EXPECT_EQ(set->Folder()->RelativePath, L"Music\\");
    EXPECT_EQ(set->Folder()->Owner(), L"Player");
    EXPECT_EQ(Take(), (Journal{L"Alpha.Open(Player|1=one|locked)", L"beta.Open(Player|1=one|locked)"}));
}

TEST_F(PluginSet, InitializerOpensWithEmptyArrayAndCloses) {
    PluginManager manager;
    InitializePlugins(manager);
    EXPECT_EQ(Take(), (Journal{L"Alpha.Open(PluginInitializer||locked)", L"beta.Open(PluginInitializer||locked)",
                               L"Alpha.Close()", L"beta.Close()"}));
    EXPECT_EQ(LiveTestObjects(), 0);
}

TEST_F(PluginSet, ClosesOnLastReleaseOnly) {
    auto set = OpenForOwner();
    auto second = set;
    Take();
    set.reset();
    EXPECT_TRUE(Take().empty());
    EXPECT_EQ(LiveTestObjects(), 2);
    second.reset();
    EXPECT_EQ(Take(), (Journal{L"Alpha.Close()", L"beta.Close()"}));
    EXPECT_EQ(LiveTestObjects(), 0);
}

TEST_F(PluginSet, FanOutsPassTheirArgumentsAndReportEveryResult) {
    auto set = OpenForOwner();
    Take();
    EXPECT_EQ(set->ImportContent(nullptr), kBothOk);
    EXPECT_EQ(set->ImportFolder(nullptr), kBothOk);
    EXPECT_EQ(set->DeleteContent(L"a\\b.txt"), kBothOk);
    EXPECT_EQ(set->RenameContent(L"old.txt", nullptr), kBothOk);
    EXPECT_EQ(Take(), (Journal{L"Alpha.ImportContent(null)", L"beta.ImportContent(null)", L"Alpha.ImportFolder(null)",
                               L"beta.ImportFolder(null)", L"Alpha.DeleteContent(a\\b.txt)",
                               L"beta.DeleteContent(a\\b.txt)", L"Alpha.RenameContent(old.txt)",
                               L"beta.RenameContent(old.txt)"}));
}

TEST_F(PluginSet, FailingPluginsAreRecordedAndStillCalled) {
    registrations_.clear();
    Install(kAlphaClass, {L"Alpha", E_FAIL, E_ACCESSDENIED});
    Install(kBetaClass, {L"beta"});
    auto set = OpenForOwner();
    const PluginResults results = set->ImportContent(nullptr);
    EXPECT_EQ(results, (PluginResults{{L"Alpha", E_ACCESSDENIED}, {L"beta", S_OK}}));
    EXPECT_FALSE(AllSucceeded(results));
    EXPECT_TRUE(AllSucceeded(kBothOk));
    EXPECT_TRUE(AllSucceeded({{L"x", S_FALSE}}));
    set.reset();
    EXPECT_EQ(Take(), (Journal{L"Alpha.Open(Owner||locked)", L"beta.Open(Owner||locked)",
                               L"Alpha.ImportContent(null)", L"beta.ImportContent(null)", L"Alpha.Close()",
                               L"beta.Close()"}));
}

TEST_F(PluginSet, OneUncreatablePluginFailsTheWholeSet) {
    AddPlugin(L"Zulu", kMissingClass);
    EXPECT_EQ(CatchHr([&] { OpenForOwner(); }), REGDB_E_CLASSNOTREG);
    // The plug-ins created before it are released unopened.
    EXPECT_TRUE(Take().empty());
    EXPECT_EQ(LiveTestObjects(), 0);
}

TEST_F(PluginSet, MarkedOperationsStepProgressAfterEachPlugin) {
    auto set = OpenForOwner();
    Take();
    JournalProgress progress(journal_);
    EXPECT_EQ(set->RefreshFolder(nullptr, &progress), kBothOk);
    EXPECT_EQ(set->DeleteFolder(L"Music\\", &progress), kBothOk);
    EXPECT_EQ(set->RenameFolder(L"Old\\", nullptr, &progress), kBothOk);
    EXPECT_EQ(set->UpdateFolder(nullptr, {{3, L"three"}}, &progress), kBothOk);
    EXPECT_EQ(LiveTestObjects(), 2);  // every notifier released after its call
    EXPECT_EQ(Take(), (Journal{
                          L"notifier", L"Alpha.RefreshFolder(notifier)", L"step",
                          L"notifier", L"beta.RefreshFolder(notifier)", L"step",
                          L"notifier", L"Alpha.DeleteFolder(Music\\|notifier)", L"step",
                          L"notifier", L"beta.DeleteFolder(Music\\|notifier)", L"step",
                          L"notifier", L"Alpha.RenameFolder(Old\\|notifier)", L"step",
                          L"notifier", L"beta.RenameFolder(Old\\|notifier)", L"step",
                          L"notifier", L"Alpha.UpdateFolder(3=three|locked|notifier)", L"step",
                          L"notifier", L"beta.UpdateFolder(3=three|locked|notifier)", L"step",
                      }));
}

TEST_F(PluginSet, WithoutProgressPluginsGetNoNotifier) {
    auto set = OpenForOwner();
    Take();
    EXPECT_EQ(set->RefreshFolder(nullptr, nullptr), kBothOk);
    EXPECT_EQ(Take(), (Journal{L"Alpha.RefreshFolder(null)", L"beta.RefreshFolder(null)"}));
}

TEST_F(PluginHostTest, NoPluginsGiveEmptySuccessfulResults) {
    PluginManager manager;
    auto set = TandemPlugin::ForOwner(L"Owner", {}, manager);
    const PluginResults results = set->ImportContent(nullptr);
    EXPECT_TRUE(results.empty());
    EXPECT_TRUE(AllSucceeded(results));
}
