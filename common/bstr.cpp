#include "bstr.h"

#include <new>

namespace tandem {

Bstr::Bstr(std::wstring_view text)
    : s_(SysAllocStringLen(text.data(), static_cast<UINT>(text.size()))) {
    if (!s_) throw std::bad_alloc();
}

HRESULT Bstr::CopyTo(BSTR* out) const noexcept { return AllocBstr(view(), out); }

HRESULT AllocBstr(std::wstring_view text, BSTR* out) noexcept {
    if (!out) return E_POINTER;
    *out = SysAllocStringLen(text.data(), static_cast<UINT>(text.size()));
    return *out ? S_OK : E_OUTOFMEMORY;
}

}  // namespace tandem
