#include <windows.h>

#include <gtest/gtest.h>

#include <chrono>
#include <condition_variable>
#include <deque>
#include <mutex>
#include <string>
#include <vector>

#include "credentials.h"
#include "error.h"
#include "folder_keys.h"
#include "registry.h"
#include "registry_values.h"
#include "service_command_host.h"
#include "task_journal.h"
#include "testing/com_apartment.h"
#include "testing/registry_sandbox.h"
#include "testing/test_drive.h"

namespace tandem::test {
namespace {

// The connection's steps as the fakes see them, in order.
class StepLog {
public:
    void Add(std::wstring step) {
        std::lock_guard hold(mutex_);
        steps_.push_back(std::move(step));
        changed_.notify_all();
    }
    std::vector<std::wstring> Steps() {
        std::lock_guard hold(mutex_);
        return steps_;
    }
    bool WaitFor(const std::wstring& step) {
        std::unique_lock hold(mutex_);
        return changed_.wait_for(hold, std::chrono::seconds(20), [&] {
            return std::find(steps_.begin(), steps_.end(), step) != steps_.end();
        });
    }
    void Clear() {
        std::lock_guard hold(mutex_);
        steps_.clear();
    }

private:
    std::mutex mutex_;
    std::condition_variable changed_;
    std::vector<std::wstring> steps_;
};

std::wstring EventName(TnStorageEventTypes type) {
    switch (type) {
        case tnStorageEventType_Enabled: return L"enabled";
        case tnStorageEventType_Disabled: return L"disabled";
        default: return L"event " + std::to_wstring(type);
    }
}

class LoggingEvents : public StorageEventSink {
public:
    explicit LoggingEvents(StepLog& log) : log_(log) {}
    void OnStorageEvent(TnStorageEventTypes type, const SharedPtr<StorageInfo>&) override { log_.Add(EventName(type)); }

private:
    StepLog& log_;
};

class LoggingMonitor : public FolderMonitor {
public:
    LoggingMonitor(StepLog& log, bool failStart) : log_(log), failStart_(failStart) {}
    void Start() override {
        if (failStart_) ThrowHr(E_FAIL);
        running_ = true;
        log_.Add(L"monitor start");
    }
    void Stop() override {
        running_ = false;
        log_.Add(L"monitor stop");
    }
    bool IsRunning() const override { return running_; }

private:
    StepLog& log_;
    bool failStart_;
    bool running_ = false;
};

class LoggingDevices : public DeviceNotificationRegistry {
public:
    explicit LoggingDevices(StepLog& log) : log_(log) {}
    void Register(const std::wstring&, HANDLE root) override {
        log_.Add(root ? L"device register" : L"device register without root");
    }
    void Withdraw(const std::wstring&) noexcept override { log_.Add(L"device withdraw"); }

private:
    StepLog& log_;
};

class LoggingNotificators : public ChangeNotificatorControl {
public:
    explicit LoggingNotificators(StepLog& log) : log_(log) {}
    void Start(StorageInfo& storage) override {
        log_.Add(storage.RootHandle() ? L"notificator start" : L"notificator start without root");
    }
    void Stop(StorageInfo&) override { log_.Add(L"notificator stop"); }

private:
    StepLog& log_;
};

class CountingTokens : public ConsoleTokenSource {
public:
    UniqueHandle UserToken() override {
        ++requests;
        return UniqueHandle();
    }
    int requests = 0;
};

// Answers with scripted errors (ERROR_SUCCESS gives a handle); counts waits.
class ScriptedOpener : public RootOpener {
public:
    UniqueHandle Open(const std::wstring&, DWORD& error) override {
        ++opens;
        error = script.empty() ? repeat : script.front();
        if (!script.empty()) script.pop_front();
        return UniqueHandle(error == ERROR_SUCCESS ? CreateEventW(nullptr, FALSE, FALSE, nullptr) : nullptr);
    }
    void Wait(DWORD milliseconds, const volatile LONG& stopFlag) override {
        EXPECT_EQ(milliseconds, kRootRetryWait);
        if (++waits == stopAtWait) InterlockedExchange(const_cast<volatile LONG*>(&stopFlag), 1);
    }

    std::deque<DWORD> script;
    DWORD repeat = ERROR_NETNAME_DELETED;
    int stopAtWait = 0;
    int opens = 0;
    int waits = 0;
};

// Connects every share; records the calls.
class CountingNetwork : public NetworkConnections {
public:
    DWORD AddConnection(const wchar_t*, const wchar_t*, const wchar_t*, const wchar_t*) override {
        ++adds;
        return NO_ERROR;
    }
    DWORD CancelConnection(const wchar_t*) override {
        ++cancels;
        return NO_ERROR;
    }
    DWORD GetConnection(const std::wstring&, std::wstring&) override { return ERROR_NOT_CONNECTED; }
    int adds = 0;
    int cancels = 0;
};

// The plug-in work is not what these tests are about: a refresh is only logged.
class ConnectionHost : public ServiceCommandHost {
public:
    ConnectionHost(ServiceHostLinks links, StepLog& log) : ServiceCommandHost(std::move(links)), log_(log) {}
    bool RunCommand(CommandThread&, const CommandRefreshFolderFunc& func) override {
        log_.Add(L"refresh " + func.Path());
        return true;
    }

private:
    StepLog& log_;
};

// Drive letters are unique per test: ctest runs the tests of this program in parallel.
class ServiceHost : public ::testing::Test {
protected:
    ~ServiceHost() override {
        if (storages_) {
            for (auto& storage : storages_->AllStorages()) storage->Stop();
        }
        folders_.reset();
        storages_.reset();
    }

    ServiceHostLinks Links() {
        ServiceHostLinks links;
        links.storages = [this]() -> StorageManager& { return *storages_; };
        links.folders = [this]() -> RegisteredFolderManager& { return *folders_; };
        links.tokens = &tokens_;
        links.devices = &devices_;
        links.notificators = &notificators_;
        return links;
    }

    // Lists a storage on root, loads the managers and registers a folder there.
    SharedPtr<StorageInfo> Load(const std::wstring& root, TnStorageTypes type = tnStorageType_Fixed) {
        RegKey entry = CreateKey(storageList_.get(), L"SID");
        WriteString(entry.get(), L"DriveString", root);
        WriteDword(entry.get(), L"Type", type);
        StorageServices services;
        services.network = &network_;
        services.workers = MakeCommandThreadFactory(host_);
        storages_ = std::make_unique<StorageManager>(services, &events_);
        folders_ = std::make_unique<RegisteredFolderManager>(*storages_, nullptr, [this](RegisteredFolder&) {
            return std::make_unique<LoggingMonitor>(log_, failMonitorStart_);
        });
        auto storage = storages_->FindById(L"SID");
        folder_ = folders_->CreateFolder(*storage, L"Player", L"Music");
        folders_->RegisterFolder(folder_, *storage);
        return storage;
    }

    static constexpr wchar_t kCryptographyKey[] = L"SOFTWARE\\Microsoft\\Cryptography";
    // Protecting a share's password needs the providers inside the sandbox.
    RegKey cryptography_ = OpenKey(HKEY_LOCAL_MACHINE, kCryptographyKey);
    RegistrySandbox sandbox_;
    RegKey watcherKey_ = CreateKey(HKEY_LOCAL_MACHINE, kWatcherKey);
    RegKey folderList_ = CreateKey(HKEY_LOCAL_MACHINE, kFolderListKey);
    RegKey olderList_ = CreateKey(HKEY_LOCAL_MACHINE, kOlderFolderListKey);
    RegKey storageList_ = CreateKey(HKEY_LOCAL_MACHINE, kStorageListKey);
    StepLog log_;
    LoggingEvents events_{log_};
    LoggingDevices devices_{log_};
    LoggingNotificators notificators_{log_};
    CountingTokens tokens_;
    CountingNetwork network_;
    bool failMonitorStart_ = false;
    ConnectionHost host_{Links(), log_};
    volatile LONG stop_ = 0;
    std::unique_ptr<StorageManager> storages_;
    std::unique_ptr<RegisteredFolderManager> folders_;
    SharedPtr<RegisteredFolder> folder_;
};

TEST_F(ServiceHost, ConnectOpensTheRootStartsTheFoldersAndAnnouncesOnceDisconnectUndoesItInOrder) {
    TestDrive drive(L'U', DRIVE_FIXED);
    auto storage = Load(drive.Root());

    host_.Connect(*storage, stop_);
    EXPECT_TRUE(storage->IsEnabled());
    HANDLE root = storage->RootHandle();
    ASSERT_NE(root, nullptr);
    BY_HANDLE_FILE_INFORMATION info{};
    ASSERT_TRUE(GetFileInformationByHandle(root, &info));
    EXPECT_TRUE(info.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY);
    EXPECT_TRUE(folder_->IsMonitorRunning());
    EXPECT_FALSE(folder_->RefreshRequested());

    host_.Connect(*storage, stop_);
    EXPECT_EQ(storage->RootHandle(), root);
    EXPECT_EQ(log_.Steps(), (std::vector<std::wstring>{L"device withdraw", L"device register", L"notificator start",
                                                      L"monitor start", L"enabled"}));

    log_.Clear();
    host_.Disconnect(*storage, DeviceNotifications::Withdraw);
    host_.Disconnect(*storage, DeviceNotifications::Withdraw);
    EXPECT_FALSE(storage->IsEnabled());
    EXPECT_EQ(storage->RootHandle(), nullptr);
    EXPECT_FALSE(folder_->IsMonitorRunning());
    EXPECT_EQ(log_.Steps(), (std::vector<std::wstring>{L"monitor stop", L"notificator stop", L"device withdraw",
                                                      L"disabled"}));
}

TEST_F(ServiceHost, ASafeRemovalDisconnectKeepsTheNotificationsUntilTheNextConnect) {
    TestDrive drive(L'F', DRIVE_FIXED);
    auto storage = Load(drive.Root());
    host_.Connect(*storage, stop_);
    log_.Clear();
    host_.Disconnect(*storage, DeviceNotifications::Keep);
    EXPECT_FALSE(storage->IsEnabled());
    EXPECT_EQ(storage->RootHandle(), nullptr);
    EXPECT_EQ(log_.Steps(), (std::vector<std::wstring>{L"monitor stop", L"notificator stop", L"disabled"}));

    log_.Clear();
    host_.Connect(*storage, stop_);
    EXPECT_EQ(log_.Steps(), (std::vector<std::wstring>{L"device withdraw", L"device register", L"notificator start",
                                                      L"monitor start", L"enabled"}));
}

TEST_F(ServiceHost, DisconnectOfADisabledStorageDoesNothing) {
    TestDrive drive(L'V', DRIVE_FIXED);
    auto storage = Load(drive.Root());
    folders_->StartMonitoringStorage(L"SID", false);
    log_.Clear();
    host_.Disconnect(*storage, DeviceNotifications::Withdraw);
    EXPECT_TRUE(folder_->IsMonitorRunning());
    EXPECT_TRUE(log_.Steps().empty());
}

TEST_F(ServiceHost, OnlyLocalMediaRegisterForDeviceNotifications) {
    TestDrive drive(L'W', DRIVE_FIXED);
    auto storage = Load(drive.Root(), tnStorageType_Unknown);
    host_.Connect(*storage, stop_);
    EXPECT_TRUE(storage->IsEnabled());
    EXPECT_EQ(log_.Steps(), (std::vector<std::wstring>{L"notificator start", L"monitor start", L"enabled"}));
}

TEST_F(ServiceHost, ARootThatCannotBeOpenedLeavesTheStorageDisabledAndSilent) {
    TestDrive drive(L'X', DRIVE_FIXED);
    auto storage = Load(drive.Root() + L"missing\\");
    HRESULT hr = CatchHr([&] { host_.Connect(*storage, stop_); });
    EXPECT_TRUE(hr == HRESULT_FROM_WIN32(ERROR_FILE_NOT_FOUND) || hr == HRESULT_FROM_WIN32(ERROR_PATH_NOT_FOUND))
        << std::hex << hr;
    EXPECT_FALSE(storage->IsEnabled());
    EXPECT_EQ(storage->RootHandle(), nullptr);
    EXPECT_FALSE(folder_->IsMonitorRunning());
    EXPECT_TRUE(log_.Steps().empty());
}

TEST_F(ServiceHost, AConnectFailingHalfWayReleasesWhatItTook) {
    TestDrive drive(L'Y', DRIVE_FIXED);
    failMonitorStart_ = true;
    auto storage = Load(drive.Root());
    EXPECT_EQ(CatchHr([&] { host_.Connect(*storage, stop_); }), E_FAIL);
    EXPECT_FALSE(storage->IsEnabled());
    EXPECT_EQ(storage->RootHandle(), nullptr);
    EXPECT_EQ(log_.Steps(), (std::vector<std::wstring>{L"device withdraw", L"device register", L"notificator start",
                                                      L"notificator stop", L"device withdraw"}));
}

TEST_F(ServiceHost, ASharesConnectionLastsAsLongAsTheStorageIsEnabled) {
    const std::wstring root = L"\\\\srv\\share\\";
    CheckWin32(RegCopyTreeW(cryptography_.get(), nullptr, CreateKey(HKEY_LOCAL_MACHINE, kCryptographyKey).get()));
    {
        RegKey entry = CreateKey(storageList_.get(), L"SID");
        WriteString(entry.get(), L"UserID", L"user");
        WriteBinary(entry.get(), L"Token", Credentials::Create(root, L"user", L"secret", network_)->Token());
    }
    auto storage = Load(root, tnStorageType_Remote);
    ScriptedOpener opener;
    opener.script = {ERROR_BAD_NETPATH};
    opener.repeat = ERROR_SUCCESS;
    ServiceHostLinks links = Links();
    links.roots = &opener;
    ConnectionHost host(links, log_);

    EXPECT_EQ(CatchHr([&] { host.Connect(*storage, stop_); }), HRESULT_FROM_WIN32(ERROR_BAD_NETPATH));
    EXPECT_EQ(network_.adds, 1);
    EXPECT_EQ(network_.cancels, 1);
    EXPECT_FALSE(storage->IsShareConnected());

    host.Connect(*storage, stop_);
    EXPECT_TRUE(storage->IsShareConnected());
    EXPECT_EQ(log_.Steps(), (std::vector<std::wstring>{L"notificator start", L"monitor start", L"enabled"}));
    host.Disconnect(*storage, DeviceNotifications::Withdraw);
    EXPECT_FALSE(storage->IsShareConnected());
    EXPECT_EQ(network_.adds, 2);
    EXPECT_EQ(network_.cancels, 2);
}

TEST_F(ServiceHost, WorkersImpersonateTheConsoleUserOnlyForShares) {
    StorageInfo share(L"\\\\srv\\share\\", L"SID-S", tnStorageType_Remote, L"", nullptr, {});
    StorageInfo disk(L"D:\\", L"SID-D", tnStorageType_Fixed, L"", nullptr, {});
    EXPECT_NE(host_.BeginSession(share, CommandWorker::Main), nullptr);
    EXPECT_NE(host_.BeginSession(share, CommandWorker::UnRegister), nullptr);
    EXPECT_EQ(tokens_.requests, 2);
    EXPECT_EQ(host_.BeginSession(disk, CommandWorker::Main), nullptr);
    EXPECT_EQ(tokens_.requests, 2);
}

TEST_F(ServiceHost, FoldersAreFoundByIdAndStartedOnRequest) {
    auto storage = Load(L"D:\\");
    EXPECT_EQ(host_.FindFolder(folder_->FolderID()), folder_);
    EXPECT_EQ(host_.FindFolder(L"0123456789ABCDEF0123456789ABCDEF"), nullptr);
    host_.StartMonitoring(*storage, 1);
    EXPECT_TRUE(folder_->IsMonitorRunning());
    EXPECT_TRUE(folder_->RefreshRequested());
}

TEST(RootRetries, ADeletedNetworkNameIsRetriedEverySecondUntilItReturns) {
    ScriptedOpener opener;
    opener.script = {ERROR_NETNAME_DELETED, ERROR_NETNAME_DELETED, ERROR_NETNAME_DELETED, ERROR_SUCCESS};
    volatile LONG stop = 0;
    EXPECT_TRUE(OpenStorageRoot(L"\\\\srv\\share\\", stop, opener));
    EXPECT_EQ(opener.opens, 4);
    EXPECT_EQ(opener.waits, 3);
}

TEST(RootRetries, GiveUpAfterSixtyRetriesAtAStopOrAtOnceForOtherErrors) {
    volatile LONG stop = 0;
    const HRESULT deleted = HRESULT_FROM_WIN32(ERROR_NETNAME_DELETED);
    ScriptedOpener persistent;
    EXPECT_EQ(CatchHr([&] { OpenStorageRoot(L"R", stop, persistent); }), deleted);
    EXPECT_EQ(persistent.waits, kRootRetries);
    EXPECT_EQ(persistent.opens, kRootRetries + 1);

    ScriptedOpener stopped;
    stopped.stopAtWait = 2;
    EXPECT_EQ(CatchHr([&] { OpenStorageRoot(L"R", stop, stopped); }), deleted);
    EXPECT_EQ(stopped.waits, 2);
    EXPECT_EQ(stopped.opens, 2);

    ScriptedOpener denied;
    denied.repeat = ERROR_ACCESS_DENIED;
    stop = 0;
    EXPECT_EQ(CatchHr([&] { OpenStorageRoot(L"R", stop, denied); }), HRESULT_FROM_WIN32(ERROR_ACCESS_DENIED));
    EXPECT_EQ(denied.opens, 1);
    EXPECT_EQ(denied.waits, 0);

    ScriptedOpener early;
    stop = 1;
    EXPECT_EQ(CatchHr([&] { OpenStorageRoot(L"R", stop, early); }), deleted);
    EXPECT_EQ(early.opens, 1);
    EXPECT_EQ(early.waits, 0);
}

TEST(RootRetries, TheWaitEndsAsSoonAsTheStopIsSet) {
    volatile LONG stop = 1;
    ULONGLONG start = GetTickCount64();
    DefaultRootOpener().Wait(60000, stop);
    EXPECT_LT(GetTickCount64() - start, 5000u);
}

TEST_F(ServiceHost, StartingTheStorageConnectsItOnItsCommandThreadAndStoppingDisconnects) {
    ComApartment apartment;
    TestDrive drive(L'L', DRIVE_FIXED);
    auto storage = Load(drive.Root());
    const std::wstring refreshed = drive.Root() + L"Music\\";
    SaveTaskJournal(L"SID", CommandWorker::Main, {MakeTask(CommandRefreshFolderFunc(folder_, refreshed))});
    storage->Start(true);
    ASSERT_TRUE(log_.WaitFor(L"refresh " + refreshed));
    ASSERT_TRUE(log_.WaitFor(L"enabled"));
    EXPECT_TRUE(storage->IsEnabled());
    EXPECT_NE(storage->RootHandle(), nullptr);
    EXPECT_TRUE(folder_->IsMonitorRunning());
    EXPECT_TRUE(folder_->TakeRefreshRequest());

    storage->Stop();
    EXPECT_FALSE(storage->IsEnabled());
    EXPECT_EQ(storage->RootHandle(), nullptr);
    EXPECT_FALSE(folder_->IsMonitorRunning());
    EXPECT_EQ(log_.Steps().back(), L"disabled");

    // The forced refresh was for one connect only.
    log_.Clear();
    storage->Start(false);
    ASSERT_TRUE(log_.WaitFor(L"enabled"));
    EXPECT_FALSE(folder_->RefreshRequested());
}

}  // namespace
}  // namespace tandem::test
