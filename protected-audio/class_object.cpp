#include "class_object.h"

#include <cstring>

#include "ZephCsVltFile.h"
#include "bstr.h"
#include "content_object.h"
#include "converter.h"
#include "error.h"
#include "error_translation.h"
#include "settings_file.h"
#include "variant.h"

namespace tandem::protected_audio {

namespace {

constexpr LONG kPath = 500;
constexpr LONG kMediaKind = 11110;
constexpr LONG kCarrier = 11112;
constexpr LONG kOwnerClass = 11121;
constexpr LONG kFileCarrier = 2;

}  // namespace

STDMETHODIMP ZephCsVltFileClass::OpenClass(LONG) { return S_OK; }

STDMETHODIMP ZephCsVltFileClass::CloseClass() { return S_OK; }

STDMETHODIMP ZephCsVltFileClass::GetProperty(LONG id, VARIANT* value) {
    if (value) std::memset(value, 0, sizeof(VARIANT));
    if (id != kMediaKind && id != kCarrier) return E_FAIL;
    if (!value) return E_POINTER;
    Variant::FromLong(id == kMediaKind ? 1 : kFileCarrier).release(value);
    return S_OK;
}

STDMETHODIMP ZephCsVltFileClass::GetObject(REFIID, IZephCsMedia* source, REFIID objectIid, void** out) {
    if (!out) return E_POINTER;
    *out = nullptr;
    if (!source) return E_POINTER;
    return CatchHr([&] {
        auto object = MakeComObject<ZephCsVltFileObject>();
        CheckHr(object->Initialize(context_, source));
        return object->QueryInterface(objectIid, out);
    });
}

HRESULT ZephCsVltFileClass::AdmitConverter(IZephCsMedia& source, IZephCsMedia& destination) const {
    Variant carrier;
    if (SUCCEEDED(source.GetProperty(kCarrier, carrier.put())) &&
        !(carrier.type() == VT_I4 && V_I4(&carrier.get()) == kFileCarrier))
        return E_FAIL;
    Variant path;
    if (FAILED(source.GetProperty(kPath, path.put())) || path.type() != VT_BSTR || !V_BSTR(&path.get()))
        return E_FAIL;
    Variant owner;
    if (SUCCEEDED(source.GetProperty(kOwnerClass, owner.put()))) {
        auto clsid = owner.type() == VT_BSTR ? ParseClassId(std::wstring(BstrView(V_BSTR(&owner.get()))))
                                             : std::nullopt;
        if (!clsid || !IsEqualCLSID(*clsid, CLSID_ZephCsVltFileClass)) return kNotThisSource;
    }
    Variant destinationCarrier;
    if (FAILED(destination.GetProperty(kCarrier, destinationCarrier.put())) || destinationCarrier.type() != VT_I4)
        return E_FAIL;
    std::wstring extension = LowerExtension(BstrView(V_BSTR(&path.get())));
    return extension == L".vla" || extension == L".3gp" ? S_OK : E_FAIL;
}

STDMETHODIMP ZephCsVltFileClass::GetConverter(REFIID, IZephCsMedia* source, REFIID, IZephCsMedia* destination,
                                              REFIID converterIid, void** out) {
    if (out) *out = nullptr;
    if (!source || !destination) return E_FAIL;
    if (!out) return E_POINTER;
    return CatchHr([&] {
        CheckHr(AdmitConverter(*source, *destination));
        auto converter = MakeComObject<ZephCsVltFileConverter>();
        CheckHr(converter->SetConverterSource(IID_IZephCsMedia, source));
        CheckHr(converter->SetConverterDestination(IID_IZephCsMedia, destination));
        return converter->QueryInterface(converterIid, out);
    });
}

STDMETHODIMP ZephCsVltFileClass::GetReader(REFIID, IZephCsMedia*, REFIID, void** out) {
    if (out) *out = nullptr;
    return E_FAIL;
}

STDMETHODIMP ZephCsVltFileClass::GetWriter(REFIID, IZephCsMedia*, REFIID, void** out) {
    if (out) *out = nullptr;
    return kNotThisSource;
}

}  // namespace tandem::protected_audio
