#include "converter.h"

#include "error.h"
#include "variant.h"

namespace tandem::zephcs {

namespace {

Variant Read(IZephCsMedia& media, LONG id, VARTYPE type) {
    Variant value;
    CheckHr(media.GetProperty(id, value.put()));
    if (value.type() != type) ThrowHr(E_INVALIDARG);
    return value;
}

}  // namespace

STDMETHODIMP Converter::SetConverterCsManager(REFIID, IUnknown* manager) {
    if (!manager) return E_FAIL;
    return manager->QueryInterface(IID_IZephCsManager, manager_.put_void());
}

STDMETHODIMP Converter::SetConverterSource(REFIID, IZephCsMedia* source) {
    if (!source) return E_POINTER;
    return source->Clone(IID_IZephCsMedia, source_.put_void());
}

STDMETHODIMP Converter::SetConverterDestination(REFIID, IZephCsMedia* destination) {
    if (!destination) return S_OK;
    return destination->Clone(IID_IZephCsMedia, destination_.put_void());
}

STDMETHODIMP Converter::SetConverterCallback(REFIID, IUnknown*) { return S_OK; }

STDMETHODIMP Converter::OpenConverter(LONG) {
    if (!source_ || !destination_) return E_UNEXPECTED;
    return CatchHr([&] {
        Variant picture = Read(*source_, ZEPHCS_PROP_CONVERT_SOURCE, VT_UNKNOWN);
        Variant output = Read(*destination_, ZEPHCS_PROP_PATH, VT_BSTR);
        ComPtr<IZephCsBinaryProperty> binary;
        if (!V_UNKNOWN(&picture.get())) ThrowHr(E_INVALIDARG);
        CheckHr(V_UNKNOWN(&picture.get())->QueryInterface(IID_IZephCsBinaryProperty, binary.put_void()));
        return binary->WriteToFile(V_BSTR(&output.get()));
    });
}

STDMETHODIMP Converter::CloseConverter() { return S_OK; }

}  // namespace tandem::zephcs
