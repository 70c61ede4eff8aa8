#pragma once

#include <windows.h>

#include <exception>
#include <type_traits>

namespace tandem {

// A failure inside the service: thrown, and turned back into its HRESULT at
// thread and COM boundaries.
class HResultError : public std::exception {
public:
    explicit HResultError(HRESULT hr) noexcept : hr_(hr) {}
    HRESULT hr() const noexcept { return hr_; }
    const char* what() const noexcept override { return "HRESULT failure"; }

private:
    HRESULT hr_;
};

[[noreturn]] void ThrowHr(HRESULT hr);
[[noreturn]] void ThrowWin32(DWORD error);
// GetLastError(), E_FAIL when the failing call left no error code.
[[noreturn]] void ThrowLastError();

inline void CheckHr(HRESULT hr) {
    if (FAILED(hr)) ThrowHr(hr);
}

inline void CheckWin32(LONG error) {
    if (error != ERROR_SUCCESS) ThrowWin32(static_cast<DWORD>(error));
}

// The HRESULT of the exception being handled; call only inside a catch block.
// Non-COM exceptions give E_UNEXPECTED, allocation failures E_OUTOFMEMORY.
HRESULT CurrentExceptionHr() noexcept;

// Runs f at a thread or COM boundary: no exception leaves. f returns an
// HRESULT or nothing (then S_OK).
template <class F>
HRESULT CatchHr(F&& f) noexcept {
    try {
        if constexpr (std::is_void_v<std::invoke_result_t<F>>) {
            f();
            return S_OK;
        } else {
            return f();
        }
    } catch (...) {
        return CurrentExceptionHr();
    }
}

}  // namespace tandem
