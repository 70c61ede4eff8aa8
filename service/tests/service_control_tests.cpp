#include <windows.h>
#include <wtsapi32.h>

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "error.h"
#include "service_control.h"

using namespace tandem;

namespace {

class RecordingTarget : public ServiceControlTarget {
public:
    void RequestStop() override { calls.push_back(L"stop"); }
    void OnPowerEvent(DWORD type) override {
        calls.push_back(L"power " + std::to_wstring(type));
        if (failHandlers) ThrowHr(E_FAIL);
    }
    void OnSessionChange(DWORD type) override {
        calls.push_back(L"session " + std::to_wstring(type));
        if (failHandlers) ThrowHr(E_FAIL);
    }
    void Log(std::wstring_view message) override { calls.push_back(L"log " + std::wstring(message)); }

    std::vector<std::wstring> calls;
    bool failHandlers = false;
};

class RecordingReporter : public ServiceStatusReporter {
public:
    void Report(const SERVICE_STATUS& status) noexcept override { reports.push_back(status); }
    std::vector<SERVICE_STATUS> reports;
};

}  // namespace

TEST(ServiceControl, StopAndShutdownStopTheService) {
    RecordingTarget target;
    EXPECT_EQ(HandleServiceControl(SERVICE_CONTROL_STOP, 0, target), NO_ERROR);
    EXPECT_EQ(HandleServiceControl(SERVICE_CONTROL_SHUTDOWN, 0, target), NO_ERROR);
    EXPECT_EQ(target.calls, (std::vector<std::wstring>{L"stop", L"stop"}));
}

TEST(ServiceControl, PauseContinueAndInterrogateAreAcceptedAndIgnored) {
    RecordingTarget target;
    for (DWORD control : {SERVICE_CONTROL_PAUSE, SERVICE_CONTROL_CONTINUE, SERVICE_CONTROL_INTERROGATE})
        EXPECT_EQ(HandleServiceControl(control, 0, target), NO_ERROR);
    EXPECT_TRUE(target.calls.empty());
}

TEST(ServiceControl, PowerAndSessionEventsAreHandledWithTheirTypeAndNeverFail) {
    RecordingTarget target;
    target.failHandlers = true;
    EXPECT_EQ(HandleServiceControl(SERVICE_CONTROL_POWEREVENT, PBT_APMSUSPEND, target), NO_ERROR);
    EXPECT_EQ(HandleServiceControl(SERVICE_CONTROL_SESSIONCHANGE, WTS_SESSION_LOGOFF, target), NO_ERROR);
    EXPECT_EQ(target.calls, (std::vector<std::wstring>{L"power 4", L"session 6"}));
}

TEST(ServiceControl, AnyOtherControlIsABadRequest) {
    RecordingTarget target;
    EXPECT_EQ(HandleServiceControl(SERVICE_CONTROL_PARAMCHANGE, 0, target), ERROR_CALL_NOT_IMPLEMENTED);
    EXPECT_EQ(HandleServiceControl(200, 0, target), ERROR_CALL_NOT_IMPLEMENTED);
    EXPECT_EQ(target.calls, (std::vector<std::wstring>{L"log Bad service request", L"log Bad service request"}));
}

TEST(ServiceStatus, ReportsOwnProcessStatesWithTheServedControls) {
    ServiceStatus status;
    status.Set(SERVICE_START_PENDING);  // nowhere to go yet
    RecordingReporter reporter;
    status.SetReporter(&reporter);
    status.Set(SERVICE_RUNNING);
    status.SetStopped(HRESULT_FROM_WIN32(ERROR_FILE_NOT_FOUND));
    status.SetStopped(S_OK);
    ASSERT_EQ(reporter.reports.size(), 3u);
    EXPECT_EQ(reporter.reports[0].dwServiceType, static_cast<DWORD>(SERVICE_WIN32_OWN_PROCESS));
    EXPECT_EQ(reporter.reports[0].dwCurrentState, static_cast<DWORD>(SERVICE_RUNNING));
    EXPECT_EQ(reporter.reports[0].dwControlsAccepted,
              static_cast<DWORD>(SERVICE_ACCEPT_STOP | SERVICE_ACCEPT_SHUTDOWN | SERVICE_ACCEPT_POWEREVENT |
                                 SERVICE_ACCEPT_SESSIONCHANGE));
    EXPECT_EQ(reporter.reports[1].dwCurrentState, static_cast<DWORD>(SERVICE_STOPPED));
    EXPECT_EQ(reporter.reports[1].dwWin32ExitCode, static_cast<DWORD>(ERROR_SERVICE_SPECIFIC_ERROR));
    EXPECT_EQ(reporter.reports[1].dwServiceSpecificExitCode,
              static_cast<DWORD>(HRESULT_FROM_WIN32(ERROR_FILE_NOT_FOUND)));
    EXPECT_EQ(reporter.reports[2].dwWin32ExitCode, static_cast<DWORD>(NO_ERROR));
    EXPECT_EQ(reporter.reports[2].dwServiceSpecificExitCode, 0u);
}

TEST(ServiceStatus, TheRealReporterFailsQuietlyWithoutAHandle) {
    // Outside a service there is no status handle; reporting must not raise or crash.
    ScmStatusReporter reporter(nullptr);
    SERVICE_STATUS status{SERVICE_WIN32_OWN_PROCESS, SERVICE_RUNNING, 0, 0, 0, 0, 0};
    reporter.Report(status);
    EXPECT_EQ(SetServiceStatus(nullptr, &status), FALSE);
}
