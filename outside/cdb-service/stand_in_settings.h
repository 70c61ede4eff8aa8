#pragma once

#include <windows.h>

namespace tandem::cdbsvc {

// What the tests steer and read, under the service's own key.
inline constexpr wchar_t kServiceName[] = L"ZephCdbSvc";
inline constexpr wchar_t kParametersKey[] = L"SYSTEM\\CurrentControlSet\\Services\\ZephCdbSvc\\Parameters";
// DWORD: a state to report instead of running (2 start pending, 3 stop
// pending, 7 paused); 0 or 4 report running.
inline constexpr wchar_t kHoldStateValue[] = L"HoldState";
// DWORD: the HRESULT Execute returns.
inline constexpr wchar_t kResultValue[] = L"Result";
// DWORD counters: command objects made, Execute calls.
inline constexpr wchar_t kCreatedValue[] = L"Created";
inline constexpr wchar_t kCallsValue[] = L"Calls";
// MULTI_SZ: the last call's arguments in order, each "s:" + text, "n:" for a
// null string, the count as "i:" + decimal.
inline constexpr wchar_t kLastCallValue[] = L"LastCall";

}  // namespace tandem::cdbsvc
