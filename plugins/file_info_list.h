#pragma once

#include <windows.h>
#include <oleauto.h>

#include <algorithm>
#include <vector>

#include "TandemPlugin.h"
#include "com/com_object.h"
#include "com/dispatch.h"
#include "com/free_threaded_marshaler.h"
#include "com_ptr.h"
#include "progress_notifier.h"
#include "sync_lock.h"

namespace tandem {

// IEnumVARIANT over a list's items as VT_UNKNOWN. Unlike the common
// snapshot enumerator it answers a missing fetched count with E_POINTER and
// keeps the list itself alive rather than copying it.
template <class Item>
class CComEnumFileInfo : public ComObjectRoot, public IEnumVARIANT, public FreeThreadedMarshaler {
public:
    using Items = std::vector<ComPtr<Item>>;
    using Interfaces = InterfaceTable<IEnumVARIANT, FreeThreadedMarshaler>;

    CComEnumFileInfo(ComPtr<IUnknown> list, const Items& items, size_t position) noexcept
        : list_(std::move(list)), items_(items), position_(position) {}

    STDMETHODIMP Next(ULONG count, VARIANT* values, ULONG* fetched) override {
        if (!values || (!fetched && count != 1)) return E_POINTER;
        CSyncLockHolder hold(lock_);
        const ULONG taken = static_cast<ULONG>(std::min<size_t>(count, items_.size() - position_));
        for (ULONG i = 0; i < taken; ++i) {
            VariantInit(&values[i]);
            V_VT(&values[i]) = VT_UNKNOWN;
            items_[position_ + i]->QueryInterface(IID_IUnknown, reinterpret_cast<void**>(&V_UNKNOWN(&values[i])));
        }
        position_ += taken;
        if (fetched) *fetched = taken;
        return taken == count ? S_OK : S_FALSE;
    }
    STDMETHODIMP Skip(ULONG count) override {
        CSyncLockHolder hold(lock_);
        const size_t skipped = std::min<size_t>(count, items_.size() - position_);
        position_ += skipped;
        return skipped == count ? S_OK : S_FALSE;
    }
    STDMETHODIMP Reset() override {
        CSyncLockHolder hold(lock_);
        position_ = 0;
        return S_OK;
    }
    STDMETHODIMP Clone(IEnumVARIANT** out) override {
        if (!out) return E_POINTER;
        *out = nullptr;
        CSyncLockHolder hold(lock_);
        return CatchHr([&] { *out = MakeComObject<CComEnumFileInfo>(list_, items_, position_).detach(); });
    }

private:
    const ComPtr<IUnknown> list_;
    const Items& items_;
    CSyncLock lock_;
    size_t position_;
};

// A fixed list of contents or folders, counted from 1.
template <class ListInterface, class Item>
class CFileInfoList : public ComObjectRoot,
                      public DispatchImpl<ListInterface, ProgressNotifierLibrary>,
                      public FreeThreadedMarshaler {
public:
    using Items = std::vector<ComPtr<Item>>;
    using Interfaces = InterfaceTable<ListInterface, Via<IDispatch, ListInterface>, FreeThreadedMarshaler>;

    explicit CFileInfoList(Items items) noexcept : items_(std::move(items)) {}

    STDMETHODIMP get__NewEnum(IUnknown** out) override {
        if (!out) return E_POINTER;
        *out = nullptr;
        return CatchHr([&] {
            ComPtr<IUnknown> self;
            CheckHr(this->QueryInterface(IID_IUnknown, self.put_void()));
            *out = static_cast<IEnumVARIANT*>(MakeComObject<CComEnumFileInfo<Item>>(self, items_, 0).detach());
        });
    }
    STDMETHODIMP get_Item(LONG index, Item** out) override {
        if (!out) return E_POINTER;
        *out = nullptr;
        if (index <= 0 || static_cast<size_t>(index) > items_.size()) return E_INVALIDARG;
        return items_[index - 1].copy_to(out);
    }
    STDMETHODIMP get_Count(LONG* out) override {
        if (!out) return E_POINTER;
        *out = static_cast<LONG>(items_.size());
        return S_OK;
    }

private:
    const Items items_;
};

using CTandemContentList = CFileInfoList<ITandemContentList, ITandemContent>;
using CTandemFolderList = CFileInfoList<ITandemFolderList, ITandemFolder>;

}  // namespace tandem
