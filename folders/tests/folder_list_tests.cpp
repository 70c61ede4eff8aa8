#include <windows.h>

#include <gtest/gtest.h>

#include "error.h"
#include "folder_fakes.h"
#include "older_folder_list.h"
#include "registered_folder_manager.h"
#include "registry_values.h"

#include <atomic>
#include <thread>
#include <vector>

using namespace tandem;

namespace {

const HRESULT kInvalidData = HRESULT_FROM_WIN32(ERROR_INVALID_DATA);

class FolderList : public ::testing::Test {
protected:
    RegKey Entry(const std::wstring& id, const std::wstring& path = L"Music") {
        RegKey key = CreateKey(registry_.folders.get(), id);
        WriteString(key.get(), L"StorageID", L"SID");
        WriteString(key.get(), L"RelativePath", path);
        WriteString(key.get(), L"Owner", L"Owner");
        return key;
    }
    void SetRaw(HKEY key, const wchar_t* name, DWORD type, const void* data, DWORD size) {
        CheckWin32(RegSetValueExW(key, name, 0, type, static_cast<const BYTE*>(data), size));
    }
    SharedPtr<RegisteredFolder> LoadOne(const std::wstring& id) {
        return RegisteredFolderManager(storages_).FindFolder(L"SID", RegisteredFolder::Load(
                                                                          registry_.folders.get(), id, {})
                                                                          ->RelativePath);
    }
    HRESULT LoadHr() {
        return CatchHr([&] { RegisteredFolderManager manager(storages_); });
    }

    test::FolderRegistry registry_;
    StorageManager storages_;
};

}  // namespace

TEST_F(FolderList, SavedFolderLoadsBackWithOneByteCategories) {
    RegisteredFolder folder(L"0123456789ABCDEF0123456789ABCDEF", {});
    folder.SetStorageID(L"SID");
    folder.RelativePath = L"Music\\";
    folder.SetOwner(L"Player");
    folder.Behavior = zephfwBehaviorMonitorOnce;
    folder.Refresh = zephfwStartupRefreshOnce;
    folder.WatchSubTree = false;
    folder.SetObjectCategories({300, 3});
    folder.SetDefaults({{7, L"seven"}, {-2, L"minus"}});
    folder.Save();

    RegKey key = OpenKey(registry_.folders.get(), folder.FolderID());
    EXPECT_EQ(TryReadBinary(key.get(), L"ObjectCategories"), (std::vector<BYTE>{0x03, 0x2C}));
    auto loaded = LoadOne(folder.FolderID());
    EXPECT_EQ(loaded->FolderID(), folder.FolderID());
    EXPECT_EQ(loaded->Owner(), L"Player");
    EXPECT_EQ(loaded->Behavior, zephfwBehaviorMonitorOnce);
    EXPECT_EQ(loaded->Refresh, zephfwStartupRefreshOnce);
    EXPECT_FALSE(loaded->WatchSubTree);
    EXPECT_FALSE(loaded->StartupRefreshDone);
    EXPECT_EQ(loaded->ObjectCategories(), (std::set<LONG>{3, 44}));
    EXPECT_EQ(loaded->Defaults(), folder.Defaults());
}

TEST_F(FolderList, SavingAgainLeavesOnlyTheLatestValues) {
    RegisteredFolder folder(L"AA", {});
    folder.SetStorageID(L"SID");
    folder.SetOwner(L"Player");
    folder.SetObjectCategories({1});
    folder.SetDefaults({{1, L"one"}, {2, L"two"}});
    folder.Save();
    folder.SetObjectCategories({});
    folder.SetDefaults({{3, L"three"}});
    folder.Save();
    RegKey key = OpenKey(registry_.folders.get(), L"AA");
    EXPECT_FALSE(ValueType(key.get(), L"ObjectCategories"));
    RegKey defaults = OpenKey(key.get(), L"Default");
    EXPECT_FALSE(ValueType(defaults.get(), L"1"));
    EXPECT_EQ(ReadString(defaults.get(), L"3"), L"three");
    folder.SetDefaults({});
    folder.Save();
    EXPECT_FALSE(TryOpenKey(OpenKey(registry_.folders.get(), L"AA").get(), L"Default"));
    folder.DeleteFromRegistry();
    EXPECT_EQ(CatchHr([&] { folder.DeleteFromRegistry(); }), HRESULT_FROM_WIN32(ERROR_FILE_NOT_FOUND));
}

// Saving once deleted the sub-key and wrote it anew: a start or another save
// in between found it missing or half written.
TEST_F(FolderList, ASaveNeverLeavesTheKeyMissingOrPartlyWritten) {
    auto folder = MakeShared<RegisteredFolder>(L"BB", FolderMonitorFactory());
    folder->SetStorageID(L"SID");
    folder->RelativePath = L"Music\\";
    folder->SetOwner(L"Player");
    folder->Save();
    std::atomic<bool> done{false};
    std::vector<std::thread> savers;
    for (int t = 0; t < 2; ++t) {
        savers.emplace_back([&, t] {
            for (int i = 0; i < 150; ++i) {
                folder->SetDefaults({{1, std::to_wstring(t)}, {2, std::to_wstring(i)}});
                folder->SetObjectCategories(i % 2 ? std::set<LONG>{3} : std::set<LONG>{1, 2});
                folder->Save();
            }
        });
    }
    int failures = 0, loads = 0;
    std::thread reader([&] {
        while (!done) {
            ++loads;
            if (FAILED(CatchHr([&] { RegisteredFolder::Load(registry_.folders.get(), L"BB", {}); }))) ++failures;
        }
    });
    for (auto& saver : savers) saver.join();
    done = true;
    reader.join();
    EXPECT_EQ(failures, 0) << "of " << loads << " loads";
    EXPECT_EQ(LoadOne(L"BB")->Defaults(), folder->Defaults());
}

// Client threads assign the folder's properties while command, notificator
// and plug-in threads copy them; each copy must be whole.
TEST(FolderRecord, PropertiesReadWhileAssignedAreAlwaysWholeValues) {
    RegisteredFolder folder(L"CC", {});
    const std::map<LONG, std::wstring> small{{1, L"one"}};
    std::map<LONG, std::wstring> large;
    for (LONG id = 0; id < 64; ++id) large.emplace(id, std::wstring(40, L'x'));
    std::atomic<bool> done{false};
    std::thread writer([&] {
        for (int i = 0; i < 4000; ++i) {
            folder.SetDefaults(i % 2 ? small : large);
            folder.SetObjectCategories(i % 2 ? std::set<LONG>{} : std::set<LONG>{3, 4, 5});
            folder.SetStorageID(i % 2 ? L"A" : std::wstring(100, L'B'));
        }
        done = true;
    });
    int torn = 0;
    while (!done) {
        const auto defaults = folder.Defaults();
        if (defaults != small && defaults != large && !defaults.empty()) ++torn;
        const auto categories = folder.ObjectCategories();
        if (!categories.empty() && categories.size() != 3) ++torn;
        const std::wstring id = folder.StorageID();
        if (id != L"A" && id != std::wstring(100, L'B') && !id.empty()) ++torn;
        folder.AllowsCategory(4);
    }
    writer.join();
    EXPECT_EQ(torn, 0);
}

TEST_F(FolderList, LoadingToleratesOddNumbersAndNames) {
    RegKey key = Entry(L"ODD", L"Video");
    WriteDword(key.get(), L"Behavior", 7);
    WriteDword(key.get(), L"Refresh", 3);
    WriteDword(key.get(), L"WatchSubTree", 5);
    ULONGLONG wide = 0;
    SetRaw(key.get(), L"Refresh", REG_QWORD, &wide, 8);
    SetRaw(key.get(), L"ObjectCategories", REG_SZ, L"x", 4);
    RegKey defaults = CreateKey(key.get(), L"Default");
    WriteString(defaults.get(), L"12abc", L"twelve");
    WriteString(defaults.get(), L"abc", L"zero");
    WriteString(defaults.get(), L"012", L"late twelve");

    auto folder = LoadOne(L"ODD");
    EXPECT_EQ(folder->RelativePath, L"Video\\");
    EXPECT_EQ(folder->Behavior, zephfwBehaviorMonitor);
    EXPECT_EQ(folder->Refresh, zephfwStartupSilent);
    EXPECT_TRUE(folder->WatchSubTree);
    EXPECT_TRUE(folder->ObjectCategories().empty());
    auto properties = folder->Defaults();
    EXPECT_EQ(properties.size(), 2u);
    EXPECT_EQ(properties[0], L"zero");
    EXPECT_TRUE(properties[12] == L"twelve" || properties[12] == L"late twelve");
}

TEST_F(FolderList, MalformedEntriesFailTheWholeLoad) {
    Entry(L"GOOD");
    EXPECT_EQ(LoadHr(), S_OK);
    {
        RegKey bad = Entry(L"BAD", L"Other");
        SetRaw(bad.get(), L"Behavior", REG_BINARY, "\1", 1);
        EXPECT_EQ(LoadHr(), kInvalidData);
        WriteDword(bad.get(), L"Behavior", 1);
        WriteDword(bad.get(), L"Owner", 1);
        EXPECT_EQ(LoadHr(), kInvalidData);
        DeleteValue(bad.get(), L"Owner");
        EXPECT_EQ(LoadHr(), HRESULT_FROM_WIN32(ERROR_FILE_NOT_FOUND));
        WriteString(bad.get(), L"Owner", L"X");
        RegKey defaults = CreateKey(bad.get(), L"Default");
        SetRaw(defaults.get(), L"5", REG_SZ, L"", 0);
        EXPECT_EQ(LoadHr(), kInvalidData);
        WriteDword(defaults.get(), L"5", 5);
        EXPECT_EQ(LoadHr(), kInvalidData);
    }
    DeleteKeyTree(HKEY_LOCAL_MACHINE, kFolderListKey);
    EXPECT_EQ(LoadHr(), HRESULT_FROM_WIN32(ERROR_FILE_NOT_FOUND));
}

TEST_F(FolderList, SettingsDefaultsRangesAndPersistence) {
    EXPECT_EQ(RegisteredFolderManager(storages_).Settings().RefreshOnStartup, 0u);
    WriteDword(registry_.watcher.get(), L"Refresh On Startup", 2);
    WriteDword(registry_.watcher.get(), L"Refresh Priority", 9);
    SetRaw(registry_.watcher.get(), L"ThumbnailFolder", REG_EXPAND_SZ, L"Thumbs", 14);
    {
        RegisteredFolderManager manager(storages_);
        EXPECT_EQ(manager.Settings().RefreshOnStartup, 2u);
        EXPECT_EQ(manager.Settings().RefreshPriority, 1u);
        EXPECT_EQ(manager.Settings().ThumbnailSubPath(), L"Pelion Entertainment\\Thumbnail");
        manager.SetStartupRefresh(1, 4);
        EXPECT_EQ(manager.Settings().RefreshPriority, 4u);
    }
    WriteString(registry_.watcher.get(), L"ThumbnailFolder", L"Thumbs");
    RegisteredFolderManager reloaded(storages_);
    EXPECT_EQ(reloaded.Settings().RefreshOnStartup, 1u);
    EXPECT_EQ(reloaded.Settings().RefreshPriority, 4u);
    EXPECT_EQ(reloaded.Settings().ThumbnailFolder, L"Thumbs");
    WriteString(registry_.watcher.get(), L"Refresh Priority", L"3");
    EXPECT_EQ(LoadHr(), kInvalidData);
}

TEST_F(FolderList, OlderListPrefersThreeDigitSlotsAndFillsTheFirstFreeOne) {
    WriteString(CreateKey(registry_.older.get(), L"000").get(), L"Path", L"C:\\Other");
    WriteString(CreateKey(registry_.older.get(), L"001").get(), L"Path", L"");
    AddToOlderList(L"D:\\Music", L"Player");
    EXPECT_EQ(ReadString(OpenKey(registry_.older.get(), L"001").get(), L"Path"), L"D:\\Music");
    EXPECT_FALSE(TryOpenKey(registry_.older.get(), L"01"));
    AddToOlderList(L"d:\\music", L"Player");
    AddToOlderList(L"D:\\Video", L"Player");
    EXPECT_EQ(ReadString(OpenKey(registry_.older.get(), L"02").get(), L"Path"), L"D:\\Video");
    EXPECT_EQ(SubKeyNames(registry_.older.get()).size(), 3u);
    RemoveFromOlderList(L"D:\\VIDEO");
    EXPECT_EQ(ReadString(OpenKey(registry_.older.get(), L"02").get(), L"Path"), L"");
    DeleteKeyTree(HKEY_LOCAL_MACHINE, kOlderFolderListKey);
    AddToOlderList(L"D:\\Music", L"Player");
    RemoveFromOlderList(L"D:\\Music");
}
