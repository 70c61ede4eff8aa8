#pragma once

#include <windows.h>
#include <oleauto.h>

#include <memory>
#include <vector>

#include "com_object.h"
#include "sync_lock.h"
#include "variant.h"

namespace tandem {

// IEnumVARIANT over a snapshot of values; clones share the snapshot.
class EnumVariant : public ComObjectRoot, public IEnumVARIANT {
public:
    using Items = std::shared_ptr<const std::vector<Variant>>;
    using Interfaces = InterfaceTable<IEnumVARIANT>;

    EnumVariant(Items items, ULONG position) noexcept : items_(std::move(items)), position_(position) {}

    STDMETHODIMP Next(ULONG count, VARIANT* values, ULONG* fetched) override;
    STDMETHODIMP Skip(ULONG count) override;
    STDMETHODIMP Reset() override;
    STDMETHODIMP Clone(IEnumVARIANT** out) override;

private:
    ULONG Remaining() const noexcept { return static_cast<ULONG>(items_->size()) - position_; }

    const Items items_;
    CSyncLock lock_;
    ULONG position_;
};

// An enumerator for a collection's _NewEnum; failures raised.
ComPtr<IEnumVARIANT> MakeEnumVariant(std::vector<Variant> items);

}  // namespace tandem
