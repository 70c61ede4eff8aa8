#include <windows.h>
#include <wincrypt.h>

#include <gtest/gtest.h>

#include "credentials.h"
#include "error.h"
#include "fakes.h"
#include "registry.h"
#include "registry_values.h"
#include "storage_info.h"
#include "testing/registry_sandbox.h"

using namespace tandem;
using tandem::test::FakeNetwork;

namespace {

const std::wstring kShareRoot = L"\\\\server\\share\\";

std::vector<BYTE> ProtectRaw(const std::wstring& plain, const wchar_t* description) {
    DATA_BLOB in = {static_cast<DWORD>(plain.size() * sizeof(wchar_t)),
                    reinterpret_cast<BYTE*>(const_cast<wchar_t*>(plain.data()))};
    DATA_BLOB out = {};
    if (!CryptProtectData(&in, description, nullptr, nullptr, nullptr, 0, &out)) ThrowLastError();
    std::vector<BYTE> token(out.pbData, out.pbData + out.cbData);
    LocalFree(out.pbData);
    return token;
}

}  // namespace

TEST(Credentials, TokenRoundTripComparesExactly) {
    FakeNetwork network;
    auto credentials = Credentials::Create(kShareRoot, L"Alice", L"s3cret", network);
    EXPECT_FALSE(credentials->Token().empty());
    EXPECT_TRUE(credentials->Matches(L"Alice", L"s3cret"));
    EXPECT_FALSE(credentials->Matches(L"alice", L"s3cret"));
    EXPECT_FALSE(credentials->Matches(L"Alice", L"S3cret"));
    EXPECT_FALSE(credentials->Matches(L"Alice", L"s3cre"));
    // A token reloaded from its bytes is the same secret.
    Credentials reloaded(credentials->Token(), network);
    EXPECT_TRUE(reloaded.Matches(L"Alice", L"s3cret"));
    EXPECT_TRUE(network.lookups.empty());
}

TEST(Credentials, ShareRootConnectsWithoutDeviceOnceAndDisconnectsAtTheEnd) {
    FakeNetwork network;
    {
        auto credentials = Credentials::Create(kShareRoot, L"bob", L"pw", network);
        credentials->ConnectShare();
        credentials->ConnectShare();
        ASSERT_EQ(network.adds.size(), 1u);
        EXPECT_EQ(network.adds[0].local, L"(none)");
        EXPECT_EQ(network.adds[0].remote, L"\\\\server\\share");
        EXPECT_EQ(network.adds[0].user, L"bob");
        EXPECT_EQ(network.adds[0].password, L"pw");
        EXPECT_TRUE(credentials->IsConnected());
    }
    EXPECT_EQ(network.cancels, std::vector<std::wstring>{L"\\\\server\\share"});
}

TEST(Credentials, MappedDriveRetriesWithoutLocalNameWhenTheDeviceIsTaken) {
    FakeNetwork network;
    network.mappedTo = L"\\\\nas\\media";
    auto credentials = Credentials::Create(L"X:\\", L"carol", L"pw", network);
    EXPECT_EQ(network.lookups, std::vector<std::wstring>{L"X:\\"});
    network.addResults = {ERROR_ALREADY_ASSIGNED};
    credentials->ConnectShare();
    ASSERT_EQ(network.adds.size(), 2u);
    EXPECT_EQ(network.adds[0].local, L"X:\\");
    EXPECT_EQ(network.adds[1].local, L"(none)");
    EXPECT_EQ(network.adds[1].remote, L"\\\\nas\\media");
    EXPECT_TRUE(credentials->IsConnected());
    credentials->DisconnectShare();
    EXPECT_FALSE(credentials->IsConnected());
    EXPECT_EQ(network.cancels.size(), 1u);
}

TEST(Credentials, RefusedConnectionIsRaisedAndLeavesItDisconnected) {
    FakeNetwork network;
    network.mappedTo = L"\\\\nas\\media";
    auto credentials = Credentials::Create(L"Y:\\", L"dave", L"pw", network);
    network.addResults = {ERROR_ALREADY_ASSIGNED, ERROR_ACCESS_DENIED};
    EXPECT_EQ(CatchHr([&] { credentials->ConnectShare(); }), HRESULT_FROM_WIN32(ERROR_ACCESS_DENIED));
    EXPECT_FALSE(credentials->IsConnected());
    network.addResults = {ERROR_LOGON_FAILURE};
    EXPECT_EQ(CatchHr([&] { credentials->ConnectShare(); }), HRESULT_FROM_WIN32(ERROR_LOGON_FAILURE));
    EXPECT_EQ(network.adds.size(), 3u) << "only ERROR_ALREADY_ASSIGNED is retried";
}

TEST(Credentials, RealNetworkCallsReportTheirErrors) {
    WindowsNetworkConnections network;
    // Not a mapped network drive: no credentials can be made for it.
    HRESULT hr = CatchHr([&] { Credentials::Create(L"C:\\", L"erin", L"pw", network); });
    EXPECT_TRUE(FAILED(hr)) << std::hex << hr;
    auto credentials = Credentials::Create(L"\\\\nohost.invalid\\share\\", L"erin", L"pw", network);
    EXPECT_TRUE(FAILED(CatchHr([&] { credentials->ConnectShare(); })));
    EXPECT_FALSE(credentials->IsConnected());
}

TEST(Credentials, TokenWithTwoStringsFailsEveryUse) {
    FakeNetwork network;
    Credentials credentials(ProtectRaw(std::wstring(L"\\\\s\\x\0user\0", 11), L""), network);
    EXPECT_EQ(CatchHr([&] { credentials.Matches(L"user", L""); }), E_UNEXPECTED);
    EXPECT_EQ(CatchHr([&] { credentials.ConnectShare(); }), E_UNEXPECTED);
    EXPECT_TRUE(network.adds.empty());
}

TEST(Credentials, DamagedTokenCannotBeUnprotected) {
    FakeNetwork network;
    std::vector<BYTE> token = Credentials::Create(kShareRoot, L"f", L"g", network)->Token();
    token.resize(token.size() / 2);
    Credentials damaged(token, network);
    EXPECT_TRUE(FAILED(CatchHr([&] { damaged.Matches(L"f", L"g"); })));
    EXPECT_TRUE(FAILED(CatchHr([&] { damaged.ConnectShare(); })));
    Credentials empty({}, network);
    EXPECT_TRUE(FAILED(CatchHr([&] { empty.Matches(L"", L""); })));
}

class StorageCredentials : public ::testing::Test {
protected:
    SharedPtr<StorageInfo> MakeStorage() {
        return MakeShared<StorageInfo>(kShareRoot, L"ID-1", tnStorageType_Remote, L"", nullptr, services_);
    }
    RegKey StorageKey() { return OpenKey(HKEY_LOCAL_MACHINE, std::wstring(kStorageListKey) + L"\\ID-1"); }

    void SetUp() override { providers_.CopyIntoSandbox(); }

    test::CryptographyProviders providers_;
    test::RegistrySandbox sandbox_;
    RegKey list_ = CreateKey(HKEY_LOCAL_MACHINE, kStorageListKey);
    FakeNetwork network_;
    StorageServices services_{&DefaultConsoleTokenSource(), &network_, {}};
};

TEST_F(StorageCredentials, SetCheckAndRemoveWithTheSavedValuesFollowing) {
    auto storage = MakeStorage();
    EXPECT_TRUE(storage->CheckCredentials(L"", L""));
    EXPECT_FALSE(storage->CheckCredentials(L"", L"x"));
    storage->Save();
    EXPECT_FALSE(ValueType(StorageKey().get(), L"UserID"));

    storage->SetCredentials(L"Gina", L"pw");
    EXPECT_EQ(storage->UserID(), L"Gina");
    EXPECT_TRUE(storage->CheckCredentials(L"Gina", L"pw"));
    EXPECT_FALSE(storage->CheckCredentials(L"GINA", L"pw"));
    EXPECT_FALSE(storage->CheckCredentials(L"", L""));
    storage->Save();
    EXPECT_EQ(ReadString(StorageKey().get(), L"UserID"), L"Gina");
    EXPECT_EQ(TryReadBinary(StorageKey().get(), L"Token"), storage->Token());

    storage->SetCredentials(L"", L"");
    EXPECT_FALSE(storage->HasCredentials());
    storage->Save();
    EXPECT_FALSE(ValueType(StorageKey().get(), L"UserID"));
    EXPECT_FALSE(ValueType(StorageKey().get(), L"Token"));
}

TEST_F(StorageCredentials, FailedReplacementKeepsTheOldCredentials) {
    auto storage = MakeShared<StorageInfo>(L"Z:\\", L"ID-1", tnStorageType_Remote, L"", nullptr, services_);
    network_.mappedTo = L"\\\\nas\\z";
    storage->SetCredentials(L"Hank", L"one");
    network_.mappedTo.clear();
    EXPECT_EQ(CatchHr([&] { storage->SetCredentials(L"Ivy", L"two"); }), HRESULT_FROM_WIN32(ERROR_NOT_CONNECTED));
    EXPECT_EQ(storage->UserID(), L"Hank");
    EXPECT_TRUE(storage->CheckCredentials(L"Hank", L"one"));
}
