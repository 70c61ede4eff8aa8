#pragma once

#include <windows.h>
#include <oaidl.h>

#include <functional>

#include "com/com_object.h"
#include "com/free_threaded_marshaler.h"
#include "sync_lock.h"

namespace tandem {

// IEnumVARIANT over a collection of automation objects: each Next makes new
// objects for the items it delivers, as VT_DISPATCH so that script hosts
// treat them as objects. Holds its collection alive.
class ObjectEnumerator : public ComObjectRoot, public IEnumVARIANT, public FreeThreadedMarshaler {
public:
    // Makes the object for the item at an index (0-based); failures raised.
    using Factory = std::function<ComPtr<IDispatch>(size_t)>;
    using Interfaces = InterfaceTable<IEnumVARIANT, FreeThreadedMarshaler>;

    ObjectEnumerator(ComPtr<IUnknown> collection, size_t count, Factory make, size_t position = 0)
        : collection_(std::move(collection)), count_(count), make_(std::move(make)), position_(position) {}

    STDMETHODIMP Next(ULONG count, VARIANT* values, ULONG* fetched) override;
    STDMETHODIMP Skip(ULONG count) override;
    STDMETHODIMP Reset() override;
    STDMETHODIMP Clone(IEnumVARIANT** out) override;

private:
    const ComPtr<IUnknown> collection_;
    const size_t count_;
    const Factory make_;
    CSyncLock lock_;
    size_t position_;
};

}  // namespace tandem
