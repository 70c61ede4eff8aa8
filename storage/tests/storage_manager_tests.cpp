#include <windows.h>

#include <gtest/gtest.h>

#include <regex>
#include <string>

#include "error.h"
#include "fakes.h"
#include "identity_file.h"
#include "registry.h"
#include "registry_values.h"
#include "storage_manager.h"
#include "testing/registry_sandbox.h"
#include "testing/test_drive.h"

using namespace tandem;
using test::TestDrive;

namespace {

// Drive letters are unique per test: ctest runs tests of this program in parallel.
class StorageManagerTest : public ::testing::Test {
protected:
    StorageManagerTest() {
        services_.network = &network_;
        services_.workers = [this](StorageInfo& storage) {
            return std::make_unique<test::FakeWorker>(workers_[storage.UniqueID()]);
        };
    }
    std::unique_ptr<StorageManager> NewManager() { return std::make_unique<StorageManager>(services_, &sink_); }
    bool EntryExists(const std::wstring& id) {
        return TryOpenKey(HKEY_LOCAL_MACHINE, std::wstring(kStorageListKey) + L"\\" + id).has_value();
    }
    std::wstring SavedRoot(const std::wstring& id) {
        return ReadString(OpenKey(HKEY_LOCAL_MACHINE, std::wstring(kStorageListKey) + L"\\" + id).get(),
                          L"DriveString");
    }
    static DWORD Bit(wchar_t letter) { return 1u << (letter - L'A'); }

    test::RegistrySandbox sandbox_;
    RegKey list_ = CreateKey(HKEY_LOCAL_MACHINE, kStorageListKey);
    test::FakeNetwork network_;
    std::map<std::wstring, test::FakeWorker::Counts> workers_;
    test::RecordingStorageSink sink_;
    StorageServices services_;
};

}  // namespace

TEST_F(StorageManagerTest, TestDrivesComeAndGoWithTheirType) {
    TestDrive drive(L'J', DRIVE_REMOVABLE);
    EXPECT_EQ(GetDriveTypeW(drive.Root().c_str()), static_cast<UINT>(DRIVE_REMOVABLE));
    drive.Remove();
    EXPECT_EQ(GetDriveTypeW(L"J:\\"), static_cast<UINT>(DRIVE_NO_ROOT_DIR));
}

TEST_F(StorageManagerTest, NewStorageGetsAGeneratedIdAndRegistersOnce) {
    TestDrive drive(L'K', DRIVE_FIXED);
    auto manager = NewManager();
    auto storage = manager->FindOrCreateStorage(L"k:", L"", L"");
    EXPECT_EQ(storage->RootPath(), L"k:\\");
    EXPECT_EQ(storage->StorageType(), tnStorageType_Fixed);
    EXPECT_TRUE(std::regex_match(storage->UniqueID(), std::wregex(L"[0-9A-F]{32}-[0-9A-F]{8}01")))
        << storage->UniqueID();
    DWORD serial = 0;
    ASSERT_TRUE(GetVolumeInformationW(L"K:\\", nullptr, 0, &serial, nullptr, nullptr, nullptr, 0));
    wchar_t expected[12];
    swprintf(expected, 12, L"%08lX01", static_cast<unsigned long>(serial));
    EXPECT_EQ(storage->UniqueID().substr(33), expected);
    EXPECT_EQ(CatchHr([&] { manager->FindByRoot(L"K:\\"); }), E_INVALIDARG);
    EXPECT_TRUE(sink_.events.empty());

    manager->RegisterStorage(storage);
    EXPECT_EQ(ReadIdentity(L"K:\\"), storage->UniqueID());
    EXPECT_EQ(manager->FindByRoot(L"K:\\"), storage);
    EXPECT_EQ(manager->FindById(storage->UniqueID()), storage);
    EXPECT_EQ(SavedRoot(storage->UniqueID()), L"k:\\");
    EXPECT_EQ(manager->FindOrCreateStorage(L"K:\\", L"", L""), storage);
    manager->RegisterStorage(manager->FindOrCreateStorage(L"K:", L"", L""));
    ASSERT_EQ(sink_.events.size(), 1u);
    EXPECT_EQ(sink_.events[0].first, tnStorageEventType_Added);
    EXPECT_EQ(CatchHr([&] { manager->FindOrCreateStorage(L"K:\\", L"u", L""); }), E_ACCESSDENIED);

    // A second manager (the next service run) finds it in the registry.
    EXPECT_EQ(NewManager()->FindByRoot(L"K:\\")->UniqueID(), storage->UniqueID());
}

TEST_F(StorageManagerTest, StorageIsRecognisedByItsIdentityFileUnderAnotherLetter) {
    TestDrive first(L'L', DRIVE_FIXED);
    auto manager = NewManager();
    auto storage = manager->FindOrCreateStorage(L"L:\\", L"", L"");
    manager->RegisterStorage(storage);
    first.Remove();

    TestDrive second(L'M', DRIVE_FIXED);
    WriteIdentity(second.Root(), storage->UniqueID());
    EXPECT_EQ(manager->FindOrCreateStorage(L"M:\\", L"", L""), storage);
    EXPECT_EQ(storage->RootPath(), L"L:\\") << "finding does not move it";

    manager->OnDrivesArrived(Bit(L'M') | Bit(L'L'), true);
    EXPECT_EQ(storage->RootPath(), L"M:\\");
    EXPECT_EQ(manager->FindByRoot(L"M:\\"), storage);
    EXPECT_EQ(CatchHr([&] { manager->FindByRoot(L"L:\\"); }), E_INVALIDARG);
    EXPECT_EQ(SavedRoot(storage->UniqueID()), L"M:\\");
    auto& counts = workers_[storage->UniqueID()];
    EXPECT_EQ(counts.stops, 1);
    EXPECT_EQ(counts.starts, 1);
    EXPECT_TRUE(storage->RefreshOnConnectRequested());
    EXPECT_TRUE(storage->TakeRefreshOnConnect());
    EXPECT_FALSE(storage->RefreshOnConnectRequested());

    manager->OnDrivesRemoved(Bit(L'M'));
    EXPECT_EQ(counts.stops, 2);
}

TEST_F(StorageManagerTest, NonFixedDrivesAreFoundOnlyByTheirRoot) {
    TestDrive removable(L'N', DRIVE_REMOVABLE);
    auto manager = NewManager();
    auto storage = manager->FindOrCreateStorage(L"N:\\", L"", L"");
    EXPECT_EQ(storage->StorageType(), tnStorageType_Removable);
    manager->RegisterStorage(storage);
    removable.Remove();

    TestDrive other(L'O', DRIVE_REMOVABLE);
    WriteIdentity(other.Root(), storage->UniqueID());
    manager->OnDrivesArrived(Bit(L'O'), false);
    EXPECT_EQ(storage->RootPath(), L"N:\\");
    EXPECT_EQ(workers_[storage->UniqueID()].starts, 0);
    EXPECT_FALSE(storage->RefreshOnConnectRequested());
}

TEST_F(StorageManagerTest, VanishedRootCreatesAndRegistersNothing) {
    auto manager = NewManager();
    std::wstring root;
    SharedPtr<StorageInfo> storage;
    {
        TestDrive drive(L'P', DRIVE_FIXED);
        root = drive.Root();
        storage = manager->FindOrCreateStorage(root, L"", L"");
    }
    EXPECT_TRUE(FAILED(CatchHr([&] { manager->FindOrCreateStorage(root, L"", L""); })));
    EXPECT_EQ(CatchHr([&] { manager->RegisterStorage(storage); }), HRESULT_FROM_WIN32(ERROR_WRITE_FAULT));
    EXPECT_EQ(CatchHr([&] { manager->FindByRoot(root); }), E_INVALIDARG);
    EXPECT_FALSE(EntryExists(storage->UniqueID()));
    EXPECT_TRUE(sink_.events.empty());
    EXPECT_EQ(CatchHr([&] { manager->FindOrCreateStorage(L"", L"", L""); }), E_INVALIDARG);
}

TEST_F(StorageManagerTest, UnregisterAnnouncesFirstThenRemovesEverything) {
    TestDrive drive(L'Q', DRIVE_FIXED);
    auto manager = NewManager();
    auto storage = manager->FindOrCreateStorage(L"Q:\\", L"", L"");
    manager->RegisterStorage(storage);
    manager->UnregisterStorage(storage);
    EXPECT_FALSE(ReadIdentity(L"Q:\\"));
    EXPECT_FALSE(EntryExists(storage->UniqueID()));
    EXPECT_EQ(CatchHr([&] { manager->FindById(storage->UniqueID()); }), E_INVALIDARG);
    // Unregistering again still announces, and changes nothing else.
    manager->UnregisterStorage(storage);
    ASSERT_EQ(sink_.events.size(), 3u);
    EXPECT_EQ(sink_.events[1].first, tnStorageEventType_Removed);
    EXPECT_EQ(sink_.events[2].first, tnStorageEventType_Removed);
}

TEST_F(StorageManagerTest, GarbageIdentityFileGivesAFreshId) {
    TestDrive drive(L'I', DRIVE_FIXED);
    CreateDirectoryW(L"I:\\Pelion Entertainment", nullptr);
    UniqueHandle file(CreateFileW(L"I:\\Pelion Entertainment\\StorageInfo", GENERIC_WRITE, 0, nullptr,
                                  CREATE_ALWAYS, 0, nullptr));
    DWORD written = 0;
    WriteFile(file.get(), "\r\n\x01\x02", 4, &written, nullptr);
    file.reset();
    auto storage = NewManager()->FindOrCreateStorage(L"I:\\", L"", L"");
    EXPECT_EQ(storage->UniqueID().size(), 43u);
}

TEST_F(StorageManagerTest, RemoteStoragesStartAndStopEachDespiteFailures) {
    for (const wchar_t* id : {L"R1", L"R2", L"F1"}) {
        RegKey entry = CreateKey(list_.get(), id);
        WriteString(entry.get(), L"DriveString", std::wstring(L"\\\\srv\\") + id + L"\\");
        WriteDword(entry.get(), L"Type", id[0] == L'R' ? tnStorageType_Remote : tnStorageType_Fixed);
    }
    workers_[L"R1"].failStart = true;
    auto manager = NewManager();
    manager->StartRemoteStorages(true);
    EXPECT_EQ(workers_[L"R2"].starts, 1);
    EXPECT_EQ(workers_[L"F1"].starts, 0);
    EXPECT_TRUE(manager->FindById(L"R1")->RefreshOnConnectRequested());
    manager->StopRemoteStorages();
    EXPECT_EQ(workers_[L"R1"].stops, 1);
    EXPECT_EQ(workers_[L"R2"].stops, 1);
    EXPECT_EQ(workers_[L"F1"].stops, 0);
}

TEST_F(StorageManagerTest, ChangeRootRefusesARootHeldByAnother) {
    for (const wchar_t* id : {L"A1", L"B1"}) {
        RegKey entry = CreateKey(list_.get(), id);
        WriteString(entry.get(), L"DriveString", std::wstring(L"\\\\srv\\") + id + L"\\");
    }
    auto manager = NewManager();
    auto a = manager->FindById(L"A1");
    EXPECT_EQ(CatchHr([&] { manager->ChangeRoot(a, L"\\\\SRV\\b1\\"); }), HRESULT_FROM_WIN32(ERROR_ALREADY_EXISTS));
    EXPECT_EQ(manager->FindByRoot(L"\\\\srv\\A1\\"), a);
    manager->ChangeRoot(a, L"\\\\srv\\c1");
    EXPECT_EQ(manager->FindByRoot(L"\\\\srv\\c1\\"), a);
    EXPECT_EQ(manager->AllStorages().size(), 2u);
}
