#include <windows.h>

#include <gtest/gtest.h>

#include <string>
#include <utility>
#include <vector>

#include "MarloTandem.h"
#include "com_security.h"
#include "error.h"
#include "folder_keys.h"
#include "module_path.h"
#include "registry.h"
#include "server_registration.h"
#include "service_installer.h"
#include "tandem_module.h"
#include "testing/registry_sandbox.h"

using namespace tandem;

namespace {

const std::wstring kAppIdKey = std::wstring(L"AppID\\") + kTandemAppId;

class RecordingMessages : public RegistrationMessages {
public:
    void Show(std::wstring_view text, std::wstring_view caption) override {
        shown.push_back(std::wstring(caption) + L": " + std::wstring(text));
    }
    std::vector<std::wstring> shown;
};

std::vector<BYTE> BinaryValue(const std::wstring& key, const wchar_t* name) {
    RegKey opened = OpenKey(HKEY_CLASSES_ROOT, key);
    DWORD type = 0, size = 0;
    CheckWin32(RegQueryValueExW(opened.get(), name, nullptr, &type, nullptr, &size));
    std::vector<BYTE> data(size);
    CheckWin32(RegQueryValueExW(opened.get(), name, nullptr, &type, data.data(), &size));
    EXPECT_EQ(type, static_cast<DWORD>(REG_BINARY));
    return data;
}

std::wstring TypeLibKey() {
    wchar_t libid[40];
    StringFromGUID2(LIBID_MarloTandem, libid, 40);
    return std::wstring(L"TypeLib\\") + libid;
}

class RegistrationTest : public ::testing::Test {
protected:
    test::RegistrySandbox sandbox{{HKEY_LOCAL_MACHINE, HKEY_CLASSES_ROOT, HKEY_CURRENT_USER}};
    HMODULE module = GetModuleHandleW(nullptr);
};

}  // namespace

TEST_F(RegistrationTest, AppIdScriptWritesBothKeysAndItsRemovalKeepsAppId) {
    RegisterAppId(module, RegistrationScope::Machine);
    EXPECT_EQ(ReadString(OpenKey(HKEY_CLASSES_ROOT, kAppIdKey).get(), nullptr), L"Tandem");
    EXPECT_EQ(ReadString(OpenKey(HKEY_CLASSES_ROOT, L"AppID\\Tandem.EXE").get(), L"AppID"), kTandemAppId);
    EXPECT_EQ(ReadLocalService(), std::nullopt);
    // COM's defaults would let anyone start and call the server, from anywhere.
    for (auto [name, permission] : {std::pair{L"LaunchPermission", ComPermission::Launch},
                                    std::pair{L"AccessPermission", ComPermission::Access}})
        EXPECT_EQ(BinaryValue(kAppIdKey, name), RegistryCallerDescriptor(permission).SelfRelative()) << name;

    SetLocalService(L"Tandem");
    EXPECT_EQ(ReadLocalService(), std::wstring(L"Tandem"));
    ClearLocalService();
    ClearLocalService();
    EXPECT_EQ(ReadLocalService(), std::nullopt);

    UnregisterAppId(module, RegistrationScope::Machine);
    EXPECT_FALSE(KeyExists(HKEY_CLASSES_ROOT, kAppIdKey));
    EXPECT_FALSE(KeyExists(HKEY_CLASSES_ROOT, L"AppID\\Tandem.EXE"));
    EXPECT_TRUE(KeyExists(HKEY_CLASSES_ROOT, L"AppID"));
}

TEST_F(RegistrationTest, WithoutTheApplicationIdTheServerCannotDecideHowToRun) {
    try {
        ReadLocalService();
        ADD_FAILURE() << "a missing application id must be raised";
    } catch (const HResultError& error) {
        EXPECT_EQ(error.hr(), HRESULT_FROM_WIN32(ERROR_FILE_NOT_FOUND));
    }
}

TEST_F(RegistrationTest, PerUserRegistrationGoesToTheUsersClasses) {
    RegisterAppId(module, RegistrationScope::User);
    EXPECT_TRUE(KeyExists(HKEY_CURRENT_USER, L"Software\\Classes\\" + kAppIdKey));
    EXPECT_FALSE(KeyExists(HKEY_CLASSES_ROOT, kAppIdKey));
    UnregisterAppId(module, RegistrationScope::User);
    EXPECT_FALSE(KeyExists(HKEY_CURRENT_USER, L"Software\\Classes\\" + kAppIdKey));
}

TEST_F(RegistrationTest, ModuleNamesComeFromItsStringResources) {
    CTandemModule tandem(module);
    EXPECT_EQ(tandem.ServiceName(), L"Tandem");
    EXPECT_EQ(tandem.DisplayName(), L"Tandem Content Folder Watcher");
}

TEST_F(RegistrationTest, RegServerRegistersAsPlainServerAndUnregServerUndoesIt) {
    RecordingMessages messages;
    CTandemModule tandem(module, messages);
    // A leftover service marking goes: the server now runs on its own.
    RegisterAppId(module, RegistrationScope::Machine);
    SetLocalService(L"Tandem");

    CreateKey(HKEY_LOCAL_MACHINE, std::wstring(kStorageListKey) + L"\\kept");
    ASSERT_EQ(tandem.Register(ModuleAction::RegServer), S_OK);
    EXPECT_EQ(ReadLocalService(), std::nullopt);
    EXPECT_TRUE(KeyExists(HKEY_LOCAL_MACHINE, std::wstring(kStorageListKey) + L"\\kept"));
    EXPECT_TRUE(KeyExists(HKEY_LOCAL_MACHINE, kFolderListKey));
    EXPECT_TRUE(KeyExists(HKEY_LOCAL_MACHINE, kWatcherKey));
    EXPECT_TRUE(KeyExists(HKEY_CLASSES_ROOT, TypeLibKey()));
    EXPECT_FALSE(IsServiceInstalled(L"Tandem"));

    // Unregistering twice finds nothing left to remove and still succeeds.
    for (int round = 0; round < 2; ++round) ASSERT_EQ(tandem.Register(ModuleAction::UnregServer), S_OK);
    EXPECT_FALSE(KeyExists(HKEY_CLASSES_ROOT, kAppIdKey));
    EXPECT_FALSE(KeyExists(HKEY_CLASSES_ROOT, TypeLibKey()));
    EXPECT_TRUE(messages.shown.empty());
}

TEST_F(RegistrationTest, ServiceInstallsTwiceAndUnregServerRemovesEverything) {
    RecordingMessages messages;
    CTandemModule tandem(module, messages);
    const std::wstring eventSource = EventSourceKey(L"Tandem");

    for (int round = 0; round < 2; ++round) {
        ASSERT_EQ(tandem.Register(ModuleAction::Service), S_OK) << "round " << round;
        EXPECT_TRUE(IsServiceInstalled(L"Tandem"));
        EXPECT_EQ(ReadLocalService(), std::wstring(L"Tandem"));
        RegKey source = OpenKey(HKEY_LOCAL_MACHINE, eventSource);
        EXPECT_EQ(ReadString(source.get(), L"EventMessageFile"), ModuleFileName(module));
        EXPECT_EQ(ReadDword(source.get(), L"TypesSupported", 0), 7u);
    }

    ASSERT_EQ(tandem.Register(ModuleAction::UnregServer), S_OK);
    EXPECT_TRUE(KeyExists(HKEY_LOCAL_MACHINE, kStorageListKey));
    EXPECT_FALSE(IsServiceInstalled(L"Tandem"));
    EXPECT_FALSE(KeyExists(HKEY_LOCAL_MACHINE, eventSource));
    EXPECT_FALSE(KeyExists(HKEY_CLASSES_ROOT, kAppIdKey));
    EXPECT_TRUE(messages.shown.empty());
}

TEST_F(RegistrationTest, RemovingAServiceThatIsNotThereSucceedsQuietly) {
    RecordingMessages messages;
    EXPECT_NO_THROW(RemoveService(L"Tandem Never Installed", messages));
    EXPECT_TRUE(messages.shown.empty());
}
