#include <windows.h>

#include <gtest/gtest.h>

#include "error.h"
#include "folder_fakes.h"
#include "folder_migration.h"
#include "identity_file.h"
#include "registered_folder_manager.h"
#include "registry_values.h"
#include "testing/test_drive.h"

using namespace tandem;

namespace {

// Drive letters are unique per test: ctest runs tests of this program in parallel.
class Migration : public ::testing::Test {
protected:
    void Slot(const wchar_t* name, const std::wstring& path, const wchar_t* owner) {
        RegKey slot = CreateKey(registry_.older.get(), name);
        WriteString(slot.get(), L"Path", path);
        WriteString(slot.get(), L"Owner", owner);
    }
    DWORD Migrated() { return ReadDword(registry_.older.get(), L"Migrated", 0); }

    test::FolderRegistry registry_;
    StorageManager storages_;
    RegisteredFolderManager folders_{storages_};
};

}  // namespace

TEST_F(Migration, SlotsBecomeFoldersAndDeletedSlotsStillRegisterTheirStorage) {
    test::TestDrive music(L'R', DRIVE_FIXED);
    test::TestDrive trash(L'S', DRIVE_FIXED);
    Slot(L"000", L"R:\\Music", L"Player");
    {
        RegKey slot = OpenKey(registry_.older.get(), L"000", kKeyReadWrite);
        WriteDword(slot.get(), L"Refresh", 2);
        WriteDword(slot.get(), L"Behavior", 0);
        WriteString(CreateKey(slot.get(), L"Default").get(), L"4", L"four");
    }
    Slot(L"001", L"S:\\Trash", L"Player");
    WriteDword(OpenKey(registry_.older.get(), L"001", kKeyReadWrite).get(), L"Delete", 1);
    Slot(L"002", L"", L"");
    Slot(L"003", L"S:\\Bad", L"Player");
    WriteString(OpenKey(registry_.older.get(), L"003", kKeyReadWrite).get(), L"Delete", L"1");

    MigrateOlderList(folders_, storages_);
    EXPECT_EQ(Migrated(), 1u);
    ASSERT_EQ(folders_.Count(), 1u);
    auto folder = folders_.FolderAt(0);
    EXPECT_EQ(folder->RelativePath, L"Music\\");
    EXPECT_EQ(folder->Owner(), L"Player");
    EXPECT_EQ(folder->Refresh, 2);
    EXPECT_EQ(folder->Behavior, 0);
    EXPECT_EQ(folder->Defaults(), (std::map<LONG, std::wstring>{{4, L"four"}}));
    EXPECT_EQ(storages_.FindByRoot(L"R:\\")->UniqueID(), folder->StorageID());
    EXPECT_EQ(ReadIdentity(L"S:\\"), storages_.FindByRoot(L"S:\\")->UniqueID());
    // The mirror found the folder already listed.
    EXPECT_EQ(SubKeyNames(registry_.older.get()).size(), 4u);
    // The current list has it for the next run.
    EXPECT_EQ(RegisteredFolderManager(storages_).Count(), 1u);
}

TEST_F(Migration, RunsOnceUntilTheFlagIsDeleted) {
    test::TestDrive drive(L'T', DRIVE_FIXED);
    Slot(L"000", L"T:\\Music", L"Player");
    MigrateOlderList(folders_, storages_);
    Slot(L"01", L"T:\\Video", L"Player");
    MigrateOlderList(folders_, storages_);
    EXPECT_EQ(folders_.Count(), 1u);

    DeleteValue(registry_.older.get(), L"Migrated");
    MigrateOlderList(folders_, storages_);
    EXPECT_EQ(folders_.Count(), 2u);
    EXPECT_EQ(folders_.FindFolder(folders_.FolderAt(0)->StorageID(), L"Music")->Owner(), L"Player");
    EXPECT_EQ(Migrated(), 1u);
}

// The next unrelated save would write what a repeated migration put into
// memory: a folder registered already keeps its own values.
TEST_F(Migration, RepeatedMigrationKeepsTheValuesOfLiveFolders) {
    test::TestDrive drive(L'E', DRIVE_FIXED);
    Slot(L"000", L"E:\\Music", L"Player");
    {
        RegKey slot = OpenKey(registry_.older.get(), L"000", kKeyReadWrite);
        WriteDword(slot.get(), L"Refresh", 2);
        WriteDword(slot.get(), L"Behavior", 2);
        WriteString(CreateKey(slot.get(), L"Default").get(), L"4", L"older");
    }
    MigrateOlderList(folders_, storages_);
    auto folder = folders_.FolderAt(0);
    folder->Refresh = zephfwStartupSilent;
    folder->Behavior = zephfwBehaviorIgnore;
    folder->SetDefaults({{4, L"live"}});

    DeleteValue(registry_.older.get(), L"Migrated");
    MigrateOlderList(folders_, storages_);
    ASSERT_EQ(folders_.Count(), 1u);
    EXPECT_EQ(folders_.FolderAt(0), folder);
    EXPECT_EQ(folder->Refresh, zephfwStartupSilent);
    EXPECT_EQ(folder->Behavior, zephfwBehaviorIgnore);
    EXPECT_EQ(folder->Defaults(), (std::map<LONG, std::wstring>{{4, L"live"}}));
}

TEST_F(Migration, MissingOlderListOrWrongFlagIsSwallowed) {
    WriteString(registry_.older.get(), L"Migrated", L"1");
    MigrateOlderList(folders_, storages_);
    DeleteKeyTree(HKEY_LOCAL_MACHINE, kOlderFolderListKey);
    MigrateOlderList(folders_, storages_);
    EXPECT_EQ(folders_.Count(), 0u);
}
