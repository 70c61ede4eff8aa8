#pragma once

#include <windows.h>
#include <ocidl.h>

#include <algorithm>
#include <memory>
#include <vector>

#include "com/com_object.h"
#include "com/free_threaded_marshaler.h"
#include "sync_lock.h"

namespace tandem {

// One advised connection as IEnumConnections hands it out.
struct Connection {
    ComPtr<IUnknown> sink;
    DWORD cookie;
};

inline void HandOut(const Connection& item, CONNECTDATA* out) noexcept {
    out->pUnk = item.sink.get();
    if (out->pUnk) out->pUnk->AddRef();
    out->dwCookie = item.cookie;
}

inline void HandOut(const ComPtr<IConnectionPoint>& item, IConnectionPoint** out) noexcept {
    *out = item.get();
    item->AddRef();
}

// IEnumConnections / IEnumConnectionPoints over a snapshot; clones share it.
template <class Enum, class Element, class Item>
class SnapshotEnum : public ComObjectRoot, public Enum, public FreeThreadedMarshaler {
public:
    using Items = std::shared_ptr<const std::vector<Item>>;
    using Interfaces = InterfaceTable<Enum, FreeThreadedMarshaler>;

    SnapshotEnum(Items items, size_t position) noexcept : items_(std::move(items)), position_(position) {}

    STDMETHODIMP Next(ULONG count, Element* out, ULONG* fetched) override {
        if (!out || (!fetched && count != 1)) return E_POINTER;
        CSyncLockHolder hold(lock_);
        ULONG done = 0;
        for (; done < count && position_ < items_->size(); ++done) HandOut((*items_)[position_++], &out[done]);
        if (fetched) *fetched = done;
        return done == count ? S_OK : S_FALSE;
    }

    STDMETHODIMP Skip(ULONG count) override {
        CSyncLockHolder hold(lock_);
        const size_t left = items_->size() - position_;
        position_ += std::min<size_t>(count, left);
        return count <= left ? S_OK : S_FALSE;
    }

    STDMETHODIMP Reset() override {
        CSyncLockHolder hold(lock_);
        position_ = 0;
        return S_OK;
    }

    STDMETHODIMP Clone(Enum** out) override {
        if (!out) return E_POINTER;
        *out = nullptr;
        return CatchHr([&] {
            CSyncLockHolder hold(lock_);
            *out = MakeComObject<SnapshotEnum>(items_, position_).detach();
        });
    }

private:
    const Items items_;
    CSyncLock lock_;
    size_t position_;
};

using ConnectionEnum = SnapshotEnum<IEnumConnections, CONNECTDATA, Connection>;
using ConnectionPointEnum = SnapshotEnum<IEnumConnectionPoints, IConnectionPoint*, ComPtr<IConnectionPoint>>;

}  // namespace tandem
