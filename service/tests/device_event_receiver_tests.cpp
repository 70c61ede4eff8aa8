#include <windows.h>
#include <dbt.h>

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "device_event_receiver.h"
#include "error.h"

using namespace tandem;

namespace {

class RecordingActions : public DeviceEventActions {
public:
    void DrivesArrived(DWORD mask) override { calls.push_back(L"arrived " + std::to_wstring(mask)); }
    void DrivesRemoved(DWORD mask) override { calls.push_back(L"removed " + std::to_wstring(mask)); }
    // As the storage does, this closes the root and keeps the notifications.
    void StopStorage(const std::wstring& id) override {
        if (id == unknownId) ThrowHr(E_INVALIDARG);
        calls.push_back(L"stop " + id);
    }
    void StartStorage(const std::wstring& id) override { calls.push_back(L"start " + id); }

    std::vector<std::wstring> calls;
    std::wstring unknownId = L"gone";
};

UniqueHandle OpenDirectory(const std::wstring& path) {
    UniqueHandle handle(CreateFileW(path.c_str(), FILE_LIST_DIRECTORY, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                                    nullptr, OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS, nullptr));
    if (!handle) ThrowLastError();
    return handle;
}

std::wstring TempDirectory() {
    wchar_t path[MAX_PATH];
    GetTempPathW(MAX_PATH, path);
    return path;
}

class DeviceEventReceiverTest : public ::testing::Test {
protected:
    void SetUp() override { receiver.Create(); }

    LRESULT SendVolume(WPARAM event, DWORD mask) {
        DEV_BROADCAST_VOLUME volume{};
        volume.dbcv_size = sizeof(volume);
        volume.dbcv_devicetype = DBT_DEVTYP_VOLUME;
        volume.dbcv_unitmask = mask;
        return SendMessageW(receiver.Window(), WM_DEVICECHANGE, event, reinterpret_cast<LPARAM>(&volume));
    }

    LRESULT SendHandle(WPARAM event, HANDLE file) {
        DEV_BROADCAST_HANDLE broadcast{};
        broadcast.dbch_size = sizeof(broadcast);
        broadcast.dbch_devicetype = DBT_DEVTYP_HANDLE;
        broadcast.dbch_handle = file;
        return SendMessageW(receiver.Window(), WM_DEVICECHANGE, event, reinterpret_cast<LPARAM>(&broadcast));
    }

    RecordingActions actions;
    DeviceEventReceiver receiver{actions};
    UniqueHandle root = OpenDirectory(TempDirectory());
    UniqueHandle otherRoot = OpenDirectory(TempDirectory());
};

}  // namespace

TEST_F(DeviceEventReceiverTest, WindowIsAHiddenTopLevelWindowOfItsOwnClass) {
    wchar_t className[64];
    ASSERT_GT(GetClassNameW(receiver.Window(), className, 64), 0);
    EXPECT_STREQ(className, kDeviceEventWindowClass);
    EXPECT_FALSE(IsWindowVisible(receiver.Window()));
    EXPECT_EQ(GetParent(receiver.Window()), nullptr);
    EXPECT_EQ(static_cast<DWORD>(GetWindowLongW(receiver.Window(), GWL_EXSTYLE)) & 0x00040100u, 0x00040100u);
    // A second receiver reuses the registered class.
    RecordingActions others;
    DeviceEventReceiver second(others);
    EXPECT_NO_THROW(second.Create());
}

TEST_F(DeviceEventReceiverTest, HandleRegistrationsKeepOneNotificationPerHandle) {
    receiver.Register(L"A", root.get());
    receiver.Register(L"B", root.get());
    receiver.Register(L"A", otherRoot.get());
    EXPECT_EQ(receiver.NotificationCount(), 2u);
    EXPECT_EQ(receiver.StorageIdOfHandle(root.get()), L"A");

    receiver.UnregisterHandle(root.get());
    EXPECT_EQ(receiver.NotificationCount(), 1u);
    receiver.Withdraw(L"B");
    EXPECT_EQ(receiver.NotificationCount(), 1u);
    receiver.Withdraw(L"A");
    EXPECT_EQ(receiver.NotificationCount(), 0u);
    try {
        receiver.StorageIdOfHandle(root.get());
        ADD_FAILURE() << "an absent handle has no storage";
    } catch (const HResultError& error) {
        EXPECT_EQ(error.hr(), E_INVALIDARG);
    }
}

TEST_F(DeviceEventReceiverTest, VolumeArrivalAndRemovalReachTheStorages) {
    EXPECT_EQ(SendVolume(DBT_DEVICEARRIVAL, 0x10), TRUE);
    EXPECT_EQ(SendVolume(DBT_DEVICEREMOVECOMPLETE, 0x14), TRUE);
    // Handle broadcasts for these events and other events change nothing.
    EXPECT_EQ(SendHandle(DBT_DEVICEARRIVAL, root.get()), TRUE);
    EXPECT_EQ(SendVolume(DBT_DEVICEQUERYREMOVE, 0x10), TRUE);
    EXPECT_EQ(SendVolume(DBT_CONFIGCHANGED, 0x10), TRUE);
    EXPECT_EQ(actions.calls, (std::vector<std::wstring>{L"arrived 16", L"removed 20"}));
}

TEST_F(DeviceEventReceiverTest, QueryRemoveStopsTheStorageKeepingItsNotificationUntilTheRemovalCompletes) {
    receiver.Register(L"A", root.get());
    EXPECT_EQ(SendHandle(DBT_DEVICEQUERYREMOVE, root.get()), TRUE);
    EXPECT_EQ(actions.calls, std::vector<std::wstring>{L"stop A"});
    EXPECT_EQ(receiver.NotificationCount(), 1u);
    EXPECT_EQ(SendHandle(DBT_DEVICEREMOVECOMPLETE, root.get()), TRUE);
    EXPECT_EQ(receiver.NotificationCount(), 0u);
    EXPECT_EQ(actions.calls, std::vector<std::wstring>{L"stop A"});
}

TEST_F(DeviceEventReceiverTest, QueryRemoveIsDeniedWhenTheStorageCannotBeFound) {
    EXPECT_EQ(SendHandle(DBT_DEVICEQUERYREMOVE, root.get()), BROADCAST_QUERY_DENY);
    receiver.Register(actions.unknownId, otherRoot.get());
    EXPECT_EQ(SendHandle(DBT_DEVICEQUERYREMOVE, otherRoot.get()), BROADCAST_QUERY_DENY);
    EXPECT_TRUE(actions.calls.empty());
}

TEST_F(DeviceEventReceiverTest, ACancelledRemovalWithdrawsTheKeptNotificationsAndStartsTheStorageAgain) {
    receiver.Register(L"A", root.get());
    receiver.Register(L"A", otherRoot.get());
    EXPECT_EQ(SendHandle(DBT_DEVICEQUERYREMOVE, root.get()), TRUE);
    EXPECT_EQ(SendHandle(DBT_DEVICEQUERYREMOVEFAILED, root.get()), TRUE);
    EXPECT_EQ(actions.calls, (std::vector<std::wstring>{L"stop A", L"start A"}));
    EXPECT_EQ(receiver.NotificationCount(), 0u);
    // An unknown handle is passed over.
    EXPECT_EQ(SendHandle(DBT_DEVICEQUERYREMOVEFAILED, root.get()), TRUE);
    EXPECT_EQ(actions.calls.size(), 2u);
}

TEST_F(DeviceEventReceiverTest, OtherMessagesGoToTheDefaultProcedure) {
    wchar_t title[8] = L"x";
    EXPECT_EQ(SendMessageW(receiver.Window(), WM_GETTEXT, 8, reinterpret_cast<LPARAM>(title)), 0);
    EXPECT_STREQ(title, L"");
    receiver.DestroyWindow();
    EXPECT_EQ(receiver.Window(), nullptr);
}
