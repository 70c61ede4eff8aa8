#include <windows.h>

#include <gtest/gtest.h>

#include <string>

#include "folder_keys.h"
#include "registry.h"
#include "server_registration.h"
#include "tandem_module.h"
#include "testing/registry_sandbox.h"
#include "testing/test_drive.h"
#include "thread.h"

using namespace tandem;

namespace {

constexpr DWORD kPatience = 30000;
constexpr wchar_t kStorageId[] = L"REMOVABLE-STORAGE";

class NoConsoleUser : public ConsoleTokenSource {
public:
    UniqueHandle UserToken() override { return {}; }
};

class QuietMessages : public RegistrationMessages {
public:
    void Show(std::wstring_view, std::wstring_view) override { ++shown; }
    int shown = 0;
};

// Runs the module's local server on a thread of its own, as the program's main thread would.
class ServerRun {
public:
    explicit ServerRun(CTandemModule& module) : module_(module) {}
    void Run() { result = module_.RunLocalServer(); }
    HRESULT result = E_PENDING;

private:
    CTandemModule& module_;
};

bool StorageConnected(CTandemModule& module) {
    for (const auto& storage : module.Singletons().ExistingStorages())
        if (storage->UniqueID() == kStorageId && storage->IsEnabled()) return true;
    return false;
}

// Nothing signals a storage's connect to the outside; it is asked for until it comes.
bool AwaitConnected(CTandemModule& module, const Thread& run) {
    const ULONGLONG deadline = GetTickCount64() + kPatience;
    while (!StorageConnected(module)) {
        if (GetTickCount64() > deadline || !run.IsRunning()) return false;
        run.Wait(20);
    }
    return true;
}

}  // namespace

TEST(TandemModule, LocalServerConnectsPresentDrivesAndReleasesEverythingOnStop) {
    test::RegistrySandbox sandbox;
    test::TestDrive drive(L'R', DRIVE_REMOVABLE);
    CreateProductKeys();
    RegKey storage = CreateKey(HKEY_LOCAL_MACHINE, std::wstring(kStorageListKey) + L"\\" + kStorageId);
    WriteString(storage.get(), L"DriveString", drive.Root());
    WriteDword(storage.get(), L"Type", tnStorageType_Removable);

    QuietMessages messages;
    NoConsoleUser tokens;
    CTandemModule module(GetModuleHandleW(nullptr), messages, tokens);
    ASSERT_FALSE(module.ComFailed());
    ServerRun server(module);
    Thread run(&server, &ServerRun::Run);
    run.Start();

    const bool connected = AwaitConnected(module, run);
    EXPECT_TRUE(connected) << "the present drive's storage was not connected";
    EXPECT_EQ(module.Devices().NotificationCount(), connected ? 1u : 0u);
    // The storage's worker holds the module, so the server waits to be told to stop.
    module.RequestStop();
    ASSERT_TRUE(run.Wait(kPatience));
    EXPECT_EQ(server.result, S_OK);
    EXPECT_EQ(module.Devices().NotificationCount(), 0u);
    EXPECT_TRUE(module.Singletons().ExistingStorages().empty());
    EXPECT_EQ(module.Devices().Window(), nullptr);
    EXPECT_EQ(messages.shown, 0);
}
