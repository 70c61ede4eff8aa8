#pragma once

#include <windows.h>

#include <string_view>

namespace tandem {

// What the service control handler acts on.
class ServiceControlTarget {
public:
    virtual ~ServiceControlTarget() = default;
    virtual void RequestStop() = 0;
    virtual void OnPowerEvent(DWORD eventType) = 0;
    virtual void OnSessionChange(DWORD eventType) = 0;
    virtual void Log(std::wstring_view message) = 0;
};

// The extended handler's answer to a control; runs on the dispatcher's thread.
DWORD HandleServiceControl(DWORD control, DWORD eventType, ServiceControlTarget& target) noexcept;

// Where status reports go: the service control manager, or a test.
class ServiceStatusReporter {
public:
    virtual ~ServiceStatusReporter() = default;
    virtual void Report(const SERVICE_STATUS& status) noexcept = 0;
};

class ScmStatusReporter final : public ServiceStatusReporter {
public:
    explicit ScmStatusReporter(SERVICE_STATUS_HANDLE handle) noexcept : handle_(handle) {}
    void Report(const SERVICE_STATUS& status) noexcept override;

private:
    SERVICE_STATUS_HANDLE handle_;
};

// The service's status as reported; reports go nowhere until a reporter is set.
class ServiceStatus {
public:
    static constexpr DWORD kAcceptedControls =
        SERVICE_ACCEPT_STOP | SERVICE_ACCEPT_SHUTDOWN | SERVICE_ACCEPT_POWEREVENT | SERVICE_ACCEPT_SESSIONCHANGE;

    void SetReporter(ServiceStatusReporter* reporter) noexcept { reporter_ = reporter; }
    // Sets the state and the exit code and reports them.
    void Set(DWORD state, DWORD exitCode = NO_ERROR) noexcept;
    // A failed HRESULT is reported as the service's own exit code.
    void SetStopped(HRESULT result) noexcept;
    const SERVICE_STATUS& Current() const noexcept { return status_; }

private:
    SERVICE_STATUS status_{SERVICE_WIN32_OWN_PROCESS, SERVICE_STOPPED, kAcceptedControls, NO_ERROR, 0, 0, 0};
    ServiceStatusReporter* reporter_ = nullptr;
};

}  // namespace tandem
