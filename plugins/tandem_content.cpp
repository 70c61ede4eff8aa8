#include "tandem_content.h"

#include "bstr.h"
#include "error.h"
#include "safe_array.h"

namespace tandem {

HRESULT CopyTime(const LocalTime& time, DATE* out) noexcept {
    if (!out) return E_POINTER;
    if (!time.valid) return HRESULT_FROM_WIN32(ERROR_INVALID_DATA);
    *out = time.value;
    return S_OK;
}

CTandemContent::CTandemContent(ContentInfoPtr info, PluginObjectServicesPtr services)
    : info_(std::move(info)), services_(std::move(services)), path_(info_->FullPath()) {}

STDMETHODIMP CTandemContent::get_Path(BSTR* out) { return out ? AllocBstr(path_, out) : E_POINTER; }

STDMETHODIMP CTandemContent::get_CreationTime(DATE* out) { return CopyTime(info_->Times().creation, out); }

STDMETHODIMP CTandemContent::get_LastWriteTime(DATE* out) { return CopyTime(info_->Times().lastWrite, out); }

STDMETHODIMP CTandemContent::get_LastAccessTime(DATE* out) { return CopyTime(info_->Times().lastAccess, out); }

STDMETHODIMP CTandemContent::get_Hidden(VARIANT_BOOL* out) {
    if (!out) return E_POINTER;
    *out = info_->IsHidden() ? VARIANT_TRUE : VARIANT_FALSE;
    return S_OK;
}

STDMETHODIMP CTandemContent::get_Size(ULONGLONG* out) {
    if (!out) return E_POINTER;
    *out = info_->Size();
    return S_OK;
}

STDMETHODIMP CTandemContent::GetProperty(LONG id, SAFEARRAY* converterParams, VARIANT* out) {
    if (!out) return E_POINTER;
    VariantInit(out);
    return CatchHr([&] {
        const PropertyList params = ConverterParameters(converterParams);
        services_->source.ReadProperty(info_->Media(), id, params).release(out);
    });
}

STDMETHODIMP CTandemContent::GetAllProperties(SAFEARRAY** out) {
    if (!out) return E_POINTER;
    *out = nullptr;
    return CatchHr([&] {
        CSyncLockHolder hold(lock_);
        *out = MakeRecordArray(info_->Properties(services_->source)).release();
    });
}

// Only a TandemProperty record array carries converter parameters; anything
// else is ignored.
PropertyList CTandemContent::ConverterParameters(SAFEARRAY* array) const {
    PropertyList params;
    if (!array) return params;
    VARTYPE type = VT_EMPTY;
    CheckHr(SafeArrayGetVartype(array, &type));
    if (type != VT_RECORD) return params;
    ComPtr<IRecordInfo> record;
    CheckHr(SafeArrayGetRecordInfo(array, record.put()));
    if (!record || !record->IsMatchingType(services_->propertyRecord.get())) return params;
    if (SafeArrayGetDim(array) != 1) return params;
    const SafeArrayAccess access(array);
    const auto* element = access.data<TandemProperty>();
    for (ULONG i = 0; i < array->rgsabound[0].cElements; ++i)
        params.emplace_back(element[i].ID, Variant::Copy(element[i].Value));
    return params;
}

SafeArray CTandemContent::MakeRecordArray(const PropertyList& properties) const {
    SAFEARRAYBOUND bound{static_cast<ULONG>(properties.size()), 0};
    SafeArray array(SafeArrayCreateEx(VT_RECORD, 1, &bound, services_->propertyRecord.get()));
    if (!array) ThrowHr(E_OUTOFMEMORY);
    const SafeArrayAccess access(array.get());
    auto* element = access.data<TandemProperty>();
    for (const auto& [id, value] : properties) {
        element->ID = id;
        Variant(value).release(&element->Value);
        ++element;
    }
    return array;
}

ComPtr<ITandemContent> MakeTandemContent(ContentInfoPtr info, PluginObjectServicesPtr services) {
    return MakeComObject<CTandemContent>(std::move(info), std::move(services)).get();
}

}  // namespace tandem
