#include "binary_property.h"

#include <utility>

#include "bstr.h"
#include "error.h"
#include "variant.h"

namespace tandem::protected_audio {

namespace {

constexpr LONG kPictureType = 107;
constexpr LONG kLibraryPictureType = 8705;
constexpr LONG kUnmatchedPictureType = 1;
constexpr HRESULT kNoLibraryProperty = static_cast<HRESULT>(0x80040A04);

constexpr std::pair<LONG, LONG> kIds[] = {{500, 8704}, {kPictureType, kLibraryPictureType}, {209, 8706}, {11188, 8707}};

constexpr std::pair<LONG, const wchar_t*> kMimeTypes[] = {
    {512, L"image/jpeg"}, {513, L"image/gif"}, {515, L"image/bmp"}, {516, L"image/png"}, {517, L"image/tiff"}};

LONG LibraryIdOf(LONG id) {
    for (auto [framework, library] : kIds)
        if (framework == id) return library;
    ThrowHr(E_INVALIDARG);
}

LONG FrameworkIdOf(LONG id) {
    for (auto [framework, library] : kIds)
        if (library == id) return framework;
    ThrowHr(kNoLibraryProperty);
}

// Values other than the picture type pass as they are; an empty one as empty text.
Variant Passed(const VARIANT& value) {
    if (V_VT(&value) == VT_EMPTY) return Variant::FromString(L"");
    return Variant::Copy(value);
}

}  // namespace

LONG PictureCodeOf(BSTR mimeType) noexcept {
    for (auto [code, text] : kMimeTypes)
        if (CompareStringW(LOCALE_USER_DEFAULT, 0, BstrView(mimeType).data(), static_cast<int>(SysStringLen(mimeType)),
                           text, -1) == CSTR_EQUAL)
            return code;
    return kUnmatchedPictureType;
}

const wchar_t* MimeTypeOf(LONG code) noexcept {
    for (auto [known, text] : kMimeTypes)
        if (known == code) return text;
    return nullptr;
}

STDMETHODIMP ZephCsVltFileBinaryProperty::GetProperty(LONG id, VARIANT* value) {
    if (!value) return E_POINTER;
    VariantInit(value);
    if (!binary_) return E_FAIL;
    return CatchHr([&] {
        LONG libraryId = LibraryIdOf(id);
        Variant read;
        CheckHr(binary_->GetProperty(libraryId, read.put()));
        if (id != kPictureType) {
            read.release(value);
            return S_OK;
        }
        BSTR mime = read.type() == VT_BSTR ? V_BSTR(&read.get()) : nullptr;
        Variant::FromLong(PictureCodeOf(mime)).release(value);
        return S_OK;
    });
}

STDMETHODIMP ZephCsVltFileBinaryProperty::PutProperty(LONG id, VARIANT value) {
    if (!binary_) return E_FAIL;
    return CatchHr([&] {
        LONG libraryId = LibraryIdOf(id);
        if (id != kPictureType) return binary_->PutProperty(libraryId, Passed(value).get());
        const wchar_t* mime = V_VT(&value) == VT_I4 ? MimeTypeOf(V_I4(&value)) : nullptr;
        if (!mime) return E_INVALIDARG;
        return binary_->PutProperty(libraryId, Variant::FromString(mime).get());
    });
}

STDMETHODIMP ZephCsVltFileBinaryProperty::GetData(LONG* size, BYTE** data) {
    return binary_ ? binary_->GetData(size, data) : E_FAIL;
}

STDMETHODIMP ZephCsVltFileBinaryProperty::PutData(LONG size, BYTE* data) {
    return binary_ ? binary_->PutData(size, data) : E_FAIL;
}

STDMETHODIMP ZephCsVltFileBinaryProperty::WriteToFile(BSTR fileName) {
    return binary_ ? binary_->WriteToFile(fileName) : E_FAIL;
}

STDMETHODIMP ZephCsVltFileBinaryProperty::ReadFromFile(BSTR fileName) {
    return binary_ ? binary_->ReadFromFile(fileName) : E_FAIL;
}

STDMETHODIMP ZephCsVltPcBinaryProperty::GetProperty(LONG id, VARIANT* value) {
    if (!value) return E_POINTER;
    VariantInit(value);
    HRESULT hr = CatchHr([&] {
        LONG frameworkId = FrameworkIdOf(id);
        Variant read;
        CheckHr(binary_->GetProperty(frameworkId, read.put()));
        if (id != kLibraryPictureType) {
            read.release(value);
            return S_OK;
        }
        const wchar_t* mime = read.type() == VT_I4 ? MimeTypeOf(V_I4(&read.get())) : nullptr;
        if (!mime) return E_FAIL;
        Variant::FromString(mime).release(value);
        return S_OK;
    });
    return FAILED(hr) ? kNoLibraryProperty : hr;
}

STDMETHODIMP ZephCsVltPcBinaryProperty::PutProperty(LONG id, VARIANT value) {
    return CatchHr([&] {
        LONG frameworkId = FrameworkIdOf(id);
        if (id != kLibraryPictureType) return binary_->PutProperty(frameworkId, Passed(value).get());
        BSTR mime = V_VT(&value) == VT_BSTR ? V_BSTR(&value) : nullptr;
        return binary_->PutProperty(frameworkId, Variant::FromLong(PictureCodeOf(mime)).get());
    });
}

STDMETHODIMP ZephCsVltPcBinaryProperty::GetData(LONG* size, BYTE** data) { return binary_->GetData(size, data); }

STDMETHODIMP ZephCsVltPcBinaryProperty::PutData(LONG size, BYTE* data) { return binary_->PutData(size, data); }

STDMETHODIMP ZephCsVltPcBinaryProperty::WriteToFile(BSTR fileName) { return binary_->WriteToFile(fileName); }

STDMETHODIMP ZephCsVltPcBinaryProperty::ReadFromFile(BSTR fileName) { return binary_->ReadFromFile(fileName); }

}  // namespace tandem::protected_audio
