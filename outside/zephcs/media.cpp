#include "media.h"

#include <shlwapi.h>

#include <array>

#include "binary_property.h"
#include "bstr.h"
#include "error.h"
#include "strings.h"
#include "task_mem.h"

namespace tandem::zephcs {

namespace {

bool IsPictureFile(const std::wstring& path) {
    constexpr std::array<std::wstring_view, 5> kExtensions{L".jpg", L".jpeg", L".png", L".bmp", L".gif"};
    std::wstring_view extension = PathFindExtensionW(path.c_str());
    for (auto known : kExtensions)
        if (EqualsNoCase(extension, known)) return true;
    return false;
}

Variant FromUnknown(IUnknown* object) {
    Variant value;
    V_VT(value.ptr()) = VT_UNKNOWN;
    V_UNKNOWN(value.ptr()) = object;
    object->AddRef();
    return value;
}

}  // namespace

void Media::Set(LONG id, Variant value) {
    CSyncLockHolder hold(lock_);
    properties_[id] = std::move(value);
}

std::map<LONG, Variant> Media::Snapshot() {
    CSyncLockHolder hold(lock_);
    return properties_;
}

STDMETHODIMP Media::GetProperty(LONG id, VARIANT* value) {
    if (!value) return E_POINTER;
    VariantInit(value);
    return CatchHr([&] {
        CSyncLockHolder hold(lock_);
        auto found = properties_.find(id);
        if (found == properties_.end()) return ZEPHCS_E_UNKNOWN_PROPERTY;
        return VariantCopy(value, found->second.ptr());
    });
}

STDMETHODIMP Media::GetAllProperties(LONG* count, LONG** ids, VARIANT** values) {
    if (!count || !ids || !values) return E_POINTER;
    *count = 0;
    *ids = nullptr;
    *values = nullptr;
    return CatchHr([&] {
        auto properties = Snapshot();
        size_t size = properties.size();
        TaskMemPtr<LONG> idArray(static_cast<LONG*>(CoTaskMemAlloc(sizeof(LONG) * (size ? size : 1))));
        TaskMemPtr<VARIANT> valueArray(static_cast<VARIANT*>(CoTaskMemAlloc(sizeof(VARIANT) * (size ? size : 1))));
        if (!idArray || !valueArray) ThrowHr(E_OUTOFMEMORY);
        size_t index = 0;
        for (auto& [id, value] : properties) {
            idArray.get()[index] = id;
            value.release(&valueArray.get()[index]);
            ++index;
        }
        *count = static_cast<LONG>(size);
        *ids = idArray.release();
        *values = valueArray.release();
    });
}

STDMETHODIMP Media::PutProperty(LONG id, VARIANT value) {
    return CatchHr([&] { Set(id, Variant::Copy(value)); });
}

STDMETHODIMP Media::Clone(REFIID iid, void** out) {
    if (!out) return E_POINTER;
    *out = nullptr;
    return CatchHr([&] {
        auto copy = MakeComObject<Media>();
        static_cast<Media&>(*copy).properties_ = Snapshot();
        return copy->QueryInterface(iid, out);
    });
}

STDMETHODIMP Media::ClearProperties() {
    CSyncLockHolder hold(lock_);
    properties_.clear();
    return S_OK;
}

STDMETHODIMP Media::CopyFrom(REFIID, IZephCsMedia* source) {
    if (!source) return E_POINTER;
    return CatchHr([&] {
        LONG count = 0;
        LONG* ids = nullptr;
        VARIANT* values = nullptr;
        CheckHr(source->GetAllProperties(&count, &ids, &values));
        TaskMemPtr<LONG> idArray(ids);
        TaskMemPtr<VARIANT> valueArray(values);
        std::map<LONG, Variant> copied;
        for (LONG i = 0; i < count; ++i) {
            Variant value;
            *value.ptr() = values[i];
            copied[ids[i]] = std::move(value);
        }
        CSyncLockHolder hold(lock_);
        properties_ = std::move(copied);
    });
}

ComPtr<IZephCsMedia> MakeFileMedia(const std::wstring& path) {
    WIN32_FILE_ATTRIBUTE_DATA data;
    if (!GetFileAttributesExW(path.c_str(), GetFileExInfoStandard, &data)) ThrowLastError();
    if (data.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) ThrowWin32(ERROR_FILE_NOT_FOUND);
    auto media = MakeComObject<Media>();
    media->Set(ZEPHCS_PROP_PATH, Variant::FromString(path));
    media->Set(ZEPHCS_PROP_CARRIER, Variant::FromLong(2));
    // Files the framework describes itself belong to its built-in source.
    media->Set(ZEPHCS_PROP_OWNER_CLASS, Variant::FromString(GuidToString(CLSID_ZephCsManager)));
    bool picture = IsPictureFile(path);
    media->Set(ZEPHCS_PROP_CATEGORY, Variant::FromLong(picture ? 3 : 1));
    if (picture) {
        auto image = MakeComObject<BinaryProperty>();
        CheckHr(image->ReadFromFile(Bstr(path).get()));
        media->Set(ZEPHCS_PROP_PICTURE_FIRST, FromUnknown(static_cast<IZephCsBinaryProperty*>(image.get())));
    }
    return ComPtr<IZephCsMedia>(media.get());
}

}  // namespace tandem::zephcs
