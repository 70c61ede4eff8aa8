#include "service_installer.h"

#include <cstdio>

#include "error.h"
#include "registry.h"

namespace tandem {

namespace {

constexpr DWORD kEventTypesSupported = EVENTLOG_ERROR_TYPE | EVENTLOG_WARNING_TYPE | EVENTLOG_INFORMATION_TYPE;
// The double terminator ends the dependency list.
constexpr wchar_t kDependencies[] = L"TermService\0";
constexpr DWORD kStopWait = 30000;
constexpr DWORD kStopPoll = 50;

[[noreturn]] void Fail(RegistrationMessages& messages, const wchar_t* text, const std::wstring& caption) {
    const DWORD error = GetLastError();
    messages.Show(text, caption);
    ThrowWin32(error ? error : ERROR_GEN_FAILURE);
}

UniqueServiceHandle OpenManager(const std::wstring& name, RegistrationMessages& messages) {
    UniqueServiceHandle manager(OpenSCManagerW(nullptr, nullptr, SC_MANAGER_ALL_ACCESS));
    if (!manager) Fail(messages, L"Could not open Service Manager", name);
    return manager;
}

void WriteEventSource(const ServiceIdentity& service) {
    RegKey key = CreateKey(HKEY_LOCAL_MACHINE, EventSourceKey(service.name));
    WriteString(key.get(), L"EventMessageFile", service.modulePath);
    WriteDword(key.get(), L"TypesSupported", kEventTypesSupported);
}

// A service deleted while it runs stays marked for deletion, and one made
// again under its name is refused until it ends; so the stop is waited for.
void AwaitStopped(SC_HANDLE handle) {
    SERVICE_STATUS status{};
    const ULONGLONG deadline = GetTickCount64() + kStopWait;
    while (QueryServiceStatus(handle, &status) && status.dwCurrentState != SERVICE_STOPPED &&
           GetTickCount64() < deadline)
        Sleep(kStopPoll);
}

void StopForRemoval(SC_HANDLE handle, const std::wstring& name, RegistrationMessages& messages) {
    SERVICE_STATUS status{};
    if (ControlService(handle, SERVICE_CONTROL_STOP, &status)) return AwaitStopped(handle);
    const DWORD error = GetLastError();
    if (error == ERROR_SERVICE_NOT_ACTIVE) return;
    if (error == ERROR_SERVICE_CANNOT_ACCEPT_CTRL && status.dwCurrentState == SERVICE_STOP_PENDING) return;
    messages.Show(L"Could not stop service", name);
}

}  // namespace

void ConsoleRegistrationMessages::Show(std::wstring_view text, std::wstring_view caption) {
    std::fwprintf(stderr, L"%.*ls: %.*ls\n", static_cast<int>(caption.size()), caption.data(),
                  static_cast<int>(text.size()), text.data());
    std::fflush(stderr);
}

std::wstring EventSourceKey(const std::wstring& serviceName) {
    return L"SYSTEM\\CurrentControlSet\\Services\\EventLog\\Application\\" + serviceName;
}

bool IsServiceInstalled(const std::wstring& name) {
    UniqueServiceHandle manager(OpenSCManagerW(nullptr, nullptr, SC_MANAGER_CONNECT));
    if (!manager) return false;
    UniqueServiceHandle service(OpenServiceW(manager.get(), name.c_str(), SERVICE_QUERY_CONFIG));
    return static_cast<bool>(service);
}

void InstallService(const ServiceIdentity& service, RegistrationMessages& messages) {
    if (IsServiceInstalled(service.name)) return;
    UniqueServiceHandle manager = OpenManager(service.name, messages);
    const std::wstring commandLine = L"\"" + service.modulePath + L"\"";
    UniqueServiceHandle created(CreateServiceW(manager.get(), service.name.c_str(), service.displayName.c_str(),
                                               SERVICE_ALL_ACCESS, SERVICE_WIN32_OWN_PROCESS, SERVICE_AUTO_START,
                                               SERVICE_ERROR_NORMAL, commandLine.c_str(), nullptr, nullptr,
                                               kDependencies, nullptr, nullptr));
    if (!created) Fail(messages, L"Could not start service", service.name);
    WriteEventSource(service);
}

void RemoveService(const std::wstring& name, RegistrationMessages& messages) {
    if (!IsServiceInstalled(name)) return;
    UniqueServiceHandle manager = OpenManager(name, messages);
    UniqueServiceHandle service(OpenServiceW(manager.get(), name.c_str(), SERVICE_STOP | SERVICE_QUERY_STATUS | DELETE));
    if (!service) Fail(messages, L"Could not open service", name);
    StopForRemoval(service.get(), name, messages);
    const BOOL deleted = DeleteService(service.get());
    const DWORD error = GetLastError();
    CatchHr([&] { DeleteKeyTree(HKEY_LOCAL_MACHINE, EventSourceKey(name)); });
    if (!deleted) {
        SetLastError(error);
        Fail(messages, L"Could not delete service", name);
    }
}

}  // namespace tandem
