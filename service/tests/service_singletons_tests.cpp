#include <windows.h>

#include <gtest/gtest.h>

#include <functional>
#include <string>
#include <thread>

#include "MarloZephFw.h"
#include "com/type_library_registration.h"
#include "event_sink.h"
#include "device_event_receiver.h"
#include "folder_keys.h"
#include "folder_watcher.h"
#include "identity_file.h"
#include "module_path.h"
#include "plugin_manager.h"
#include "recording_plugin.h"
#include "registry.h"
#include "service_singletons.h"
#include "storage_device_actions.h"
#include "strings.h"
#include "testing/com_apartment.h"
#include "testing/registry_sandbox.h"
#include "testing/test_drive.h"

namespace tandem::test {
namespace {

constexpr CLSID kRecordingPluginClass = {0x7A4C31E2, 0x5B90, 0x4D17, {0x8E, 0x23, 0x51, 0x0C, 0x9B, 0x6D, 0x00, 0x01}};
constexpr DWORD kEventWait = 20000;

// Waits for a call that match accepts, from the call numbered from on.
bool WaitForCall(RecordingSink& sink, const std::function<bool(const Call&)>& match, size_t from = 0,
                 DWORD milliseconds = kEventWait) {
    for (size_t seen = from;;) {
        const std::vector<Call> calls = sink.Calls();
        for (; seen < calls.size(); ++seen)
            if (match(calls[seen])) return true;
        if (!sink.WaitForCalls(seen + 1, milliseconds)) return false;
    }
}

LONG LongArgument(const Call& call, size_t index) {
    if (index >= call.arguments.size()) return -1;
    const VARIANT& value = call.arguments[index].get();
    return V_VT(&value) == VT_I4 ? V_I4(&value) : -1;
}

bool BoolArgument(const Call& call, size_t index) {
    if (index >= call.arguments.size()) return false;
    const VARIANT& value = call.arguments[index].get();
    return V_VT(&value) == VT_BOOL && V_BOOL(&value) == VARIANT_TRUE;
}

void WriteTextFile(const std::wstring& path) {
    const UniqueHandle file(
        CreateFileW(path.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_NEW, FILE_ATTRIBUTE_NORMAL, nullptr));
    if (!file) ThrowLastError();
    DWORD written = 0;
    if (!WriteFile(file.get(), "text", 4, &written, nullptr)) ThrowLastError();
}

// OnStatusChangeEx of the folder events, for this status turning to value.
std::function<bool(const Call&)> StatusChange(TnFolderStatusTypes type, bool value) {
    return [type, value](const Call& call) {
        return call.member == 1 && LongArgument(call, 0) == type && BoolArgument(call, 3) == value;
    };
}

std::function<bool(const Call&)> StorageEvent(TnStorageEventTypes type) {
    return [type](const Call& call) { return call.member == 1 && LongArgument(call, 0) == type; };
}

// The service's managers as the service makes them, in a private registry,
// on a real drive, with one registered in-process plug-in and a sink on the
// storage-manager and registered-folder events.
class ServiceSingletonsTest : public ::testing::Test {
protected:
    ServiceSingletonsTest() {
        RegisterTypeLibrary(ModuleDirectory(nullptr) + L"TandemPlugin.dll", RegistrationScope::Machine);
        RegKey plugin = CreateKey(HKEY_LOCAL_MACHINE, std::wstring(kProductKey) + L"\\" + kPluginSubKey + L"\\Recorder");
        WriteString(plugin.get(), L"CLSID", GuidToString(kRecordingPluginClass));
        if (!CreateDirectoryW(watched_.c_str(), nullptr)) ThrowLastError();
        devices_.Create();
        automation_.StorageManagerEvents().Add(NewSink(DIID__ITnStorageManagerEvents, &storageSink_).get());
        automation_.RegisteredFolderEvents().Add(NewSink(DIID__ITnRegisteredFolderEvents, &folderSink_).get());
    }

    SharedPtr<StorageInfo> RegisterStorage() {
        StorageManager& storages = singletons_.Storages();
        SharedPtr<StorageInfo> storage = storages.FindOrCreateStorage(drive_.Root(), L"", L"");
        storages.RegisterStorage(storage);
        return storage;
    }

    // Starts the storage and waits until it is enabled and its folder watched.
    void Start(StorageInfo& storage) {
        const size_t storageCalls = storageSink_->Calls().size();
        const size_t folderCalls = folderSink_->Calls().size();
        storage.Start(false);
        ASSERT_TRUE(WaitForCall(*storageSink_, StorageEvent(tnStorageEventType_Enabled), storageCalls));
        ASSERT_TRUE(WaitForCall(*folderSink_, StatusChange(tnFolderStatusType_Monitoring, true), folderCalls));
    }

    void Stop(StorageInfo& storage) {
        const size_t storageCalls = storageSink_->Calls().size();
        const size_t folderCalls = folderSink_->Calls().size();
        storage.Stop();
        EXPECT_TRUE(WaitForCall(*storageSink_, StorageEvent(tnStorageEventType_Disabled), storageCalls));
        EXPECT_TRUE(WaitForCall(*folderSink_, StatusChange(tnFolderStatusType_Monitoring, false), folderCalls));
    }

    LRESULT SendHandleEvent(WPARAM event, HANDLE file) {
        DEV_BROADCAST_HANDLE broadcast{};
        broadcast.dbch_size = sizeof(broadcast);
        broadcast.dbch_devicetype = DBT_DEVTYP_HANDLE;
        broadcast.dbch_handle = file;
        return SendMessageW(devices_.Window(), WM_DEVICECHANGE, event, reinterpret_cast<LPARAM>(&broadcast));
    }

    // Monitoring is announced just before the reads are armed, and a change
    // in between is never reported: each attempt makes a new item (through
    // make) until expect sees its effect within a few settle delays.
    static bool SeenAfterAFewAttempts(const std::function<std::wstring(int)>& make,
                                      const std::function<bool(const std::wstring&)>& expect) {
        for (int attempt = 0; attempt < 5; ++attempt)
            if (expect(make(attempt))) return true;
        return false;
    }

    ComApartment apartment_;
    RegistrySandbox sandbox_;
    RegKey watcherKey_ = CreateKey(HKEY_LOCAL_MACHINE, kWatcherKey);
    RegKey folderList_ = CreateKey(HKEY_LOCAL_MACHINE, kFolderListKey);
    RegKey olderList_ = CreateKey(HKEY_LOCAL_MACHINE, kOlderFolderListKey);
    RegKey storageList_ = CreateKey(HKEY_LOCAL_MACHINE, kStorageListKey);
    ImportLog imports_;
    ClassObjectRegistration plugin_ = RegisterRecordingPlugin(kRecordingPluginClass, imports_);
    TestDrive drive_{L'S', DRIVE_FIXED};
    const std::wstring watched_ = drive_.Root() + L"Watched";
    StorageDeviceActions deviceActions_{[this]() -> StorageManager& { return singletons_.Storages(); }};
    DeviceEventReceiver devices_{deviceActions_};
    ServiceSingletons singletons_{&devices_};
    AutomationContext& automation_ = singletons_.Automation();
    ComPtr<ComObject<RecordingSink>> storageSink_;
    ComPtr<ComObject<RecordingSink>> folderSink_;
};

TEST_F(ServiceSingletonsTest, AStartedStorageAnnouncesItselfWatchesItsFolderAndHandsNewFilesToThePlugins) {
    SharedPtr<StorageInfo> storage = RegisterStorage();
    RegisteredFolderManager& folders = singletons_.Folders();
    const SharedPtr<RegisteredFolder> folder = folders.CreateFolder(*storage, L"Player", L"Watched\\");
    folders.RegisterFolder(folder, *storage);

    Start(*storage);
    EXPECT_TRUE(storage->IsEnabled());
    EXPECT_TRUE(SeenAfterAFewAttempts(
        [&](int attempt) {
            const std::wstring file = watched_ + L"\\note" + std::to_wstring(attempt) + L".txt";
            WriteTextFile(file);
            return file;
        },
        [&](const std::wstring& file) { return imports_.WaitFor(file, 3 * CChangeNotificator::kSettleDelay); }));

    // A client's refresh runs on the storage's command thread, busy meanwhile.
    const size_t folderCalls = folderSink_->Calls().size();
    automation_.PostRefreshFolder(*storage, folder, watched_ + L"\\");
    EXPECT_TRUE(WaitForCall(*folderSink_, StatusChange(tnFolderStatusType_Busy, true), folderCalls));
    EXPECT_TRUE(WaitForCall(*folderSink_, StatusChange(tnFolderStatusType_Busy, false), folderCalls));

    Stop(*storage);
}

// A storage removed while its identity file could not be deleted comes back
// under the same id, to the notificator made for the first one: its folder
// tasks must reach the new storage's command thread.
TEST_F(ServiceSingletonsTest, AStorageRemovedAndAddedAgainUnderItsIdStillGetsItsFolderTasks) {
    SharedPtr<StorageInfo> storage = RegisterStorage();
    const std::wstring id = storage->UniqueID();
    RegisteredFolderManager& folders = singletons_.Folders();
    const SharedPtr<RegisteredFolder> folder = folders.CreateFolder(*storage, L"Player", L"Watched\\");
    folders.RegisterFolder(folder, *storage);
    Start(*storage);
    Stop(*storage);
    singletons_.Storages().UnregisterStorage(storage);
    storage.reset();
    WriteIdentity(drive_.Root(), id);

    storage = RegisterStorage();
    ASSERT_EQ(storage->UniqueID(), id);
    Start(*storage);
    // A new directory becomes a refresh task of its folder, run busy.
    const size_t folderCalls = folderSink_->Calls().size();
    EXPECT_TRUE(SeenAfterAFewAttempts(
        [&](int attempt) {
            const std::wstring directory = watched_ + L"\\Sub" + std::to_wstring(attempt);
            if (!CreateDirectoryW(directory.c_str(), nullptr)) ThrowLastError();
            return directory;
        },
        [&](const std::wstring&) {
            return WaitForCall(*folderSink_, StatusChange(tnFolderStatusType_Busy, false), folderCalls,
                               3 * CChangeNotificator::kSettleDelay);
        }));
    Stop(*storage);
}

// The monitor thread raises its monitoring event itself; a handler that
// stops that folder's monitoring waits for the monitor thread. Neither may
// wait for the other.
TEST_F(ServiceSingletonsTest, ASinkMayStopTheMonitorThatAnnouncedItself) {
    SharedPtr<StorageInfo> storage = RegisterStorage();
    RegisteredFolderManager& folders = singletons_.Folders();
    const SharedPtr<RegisteredFolder> folder = folders.CreateFolder(*storage, L"Player", L"Watched\\");
    folders.RegisterFolder(folder, *storage);
    const UniqueHandle stopped(CreateEventW(nullptr, TRUE, FALSE, nullptr));
    bool handled = false;
    bool stoppedInTime = false;
    folderSink_->handler = [&](const Call& call) {
        if (handled || !StatusChange(tnFolderStatusType_Monitoring, true)(call)) return S_OK;
        handled = true;
        // As a client's StopMonitoring would, from the handler, with a deadline.
        std::thread stopper([&] {
            folder->StopMonitor();
            SetEvent(stopped.get());
        });
        stoppedInTime = WaitForSingleObject(stopped.get(), 10000) == WAIT_OBJECT_0;
        stopper.join();
        return S_OK;
    };
    Start(*storage);
    EXPECT_TRUE(WaitForCall(*folderSink_, StatusChange(tnFolderStatusType_Monitoring, false)));
    EXPECT_TRUE(handled);
    EXPECT_TRUE(stoppedInTime) << "the monitor thread waited for the handler that waited for it";
    EXPECT_FALSE(folder->IsMonitorRunning());
    folderSink_->handler = nullptr;
    storage->Stop();
}

// A client may hold an advised watcher past the stop; its connection point
// then withdraws its cookie from registries that must still be there.
TEST_F(ServiceSingletonsTest, AnAdvisedWatcherHeldPastTheStopIsReleasedCleanly) {
    ComPtr<IFolderWatcher3> watcher(MakeComObject<CFolderWatcher>(automation_).get());
    ComPtr<IConnectionPointContainer> container;
    CheckHr(watcher.as(container));
    ComPtr<IConnectionPoint> point;
    CheckHr(container->FindConnectionPoint(DIID__IFolderWatcherEvents, point.put()));
    DWORD cookie = 0;
    ASSERT_EQ(point->Advise(NewSink(DIID__IFolderWatcherEvents).get(), &cookie), S_OK);
    EventListenerManager& listeners = automation_.FolderWatcherEvents();
    EXPECT_EQ(listeners.Count(), 1u);

    singletons_.Release();
    EXPECT_EQ(listeners.Count(), 0u) << "the sinks are withdrawn while COM is up";
    const UniqueHandle released(CreateEventW(nullptr, TRUE, FALSE, nullptr));
    HRESULT unadvised = E_FAIL;
    std::thread client([&] {
        unadvised = point->Unadvise(cookie);
        point.reset();
        container.reset();
        watcher.reset();
        SetEvent(released.get());
    });
    const bool inTime = WaitForSingleObject(released.get(), 10000) == WAIT_OBJECT_0;
    client.join();
    EXPECT_TRUE(inTime);
    EXPECT_EQ(unadvised, S_OK);
    EXPECT_EQ(listeners.Count(), 0u);
}

// A safe removal stops the storage and lets go of its root; when the user
// cancels it, the notification kept on the closed root brings it back.
TEST_F(ServiceSingletonsTest, ACancelledSafeRemovalStartsTheStorageAgain) {
    SharedPtr<StorageInfo> storage = RegisterStorage();
    RegisteredFolderManager& folders = singletons_.Folders();
    folders.RegisterFolder(folders.CreateFolder(*storage, L"Player", L"Watched\\"), *storage);
    Start(*storage);
    const HANDLE root = storage->RootHandle();
    ASSERT_NE(root, nullptr);
    ASSERT_EQ(devices_.NotificationCount(), 1u);

    const size_t disabled = storageSink_->Calls().size();
    EXPECT_EQ(SendHandleEvent(DBT_DEVICEQUERYREMOVE, root), TRUE);
    EXPECT_TRUE(WaitForCall(*storageSink_, StorageEvent(tnStorageEventType_Disabled), disabled));
    EXPECT_FALSE(storage->IsEnabled());
    EXPECT_EQ(storage->RootHandle(), nullptr);
    EXPECT_EQ(devices_.NotificationCount(), 1u);

    const size_t enabled = storageSink_->Calls().size();
    EXPECT_EQ(SendHandleEvent(DBT_DEVICEQUERYREMOVEFAILED, root), TRUE);
    EXPECT_TRUE(WaitForCall(*storageSink_, StorageEvent(tnStorageEventType_Enabled), enabled));
    EXPECT_TRUE(storage->IsEnabled());
    EXPECT_NE(storage->RootHandle(), nullptr);
    EXPECT_EQ(devices_.NotificationCount(), 1u);
    Stop(*storage);
    EXPECT_EQ(devices_.NotificationCount(), 0u);
}

}  // namespace
}  // namespace tandem::test
