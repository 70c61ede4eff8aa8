#include "object_enumerator.h"

#include <algorithm>

#include "error.h"

namespace tandem {

STDMETHODIMP ObjectEnumerator::Next(ULONG count, VARIANT* values, ULONG* fetched) {
    if (!values || (!fetched && count != 1)) return E_POINTER;
    if (fetched) *fetched = 0;
    CSyncLockHolder hold(lock_);
    ULONG done = 0;
    HRESULT hr = CatchHr([&] {
        for (; done < count && position_ < count_; ++done) {
            ComPtr<IDispatch> object = make_(position_);
            VariantInit(&values[done]);
            V_VT(&values[done]) = VT_DISPATCH;
            V_DISPATCH(&values[done]) = object.detach();
            ++position_;
        }
    });
    if (FAILED(hr)) {
        for (ULONG i = 0; i < done; ++i) VariantClear(&values[i]);
        return hr;
    }
    if (fetched) *fetched = done;
    return done == count ? S_OK : S_FALSE;
}

STDMETHODIMP ObjectEnumerator::Skip(ULONG count) {
    CSyncLockHolder hold(lock_);
    const size_t left = count_ - position_;
    position_ += std::min<size_t>(count, left);
    return count <= left ? S_OK : S_FALSE;
}

STDMETHODIMP ObjectEnumerator::Reset() {
    CSyncLockHolder hold(lock_);
    position_ = 0;
    return S_OK;
}

STDMETHODIMP ObjectEnumerator::Clone(IEnumVARIANT** out) {
    if (!out) return E_POINTER;
    *out = nullptr;
    return CatchHr([&] {
        CSyncLockHolder hold(lock_);
        *out = MakeComObject<ObjectEnumerator>(collection_, count_, make_, position_).detach();
    });
}

}  // namespace tandem
