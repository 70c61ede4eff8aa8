#include "enum_variant.h"

#include <algorithm>

#include "error.h"

namespace tandem {

// On a failing copy the values handed out so far are cleared again and the
// position stays, so the caller owns nothing.
STDMETHODIMP EnumVariant::Next(ULONG count, VARIANT* values, ULONG* fetched) {
    if (!values) return E_POINTER;
    if (!fetched && count != 1) return E_INVALIDARG;
    if (fetched) *fetched = 0;
    CSyncLockHolder hold(lock_);
    ULONG taken = std::min(count, Remaining());
    for (ULONG i = 0; i < taken; ++i) {
        HRESULT hr = CatchHr([&] { Variant::Copy((*items_)[position_ + i].get()).release(&values[i]); });
        if (FAILED(hr)) {
            for (ULONG j = 0; j < i; ++j) VariantClear(&values[j]);
            return hr;
        }
    }
    position_ += taken;
    if (fetched) *fetched = taken;
    return taken == count ? S_OK : S_FALSE;
}

STDMETHODIMP EnumVariant::Skip(ULONG count) {
    CSyncLockHolder hold(lock_);
    ULONG skipped = std::min(count, Remaining());
    position_ += skipped;
    return skipped == count ? S_OK : S_FALSE;
}

STDMETHODIMP EnumVariant::Reset() {
    CSyncLockHolder hold(lock_);
    position_ = 0;
    return S_OK;
}

STDMETHODIMP EnumVariant::Clone(IEnumVARIANT** out) {
    if (!out) return E_POINTER;
    *out = nullptr;
    CSyncLockHolder hold(lock_);
    return CatchHr([&] { *out = MakeComObject<EnumVariant>(items_, position_).detach(); });
}

ComPtr<IEnumVARIANT> MakeEnumVariant(std::vector<Variant> items) {
    auto snapshot = std::make_shared<const std::vector<Variant>>(std::move(items));
    return MakeComObject<EnumVariant>(std::move(snapshot), 0ul).get();
}

}  // namespace tandem
