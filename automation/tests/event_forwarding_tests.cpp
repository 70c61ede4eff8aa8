#include <windows.h>
#include <ocidl.h>

#include <gtest/gtest.h>

#include "automation_fixture.h"
#include "bstr.h"
#include "error.h"
#include "event_sink.h"
#include "progress_notifier.h"

using namespace tandem;
using test::Call;
using test::RecordingSink;

namespace {

// Sinks are added straight to the registries: which object advised them
// does not matter to the delivery.
class EventForwarding : public ::testing::Test {
protected:
    EventForwarding() {
        registry_.ListStorage(L"SID-D", L"D:\\");
        context_ = std::make_unique<test::TestContext>();
        disk_ = context_->Storages().FindById(L"SID-D");
    }
    ComPtr<ComObject<RecordingSink>> Listen(EventListenerManager& listeners) {
        ComPtr<ComObject<RecordingSink>> sink;
        ComPtr<IUnknown> events;
        CheckHr(test::NewSink(listeners.EventIid(), &sink).query(listeners.EventIid(), events.put_void()));
        listeners.Add(events.get());
        return sink;
    }
    SharedPtr<RegisteredFolder> Register(const std::wstring& path) {
        auto folder = context_->Folders().CreateFolder(*disk_, L"Player", path);
        context_->Folders().RegisterFolder(folder, *disk_);
        return folder;
    }
    static std::wstring PathOf(const Variant& folder) {
        ComPtr<ITnRegisteredFolder> object;
        CheckHr(ComPtr<IDispatch>(V_DISPATCH(&folder.get())).as(object));
        Bstr path;
        CheckHr(object->get_Path(path.put()));
        return path.str();
    }

    test::AutomationRegistry registry_;
    std::unique_ptr<test::TestContext> context_;
    SharedPtr<StorageInfo> disk_;
};

}  // namespace

TEST_F(EventForwarding, StorageEventsCarryANewStorageObject) {
    auto sink = Listen(context_->StorageManagerEvents());
    context_->Storages().FireStorageEvent(tnStorageEventType_Enabled, disk_);
    ASSERT_TRUE(sink->WaitForCalls(1));
    const Call call = sink->Calls()[0];
    EXPECT_EQ(call.member, 1);
    EXPECT_EQ(V_I4(&call.arguments[0].get()), tnStorageEventType_Enabled);
    ASSERT_EQ(call.arguments[1].type(), VT_DISPATCH);
    ComPtr<ITnStorageInfo> storage;
    CheckHr(ComPtr<IDispatch>(V_DISPATCH(&call.arguments[1].get())).as(storage));
    Bstr id;
    CheckHr(storage->get_UniqueID(id.put()));
    EXPECT_EQ(id.str(), L"SID-D");
}

TEST_F(EventForwarding, FolderListChangesNameTheFolderWithoutItsTrailingBackslash) {
    auto sink = Listen(context_->FolderWatcherEvents());
    Register(L"Music");
    Register(L"");
    ASSERT_EQ(sink->Calls().size(), 4u);
    const std::vector<std::pair<std::wstring, LONG>> expected{{L"D:\\Music", ZEPHFW_I_STAT_LIST_CHANGED},
                                                              {L"D:\\Music", ZEPHFW_I_STAT_FOLDER_ADDED},
                                                              {L"D:", ZEPHFW_I_STAT_LIST_CHANGED},
                                                              {L"D:", ZEPHFW_I_STAT_FOLDER_ADDED}};
    for (size_t i = 0; i < expected.size(); ++i) {
        const Call call = sink->Calls()[i];
        EXPECT_EQ(call.member, 2);
        EXPECT_STREQ(V_BSTR(&call.arguments[0].get()), expected[i].first.c_str());
        EXPECT_EQ(V_I4(&call.arguments[1].get()), zephfwReasonNotice);
        EXPECT_EQ(V_I4(&call.arguments[2].get()), expected[i].second);
    }
}

TEST_F(EventForwarding, BusyAndMonitoringChangesCarryOldAndNewValues) {
    auto folder = Register(L"Music");
    auto sink = Listen(context_->RegisteredFolderEvents());
    context_->folderStatusEvents.OnFolderBusy(folder, true);
    context_->folderStatusEvents.OnFolderMonitoring(folder, false);
    ASSERT_EQ(sink->Calls().size(), 2u);
    const Call busy = sink->Calls()[0], monitoring = sink->Calls()[1];
    EXPECT_EQ(busy.member, 1);
    EXPECT_EQ(V_I4(&busy.arguments[0].get()), tnFolderStatusType_Busy);
    EXPECT_EQ(PathOf(busy.arguments[1]), L"D:\\Music");
    EXPECT_EQ(busy.arguments[2].type(), VT_BOOL);
    EXPECT_EQ(V_BOOL(&busy.arguments[2].get()), VARIANT_FALSE);
    EXPECT_EQ(V_BOOL(&busy.arguments[3].get()), VARIANT_TRUE);
    EXPECT_EQ(V_I4(&monitoring.arguments[0].get()), tnFolderStatusType_Monitoring);
    EXPECT_EQ(V_BOOL(&monitoring.arguments[2].get()), VARIANT_TRUE);
    EXPECT_EQ(V_BOOL(&monitoring.arguments[3].get()), VARIANT_FALSE);
}

TEST_F(EventForwarding, AnOperationsProgressAndAbortShareOneFolderObject) {
    auto folder = Register(L"Music");
    auto sink = Listen(context_->RegisteredFolderEvents());
    auto notifier = MakeComObject<CTandemProgressNotifier>();
    notifier->StartOperation(context_->folderProgressEvents.ForFolder(folder), tnFolderOperationType_Update, 1);
    notifier->Abort();
    notifier->Abort();
    ASSERT_EQ(sink->Calls().size(), 2u);
    const Call progress = sink->Calls()[0], abort = sink->Calls()[1];
    EXPECT_EQ(progress.member, 2);
    EXPECT_EQ(V_I4(&progress.arguments[0].get()), tnFolderOperationType_Update);
    EXPECT_EQ(progress.arguments[2].type(), VT_R4);
    EXPECT_EQ(V_R4(&progress.arguments[2].get()), 0.0f);
    EXPECT_EQ(abort.member, 3);
    EXPECT_EQ(V_I4(&abort.arguments[0].get()), tnFolderOperationType_Update);
    EXPECT_EQ(V_DISPATCH(&abort.arguments[1].get()), V_DISPATCH(&progress.arguments[1].get()));
    EXPECT_EQ(PathOf(abort.arguments[1]), L"D:\\Music");
}

TEST_F(EventForwarding, AFolderWhoseStorageIsGoneRaisesNothingAndFailsNothing) {
    auto folder = Register(L"Music");
    context_->Folders().UnregisterFolder(folder, *disk_);
    context_->Storages().UnregisterStorage(disk_);
    auto sink = Listen(context_->RegisteredFolderEvents());
    context_->folderStatusEvents.OnFolderBusy(folder, true);
    EXPECT_EQ(context_->folderProgressEvents.ForFolder(folder), nullptr);
    EXPECT_TRUE(sink->Calls().empty());
}
