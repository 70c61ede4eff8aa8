#include "database_service.h"

#include "unique_resource.h"

namespace tandem::cdbctrl {

HRESULT ResultForServiceState(DWORD state) noexcept {
    switch (state) {
    case SERVICE_STOPPED: return ZEPHCDB_E_SERVICE_STOPPED;
    case SERVICE_START_PENDING: return ZEPHCDB_E_SERVICE_STARTING;
    case SERVICE_STOP_PENDING: return ZEPHCDB_E_SERVICE_STOPPING;
    case SERVICE_RUNNING: return S_OK;
    default: return E_FAIL;
    }
}

HRESULT CheckDatabaseService() noexcept {
    UniqueServiceHandle manager(OpenSCManagerW(nullptr, nullptr, GENERIC_READ));
    if (!manager) return ResultForServiceState(0);
    UniqueServiceHandle service(OpenServiceW(manager.get(), kDatabaseServiceName, GENERIC_READ));
    if (!service) return ResultForServiceState(0);
    SERVICE_STATUS status{};
    if (!QueryServiceStatus(service.get(), &status)) return ZEPHCDB_E_STATUS_UNKNOWN;
    return ResultForServiceState(status.dwCurrentState);
}

HRESULT TranslateCommandResult(HRESULT result) noexcept {
    if (result == ZEPHCDBSVC_E_STARTING) return ZEPHCDB_E_SERVICE_STARTING;
    if (result == ZEPHCDBSVC_E_STOPPING) return ZEPHCDB_E_SERVICE_STOPPING;
    return result;
}

}  // namespace tandem::cdbctrl
