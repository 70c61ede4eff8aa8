#pragma once

#include <windows.h>

#include <map>
#include <vector>

#include "ZephCs.h"
#include "com/com_object.h"
#include "sync_lock.h"
#include "variant.h"

namespace tandem::zephcs {

// A picture held in memory, with a property bag of its own.
class BinaryProperty : public ComObjectRoot, public IZephCsBinaryProperty {
public:
    using Interfaces = InterfaceTable<IZephCsBinaryProperty>;

    STDMETHODIMP GetProperty(LONG id, VARIANT* value) override;
    STDMETHODIMP PutProperty(LONG id, VARIANT value) override;
    STDMETHODIMP GetData(LONG* size, BYTE** data) override;
    STDMETHODIMP PutData(LONG size, BYTE* data) override;
    STDMETHODIMP WriteToFile(BSTR fileName) override;
    STDMETHODIMP ReadFromFile(BSTR fileName) override;

private:
    CSyncLock lock_;
    std::map<LONG, Variant> properties_;
    std::vector<BYTE> data_;
};

}  // namespace tandem::zephcs
