#pragma once

#include <windows.h>

#include <string>
#include <vector>

#include "testing/machine_lock.h"
#include "unique_resource.h"

namespace tandem::cdbctrl::test {

// The stand-in database service and both modules, installed in the test
// prefix for one test and removed after it; one test at a time, since the
// service manager and the class registrations are the prefix's own.
class CdbServiceStandIn {
public:
    explicit CdbServiceStandIn(bool installService = true);
    CdbServiceStandIn(const CdbServiceStandIn&) = delete;
    CdbServiceStandIn& operator=(const CdbServiceStandIn&) = delete;
    ~CdbServiceStandIn();

    void Start();
    void Stop();
    // Reports state (2, 3) instead of running until Release.
    void Hold(DWORD state);
    void Release();
    void Pause();
    void Continue();

    void SetResult(HRESULT result);
    DWORD Created() const;
    DWORD Calls() const;
    std::vector<std::wstring> LastCall() const;

private:
    void AwaitState(DWORD state) const;
    void Control(DWORD control, DWORD state);
    void RemoveAll();

    tandem::test::MachineLock lock_;
    UniqueServiceHandle manager_;
};

// Runs a program built beside the tests; its exit code.
DWORD RunBuilt(const std::wstring& program, const std::wstring& arguments);

}  // namespace tandem::cdbctrl::test
