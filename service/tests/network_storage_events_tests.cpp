#include <windows.h>
#include <wtsapi32.h>

#include <gtest/gtest.h>

#include <memory>
#include <string>
#include <vector>

#include "folder_keys.h"
#include "network_storage_events.h"
#include "registry.h"
#include "testing/registry_sandbox.h"

using namespace tandem;

namespace {

using Log = std::vector<std::wstring>;

class FakeWorker : public StorageWorker {
public:
    FakeWorker(Log& log, StorageInfo& storage) : log_(log), storage_(storage) {}
    void Start() override {
        log_.push_back(L"start " + storage_.UniqueID() + (storage_.RefreshOnConnectRequested() ? L" refresh" : L""));
    }
    void Stop() override { log_.push_back(L"stop " + storage_.UniqueID()); }
    bool IsRunning() const override { return false; }

private:
    Log& log_;
    StorageInfo& storage_;
};

void AddStorage(const std::wstring& id, const std::wstring& root, TnStorageTypes type) {
    RegKey key = CreateKey(HKEY_LOCAL_MACHINE, std::wstring(kStorageListKey) + L"\\" + id);
    WriteString(key.get(), L"DriveString", root);
    WriteDword(key.get(), L"Type", static_cast<DWORD>(type));
}

class NetworkStorageEventsTest : public ::testing::Test {
protected:
    NetworkStorageEventsTest() {
        AddStorage(L"NET", L"\\\\server\\share\\", tnStorageType_Remote);
        AddStorage(L"FIXED", L"C:\\", tnStorageType_Fixed);
        CreateKey(HKEY_LOCAL_MACHINE, kWatcherKey);
        CreateKey(HKEY_LOCAL_MACHINE, kFolderListKey);
        StorageServices services;
        services.workers = [this](StorageInfo& storage) { return std::make_unique<FakeWorker>(log, storage); };
        storages = std::make_unique<StorageManager>(services);
        folders = std::make_unique<RegisteredFolderManager>(*storages);
    }

    test::RegistrySandbox sandbox;
    Log log;
    std::unique_ptr<StorageManager> storages;
    std::unique_ptr<RegisteredFolderManager> folders;
};

}  // namespace

TEST_F(NetworkStorageEventsTest, LogoffStopsNetworkStoragesAndLogonStartsThemWithARefresh) {
    OnSessionChange(WTS_SESSION_LOGOFF, *storages);
    OnSessionChange(WTS_CONSOLE_DISCONNECT, *storages);
    OnSessionChange(WTS_SESSION_LOGON, *storages);
    storages->FindById(L"NET")->TakeRefreshOnConnect();
    OnSessionChange(WTS_CONSOLE_CONNECT, *storages);
    OnSessionChange(WTS_SESSION_LOCK, *storages);
    EXPECT_EQ(log, (Log{L"stop NET", L"stop NET", L"start NET refresh", L"start NET refresh"}));
}

TEST_F(NetworkStorageEventsTest, ResumeConnectsADisconnectedNetworkStorageWithARefresh) {
    OnPowerEvent(PBT_APMSUSPEND, *storages, *folders);
    EXPECT_TRUE(log.empty());
    OnPowerEvent(PBT_APMRESUMEAUTOMATIC, *storages, *folders);
    OnPowerEvent(PBT_APMPOWERSTATUSCHANGE, *storages, *folders);
    EXPECT_EQ(log, Log{L"start NET refresh"});
}

TEST_F(NetworkStorageEventsTest, ResumeLeavesAConnectedStorageRunningAndRefreshesItsFolders) {
    storages->FindById(L"NET")->SetEnabled(true);
    OnPowerEvent(PBT_APMRESUMEAUTOMATIC, *storages, *folders);
    // No new connect: the storage's folders are refreshed where they are.
    EXPECT_TRUE(log.empty());
    EXPECT_FALSE(storages->FindById(L"NET")->RefreshOnConnectRequested());
}
