#include "binary_property.h"

#include <cstring>

#include "error.h"
#include "unique_resource.h"

namespace tandem::zephcs {

STDMETHODIMP BinaryProperty::GetProperty(LONG id, VARIANT* value) {
    if (!value) return E_POINTER;
    VariantInit(value);
    CSyncLockHolder hold(lock_);
    auto found = properties_.find(id);
    if (found == properties_.end()) return ZEPHCS_E_UNKNOWN_PROPERTY;
    return VariantCopy(value, found->second.ptr());
}

STDMETHODIMP BinaryProperty::PutProperty(LONG id, VARIANT value) {
    return CatchHr([&] {
        Variant copy = Variant::Copy(value);
        CSyncLockHolder hold(lock_);
        properties_[id] = std::move(copy);
    });
}

STDMETHODIMP BinaryProperty::GetData(LONG* size, BYTE** data) {
    if (!size || !data) return E_POINTER;
    *size = 0;
    *data = nullptr;
    CSyncLockHolder hold(lock_);
    auto* copy = static_cast<BYTE*>(CoTaskMemAlloc(data_.empty() ? 1 : data_.size()));
    if (!copy) return E_OUTOFMEMORY;
    if (!data_.empty()) std::memcpy(copy, data_.data(), data_.size());
    *size = static_cast<LONG>(data_.size());
    *data = copy;
    return S_OK;
}

STDMETHODIMP BinaryProperty::PutData(LONG size, BYTE* data) {
    if (size < 0 || (size > 0 && !data)) return E_INVALIDARG;
    return CatchHr([&] {
        std::vector<BYTE> copy(data, data + size);
        CSyncLockHolder hold(lock_);
        data_ = std::move(copy);
    });
}

STDMETHODIMP BinaryProperty::WriteToFile(BSTR fileName) {
    if (!fileName) return E_INVALIDARG;
    return CatchHr([&] {
        UniqueHandle file(CreateFileW(fileName, GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr));
        if (!file) ThrowLastError();
        CSyncLockHolder hold(lock_);
        DWORD written = 0;
        if (!WriteFile(file.get(), data_.data(), static_cast<DWORD>(data_.size()), &written, nullptr))
            ThrowLastError();
    });
}

STDMETHODIMP BinaryProperty::ReadFromFile(BSTR fileName) {
    if (!fileName) return E_INVALIDARG;
    return CatchHr([&] {
        UniqueHandle file(
            CreateFileW(fileName, GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr));
        if (!file) ThrowLastError();
        LARGE_INTEGER size;
        if (!GetFileSizeEx(file.get(), &size)) ThrowLastError();
        if (size.QuadPart > MAXLONG) ThrowHr(E_OUTOFMEMORY);
        std::vector<BYTE> data(static_cast<size_t>(size.QuadPart));
        DWORD read = 0;
        if (!ReadFile(file.get(), data.data(), static_cast<DWORD>(data.size()), &read, nullptr)) ThrowLastError();
        data.resize(read);
        CSyncLockHolder hold(lock_);
        data_ = std::move(data);
    });
}

}  // namespace tandem::zephcs
