#pragma once

#include <windows.h>

#include "VltLib.h"
#include "com/com_object.h"
#include "sync_lock.h"
#include "tag_block.h"
#include "variant.h"

namespace tandem::vlt {

inline constexpr LONG kFirstBinaryProperty = 8704;

// A picture as the library hands it out.
class Binary : public ComObjectRoot, public IVltBinary {
public:
    using Interfaces = InterfaceTable<IVltBinary>;

    explicit Binary(Picture picture = {}) : picture_(std::move(picture)) {}

    Picture Snapshot();

    STDMETHODIMP GetProperty(LONG id, VARIANT* value) override;
    STDMETHODIMP PutProperty(LONG id, VARIANT value) override;
    STDMETHODIMP GetData(LONG* size, BYTE** data) override;
    STDMETHODIMP PutData(LONG size, BYTE* data) override;
    STDMETHODIMP WriteToFile(BSTR fileName) override;
    STDMETHODIMP ReadFromFile(BSTR fileName) override;

private:
    CSyncLock lock_;
    Picture picture_;
};

// Conversions between stored values and the VARIANTs of the handler's
// interface; an unsupported VARIANT type raises VLT_E_BAD_VALUE.
Variant ToVariant(const TagValue& value);
TagValue FromVariant(const VARIANT& value);
Variant ScalarToVariant(const ScalarValue& value);
ScalarValue ScalarFromVariant(const VARIANT& value);

}  // namespace tandem::vlt
