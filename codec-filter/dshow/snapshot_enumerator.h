#pragma once

#include <windows.h>

#include <algorithm>
#include <memory>
#include <vector>

#include "com/com_object.h"
#include "error.h"

namespace tandem::dshow {

// An IEnumPins/IEnumMediaTypes-style enumerator over a list taken when it
// was made; clones share the list. Traits::Out(const Stored&) makes the
// element handed out, Traits::Free(Element) takes it back.
template <class Interface, class Element, class Stored, class Traits>
class SnapshotEnumerator : public ComObjectRoot, public Interface {
public:
    using Interfaces = InterfaceTable<Interface>;
    using Items = std::shared_ptr<const std::vector<Stored>>;

    explicit SnapshotEnumerator(Items items, size_t position = 0) noexcept
        : items_(std::move(items)), position_(position) {}

    STDMETHODIMP Next(ULONG count, Element* out, ULONG* fetched) override {
        if (!out || (count > 1 && !fetched)) return E_POINTER;
        ULONG done = 0;
        HRESULT hr = CatchHr([&] {
            for (; done < count && position_ < items_->size(); ++done, ++position_) {
                out[done] = Traits::Out((*items_)[position_]);
            }
        });
        if (FAILED(hr)) {
            while (done > 0) Traits::Free(out[--done]);
            return hr;
        }
        if (fetched) *fetched = done;
        return done == count ? S_OK : S_FALSE;
    }

    STDMETHODIMP Skip(ULONG count) override {
        const size_t left = items_->size() - position_;
        position_ += std::min<size_t>(count, left);
        return count <= left ? S_OK : S_FALSE;
    }

    STDMETHODIMP Reset() override {
        position_ = 0;
        return S_OK;
    }

    STDMETHODIMP Clone(Interface** out) override {
        if (!out) return E_POINTER;
        *out = nullptr;
        return CreateComInstance<SnapshotEnumerator>(nullptr, __uuidof(Interface), reinterpret_cast<void**>(out),
                                                     items_, position_);
    }

private:
    Items items_;
    size_t position_;
};

}  // namespace tandem::dshow
