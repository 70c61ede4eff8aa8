#include <windows.h>

#include <gtest/gtest.h>

#include "error.h"
#include "folder_fakes.h"
#include "registered_folder_manager.h"
#include "registry_values.h"
#include "testing/test_drive.h"

using namespace tandem;
using test::StatusChange;

namespace {

class FolderManager : public ::testing::Test {
protected:
    static bool ListDisk(test::FolderRegistry& registry) {
        RegKey entry = CreateKey(registry.storages.get(), L"SID-D");
        WriteString(entry.get(), L"DriveString", L"D:\\");
        WriteDword(entry.get(), L"Type", tnStorageType_Fixed);
        return true;
    }
    SharedPtr<RegisteredFolder> Register(const std::wstring& owner, const std::wstring& path,
                                         const StorageInfo& storage) {
        auto folder = folders_.CreateFolder(storage, owner, path);
        folders_.RegisterFolder(folder, storage);
        return folder;
    }
    bool Saved(const RegisteredFolder& folder) {
        return TryOpenKey(registry_.folders.get(), folder.FolderID()).has_value();
    }

    test::FolderRegistry registry_;
    bool diskListed_ = ListDisk(registry_);
    StorageManager storages_;
    test::RecordingFolderSink sink_;
    int monitorStarts_ = 0;
    RegisteredFolderManager folders_{storages_, &sink_, [this](RegisteredFolder&) {
                                         return std::make_unique<test::FakeMonitor>(monitorStarts_);
                                     }};
    SharedPtr<StorageInfo> disk_ = storages_.FindById(L"SID-D");
    StorageInfo share_{L"\\\\srv\\share\\", L"SID-S", tnStorageType_Remote, L"", nullptr, {}};
};

}  // namespace

TEST_F(FolderManager, SamePathAndOwnerGiveTheSameFolderOtherOwnersAreRefused) {
    auto music = Register(L"Player", L"Music", *disk_);
    EXPECT_EQ(music->RelativePath, L"Music\\");
    EXPECT_EQ(music->FolderID().size(), 32u);
    EXPECT_EQ(music->Refresh, zephfwStartupSilent);
    EXPECT_EQ(folders_.CreateFolder(*disk_, L"PLAYER", L"music\\"), music);
    EXPECT_EQ(CatchHr([&] { folders_.CreateFolder(*disk_, L"Other", L"Music"); }), E_INVALIDARG);
    // Covered by a folder watching its sub-tree, whoever asks.
    EXPECT_EQ(CatchHr([&] { folders_.CreateFolder(*disk_, L"Player", L"Music\\Rock"); }), E_INVALIDARG);
    EXPECT_NE(folders_.CreateFolder(*disk_, L"Other", L"Musical"), nullptr);
    music->WatchSubTree = false;
    EXPECT_EQ(folders_.CreateFolder(*disk_, L"Other", L"Music\\Rock")->RelativePath, L"Music\\Rock\\");
    // The same path on another storage is another folder.
    EXPECT_NE(folders_.CreateFolder(share_, L"Other", L"Music"), music);
}

TEST_F(FolderManager, FindByIdKnowsOnlyRegisteredFolders) {
    auto added = Register(L"Player", L"Music", *disk_);
    auto created = folders_.CreateFolder(*disk_, L"Player", L"Video");
    EXPECT_EQ(folders_.FindById(added->FolderID()), added);
    EXPECT_EQ(folders_.FindById(created->FolderID()), nullptr);
    folders_.UnregisterFolder(added, *disk_);
    EXPECT_EQ(folders_.FindById(added->FolderID()), nullptr);
}

TEST_F(FolderManager, AddFolderRefusesAnotherOwnerAndReportsARepeat) {
    auto first = folders_.CreateFolder(*disk_, L"A", L"Pics");
    auto second = folders_.CreateFolder(*disk_, L"B", L"pics");
    auto third = folders_.CreateFolder(*disk_, L"a", L"PICS");
    EXPECT_TRUE(folders_.AddFolder(first));
    EXPECT_EQ(CatchHr([&] { folders_.AddFolder(second); }), E_INVALIDARG);
    EXPECT_FALSE(folders_.AddFolder(third));
    EXPECT_EQ(folders_.Count(), 1u);
}

TEST_F(FolderManager, RegisteringSavesMirrorsAndAnnouncesOnce) {
    auto root = Register(L"Player", L"", *disk_);
    EXPECT_EQ(root->FullPath(disk_->RootPath()), L"D:");
    EXPECT_EQ(root->CommandPath(disk_->RootPath()), L"D:\\");
    std::vector<StatusChange> expected = {{L"D:\\", zephfwReasonNotice, ZEPHFW_I_STAT_LIST_CHANGED},
                                          {L"D:\\", zephfwReasonNotice, ZEPHFW_I_STAT_FOLDER_ADDED}};
    EXPECT_EQ(sink_.changes, expected);
    EXPECT_TRUE(Saved(*root));
    RegKey slot = OpenKey(registry_.older.get(), L"00");
    EXPECT_EQ(ReadString(slot.get(), L"Path"), L"D:");
    EXPECT_EQ(ReadString(slot.get(), L"Owner"), L"Player");

    folders_.RegisterFolder(folders_.CreateFolder(*disk_, L"player", L""), *disk_);
    EXPECT_EQ(sink_.changes.size(), 2u);

    auto remote = Register(L"Player", L"Docs", share_);
    EXPECT_EQ(remote->Refresh, zephfwStartupRefresh);
    EXPECT_FALSE(TryOpenKey(registry_.older.get(), L"01")) << "only fixed disks are mirrored";
}

TEST_F(FolderManager, At256FoldersRegistrationFailsUntilOneIsUnregistered) {
    std::vector<SharedPtr<RegisteredFolder>> registered;
    for (int i = 0; i < 256; ++i) registered.push_back(Register(L"Bulk", L"F" + std::to_wstring(i), share_));
    auto extra = folders_.CreateFolder(share_, L"Bulk", L"Extra");
    EXPECT_EQ(CatchHr([&] { folders_.RegisterFolder(extra, share_); }), E_FAIL);
    EXPECT_EQ(folders_.Count(), 256u);
    EXPECT_FALSE(Saved(*extra));
    folders_.UnregisterFolder(registered[10], share_);
    EXPECT_FALSE(Saved(*registered[10]));
    folders_.RegisterFolder(extra, share_);
    EXPECT_EQ(folders_.Count(), 256u);
    EXPECT_TRUE(Saved(*extra));
}

TEST_F(FolderManager, UnregisteringAnUnknownFolderOnlyAnnounces) {
    Register(L"Player", L"Music", *disk_);
    sink_.changes.clear();
    auto stranger = folders_.CreateFolder(*disk_, L"Other", L"Video");
    folders_.UnregisterFolder(stranger, *disk_);
    std::vector<StatusChange> expected = {{L"D:\\Video\\", 0, ZEPHFW_I_STAT_LIST_CHANGED},
                                          {L"D:\\Video\\", 0, ZEPHFW_I_STAT_FOLDER_REMOVED}};
    EXPECT_EQ(sink_.changes, expected);
    EXPECT_EQ(folders_.Count(), 1u);
}

TEST_F(FolderManager, UnregisteringEmptiesItsOlderSlotAndIgnoresTheOwner) {
    auto music = Register(L"Player", L"Music", *disk_);
    folders_.UnregisterFolder(folders_.MakeDetachedFolder(L"Somebody", L"D:\\Music\\"), *disk_);
    EXPECT_EQ(folders_.Count(), 0u);
    EXPECT_FALSE(Saved(*music));
    RegKey slot = OpenKey(registry_.older.get(), L"00");
    EXPECT_EQ(ReadString(slot.get(), L"Path"), L"");
    EXPECT_EQ(ReadString(slot.get(), L"Owner"), L"");
}

TEST_F(FolderManager, FolderWatchingItsSubTreeReplacesTheFoldersInside) {
    auto rock = Register(L"Player", L"Music\\Rock", *disk_);
    auto pop = Register(L"Player", L"Music\\Pop", *disk_);
    auto other = Register(L"Player", L"Musical", *disk_);
    folders_.StartMonitoring(rock, false);
    sink_.changes.clear();

    auto music = folders_.CreateFolder(*disk_, L"Player", L"Music");
    folders_.UnregisterNestedFolders(music, *disk_);
    folders_.RegisterFolder(music, *disk_);
    EXPECT_FALSE(rock->IsMonitorRunning());
    std::vector<StatusChange> expected = {{L"D:\\Music\\Rock\\", 0, ZEPHFW_I_STAT_LIST_CHANGED},
                                          {L"D:\\Music\\Rock\\", 0, ZEPHFW_I_STAT_FOLDER_REMOVED},
                                          {L"D:\\Music\\Pop\\", 0, ZEPHFW_I_STAT_LIST_CHANGED},
                                          {L"D:\\Music\\Pop\\", 0, ZEPHFW_I_STAT_FOLDER_REMOVED},
                                          {L"D:\\Music\\", 0, ZEPHFW_I_STAT_LIST_CHANGED},
                                          {L"D:\\Music\\", 0, ZEPHFW_I_STAT_FOLDER_ADDED}};
    EXPECT_EQ(sink_.changes, expected);
    EXPECT_EQ(folders_.AllFolders(), (std::vector<SharedPtr<RegisteredFolder>>{other, music}));

    auto inner = Register(L"Player", L"Docs\\Inner", *disk_);
    auto flat = folders_.CreateFolder(*disk_, L"Player", L"Docs");
    flat->WatchSubTree = false;
    folders_.UnregisterNestedFolders(flat, *disk_);
    EXPECT_EQ(folders_.Count(), 3u);
}

TEST_F(FolderManager, LookupsFollowStorageThenInsertionOrder) {
    auto z = Register(L"A", L"Z", *disk_);
    auto s = Register(L"B", L"S", share_);
    auto a = Register(L"a", L"A", *disk_);
    // "SID-D" sorts before "SID-S"; within a storage, insertion order.
    EXPECT_EQ(folders_.FolderAt(0), z);
    EXPECT_EQ(folders_.FolderAt(1), a);
    EXPECT_EQ(folders_.FolderAt(2), s);
    EXPECT_EQ(CatchHr([&] { folders_.FolderAt(3); }), E_INVALIDARG);
    EXPECT_EQ(folders_.FoldersOfOwner(L"A"), (std::vector<SharedPtr<RegisteredFolder>>{z, a}));
    EXPECT_EQ(folders_.FoldersOfStorage(L"SID-S"), std::vector<SharedPtr<RegisteredFolder>>{s});
    EXPECT_EQ(folders_.FindFolder(L"SID-D", L"a"), a);
    EXPECT_EQ(CatchHr([&] { folders_.FindFolder(L"SID-S", L"A"); }), E_INVALIDARG);
}

TEST_F(FolderManager, DetachedFolderAddressesARegisteredStorageOnly) {
    auto detached = folders_.MakeDetachedFolder(L"Owner", L"d:\\Music");
    EXPECT_EQ(detached->FolderID(), L"");
    EXPECT_EQ(detached->StorageID(), L"SID-D");
    EXPECT_EQ(detached->RelativePath, L"Music");
    EXPECT_EQ(detached->Behavior, zephfwBehaviorMonitor);
    EXPECT_EQ(detached->Refresh, zephfwStartupSilent);
    EXPECT_TRUE(detached->WatchSubTree);
    EXPECT_EQ(CatchHr([&] { folders_.MakeDetachedFolder(L"Owner", L"E:\\Music"); }), E_INVALIDARG);
    EXPECT_EQ(CatchHr([&] { folders_.MakeDetachedFolder(L"Owner", L"Music"); }), E_INVALIDARG);
    EXPECT_EQ(folders_.Count(), 0u);
}

TEST_F(FolderManager, StartupRefreshModesAskForTheRightRefreshes) {
    auto every = Register(L"P", L"Every", *disk_);
    auto once = Register(L"P", L"Once", *disk_);
    auto silent = Register(L"P", L"Silent", *disk_);
    every->Refresh = zephfwStartupRefresh;
    once->Refresh = zephfwStartupRefreshOnce;

    folders_.StartMonitoringStorage(L"SID-D", false);
    EXPECT_EQ(monitorStarts_, 3);
    EXPECT_TRUE(every->TakeRefreshRequest());
    EXPECT_TRUE(once->TakeRefreshRequest());
    EXPECT_FALSE(silent->TakeRefreshRequest());
    EXPECT_EQ(once->Refresh, zephfwStartupSilent);
    RegKey saved = OpenKey(registry_.folders.get(), once->FolderID());
    EXPECT_EQ(ReadDword(saved.get(), L"Refresh", 9), 0u);

    // Running monitors are left alone; mode 1 refreshes once per run.
    folders_.StartMonitoringStorage(L"SID-D", false);
    EXPECT_EQ(monitorStarts_, 3);
    EXPECT_FALSE(every->TakeRefreshRequest());
    folders_.StopMonitoringStorage(L"SID-D");
    EXPECT_FALSE(every->IsMonitorRunning());
    folders_.StartMonitoringStorage(L"SID-D", false);
    EXPECT_EQ(monitorStarts_, 6);
    EXPECT_FALSE(every->TakeRefreshRequest());
    EXPECT_FALSE(once->TakeRefreshRequest());
    folders_.StartMonitoringStorage(L"SID-D", true);
    EXPECT_TRUE(every->TakeRefreshRequest());
    EXPECT_TRUE(silent->TakeRefreshRequest());
}

// Two registrations of one path built their records before either was
// listed: the later one must go on with the record the list holds.
TEST_F(FolderManager, TheSecondOfTwoRacingRegistrationsGetsTheListedRecord) {
    auto first = folders_.CreateFolder(*disk_, L"Player", L"Music");
    auto second = folders_.CreateFolder(*disk_, L"Player", L"Music");
    ASSERT_NE(first, second);
    EXPECT_EQ(folders_.RegisterFolder(first, *disk_), first);
    EXPECT_EQ(folders_.RegisterFolder(second, *disk_), first);
    EXPECT_EQ(folders_.RegisterFolder(first, *disk_), first);
    EXPECT_EQ(folders_.Count(), 1u);
    EXPECT_EQ(sink_.changes.size(), 2u);
}

TEST_F(FolderManager, NoFolderLandsOnAStorageWhileOrAfterItIsRemoved) {
    test::TestDrive drive(L'G', DRIVE_FIXED);
    auto storage = storages_.FindOrCreateStorage(drive.Root(), L"", L"");
    storages_.RegisterStorage(storage);
    auto music = folders_.CreateFolder(*storage, L"Player", L"Music");
    {
        const RegisteredFolderManager::StorageRemoval removal(folders_, storage->UniqueID());
        EXPECT_EQ(CatchHr([&] { folders_.RegisterFolder(music, *storage); }), E_INVALIDARG);
        storages_.UnregisterStorage(storage);
    }
    EXPECT_EQ(CatchHr([&] { folders_.RegisterFolder(music, *storage); }), E_INVALIDARG)
        << "the storage is gone";
    storages_.RegisterStorage(storage);
    EXPECT_EQ(folders_.RegisterFolder(music, *storage), music);
    EXPECT_EQ(CatchHr([&] { RegisteredFolderManager::StorageRemoval(folders_, storage->UniqueID()); }),
              E_INVALIDARG)
        << "a storage with folders stays";
    EXPECT_EQ(folders_.FindFolder(storage->UniqueID(), L"Music"), music);
}
