#pragma once

#include <windows.h>

#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "com/class_object_registration.h"
#include "command_line.h"
#include "console_user.h"
#include "device_event_receiver.h"
#include "event_log.h"
#include "idle_shutdown.h"
#include "service_control.h"
#include "service_installer.h"
#include "service_singletons.h"
#include "storage_device_actions.h"

namespace tandem {

// The process: registration switches, the service's life and the plain
// local COM server's.
class CTandemModule final : public ServiceControlTarget {
public:
    static constexpr DWORD kShutdownPause = 1000;
    // How long the stop waits for client sinks to take the last events.
    static constexpr DWORD kEventDeliveryTimeout = 5000;

    // Joins the multithreaded apartment; check ComFailed before going on.
    explicit CTandemModule(HMODULE module, RegistrationMessages& messages = DefaultMessages(),
                           ConsoleTokenSource& tokens = DefaultConsoleTokenSource());
    CTandemModule(const CTandemModule&) = delete;
    CTandemModule& operator=(const CTandemModule&) = delete;
    ~CTandemModule() override;

    bool ComFailed() const noexcept { return comFailed_; }
    // The process's exit code for its command line (without the program name).
    int Main(std::wstring_view arguments);
    HRESULT Register(ModuleAction action);
    // As a local server until the idle time-out or a stop request.
    HRESULT RunLocalServer();

    const std::wstring& ServiceName() const noexcept { return serviceName_; }
    std::wstring DisplayName() const;
    const ServiceStatus& Status() const noexcept { return status_; }
    ServiceSingletons& Singletons() noexcept { return singletons_; }
    const DeviceEventReceiver& Devices() const noexcept { return devices_; }

    void RequestStop() override;
    void OnPowerEvent(DWORD eventType) override;
    void OnSessionChange(DWORD eventType) override;
    void Log(std::wstring_view message) override { log_.Report(message); }

private:
    static RegistrationMessages& DefaultMessages();
    static void WINAPI ServiceMainEntry(DWORD argc, LPWSTR* argv);
    static DWORD WINAPI HandlerEntry(DWORD control, DWORD eventType, void* eventData, void* context);

    int RunAsService();
    void ServiceMain();
    HRESULT Run();
    HRESULT StartUp();
    void StartStorages();
    void MessageLoop();
    HRESULT StopAll();
    void PostStop() noexcept;
    void StartIdleShutdown();

    HMODULE module_;
    RegistrationMessages& messages_;
    ConsoleTokenSource& tokens_;
    std::wstring serviceName_;
    bool comInitialized_ = false;
    bool comFailed_ = false;
    bool serviceMode_ = false;
    DWORD mainThread_ = 0;
    ServiceStatus status_;
    std::unique_ptr<ScmStatusReporter> reporter_;
    EventLog log_;
    StorageDeviceActions deviceActions_;
    DeviceEventReceiver devices_;
    ServiceSingletons singletons_;
    std::vector<ClassObjectRegistration> classObjects_;
    std::unique_ptr<IdleShutdownMonitor> idle_;
};

}  // namespace tandem
