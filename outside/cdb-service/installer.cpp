#include "installer.h"

#include <windows.h>

#include <string>

#include "ZephCdbSvc.h"
#include "error.h"
#include "module_path.h"
#include "registry.h"
#include "stand_in_settings.h"
#include "strings.h"
#include "unique_resource.h"

namespace tandem::cdbsvc {
namespace {

constexpr DWORD kStopWaitMs = 30000;

std::wstring ClassKey() { return L"CLSID\\" + GuidToString(CLSID_ZephCdbCommand); }

UniqueServiceHandle OpenManager() {
    UniqueServiceHandle manager(OpenSCManagerW(nullptr, nullptr, SC_MANAGER_ALL_ACCESS));
    if (!manager) ThrowLastError();
    return manager;
}

void StopAndWait(SC_HANDLE service) {
    SERVICE_STATUS status{};
    if (!ControlService(service, SERVICE_CONTROL_STOP, &status)) return;
    const ULONGLONG deadline = GetTickCount64() + kStopWaitMs;
    while (QueryServiceStatus(service, &status) && status.dwCurrentState != SERVICE_STOPPED &&
           GetTickCount64() < deadline)
        Sleep(20);
}

}  // namespace

void Install() {
    const std::wstring command = L"\"" + ModuleFileName(nullptr) + L"\"";
    UniqueServiceHandle manager = OpenManager();
    UniqueServiceHandle service(CreateServiceW(manager.get(), kServiceName, kServiceName, SERVICE_ALL_ACCESS,
                                               SERVICE_WIN32_OWN_PROCESS, SERVICE_DEMAND_START,
                                               SERVICE_ERROR_NORMAL, command.c_str(), nullptr, nullptr, nullptr,
                                               nullptr, nullptr));
    if (!service && GetLastError() != ERROR_SERVICE_EXISTS) ThrowLastError();
    CreateKey(HKEY_LOCAL_MACHINE, kParametersKey);
    RegKey server = CreateKey(HKEY_CLASSES_ROOT, ClassKey() + L"\\LocalServer32");
    WriteString(server.get(), nullptr, command);
}

void Uninstall() {
    DeleteKeyTree(HKEY_CLASSES_ROOT, ClassKey());
    UniqueServiceHandle manager = OpenManager();
    UniqueServiceHandle service(OpenServiceW(manager.get(), kServiceName, SERVICE_ALL_ACCESS));
    if (!service) {
        if (GetLastError() == ERROR_SERVICE_DOES_NOT_EXIST) return;
        ThrowLastError();
    }
    StopAndWait(service.get());
    if (!DeleteService(service.get()) && GetLastError() != ERROR_SERVICE_MARKED_FOR_DELETE) ThrowLastError();
}

}  // namespace tandem::cdbsvc
