#include <windows.h>

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "plugin_manager.h"
#include "plugin_test_host.h"

using namespace tandem;
using namespace tandem::test;

namespace {

using PluginManagerLoad = PluginHostTest;

std::vector<std::wstring> Names(const PluginManager& manager) {
    std::vector<std::wstring> names;
    for (const auto& entry : manager.Classes()) names.push_back(entry.first);
    return names;
}

HRESULT LoadHr() {
    return CatchHr([] { PluginManager manager; });
}

}  // namespace

TEST_F(PluginManagerLoad, NamesOrderByCodeUnitWithCapitalsFirst) {
    AddPlugin(L"beta", kBetaClass);
    AddPlugin(L"Alpha", kAlphaClass);
    AddPlugin(L"delta", kBetaClass);
    AddPlugin(L"Gamma", kMissingClass);
    PluginManager manager;
    // Registry names ignore case, the plug-in order does not: Gamma before beta.
    EXPECT_EQ(Names(manager), (std::vector<std::wstring>{L"Alpha", L"Gamma", L"beta", L"delta"}));
    EXPECT_TRUE(IsEqualCLSID(manager.Classes().at(L"Alpha"), kAlphaClass));
    EXPECT_TRUE(IsEqualCLSID(manager.Classes().at(L"Gamma"), kMissingClass));
    ASSERT_NE(manager.PropertyRecord(), nullptr);
    ULONG size = 0;
    EXPECT_EQ(manager.PropertyRecord()->GetSize(&size), S_OK);
    EXPECT_EQ(size, sizeof(TandemProperty));
}

TEST_F(PluginManagerLoad, MalformedClassValuesAreSkippedSilently) {
    AddPlugin(L"good", kAlphaClass);
    const std::wstring bare = GuidToString(kBetaClass).substr(1, 36);
    AddPlugin(L"noBraces", bare);
    AddPlugin(L"notAGuid", L"{" + std::wstring(36, L'x') + L"}");
    AddPlugin(L"tooLong", GuidToString(kBetaClass) + std::wstring(40, L' '));
    AddPlugin(L"empty", L"");
    CreateKey(plugins_.get(), L"noValue");
    const DWORD number = 7;
    CheckWin32(RegSetValueExW(CreateKey(plugins_.get(), L"dword").get(), L"CLSID", 0, REG_DWORD,
                              reinterpret_cast<const BYTE*>(&number), sizeof(number)));
    const std::wstring expand = GuidToString(kBetaClass);
    CheckWin32(RegSetValueExW(CreateKey(plugins_.get(), L"expand").get(), L"CLSID", 0, REG_EXPAND_SZ,
                              reinterpret_cast<const BYTE*>(expand.c_str()),
                              static_cast<DWORD>((expand.size() + 1) * sizeof(wchar_t))));

    PluginManager manager;
    EXPECT_EQ(Names(manager), (std::vector<std::wstring>{L"expand", L"good"}));
    EXPECT_TRUE(IsEqualCLSID(manager.Classes().at(L"expand"), kBetaClass));
}

TEST_F(PluginManagerLoad, EmptyPluginKeyMeansNoPlugins) {
    EXPECT_TRUE(PluginManager().Classes().empty());
}

TEST_F(PluginManagerLoad, MissingPluginKeyFails) {
    plugins_.reset();
    DeleteKeyTree(HKEY_LOCAL_MACHINE, std::wstring(kProductKey) + L"\\" + kPluginSubKey);
    EXPECT_EQ(LoadHr(), HRESULT_FROM_WIN32(ERROR_FILE_NOT_FOUND));
    DeleteKeyTree(HKEY_LOCAL_MACHINE, kProductKey);
    EXPECT_EQ(LoadHr(), HRESULT_FROM_WIN32(ERROR_FILE_NOT_FOUND));
}

TEST(PluginManagerTypeLibrary, UnregisteredLibraryFailsLoading) {
    ComApartment apartment;
    RegistrySandbox sandbox;
    CreateKey(HKEY_LOCAL_MACHINE, std::wstring(kProductKey) + L"\\" + kPluginSubKey);
    const HRESULT hr = LoadHr();
    EXPECT_TRUE(FAILED(hr)) << std::hex << hr;
}

// The only test of the process-wide snapshot: failures are retried, a
// published snapshot is kept.
TEST_F(PluginManagerLoad, InstanceIsPublishedOnlyAfterASuccessfulRead) {
    DeleteKeyTree(HKEY_LOCAL_MACHINE, kProductKey);
    EXPECT_EQ(CatchHr([] { PluginManager::Instance(); }), HRESULT_FROM_WIN32(ERROR_FILE_NOT_FOUND));

    plugins_ = CreateKey(HKEY_LOCAL_MACHINE, std::wstring(kProductKey) + L"\\" + kPluginSubKey);
    AddPlugin(L"first", kAlphaClass);
    const auto instance = PluginManager::Instance();
    EXPECT_EQ(Names(*instance), std::vector<std::wstring>{L"first"});

    AddPlugin(L"later", kBetaClass);
    EXPECT_EQ(PluginManager::Instance(), instance);
    EXPECT_EQ(Names(*PluginManager::Instance()), std::vector<std::wstring>{L"first"});
}
