#pragma once

#include <windows.h>

namespace tandem::cdbctrl {

inline constexpr wchar_t kDatabaseServiceName[] = L"ZephCdbSvc";

inline constexpr HRESULT ZEPHCDB_E_NOT_SUPPORTED = static_cast<HRESULT>(0x80043001);
inline constexpr HRESULT ZEPHCDB_E_STATUS_UNKNOWN = static_cast<HRESULT>(0x80042200);
inline constexpr HRESULT ZEPHCDB_E_SERVICE_STARTING = static_cast<HRESULT>(0x80042201);
inline constexpr HRESULT ZEPHCDB_E_SERVICE_STOPPING = static_cast<HRESULT>(0x80042202);
inline constexpr HRESULT ZEPHCDB_E_SERVICE_STOPPED = static_cast<HRESULT>(0x80042203);
inline constexpr HRESULT ZEPHCDB_E_EXCEPTION = static_cast<HRESULT>(0x80042019);

// What the service object itself reports for a service on its way up or down.
inline constexpr HRESULT ZEPHCDBSVC_E_STARTING = static_cast<HRESULT>(0x8004201C);
inline constexpr HRESULT ZEPHCDBSVC_E_STOPPING = static_cast<HRESULT>(0x80042104);

// S_OK for a running service, else what the caller is told; a service that
// cannot be opened counts as state 0.
HRESULT ResultForServiceState(DWORD state) noexcept;

// The current state of the database service, as ResultForServiceState says.
HRESULT CheckDatabaseService() noexcept;

// The command object's result as the controller passes it on.
HRESULT TranslateCommandResult(HRESULT result) noexcept;

}  // namespace tandem::cdbctrl
