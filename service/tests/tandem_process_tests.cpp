#include <windows.h>
#include <tlhelp32.h>

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>

#include "MarloTandem.h"
#include "MarloZephFw.h"
#include "com_ptr.h"
#include "error.h"
#include "folder_keys.h"
#include "module_path.h"
#include "registry.h"
#include "service_installer.h"
#include "storage_info.h"
#include "testing/com_apartment.h"
#include "testing/machine_lock.h"
#include "testing/test_drive.h"
#include "unique_resource.h"

using namespace tandem;

namespace {

// Idle time-out and shutdown pause are a few seconds; this is the limit of patience.
constexpr DWORD kExitLimit = 60000;

UniqueHandle OutputFile(const std::wstring& path) {
    SECURITY_ATTRIBUTES inherit{sizeof(inherit), nullptr, TRUE};
    // Wine's helper processes may hold an inherited copy for a while: share everything.
    UniqueHandle file(CreateFileW(path.c_str(), GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                                  &inherit, CREATE_ALWAYS,
                                  FILE_ATTRIBUTE_NORMAL, nullptr));
    if (!file) ThrowLastError();
    return file;
}

// Runs a program with its output in files beside the tests; its exit code.
DWORD RunProgram(std::wstring commandLine) {
    const std::wstring directory = ModuleDirectory(nullptr);
    UniqueHandle out = OutputFile(directory + L"tandem_test.out");
    UniqueHandle err = OutputFile(directory + L"tandem_test.err");
    STARTUPINFOW startup{};
    startup.cb = sizeof(startup);
    startup.dwFlags = STARTF_USESTDHANDLES;
    startup.hStdInput = nullptr;
    startup.hStdOutput = out.get();
    startup.hStdError = err.get();
    PROCESS_INFORMATION process{};
    if (!CreateProcessW(nullptr, commandLine.data(), nullptr, nullptr, TRUE, 0, nullptr, directory.c_str(), &startup,
                        &process))
        ThrowLastError();
    UniqueHandle processHandle(process.hProcess);
    UniqueHandle threadHandle(process.hThread);
    if (WaitForSingleObject(processHandle.get(), kExitLimit) != WAIT_OBJECT_0) {
        TerminateProcess(processHandle.get(), 1);
        ADD_FAILURE() << "tandem.exe did not exit";
        return STILL_ACTIVE;
    }
    DWORD exitCode = 0;
    GetExitCodeProcess(processHandle.get(), &exitCode);
    return exitCode;
}

// What the last program run wrote to its standard output.
std::string ProgramOutput() {
    std::ifstream file(std::filesystem::path(ModuleDirectory(nullptr) + L"tandem_test.out"), std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(file), {});
}

std::wstring BuiltProgram(const wchar_t* name) { return L"\"" + ModuleDirectory(nullptr) + name + L"\" "; }

// A local server ends itself once idle. After a client that advised on the
// events it stays (the platform keeps the client's references beyond its
// process under Wine): it is ended here, so the next test does not meet it.
void QuitThreadsOf(DWORD processId) {
    UniqueHandle snapshot(CreateToolhelp32Snapshot(TH32CS_SNAPTHREAD, 0));
    if (!snapshot) return;
    THREADENTRY32 thread{};
    thread.dwSize = sizeof(thread);
    for (BOOL more = Thread32First(snapshot.get(), &thread); more; more = Thread32Next(snapshot.get(), &thread))
        if (thread.th32OwnerProcessID == processId) PostThreadMessageW(thread.th32ThreadID, WM_QUIT, 0, 0);
}

void EndServer() {
    UniqueHandle snapshot(CreateToolhelp32Snapshot(TH32CS_SNAPPROCESS, 0));
    ASSERT_TRUE(snapshot);
    PROCESSENTRY32W entry{};
    entry.dwSize = sizeof(entry);
    for (BOOL more = Process32FirstW(snapshot.get(), &entry); more; more = Process32NextW(snapshot.get(), &entry)) {
        if (_wcsicmp(entry.szExeFile, L"tandem.exe") != 0) continue;
        UniqueHandle server(OpenProcess(SYNCHRONIZE | PROCESS_TERMINATE, FALSE, entry.th32ProcessID));
        if (!server || WaitForSingleObject(server.get(), 10000) == WAIT_OBJECT_0) continue;
        // Asked to quit, it revokes its classes; one ended by force would
        // still stand for them until the wine server goes.
        QuitThreadsOf(entry.th32ProcessID);
        if (WaitForSingleObject(server.get(), kExitLimit) == WAIT_OBJECT_0) continue;
        TerminateProcess(server.get(), 1);
        WaitForSingleObject(server.get(), kExitLimit);
    }
}

DWORD RunTandem(const std::wstring& arguments) {
    return RunProgram(L"\"" + ModuleDirectory(nullptr) + L"tandem.exe\" " + arguments);
}

DWORD RunRegsvr32(const std::wstring& switches, const wchar_t* module) {
    return RunProgram(L"regsvr32.exe /s " + switches + L" \"" + ModuleDirectory(nullptr) + module + L"\"");
}

DWORD SubKeyCount(const std::wstring& key) {
    DWORD count = 0;
    CheckWin32(RegQueryInfoKeyW(OpenKey(HKEY_LOCAL_MACHINE, key).get(), nullptr, nullptr, nullptr, &count, nullptr,
                                nullptr, nullptr, nullptr, nullptr, nullptr, nullptr));
    return count;
}

// The manager has no wait for a state; it is asked until the state comes or time is up.
SERVICE_STATUS AwaitState(SC_HANDLE service, DWORD state) {
    SERVICE_STATUS status{};
    const ULONGLONG deadline = GetTickCount64() + kExitLimit;
    while (QueryServiceStatus(service, &status) && status.dwCurrentState != state && GetTickCount64() < deadline)
        Sleep(50);
    return status;
}

// The program is registered and run in the machine's own registry and
// service manager, and writes its output beside the tests: one at a time.
class TandemProcess : public ::testing::Test {
    test::MachineLock lock_{L"Local\\TandemProcessTests"};
};

}  // namespace

TEST_F(TandemProcess, InstalledAsAServiceItRunsAndStopsThroughTheManager) {
    // Registration makes the lists a fresh machine lacks.
    DeleteKeyTree(HKEY_LOCAL_MACHINE, kStorageListKey);
    DeleteKeyTree(HKEY_LOCAL_MACHINE, kFolderListKey);
    ASSERT_EQ(RunTandem(L"/Service"), 0u);
    ASSERT_EQ(RunTandem(L"/Service"), 0u);  // installed already: removed and made again
    {
        UniqueServiceHandle manager(OpenSCManagerW(nullptr, nullptr, SC_MANAGER_CONNECT));
        ASSERT_TRUE(manager);
        UniqueServiceHandle service(
            OpenServiceW(manager.get(), L"Tandem", SERVICE_START | SERVICE_STOP | SERVICE_QUERY_STATUS));
        ASSERT_TRUE(service);
        ASSERT_TRUE(StartServiceW(service.get(), 0, nullptr));
        SERVICE_STATUS status = AwaitState(service.get(), SERVICE_RUNNING);
        EXPECT_EQ(status.dwCurrentState, static_cast<DWORD>(SERVICE_RUNNING));
    }
    // Installing over the running service stops it first, so it can be made again.
    ASSERT_EQ(RunTandem(L"/Service"), 0u);
    {
        UniqueServiceHandle manager(OpenSCManagerW(nullptr, nullptr, SC_MANAGER_CONNECT));
        ASSERT_TRUE(manager);
        UniqueServiceHandle service(
            OpenServiceW(manager.get(), L"Tandem", SERVICE_START | SERVICE_STOP | SERVICE_QUERY_STATUS));
        ASSERT_TRUE(service);
        SERVICE_STATUS status{};
        ASSERT_TRUE(QueryServiceStatus(service.get(), &status));
        EXPECT_EQ(status.dwCurrentState, static_cast<DWORD>(SERVICE_STOPPED));
        ASSERT_TRUE(StartServiceW(service.get(), 0, nullptr));
        status = AwaitState(service.get(), SERVICE_RUNNING);
        EXPECT_EQ(status.dwCurrentState, static_cast<DWORD>(SERVICE_RUNNING));
        EXPECT_EQ(status.dwControlsAccepted & (SERVICE_ACCEPT_STOP | SERVICE_ACCEPT_SHUTDOWN),
                  static_cast<DWORD>(SERVICE_ACCEPT_STOP | SERVICE_ACCEPT_SHUTDOWN));
        ASSERT_TRUE(ControlService(service.get(), SERVICE_CONTROL_STOP, &status));
        status = AwaitState(service.get(), SERVICE_STOPPED);
        EXPECT_EQ(status.dwCurrentState, static_cast<DWORD>(SERVICE_STOPPED));
        EXPECT_EQ(status.dwWin32ExitCode, static_cast<DWORD>(NO_ERROR));
    }
    EXPECT_EQ(RunTandem(L"/UnregServer"), 0u);
    EXPECT_FALSE(IsServiceInstalled(L"Tandem"));
}

TEST_F(TandemProcess, RunsAsAPlainLocalServerAndEndsWhenIdle) {
    // Registration makes the lists a fresh machine lacks.
    DeleteKeyTree(HKEY_LOCAL_MACHINE, kStorageListKey);
    DeleteKeyTree(HKEY_LOCAL_MACHINE, kFolderListKey);
    ASSERT_EQ(RunTandem(L"/RegServer"), 0u);
    EXPECT_EQ(RunTandem(L""), 0u);
    EXPECT_EQ(RunTandem(L"-unregserver"), 0u);
}

TEST_F(TandemProcess, WithoutItsApplicationIdTheProgramEndsWithTheError) {
    ASSERT_EQ(RunTandem(L"/UnregServer"), 0u);
    EXPECT_EQ(RunTandem(L"/NoSuchSwitch"), static_cast<DWORD>(HRESULT_FROM_WIN32(ERROR_FILE_NOT_FOUND)));
}

TEST_F(TandemProcess, AStartUpThatCannotReadItsListsFailsCleanlyWithTheError) {
    for (const wchar_t* list : {kStorageListKey, kFolderListKey}) {
        ASSERT_EQ(RunTandem(L"/RegServer"), 0u);
        DeleteKeyTree(HKEY_LOCAL_MACHINE, list);
        EXPECT_EQ(RunTandem(L""), static_cast<DWORD>(HRESULT_FROM_WIN32(ERROR_FILE_NOT_FOUND))) << list;
        EXPECT_EQ(RunTandem(L"/UnregServer"), 0u);
    }
}

TEST_F(TandemProcess, AClientCreatesTheStorageManagerInTheServerProcess) {
    // The proxies come from the watcher library's module, which other tests register too.
    test::MachineLock proxies(L"Local\\TandemTypeLibraryRegistrationTests");
    ASSERT_EQ(RunTandem(L"/RegServer"), 0u);
    ASSERT_EQ(RunRegsvr32(L"", L"MarloZephFw.dll"), 0u);
    {
        test::ComApartment apartment;
        ComPtr<ITnStorageManager> manager;
        ASSERT_EQ(CoCreateInstance(CLSID_TnStorageManager, nullptr, CLSCTX_LOCAL_SERVER, IID_ITnStorageManager,
                                   manager.put_void()),
                  S_OK);
        ComPtr<ITnStorageInfoList> storages;
        ASSERT_EQ(manager->get_Storages(storages.put()), S_OK);
        LONG count = -1;
        ASSERT_EQ(storages->get_count(&count), S_OK);
        EXPECT_EQ(static_cast<DWORD>(count), SubKeyCount(kStorageListKey));
        ComPtr<IProvideClassInfo2> classInfo;
        ASSERT_EQ(manager.as(classInfo), S_OK);
        GUID source{};
        ASSERT_EQ(classInfo->GetGUID(GUIDKIND_DEFAULT_SOURCE_DISP_IID, &source), S_OK);
        EXPECT_TRUE(IsEqualGUID(source, DIID__ITnStorageManagerEvents));
    }
    EXPECT_EQ(RunRegsvr32(L"/u", L"MarloZephFw.dll"), 0u);
    EXPECT_EQ(RunTandem(L"/UnregServer"), 0u);
}

// The proxies and the plug-in library come from the type-library modules,
// which other tests register too; both are gone again at the end.
class RegisteredModules {
public:
    RegisteredModules() {
        for (const wchar_t* module : kModules) EXPECT_EQ(RunRegsvr32(L"", module), 0u) << module;
    }
    RegisteredModules(const RegisteredModules&) = delete;
    RegisteredModules& operator=(const RegisteredModules&) = delete;
    ~RegisteredModules() {
        for (const wchar_t* module : kModules) EXPECT_EQ(RunRegsvr32(L"/u", module), 0u) << module;
    }

private:
    static constexpr const wchar_t* kModules[] = {L"MarloZephFw.dll", L"TandemPlugin.dll"};
    test::MachineLock lock_{L"Local\\TandemTypeLibraryRegistrationTests"};
};

// Script hosts see only objects with IDispatch in a For Each or an Enumerator.
// Runs ahead of the event client: the server that client leaves behind is ended
// from outside, and under Wine its classes stay registered as dead objects.
TEST_F(TandemProcess, ScriptClientsWalkTheCollectionsOfTheRunningService) {
    test::TestDrive drive(L'R', DRIVE_FIXED);
    ASSERT_TRUE(CreateDirectoryW((drive.Root() + L"Photos").c_str(), nullptr));
    // A script that failed half-way in an earlier run may have left its folder behind.
    DeleteKeyTree(HKEY_LOCAL_MACHINE, kStorageListKey);
    DeleteKeyTree(HKEY_LOCAL_MACHINE, kFolderListKey);
    ASSERT_EQ(RunTandem(L"/Service"), 0u);
    CreateKey(HKEY_LOCAL_MACHINE, std::wstring(kWatcherKey) + L"\\Plugin");
    {
        RegisteredModules modules;
        UniqueServiceHandle manager(OpenSCManagerW(nullptr, nullptr, SC_MANAGER_CONNECT));
        ASSERT_TRUE(manager);
        UniqueServiceHandle service(OpenServiceW(manager.get(), L"Tandem", SERVICE_START | SERVICE_STOP | SERVICE_QUERY_STATUS));
        ASSERT_TRUE(service);
        ASSERT_TRUE(StartServiceW(service.get(), 0, nullptr));
        ASSERT_EQ(AwaitState(service.get(), SERVICE_RUNNING).dwCurrentState, static_cast<DWORD>(SERVICE_RUNNING));
        // Each script checks each step itself (a late-bound failure of a first-generation
        // method must come back as its result, not as a script error); its exit code
        // names the first that failed. A script error ends cscript with 0 under Wine:
        // only the last line tells a finished script. Each leaves the service as it found it.
        for (const wchar_t* script : {L"script_client.vbs", L"script_client.js"}) {
            SCOPED_TRACE(script);
            const DWORD exitCode = RunProgram(L"cscript.exe //nologo " + BuiltProgram(script) + drive.Root() +
                                              L"Photos " + drive.Root());
            const std::string output = ProgramOutput();
            EXPECT_EQ(exitCode, 0u) << output;
            EXPECT_NE(output.find("done"), std::string::npos) << output;
        }

        SERVICE_STATUS status{};
        ControlService(service.get(), SERVICE_CONTROL_STOP, &status);
        EXPECT_EQ(AwaitState(service.get(), SERVICE_STOPPED).dwCurrentState, static_cast<DWORD>(SERVICE_STOPPED));
    }
    EXPECT_EQ(RunTandem(L"/UnregServer"), 0u);
}

// The client is a program of its own: every event crosses from the server's
// process into the client's through the marshaller.
TEST_F(TandemProcess, AClientInAnotherProcessReceivesTheEventsOfAllThreeInterfaces) {
    test::TestDrive drive(L'Q', DRIVE_FIXED);
    ASSERT_TRUE(CreateDirectoryW((drive.Root() + L"Music").c_str(), nullptr));
    ASSERT_EQ(RunTandem(L"/RegServer"), 0u);
    // An installation brings the plug-in list, empty here.
    CreateKey(HKEY_LOCAL_MACHINE, std::wstring(kWatcherKey) + L"\\Plugin");
    {
        RegisteredModules modules;
        const DWORD failedSteps = RunProgram(BuiltProgram(L"event_client.exe") + drive.Root() + L"Music " + drive.Root());
        const std::string output = ProgramOutput();
        EXPECT_EQ(failedSteps, 0u) << output;
        EXPECT_NE(output.find("folder progress 0 Q:\\Music 0"), std::string::npos) << output;
        EndServer();
    }
    EXPECT_EQ(RunTandem(L"/UnregServer"), 0u);
}
