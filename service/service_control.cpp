#include "service_control.h"

#include "error.h"

namespace tandem {

DWORD HandleServiceControl(DWORD control, DWORD eventType, ServiceControlTarget& target) noexcept {
    switch (control) {
    case SERVICE_CONTROL_STOP:
    case SERVICE_CONTROL_SHUTDOWN:
        target.RequestStop();
        return NO_ERROR;
    case SERVICE_CONTROL_PAUSE:
    case SERVICE_CONTROL_CONTINUE:
    case SERVICE_CONTROL_INTERROGATE:
        return NO_ERROR;
    case SERVICE_CONTROL_POWEREVENT:
        CatchHr([&] { target.OnPowerEvent(eventType); });
        return NO_ERROR;
    case SERVICE_CONTROL_SESSIONCHANGE:
        CatchHr([&] { target.OnSessionChange(eventType); });
        return NO_ERROR;
    default:
        target.Log(L"Bad service request");
        return ERROR_CALL_NOT_IMPLEMENTED;
    }
}

void ScmStatusReporter::Report(const SERVICE_STATUS& status) noexcept {
    SERVICE_STATUS copy = status;
    SetServiceStatus(handle_, &copy);
}

void ServiceStatus::Set(DWORD state, DWORD exitCode) noexcept {
    status_.dwCurrentState = state;
    status_.dwWin32ExitCode = exitCode;
    status_.dwServiceSpecificExitCode = 0;
    status_.dwCheckPoint = 0;
    status_.dwWaitHint = 0;
    if (reporter_) reporter_->Report(status_);
}

void ServiceStatus::SetStopped(HRESULT result) noexcept {
    if (SUCCEEDED(result)) return Set(SERVICE_STOPPED);
    status_.dwCurrentState = SERVICE_STOPPED;
    status_.dwWin32ExitCode = ERROR_SERVICE_SPECIFIC_ERROR;
    status_.dwServiceSpecificExitCode = static_cast<DWORD>(result);
    if (reporter_) reporter_->Report(status_);
}

}  // namespace tandem
