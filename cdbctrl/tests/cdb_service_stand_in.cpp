#include "cdb_service_stand_in.h"

#include <gtest/gtest.h>

#include "error.h"
#include "module_path.h"
#include "registry.h"
#include "testing/child_process.h"

namespace tandem::cdbctrl::test {
namespace {

constexpr wchar_t kServiceName[] = L"ZephCdbSvc";
constexpr wchar_t kParametersKey[] = L"SYSTEM\\CurrentControlSet\\Services\\ZephCdbSvc\\Parameters";
constexpr DWORD kStateLimitMs = 30000;

RegKey Parameters() { return CreateKey(HKEY_LOCAL_MACHINE, kParametersKey); }

DWORD Counter(const wchar_t* name) { return ReadDword(Parameters().get(), name, 0); }

DWORD Regsvr32(const std::wstring& switches, const wchar_t* module) {
    return tandem::test::RunProgram(L"regsvr32.exe /s " + switches + L" \"" + ModuleDirectory(nullptr) + module + L"\"");
}

}  // namespace

DWORD RunBuilt(const std::wstring& program, const std::wstring& arguments) {
    return tandem::test::RunProgram(L"\"" + ModuleDirectory(nullptr) + program + L"\" " + arguments);
}

CdbServiceStandIn::CdbServiceStandIn(bool installService)
    : lock_(L"Local\\TandemCdbServiceTests"), manager_(OpenSCManagerW(nullptr, nullptr, SC_MANAGER_ALL_ACCESS)) {
    if (!manager_) ThrowLastError();
    RemoveAll();
    if (installService && RunBuilt(L"ZephCdbSvc.exe", L"/Install") != 0) ThrowHr(E_FAIL);
    if (Regsvr32(L"", L"ZephCdbSvcPS.dll") != 0) ThrowHr(E_FAIL);
    if (Regsvr32(L"", L"ZephCdbCtrl.dll") != 0) ThrowHr(E_FAIL);
}

CdbServiceStandIn::~CdbServiceStandIn() {
    CatchHr([this] { RemoveAll(); });
}

void CdbServiceStandIn::RemoveAll() {
    RunBuilt(L"ZephCdbSvc.exe", L"/Uninstall");
    Regsvr32(L"/u", L"ZephCdbCtrl.dll");
    Regsvr32(L"/u", L"ZephCdbSvcPS.dll");
    DeleteKeyTree(HKEY_LOCAL_MACHINE, kParametersKey);
}

void CdbServiceStandIn::Start() {
    UniqueServiceHandle service(OpenServiceW(manager_.get(), kServiceName, SERVICE_ALL_ACCESS));
    if (!service || !StartServiceW(service.get(), 0, nullptr)) ThrowLastError();
    AwaitState(SERVICE_RUNNING);
}

void CdbServiceStandIn::Stop() { Control(SERVICE_CONTROL_STOP, SERVICE_STOPPED); }
void CdbServiceStandIn::Pause() { Control(SERVICE_CONTROL_PAUSE, SERVICE_PAUSED); }
void CdbServiceStandIn::Continue() { Control(SERVICE_CONTROL_CONTINUE, SERVICE_RUNNING); }

void CdbServiceStandIn::Hold(DWORD state) {
    WriteDword(Parameters().get(), L"HoldState", state);
    AwaitState(state);
}

void CdbServiceStandIn::Release() {
    WriteDword(Parameters().get(), L"HoldState", 0);
    AwaitState(SERVICE_RUNNING);
}

void CdbServiceStandIn::SetResult(HRESULT result) {
    WriteDword(Parameters().get(), L"Result", static_cast<DWORD>(result));
}

DWORD CdbServiceStandIn::Created() const { return Counter(L"Created"); }
DWORD CdbServiceStandIn::Calls() const { return Counter(L"Calls"); }

std::vector<std::wstring> CdbServiceStandIn::LastCall() const {
    DWORD size = 0;
    if (RegGetValueW(HKEY_LOCAL_MACHINE, kParametersKey, L"LastCall", RRF_RT_REG_MULTI_SZ, nullptr, nullptr, &size))
        return {};
    std::wstring data(size / sizeof(wchar_t), L'\0');
    CheckWin32(RegGetValueW(HKEY_LOCAL_MACHINE, kParametersKey, L"LastCall", RRF_RT_REG_MULTI_SZ, nullptr,
                            data.data(), &size));
    std::vector<std::wstring> call;
    for (const wchar_t* item = data.c_str(); *item; item += wcslen(item) + 1) call.emplace_back(item);
    return call;
}

void CdbServiceStandIn::Control(DWORD control, DWORD state) {
    UniqueServiceHandle service(OpenServiceW(manager_.get(), kServiceName, SERVICE_ALL_ACCESS));
    SERVICE_STATUS status{};
    if (!service || !ControlService(service.get(), control, &status)) ThrowLastError();
    AwaitState(state);
}

// The manager has no wait for a state; it is asked until the state comes or time is up.
void CdbServiceStandIn::AwaitState(DWORD state) const {
    UniqueServiceHandle service(OpenServiceW(manager_.get(), kServiceName, SERVICE_QUERY_STATUS));
    if (!service) ThrowLastError();
    SERVICE_STATUS status{};
    const ULONGLONG deadline = GetTickCount64() + kStateLimitMs;
    while (QueryServiceStatus(service.get(), &status) && status.dwCurrentState != state) {
        if (GetTickCount64() > deadline) ThrowHr(HRESULT_FROM_WIN32(ERROR_TIMEOUT));
        Sleep(10);
    }
}

}  // namespace tandem::cdbctrl::test
