#include "service_host.h"

#include <windows.h>
#include <objbase.h>

#include "com/class_factory.h"
#include "com/class_object_registration.h"
#include "command_object.h"
#include "error.h"
#include "registry.h"
#include "stand_in_settings.h"
#include "sync_lock.h"
#include "unique_resource.h"

namespace tandem::cdbsvc {
namespace {

// The status the service shows; the tests hold it in other states on demand.
class StatusReporter {
public:
    void Attach(SERVICE_STATUS_HANDLE handle) noexcept { handle_ = handle; }

    void Report(DWORD state, HRESULT failure = S_OK) noexcept {
        CSyncLockHolder hold(lock_);
        SERVICE_STATUS status{};
        status.dwServiceType = SERVICE_WIN32_OWN_PROCESS;
        status.dwCurrentState = state;
        status.dwControlsAccepted =
            state == SERVICE_START_PENDING ? 0 : SERVICE_ACCEPT_STOP | SERVICE_ACCEPT_PAUSE_CONTINUE;
        status.dwWaitHint = state == SERVICE_RUNNING || state == SERVICE_PAUSED ? 0 : 30000;
        if (FAILED(failure)) {
            status.dwWin32ExitCode = ERROR_SERVICE_SPECIFIC_ERROR;
            status.dwServiceSpecificExitCode = static_cast<DWORD>(failure);
        }
        SetServiceStatus(handle_, &status);
    }

private:
    CSyncLock lock_;
    SERVICE_STATUS_HANDLE handle_ = nullptr;
};

StatusReporter g_status;
UniqueHandle g_stop;

DWORD WINAPI Control(DWORD control, DWORD, void*, void*) {
    switch (control) {
    case SERVICE_CONTROL_STOP: SetEvent(g_stop.get()); return NO_ERROR;
    case SERVICE_CONTROL_PAUSE: g_status.Report(SERVICE_PAUSED); return NO_ERROR;
    case SERVICE_CONTROL_CONTINUE: g_status.Report(SERVICE_RUNNING); return NO_ERROR;
    case SERVICE_CONTROL_INTERROGATE: return NO_ERROR;
    default: return ERROR_CALL_NOT_IMPLEMENTED;
    }
}

DWORD HeldState(HKEY parameters) {
    const DWORD held = ReadDword(parameters, kHoldStateValue, 0);
    return held == SERVICE_START_PENDING || held == SERVICE_STOP_PENDING || held == SERVICE_PAUSED ? held
                                                                                                   : SERVICE_RUNNING;
}

// Reports the held state whenever the tests change it, until stopped.
void Serve() {
    RegKey parameters = CreateKey(HKEY_LOCAL_MACHINE, kParametersKey, KEY_READ | KEY_NOTIFY);
    UniqueHandle changed(CreateEventW(nullptr, FALSE, FALSE, nullptr));
    if (!changed) ThrowLastError();
    for (;;) {
        CheckWin32(RegNotifyChangeKeyValue(parameters.get(), FALSE, REG_NOTIFY_CHANGE_LAST_SET, changed.get(), TRUE));
        g_status.Report(HeldState(parameters.get()));
        const HANDLE events[] = {g_stop.get(), changed.get()};
        if (WaitForMultipleObjects(2, events, FALSE, INFINITE) != WAIT_OBJECT_0 + 1) return;
    }
}

void WINAPI ServiceMain(DWORD, wchar_t**) {
    g_status.Attach(RegisterServiceCtrlHandlerExW(kServiceName, Control, nullptr));
    g_status.Report(SERVICE_START_PENDING);
    const HRESULT hr = CatchHr([] {
        CheckHr(CoInitializeEx(nullptr, COINIT_MULTITHREADED));
        {
            ClassObjectRegistration registration =
                RegisterClassObject(CLSID_ZephCdbCommand, MakeComObject<ClassFactory<CZephCdbCommand>>().get(),
                                    CLSCTX_LOCAL_SERVER, REGCLS_MULTIPLEUSE);
            Serve();
            g_status.Report(SERVICE_STOP_PENDING);
        }
        CoUninitialize();
    });
    g_status.Report(SERVICE_STOPPED, hr);
}

}  // namespace

int RunService() {
    g_stop.reset(CreateEventW(nullptr, TRUE, FALSE, nullptr));
    if (!g_stop) return static_cast<int>(GetLastError());
    SERVICE_TABLE_ENTRYW table[] = {{const_cast<wchar_t*>(kServiceName), ServiceMain}, {nullptr, nullptr}};
    return StartServiceCtrlDispatcherW(table) ? 0 : static_cast<int>(GetLastError());
}

}  // namespace tandem::cdbsvc
