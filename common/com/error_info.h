#pragma once

#include <windows.h>
#include <oleauto.h>

#include <string_view>
#include <utility>

#include "error.h"

namespace tandem {

// Sets the thread's error information for a failing call of interface iid
// and returns hr, so that `return ReportError(...)` ends the call.
// Without a description the system's message for hr is used.
HRESULT ReportError(HRESULT hr, REFIID iid, std::wstring_view description) noexcept;
HRESULT ReportError(HRESULT hr, REFIID iid) noexcept;

// CatchHr for a method of interface iid that also reports any failure.
template <class F>
HRESULT CatchHrAndReport(REFIID iid, F&& f) noexcept {
    HRESULT hr = CatchHr(std::forward<F>(f));
    return FAILED(hr) ? ReportError(hr, iid) : hr;
}

}  // namespace tandem
