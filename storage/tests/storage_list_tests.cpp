#include <windows.h>

#include <gtest/gtest.h>

#include "error.h"
#include "fakes.h"
#include "registry.h"
#include "registry_values.h"
#include "storage_manager.h"
#include "testing/registry_sandbox.h"

using namespace tandem;

namespace {

const HRESULT kInvalidData = HRESULT_FROM_WIN32(ERROR_INVALID_DATA);

class StorageList : public ::testing::Test {
protected:
    RegKey Entry(const std::wstring& id) { return CreateKey(list_.get(), id); }
    void SetRaw(HKEY key, const wchar_t* name, DWORD type, const void* data, DWORD size) {
        CheckWin32(RegSetValueExW(key, name, 0, type, static_cast<const BYTE*>(data), size));
    }
    HRESULT LoadHr() {
        return CatchHr([&] { StorageManager manager(services_); });
    }

    void SetUp() override { providers_.CopyIntoSandbox(); }

    test::CryptographyProviders providers_;
    test::RegistrySandbox sandbox_;
    RegKey list_ = CreateKey(HKEY_LOCAL_MACHINE, kStorageListKey);
    test::FakeNetwork network_;
    StorageServices services_{&DefaultConsoleTokenSource(), &network_, {}};
};

}  // namespace

TEST_F(StorageList, SavedStoragesLoadBackWithTheirCredentials) {
    network_.mappedTo = L"\\\\nas\\media";
    auto plain = MakeShared<StorageInfo>(L"D:\\", L"AAA", tnStorageType_Fixed, L"", nullptr, services_);
    auto share = MakeShared<StorageInfo>(L"N:\\", L"BBB", tnStorageType_Remote, L"", nullptr, services_);
    share->SetCredentials(L"jo", L"pw");
    plain->Save();
    share->Save();
    share->Save();

    StorageManager manager(services_);
    auto loadedPlain = manager.FindById(L"AAA");
    EXPECT_EQ(loadedPlain->RootPath(), L"D:\\");
    EXPECT_EQ(loadedPlain->StorageType(), tnStorageType_Fixed);
    EXPECT_FALSE(loadedPlain->HasCredentials());
    EXPECT_FALSE(loadedPlain->IsEnabled());
    auto loadedShare = manager.FindByRoot(L"n:\\");
    EXPECT_EQ(loadedShare->UniqueID(), L"BBB");
    EXPECT_EQ(loadedShare->StorageType(), tnStorageType_Remote);
    EXPECT_EQ(loadedShare->UserID(), L"jo");
    EXPECT_EQ(loadedShare->Token(), share->Token());
    EXPECT_TRUE(loadedShare->CheckCredentials(L"jo", L"pw"));
    EXPECT_FALSE(loadedShare->IsShareConnected());
    EXPECT_EQ(manager.RemoteStorages().size(), 1u);
    EXPECT_EQ(SubKeyNames(list_.get()).size(), 2u);
}

TEST_F(StorageList, OddButReadableValuesFallBackToDefaults) {
    RegKey odd = Entry(L"ODD");
    WriteString(odd.get(), L"DriveString", L"E:\\");
    WriteDword(odd.get(), L"Type", 9);
    SetRaw(odd.get(), L"UserID", REG_MULTI_SZ, L"u\0\0", 6);
    SetRaw(odd.get(), L"Token", REG_SZ, L"t", 4);
    RegKey eight = Entry(L"EIGHT");
    WriteString(eight.get(), L"DriveString", L"F:\\");
    ULONGLONG wide = 3;
    SetRaw(eight.get(), L"Type", REG_QWORD, &wide, 8);

    StorageManager manager(services_);
    auto storage = manager.FindById(L"ODD");
    EXPECT_EQ(storage->StorageType(), tnStorageType_Unknown);
    EXPECT_EQ(storage->UserID(), L"");
    EXPECT_FALSE(storage->HasCredentials());
    EXPECT_EQ(manager.FindById(L"EIGHT")->StorageType(), tnStorageType_Unknown);
}

TEST_F(StorageList, MalformedEntriesFailTheWholeLoad) {
    {
        RegKey entry = Entry(L"NODRIVE");
        WriteDword(entry.get(), L"Type", 1);
        EXPECT_EQ(LoadHr(), HRESULT_FROM_WIN32(ERROR_FILE_NOT_FOUND));
        WriteDword(entry.get(), L"DriveString", 1);
        EXPECT_EQ(LoadHr(), kInvalidData);
        WriteString(entry.get(), L"DriveString", L"G:\\");
        EXPECT_EQ(LoadHr(), S_OK);
        WriteString(entry.get(), L"Type", L"1");
        EXPECT_EQ(LoadHr(), kInvalidData);
    }
    DeleteKeyTree(HKEY_LOCAL_MACHINE, kStorageListKey);
    EXPECT_EQ(LoadHr(), HRESULT_FROM_WIN32(ERROR_FILE_NOT_FOUND));
}

TEST_F(StorageList, DeletingAMissingEntryIsAnError) {
    auto storage = MakeShared<StorageInfo>(L"D:\\", L"CCC", tnStorageType_Fixed, L"", nullptr, services_);
    storage->Save();
    storage->DeleteFromRegistry();
    EXPECT_TRUE(SubKeyNames(list_.get()).empty());
    EXPECT_EQ(CatchHr([&] { storage->DeleteFromRegistry(); }), HRESULT_FROM_WIN32(ERROR_FILE_NOT_FOUND));
}

TEST(StorageState, TheStorageOwnsItsRootHandleAndSharesNeedCredentials) {
    HANDLE first = CreateEventW(nullptr, FALSE, FALSE, nullptr);
    HANDLE second = CreateEventW(nullptr, FALSE, FALSE, nullptr);
    DWORD flags = 0;
    {
        StorageInfo storage(L"D:\\", L"SID", tnStorageType_Fixed, L"", nullptr, {});
        EXPECT_EQ(storage.RootHandle(), nullptr);
        storage.SetRootHandle(UniqueHandle(first));
        EXPECT_EQ(storage.RootHandle(), first);
        storage.SetRootHandle(UniqueHandle(second));
        EXPECT_EQ(storage.RootHandle(), second);
        EXPECT_FALSE(GetHandleInformation(first, &flags));
        EXPECT_TRUE(GetHandleInformation(second, &flags));

        storage.SetEnabled(true);
        EXPECT_TRUE(storage.IsEnabled());
        storage.SetEnabled(false);
        EXPECT_FALSE(storage.IsEnabled());
        storage.ConnectShare();
        EXPECT_FALSE(storage.IsShareConnected());
    }
    EXPECT_FALSE(GetHandleInformation(second, &flags));
}
