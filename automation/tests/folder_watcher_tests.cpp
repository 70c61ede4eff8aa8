#include <windows.h>

#include <gtest/gtest.h>

#include <chrono>
#include <condition_variable>
#include <map>
#include <mutex>
#include <string>
#include <utility>
#include <vector>

#include "automation_fixture.h"
#include "bstr.h"
#include "command_thread.h"
#include "service_command_host.h"
#include "com/type_library_registration.h"
#include "error.h"
#include "event_sink.h"
#include "folder_watcher.h"
#include "module_path.h"
#include "plugin_manager.h"
#include "safe_array.h"
#include "self_impersonation.h"
#include "testing/test_drive.h"

using namespace tandem;

namespace {

SafeArray LongArray(const std::vector<LONG>& values) {
    SafeArray array(SafeArrayCreateVector(VT_I4, 0, static_cast<ULONG>(values.size())));
    for (LONG i = 0; i < static_cast<LONG>(values.size()); ++i) {
        LONG value = values[i];
        CheckHr(SafeArrayPutElement(array.get(), &i, &value));
    }
    return array;
}

SafeArray StringArray(const std::vector<const wchar_t*>& values) {
    SafeArray array(SafeArrayCreateVector(VT_BSTR, 0, static_cast<ULONG>(values.size())));
    for (LONG i = 0; i < static_cast<LONG>(values.size()); ++i) {
        Bstr value(values[i]);
        CheckHr(SafeArrayPutElement(array.get(), &i, value.get()));
    }
    return array;
}

using PropertyPairs = std::vector<std::pair<LONG, std::wstring>>;

PropertyPairs Pairs(SAFEARRAY* ids, SAFEARRAY* values) {
    SafeArray ownedIds(ids), ownedValues(values);
    LONG upper = -1;
    CheckHr(SafeArrayGetUBound(ids, 1, &upper));
    const SafeArrayAccess idData(ids), valueData(values);
    PropertyPairs pairs;
    for (LONG i = 0; i <= upper; ++i)
        pairs.emplace_back(idData.data<LONG>()[i], std::wstring(BstrView(valueData.data<BSTR>()[i])));
    return pairs;
}

// (folder, param) of each OnStatusChange.
using Announcements = std::vector<std::pair<std::wstring, LONG>>;

class FolderWatcherTest : public ::testing::Test {
protected:
    explicit FolderWatcherTest(StorageWorkerFactory workers = {}) {
        // RegisterFolder opens the plug-in set, which needs the plug-in library's record type.
        RegisterTypeLibrary(ModuleDirectory(nullptr) + L"TandemPlugin.dll", RegistrationScope::Machine);
        CreateKey(registry_.watcher.get(), kPluginSubKey);
        for (const wchar_t* name : {L"Media", L"Media\\Photos", L"Other"})
            CreateDirectoryW((drive_.Root() + name).c_str(), nullptr);
        context_ = std::make_unique<test::TestContext>(std::move(workers));
        watcher_ = ComPtr<IFolderWatcher3>(MakeComObject<CFolderWatcher>(*context_).get());
        ComPtr<IConnectionPointContainer> container;
        CheckHr(watcher_.as(container));
        CheckHr(container->FindConnectionPoint(DIID__IFolderWatcherEvents, point_.put()));
        CheckHr(point_->Advise(test::NewSink(DIID__IFolderWatcherEvents, &sink_).get(), &cookie_));
    }
    ~FolderWatcherTest() override { point_->Unadvise(cookie_); }

    std::wstring Path(const wchar_t* relative) const { return drive_.Root() + relative; }

    std::pair<HRESULT, LONG> Register(const std::wstring& path, LONG behavior = zephfwBehaviorMonitor,
                                      const wchar_t* owner = L"App") {
        LONG result = 42;
        HRESULT hr = watcher_->RegisterFolder(Bstr(owner).get(), Bstr(path).get(), behavior, &result);
        return {hr, result};
    }
    LONG Count() {
        LONG count = -1, result = -1;
        CheckHr(watcher_->GetStatusCount(&count, &result));
        return count;
    }
    Announcements Heard() const {
        Announcements heard;
        for (const auto& call : sink_->Calls()) {
            EXPECT_EQ(call.member, 2);
            EXPECT_EQ(V_I4(&call.arguments[1].get()), zephfwReasonNotice);
            heard.emplace_back(BstrView(V_BSTR(&call.arguments[0].get())), V_I4(&call.arguments[2].get()));
        }
        return heard;
    }
    SharedPtr<RegisteredFolder> Registered(const wchar_t* relative) {
        auto storage = context_->Storages().FindByRoot(drive_.Root());
        return context_->Folders().FindFolder(storage->UniqueID(), relative);
    }

    test::AutomationRegistry registry_;
    test::TestDrive drive_{L'H', DRIVE_FIXED};
    std::unique_ptr<test::TestContext> context_;
    ComPtr<IFolderWatcher3> watcher_;
    ComPtr<IConnectionPoint> point_;
    ComPtr<ComObject<test::RecordingSink>> sink_;
    DWORD cookie_ = 0;
};

TEST_F(FolderWatcherTest, RegisterFolderAddsAnnouncesAndReportsStatus) {
    EXPECT_EQ(Register(Path(L"Media")), std::make_pair(S_OK, 0L));
    const std::wstring media = Path(L"Media");
    EXPECT_EQ(Heard(), (Announcements{{media, ZEPHFW_I_STAT_LIST_CHANGED}, {media, ZEPHFW_I_STAT_FOLDER_ADDED}}));

    EXPECT_EQ(Register(Path(L"Media"), zephfwBehaviorMonitorOnce), std::make_pair(S_OK, 0L));
    EXPECT_EQ(Heard().size(), 2u) << "a registration already in the list is not announced again";
    EXPECT_EQ(Count(), 1);

    context_->commands.busy = true;
    Bstr folder, owner;
    LONG behavior = -1, busy = -1, result = -1;
    EXPECT_EQ(watcher_->GetStatus(0, folder.put(), owner.put(), &behavior, &busy, &result), S_OK);
    EXPECT_EQ(result, 0);
    EXPECT_EQ(folder.str(), media);
    EXPECT_EQ(owner.str(), L"App");
    EXPECT_EQ(behavior, zephfwBehaviorMonitorOnce);
    EXPECT_EQ(busy, 1);

    EXPECT_EQ(watcher_->GetStatus(1, folder.put(), owner.put(), &behavior, &busy, &result), S_FALSE);
    EXPECT_EQ(result, E_INVALIDARG);
    EXPECT_EQ(watcher_->GetStatus(-1, folder.put(), owner.put(), &behavior, &busy, &result), S_FALSE);
    EXPECT_EQ(result, E_INVALIDARG);
}

TEST_F(FolderWatcherTest, RegisterFolderSeparatesArgumentErrorsFromWorkFailures) {
    EXPECT_EQ(Register(Path(L"Media"), 3), std::make_pair(E_INVALIDARG, 42L));
    EXPECT_EQ(Register(Path(L"Missing")), std::make_pair(S_FALSE, LONG(HRESULT_FROM_WIN32(ERROR_FILE_NOT_FOUND))));
    EXPECT_EQ(Register(Path(L"Media"), zephfwBehaviorMonitor, L"App"), std::make_pair(S_OK, 0L));
    EXPECT_EQ(Register(Path(L"Media"), zephfwBehaviorMonitor, L"Rival"), std::make_pair(S_FALSE, LONG(E_INVALIDARG)))
        << "another owner holds the path";
    EXPECT_EQ(Count(), 1);
    EXPECT_EQ(watcher_->RegisterFolder(Bstr(L"App").get(), Bstr(Path(L"Other")).get(), 1, nullptr), E_POINTER);
}

// A doubled separator once registered "\Media\", which neither met the owner
// and covering checks of "Media\" nor ended the parent walk of its contents.
TEST_F(FolderWatcherTest, DoubledSeparatorsRegisterTheSameFolder) {
    const std::wstring doubled = drive_.Root() + L"\\Media";
    EXPECT_EQ(Register(doubled), std::make_pair(S_OK, 0L));
    EXPECT_EQ(Registered(L"Media")->RelativePath, L"Media\\");
    EXPECT_EQ(Register(Path(L"Media"), zephfwBehaviorMonitor, L"Rival"), std::make_pair(S_FALSE, LONG(E_INVALIDARG)));
    EXPECT_EQ(Register(doubled + L"\\\\Photos", zephfwBehaviorMonitor, L"Rival"),
              std::make_pair(S_FALSE, LONG(E_INVALIDARG)))
        << "inside a folder that watches its sub-tree";
    EXPECT_EQ(Register(Path(L"Media\\..\\Other")), std::make_pair(S_FALSE, LONG(E_INVALIDARG)));
    EXPECT_EQ(Count(), 1);
    LONG result = 42;
    EXPECT_EQ(watcher_->UnregisterFolder(Bstr(L"App").get(), Bstr(doubled + L"\\").get(), &result), S_OK);
    EXPECT_EQ(Count(), 0);
}

TEST_F(FolderWatcherTest, RegisteringAParentAbsorbsTheFoldersBelowIt) {
    ASSERT_EQ(Register(Path(L"Media\\Photos")).second, 0);
    Registered(L"Media\\Photos")->StartMonitor();
    ASSERT_EQ(Register(Path(L"Media")).second, 0);

    const std::wstring photos = Path(L"Media\\Photos"), media = Path(L"Media");
    EXPECT_EQ(Heard(), (Announcements{{photos, ZEPHFW_I_STAT_LIST_CHANGED},
                                      {photos, ZEPHFW_I_STAT_FOLDER_ADDED},
                                      {photos, ZEPHFW_I_STAT_LIST_CHANGED},
                                      {photos, ZEPHFW_I_STAT_FOLDER_REMOVED},
                                      {media, ZEPHFW_I_STAT_LIST_CHANGED},
                                      {media, ZEPHFW_I_STAT_FOLDER_ADDED}}));
    EXPECT_EQ(Count(), 1);
    EXPECT_THROW(Registered(L"Media\\Photos"), HResultError);
}

TEST_F(FolderWatcherTest, UnregisterFolderSelectsByPathOrElseByOwner) {
    ASSERT_EQ(Register(Path(L"Media"), 1, L"App").second, 0);
    ASSERT_EQ(Register(Path(L"Other"), 1, L"Second").second, 0);
    auto media = Registered(L"Media");
    media->StartMonitor();
    LONG result = 42;

    EXPECT_EQ(watcher_->UnregisterFolder(nullptr, nullptr, &result), S_OK);
    EXPECT_EQ(watcher_->UnregisterFolder(Bstr(L"App").get(), Bstr(Path(L"Nowhere")).get(), &result), S_OK);
    EXPECT_EQ(result, 0);
    EXPECT_EQ(Count(), 2);

    EXPECT_EQ(watcher_->UnregisterFolder(Bstr(L"Second").get(), Bstr(Path(L"Media\\")).get(), &result), S_OK);
    EXPECT_EQ(Count(), 1);
    EXPECT_FALSE(media->IsMonitorRunning());
    const auto heard = Heard();
    ASSERT_EQ(heard.size(), 6u);
    EXPECT_EQ(heard[5], std::make_pair(Path(L"Media"), LONG(ZEPHFW_I_STAT_FOLDER_REMOVED)));

    EXPECT_EQ(watcher_->UnregisterFolder(Bstr(L"Second").get(), nullptr, &result), S_OK);
    EXPECT_EQ(Count(), 0);
    EXPECT_EQ(watcher_->UnregisterFolder(nullptr, nullptr, nullptr), E_POINTER);
}

TEST_F(FolderWatcherTest, EmptyCountFollowsTheListCapacity) {
    LONG count = -1, result = -1;
    EXPECT_EQ(watcher_->GetEmptyCount(&count, &result), S_OK);
    EXPECT_EQ(count, 256);
    ASSERT_EQ(Register(Path(L"Media")).second, 0);
    auto storage = context_->Storages().FindByRoot(drive_.Root());
    const auto registerUpTo = [&](int total) {
        for (int i = static_cast<int>(context_->Folders().Count()); i < total; ++i) {
            auto folder = context_->Folders().CreateFolder(*storage, L"Bulk", L"Bulk\\" + std::to_wstring(i));
            context_->Folders().RegisterFolder(folder, *storage);
        }
    };
    registerUpTo(250);
    EXPECT_EQ(watcher_->GetEmptyCount(&count, &result), S_OK);
    EXPECT_EQ(count, 6);
    registerUpTo(256);
    EXPECT_EQ(watcher_->GetEmptyCount(&count, &result), S_OK);
    EXPECT_EQ(count, 0);
    EXPECT_EQ(watcher_->GetEmptyCount(&count, nullptr), E_POINTER);
    EXPECT_EQ(watcher_->GetStatusCount(nullptr, &result), E_POINTER);
}

TEST_F(FolderWatcherTest, RegisterFolder2PairsPropertiesAndGetStatus2AddsTheDefault607) {
    auto ids = LongArray({5, 5, 9});
    auto values = StringArray({L"a", L"b", L"c"});
    LONG result = 42;
    EXPECT_EQ(watcher_->RegisterFolder2(Bstr(L"App").get(), Bstr(Path(L"Media")).get(), 1, ids.get(), values.get(),
                                        &result),
              S_OK);
    EXPECT_EQ(result, 0);

    Bstr folder, owner;
    LONG behavior = -1, busy = -1;
    SAFEARRAY* outIds = nullptr;
    SAFEARRAY* outValues = nullptr;
    ASSERT_EQ(watcher_->GetStatus2(0, folder.put(), owner.put(), &behavior, &busy, &outIds, &outValues, &result), S_OK);
    EXPECT_EQ(Pairs(outIds, outValues), (PropertyPairs{{5, L"a"}, {9, L"c"}, {607, L"1"}}));
    EXPECT_EQ(Registered(L"Media")->Defaults().count(607), 0u) << "607 is added to the answer only";

    auto ownIds = LongArray({607});
    auto ownValues = StringArray({L"0"});
    EXPECT_EQ(watcher_->UpdateFolder(nullptr, Bstr(Path(L"Media")).get(), ownIds.get(), ownValues.get(), &result),
              S_OK);
    ASSERT_EQ(watcher_->GetStatus2(0, folder.put(), owner.put(), &behavior, &busy, &outIds, &outValues, &result), S_OK);
    EXPECT_EQ(Pairs(outIds, outValues), (PropertyPairs{{607, L"0"}}));
    EXPECT_EQ(watcher_->GetStatus2(0, folder.put(), owner.put(), &behavior, &busy, &outIds, nullptr, &result),
              E_POINTER);
}

TEST_F(FolderWatcherTest, PropertyArraysAreChecked) {
    auto three = LongArray({1, 2, 3});
    auto two = StringArray({L"a", L"b"});
    LONG result = 42;
    EXPECT_EQ(watcher_->RegisterFolder2(Bstr(L"App").get(), Bstr(Path(L"Media")).get(), 1, three.get(), two.get(),
                                        &result),
              S_FALSE);
    EXPECT_EQ(result, E_INVALIDARG);
    result = 42;
    EXPECT_EQ(watcher_->RegisterFolder2(Bstr(L"App").get(), Bstr(Path(L"Media")).get(), 1, nullptr, two.get(),
                                        &result),
              E_INVALIDARG);
    EXPECT_EQ(watcher_->RegisterFolder2(Bstr(L"App").get(), Bstr(Path(L"Media")).get(), 1, two.get(), two.get(),
                                        &result),
              E_INVALIDARG);
    EXPECT_EQ(watcher_->UpdateFolder(nullptr, Bstr(Path(L"Media")).get(), three.get(), three.get(), &result),
              E_INVALIDARG);
    EXPECT_EQ(result, 42);
    EXPECT_EQ(Count(), 0);
}

TEST_F(FolderWatcherTest, CheckFolderMapsUnusablePathsToInvalidArgument) {
    LONG result = 42;
    EXPECT_EQ(watcher_->CheckFolder(Bstr(Path(L"Media")).get(), &result), S_OK);
    EXPECT_EQ(result, 0);
    EXPECT_EQ(watcher_->CheckFolder(Bstr(Path(L"Missing")).get(), &result), S_FALSE);
    EXPECT_EQ(result, E_INVALIDARG);
    EXPECT_EQ(watcher_->CheckFolder(Bstr(Path(L"Missing\\Deeper")).get(), &result), S_FALSE);
    EXPECT_EQ(result, HRESULT_FROM_WIN32(ERROR_PATH_NOT_FOUND));
    EXPECT_EQ(watcher_->CheckFolder(nullptr, nullptr), E_POINTER);
}

TEST_F(FolderWatcherTest, RefreshAndAbortGoThroughTheCommandThread) {
    ASSERT_EQ(Register(Path(L"Media")).second, 0);
    const Bstr media(Path(L"Media"));
    LONG result = 42;
    EXPECT_EQ(watcher_->RefreshFolder(nullptr, media.get(), 5, &result), E_INVALIDARG);
    EXPECT_EQ(watcher_->RefreshFolder(nullptr, media.get(), zephfwPriorityLowest, &result), S_OK);
    EXPECT_EQ(watcher_->RefreshFolder(Bstr(L"App").get(), nullptr, zephfwPriorityHighest, &result), S_OK);
    EXPECT_EQ(watcher_->RefreshFolderAbort(nullptr, media.get(), &result), S_OK);
    const std::wstring command = Path(L"Media\\");
    EXPECT_EQ(context_->commands.refreshed, (std::vector<std::wstring>{command, command}));
    EXPECT_EQ(context_->commands.cancelled,
              (std::vector<std::pair<LONG, std::wstring>>{{tnFolderOperationType_Refresh, command}}));
}

TEST_F(FolderWatcherTest, StartAndStopMonitoringFollowTheStorageState) {
    ASSERT_EQ(Register(Path(L"Media")).second, 0);
    auto media = Registered(L"Media");
    auto storage = context_->Storages().FindByRoot(drive_.Root());
    const Bstr path(Path(L"Media"));
    LONG result = 42;
    EXPECT_EQ(watcher_->StartMonitoring(nullptr, path.get(), 3, &result), E_INVALIDARG);

    storage->Stop();
    const int startsBefore = context_->workers[storage->UniqueID()].starts;
    EXPECT_EQ(watcher_->StartMonitoring(nullptr, path.get(), zephfwBehaviorMonitorOnce, &result), S_OK);
    EXPECT_EQ(media->Behavior, zephfwBehaviorMonitorOnce);
    EXPECT_FALSE(media->IsMonitorRunning()) << "a disabled storage starts its command thread instead";
    EXPECT_GT(context_->workers[storage->UniqueID()].starts, startsBefore);

    storage->SetEnabled(true);
    EXPECT_EQ(watcher_->StartMonitoring(Bstr(L"App").get(), nullptr, zephfwBehaviorMonitor, &result), S_OK);
    EXPECT_TRUE(media->IsMonitorRunning());
    EXPECT_EQ(watcher_->StopMonitoring(nullptr, path.get(), &result), S_OK);
    EXPECT_FALSE(media->IsMonitorRunning());
    EXPECT_EQ(media->Behavior, zephfwBehaviorMonitor) << "stopping keeps the stored behavior";
}

TEST_F(FolderWatcherTest, RefreshFolderOnStartupChecksRangesAndWritesTheSettings) {
    LONG result = 42;
    EXPECT_EQ(watcher_->RefreshFolderOnStartup(3, 0, &result), E_INVALIDARG);
    EXPECT_EQ(watcher_->RefreshFolderOnStartup(0, 5, &result), E_INVALIDARG);
    EXPECT_EQ(watcher_->RefreshFolderOnStartup(-1, 0, &result), E_INVALIDARG);
    EXPECT_EQ(result, 42);
    EXPECT_EQ(watcher_->RefreshFolderOnStartup(zephfwStartupRefreshOnce, zephfwPriorityHighest, &result), S_OK);
    EXPECT_EQ(result, 0);
    EXPECT_EQ(context_->Folders().Settings().RefreshOnStartup, DWORD(zephfwStartupRefreshOnce));
    EXPECT_EQ(ReadDword(registry_.watcher.get(), L"Refresh On Startup", 9), DWORD(zephfwStartupRefreshOnce));
    EXPECT_EQ(ReadDword(registry_.watcher.get(), L"Refresh Priority", 9), DWORD(zephfwPriorityHighest));
}

TEST_F(FolderWatcherTest, ThirdGenerationWorksWithFolderDescriptors) {
    ComPtr<ITnRegisteredFolder> descriptor;
    ASSERT_EQ(watcher_->CreateRegisteredFolder(Bstr(L"App").get(), Bstr(Path(L"Media")).get(), nullptr, nullptr,
                                               descriptor.put()),
              S_OK);
    EXPECT_EQ(Count(), 0) << "creating a descriptor registers nothing";
    // This registration records the drive's storage after the descriptor made its own.
    ASSERT_EQ(Register(Path(L"Media\\Photos")).second, 0);

    CheckHr(descriptor->put_WatchSubTree(VARIANT_FALSE));
    CheckHr(descriptor->put_MonitoringBehavior(zephfwBehaviorMonitorOnce));
    EXPECT_EQ(watcher_->UpdateFolder2(descriptor.get()), E_INVALIDARG) << "not registered yet";
    EXPECT_EQ(watcher_->UnregisterFolder2(descriptor.get()), E_INVALIDARG);
    EXPECT_EQ(Heard().size(), 2u) << "no removal announced for a folder never added";
    EXPECT_EQ(watcher_->RegisterFolder3(descriptor.get()), S_OK);
    EXPECT_EQ(Count(), 2) << "a folder not watching its sub-tree absorbs nothing";
    auto media = Registered(L"Media");
    EXPECT_EQ(media->Behavior, zephfwBehaviorMonitorOnce);

    CheckHr(descriptor->put_WatchSubTree(VARIANT_TRUE));
    EXPECT_FALSE(media->WatchSubTree) << "edits wait for UpdateFolder2";
    EXPECT_EQ(watcher_->UpdateFolder2(descriptor.get()), S_OK);
    EXPECT_TRUE(media->WatchSubTree);
    EXPECT_EQ(Count(), 1) << "the update absorbed the folder below";

    ComPtr<ITnRegisteredFolderList> list;
    ASSERT_EQ(watcher_->get_RegisteredFolders(list.put()), S_OK);
    LONG listed = 0;
    CheckHr(list->get_count(&listed));
    EXPECT_EQ(listed, 1);

    EXPECT_EQ(watcher_->UnregisterFolder2(descriptor.get()), S_OK);
    EXPECT_EQ(Count(), 0);
    EXPECT_EQ(Heard().back(), std::make_pair(Path(L"Media"), LONG(ZEPHFW_I_STAT_FOLDER_REMOVED)));
}

TEST_F(FolderWatcherTest, ThirdGenerationRefusesNullsMissingFoldersAndForeignObjects) {
    ComPtr<ITnRegisteredFolder> descriptor;
    EXPECT_EQ(watcher_->CreateRegisteredFolder(Bstr(L"App").get(), Bstr(Path(L"Missing")).get(), nullptr, nullptr,
                                               descriptor.put()),
              HRESULT_FROM_WIN32(ERROR_FILE_NOT_FOUND));
    EXPECT_FALSE(descriptor);
    EXPECT_EQ(watcher_->CreateRegisteredFolder(nullptr, nullptr, nullptr, nullptr, nullptr), E_POINTER);
    EXPECT_EQ(watcher_->get_RegisteredFolders(nullptr), E_POINTER);
    EXPECT_EQ(watcher_->RegisterFolder3(nullptr), E_POINTER);
    EXPECT_EQ(watcher_->UnregisterFolder2(nullptr), E_POINTER);
    EXPECT_EQ(watcher_->UpdateFolder2(nullptr), E_POINTER);

    // Answers the descriptor's interface id with an unrelated implementation.
    auto impostor = test::NewSink(IID_ITnRegisteredFolder);
    ComPtr<ITnRegisteredFolder> foreign;
    CheckHr(impostor->QueryInterface(IID_ITnRegisteredFolder, foreign.put_void()));
    EXPECT_EQ(watcher_->RegisterFolder3(foreign.get()), E_NOINTERFACE);
    EXPECT_EQ(watcher_->UnregisterFolder2(foreign.get()), E_NOINTERFACE);
    EXPECT_EQ(Count(), 0);
}

TEST_F(FolderWatcherTest, LateBoundDispid3ReachesRegisterFolder) {
    VARIANT arguments[3];
    Variant behavior = Variant::FromLong(zephfwBehaviorMonitor);
    Variant folder = Variant::FromString(Path(L"Media"));
    Variant owner = Variant::FromString(L"Script");
    arguments[0] = *behavior.ptr();
    arguments[1] = *folder.ptr();
    arguments[2] = *owner.ptr();
    DISPPARAMS params{arguments, nullptr, 3, 0};
    Variant result;
    ASSERT_EQ(watcher_->Invoke(3, IID_NULL, LOCALE_USER_DEFAULT, DISPATCH_METHOD, &params, result.ptr(), nullptr,
                               nullptr),
              S_OK);
    EXPECT_EQ(V_VT(result.ptr()), VT_I4);
    EXPECT_EQ(V_I4(result.ptr()), 0);
    EXPECT_EQ(Registered(L"Media")->Owner(), L"Script");
}

TEST_F(FolderWatcherTest, AnswersItsClassInterfaces) {
    ComPtr<IProvideClassInfo2> info;
    ASSERT_EQ(watcher_.as(info), S_OK);
    GUID source{};
    EXPECT_EQ(info->GetGUID(GUIDKIND_DEFAULT_SOURCE_DISP_IID, &source), S_OK);
    EXPECT_EQ(source, DIID__IFolderWatcherEvents);
    ComPtr<IConnectionPointContainer> container;
    CheckHr(watcher_.as(container));
    ComPtr<IConnectionPoint> second;
    EXPECT_EQ(container->FindConnectionPoint(DIID__ITnRegisteredFolderEvents, second.put()), S_OK);
    ComPtr<ISupportErrorInfo> errors;
    CheckHr(watcher_.as(errors));
    EXPECT_EQ(errors->InterfaceSupportsErrorInfo(IID_IFolderWatcher), S_OK);
    EXPECT_EQ(errors->InterfaceSupportsErrorInfo(IID_IFolderWatcher3), S_OK);
}

// A folder command as the storage's real command thread ran it.
struct RanCommand {
    LONG kind;
    std::wstring path;
    std::map<LONG, std::wstring> properties;
    bool operator==(const RanCommand&) const = default;
};

// The command thread's host: no journal, no connection, and every folder
// command recorded as the worker runs it.
class RecordingCommandHost : public CommandThreadHost {
public:
    // The commands run so far, once there are count of them or time is up.
    std::vector<RanCommand> WaitRuns(size_t count) {
        std::unique_lock hold(mutex_);
        changed_.wait_for(hold, std::chrono::seconds(20), [&] { return runs_.size() >= count; });
        return runs_;
    }

    std::vector<TaskPtr> LoadJournal(StorageInfo&, CommandWorker) override { return {}; }
    void SaveJournal(StorageInfo&, CommandWorker, const std::vector<TaskPtr>&) override {}
    std::unique_ptr<WorkerSession> BeginSession(StorageInfo&, CommandWorker) override { return nullptr; }
    void Connect(StorageInfo&, const volatile LONG&) override {}
    void Disconnect(StorageInfo&, DeviceNotifications) override {}
    SharedPtr<RegisteredFolder> FindFolder(const std::wstring&) override { return nullptr; }
    bool RunCommand(CommandThread&, const CommandRegisterFolderFunc& f) override { return Ran({f.kKind, f.Path()}); }
    bool RunCommand(CommandThread&, const CommandUnRegisterFolderFunc& f) override { return Ran({f.kKind, f.Path()}); }
    bool RunCommand(CommandThread&, const CommandDeleteFolderFunc& f) override { return Ran({f.kKind, f.Path()}); }
    bool RunCommand(CommandThread&, const CommandRenameFolderFunc& f) override { return Ran({f.kKind, f.Path()}); }
    bool RunCommand(CommandThread&, const CommandRefreshFolderFunc& f) override { return Ran({f.kKind, f.Path()}); }
    bool RunCommand(CommandThread&, const CommandUpdateFolderFunc& f) override {
        return Ran({f.kKind, f.Path(), f.Properties()});
    }
    void StartMonitoring(StorageInfo&, LONG) override {}

private:
    bool Ran(RanCommand command) {
        std::lock_guard hold(mutex_);
        runs_.push_back(std::move(command));
        changed_.notify_all();
        return true;
    }

    std::mutex mutex_;
    std::condition_variable changed_;
    std::vector<RanCommand> runs_;
};

// Made before the watcher's storages, whose command threads use it to the end.
struct CommandHostHolder {
    RecordingCommandHost host;
};

class FolderWatcherCommands : public CommandHostHolder, public FolderWatcherTest {
protected:
    FolderWatcherCommands() : FolderWatcherTest(MakeCommandThreadFactory(host)) {}
};

TEST_F(FolderWatcherCommands, RegisterUpdateAndUnregisterReachTheStoragesCommandThread) {
    const std::wstring media = Path(L"Media");
    ASSERT_EQ(Register(media), std::make_pair(S_OK, 0L));
    LONG result = -1;
    SafeArray ids = LongArray({7}), values = StringArray({L"seven"});
    ASSERT_EQ(watcher_->UpdateFolder(nullptr, Bstr(media).get(), ids.get(), values.get(), &result), S_OK);
    ASSERT_EQ(result, 0);
    // An unregistration drops the folder's queued update: it waits until the update ran.
    ASSERT_EQ(host.WaitRuns(2).size(), 2u);
    ASSERT_EQ(watcher_->UnregisterFolder(nullptr, Bstr(media).get(), &result), S_OK);
    ASSERT_EQ(result, 0);

    const std::wstring command = media + L"\\";
    EXPECT_EQ(host.WaitRuns(3), (std::vector<RanCommand>{{kTaskRegister, command, {}},
                                                         {kTaskUpdate, command, {{7, L"seven"}}},
                                                         {kTaskUnRegister, command, {}}}));
}

TEST_F(FolderWatcherCommands, SecondGenerationRegistrationQueuesItsCommandWithItsProperties) {
    LONG result = -1;
    SafeArray ids = LongArray({3}), values = StringArray({L"three"});
    ASSERT_EQ(watcher_->RegisterFolder2(Bstr(L"App").get(), Bstr(Path(L"Other")).get(), zephfwBehaviorMonitor,
                                        ids.get(), values.get(), &result),
              S_OK);
    ASSERT_EQ(result, 0);
    const auto runs = host.WaitRuns(1);
    ASSERT_EQ(runs.size(), 1u);
    EXPECT_EQ(runs[0].kind, kTaskRegister);
    EXPECT_EQ(runs[0].path, Path(L"Other") + L"\\");
    EXPECT_EQ(Registered(L"Other")->Defaults(), (std::map<LONG, std::wstring>{{3, L"three"}}));
}

// A failure that carries no HRESULT is no failure of the work: it is the
// call's own result, and result is left alone.
TEST_F(FolderWatcherTest, AnUnexpectedExceptionIsTheCallsOwnResult) {
    ASSERT_EQ(Register(Path(L"Media")), std::make_pair(S_OK, 0L));
    context_->commands.refreshFails = true;
    LONG result = 42;
    EXPECT_EQ(watcher_->RefreshFolder(nullptr, Bstr(Path(L"Media")).get(), zephfwPriorityNormal, &result),
              E_UNEXPECTED);
    EXPECT_EQ(result, 42);
    EXPECT_EQ(watcher_->RefreshFolder(nullptr, Bstr(Path(L"Missing")).get(), zephfwPriorityNormal, &result), S_OK)
        << "nothing selected, nothing posted";
    EXPECT_EQ(result, 0);
}

// Registration and CheckFolder open the folder as the client of the call; a
// client that cannot be impersonated reaches nothing.
TEST_F(FolderWatcherTest, RegisterAndCheckFolderOpenTheFolderAsTheCaller) {
    int impersonated = 0;
    context_->callers = [&] {
        ++impersonated;
        return std::make_unique<test::SelfImpersonation>(SecurityImpersonation);
    };
    EXPECT_EQ(Register(Path(L"Media")), std::make_pair(S_OK, 0L));
    LONG result = -1;
    EXPECT_EQ(watcher_->CheckFolder(Bstr(Path(L"Other")).get(), &result), S_OK);
    EXPECT_EQ(result, 0);
    EXPECT_EQ(impersonated, 2);

    context_->callers = []() -> std::unique_ptr<CallerImpersonation> { ThrowHr(E_ACCESSDENIED); };
    EXPECT_EQ(Register(Path(L"Other")), std::make_pair(S_FALSE, LONG(E_ACCESSDENIED)));
    EXPECT_EQ(Count(), 1);
    EXPECT_EQ(watcher_->CheckFolder(Bstr(Path(L"Other")).get(), &result), S_FALSE);
    EXPECT_EQ(result, E_INVALIDARG) << "a folder the caller may not open is a bad argument";
}

}  // namespace
