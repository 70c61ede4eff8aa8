#include "plugin_properties.h"

#include "TandemPlugin.h"
#include "bstr.h"
#include "error.h"

namespace tandem {

SafeArray MakePropertyArray(IRecordInfo* record, const PropertyMap& properties) {
    SafeArray array(SafeArrayCreateVectorEx(VT_RECORD, 0, static_cast<ULONG>(properties.size()), record));
    if (!array) ThrowHr(E_OUTOFMEMORY);
    SafeArrayAccess access(array.get());
    auto* element = access.data<TandemProperty>();
    for (const auto& [id, value] : properties) {
        element->ID = id;
        // The array owns the string from here: destroying it clears the records.
        V_BSTR(&element->Value) = Bstr(value).release();
        V_VT(&element->Value) = VT_BSTR;
        ++element;
    }
    return array;
}

}  // namespace tandem
