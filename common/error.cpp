#include "error.h"

#include <new>

namespace tandem {

void ThrowHr(HRESULT hr) { throw HResultError(hr); }

void ThrowWin32(DWORD error) { throw HResultError(error ? HRESULT_FROM_WIN32(error) : E_FAIL); }

void ThrowLastError() { ThrowWin32(GetLastError()); }

HRESULT CurrentExceptionHr() noexcept {
    try {
        throw;
    } catch (const HResultError& e) {
        return e.hr();
    } catch (const std::bad_alloc&) {
        return E_OUTOFMEMORY;
    } catch (...) {
        return E_UNEXPECTED;
    }
}

}  // namespace tandem
