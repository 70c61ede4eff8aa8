#include "binary.h"

#include <cstring>
#include <fstream>
#include <iterator>

#include "bstr.h"
#include "error.h"
#include "task_mem.h"

namespace tandem::vlt {

namespace {

std::size_t PropertyIndex(LONG id) {
    if (id < kFirstBinaryProperty || id >= kFirstBinaryProperty + 4) ThrowHr(VLT_E_NO_TAG);
    return static_cast<std::size_t>(id - kFirstBinaryProperty);
}

}  // namespace

Variant ScalarToVariant(const ScalarValue& value) {
    Variant out;
    std::visit(
        [&](const auto& v) {
            using T = std::decay_t<decltype(v)>;
            if constexpr (std::is_same_v<T, std::int32_t>) {
                out = Variant::FromLong(v);
            } else if constexpr (std::is_same_v<T, Date>) {
                V_VT(out.ptr()) = VT_DATE;
                V_DATE(out.ptr()) = v.value;
            } else if constexpr (std::is_same_v<T, std::wstring>) {
                out = Variant::FromString(v);
            }
        },
        value);
    return out;
}

ScalarValue ScalarFromVariant(const VARIANT& value) {
    switch (V_VT(&value)) {
    case VT_EMPTY: return std::monostate{};
    case VT_I4: return static_cast<std::int32_t>(V_I4(&value));
    case VT_DATE: return Date{V_DATE(&value)};
    case VT_BSTR: return std::wstring(BstrView(V_BSTR(&value)));
    default: ThrowHr(VLT_E_BAD_VALUE);
    }
}

Variant ToVariant(const TagValue& value) {
    if (const auto* picture = std::get_if<Picture>(&value)) {
        auto object = MakeComObject<Binary>(*picture);
        Variant out;
        V_VT(out.ptr()) = VT_UNKNOWN;
        V_UNKNOWN(out.ptr()) = static_cast<IVltBinary*>(object.detach());
        return out;
    }
    return std::visit(
        [](const auto& v) {
            if constexpr (std::is_same_v<std::decay_t<decltype(v)>, Picture>) {
                return Variant();
            } else {
                return ScalarToVariant(ScalarValue(v));
            }
        },
        value);
}

TagValue FromVariant(const VARIANT& value) {
    if (V_VT(&value) != VT_UNKNOWN) {
        return std::visit([](auto&& v) -> TagValue { return std::move(v); }, ScalarFromVariant(value));
    }
    ComPtr<IVltBinary> binary;
    if (!V_UNKNOWN(&value) || FAILED(V_UNKNOWN(&value)->QueryInterface(IID_IVltBinary, binary.put_void())))
        ThrowHr(VLT_E_BAD_VALUE);
    Picture picture;
    for (std::size_t i = 0; i < picture.properties.size(); ++i) {
        Variant property;
        CheckHr(binary->GetProperty(kFirstBinaryProperty + static_cast<LONG>(i), property.put()));
        picture.properties[i] = ScalarFromVariant(property.get());
    }
    LONG size = 0;
    BYTE* data = nullptr;
    CheckHr(binary->GetData(&size, &data));
    TaskMemPtr<BYTE> owned(data);
    if (size < 0 || (size > 0 && !data)) ThrowHr(VLT_E_BAD_VALUE);
    auto bytes = std::as_bytes(std::span(data, static_cast<std::size_t>(size)));
    picture.data.assign(bytes.begin(), bytes.end());
    return picture;
}

Picture Binary::Snapshot() {
    CSyncLockHolder hold(lock_);
    return picture_;
}

STDMETHODIMP Binary::GetProperty(LONG id, VARIANT* value) {
    if (!value) return E_POINTER;
    VariantInit(value);
    return CatchHr([&] {
        CSyncLockHolder hold(lock_);
        ScalarToVariant(picture_.properties[PropertyIndex(id)]).release(value);
    });
}

STDMETHODIMP Binary::PutProperty(LONG id, VARIANT value) {
    return CatchHr([&] {
        ScalarValue stored = ScalarFromVariant(value);
        CSyncLockHolder hold(lock_);
        picture_.properties[PropertyIndex(id)] = std::move(stored);
    });
}

STDMETHODIMP Binary::GetData(LONG* size, BYTE** data) {
    if (!size || !data) return E_POINTER;
    *size = 0;
    *data = nullptr;
    CSyncLockHolder hold(lock_);
    TaskMemPtr<BYTE> copy(static_cast<BYTE*>(CoTaskMemAlloc(picture_.data.size() ? picture_.data.size() : 1)));
    if (!copy) return E_OUTOFMEMORY;
    std::memcpy(copy.get(), picture_.data.data(), picture_.data.size());
    *size = static_cast<LONG>(picture_.data.size());
    *data = copy.release();
    return S_OK;
}

STDMETHODIMP Binary::PutData(LONG size, BYTE* data) {
    if (size < 0 || (size > 0 && !data)) return E_INVALIDARG;
    return CatchHr([&] {
        auto bytes = std::as_bytes(std::span(data, static_cast<std::size_t>(size)));
        CSyncLockHolder hold(lock_);
        picture_.data.assign(bytes.begin(), bytes.end());
    });
}

STDMETHODIMP Binary::WriteToFile(BSTR fileName) {
    if (!fileName) return E_INVALIDARG;
    return CatchHr([&] {
        Picture picture = Snapshot();
        std::ofstream out(fileName, std::ios::binary | std::ios::trunc);
        out.write(reinterpret_cast<const char*>(picture.data.data()), static_cast<std::streamsize>(picture.data.size()));
        if (!out) ThrowHr(STG_E_WRITEFAULT);
    });
}

STDMETHODIMP Binary::ReadFromFile(BSTR fileName) {
    if (!fileName) return E_INVALIDARG;
    return CatchHr([&] {
        std::ifstream in(fileName, std::ios::binary);
        if (!in) ThrowWin32(ERROR_FILE_NOT_FOUND);
        std::vector<char> bytes{std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
        auto view = std::as_bytes(std::span(bytes));
        CSyncLockHolder hold(lock_);
        picture_.data.assign(view.begin(), view.end());
    });
}

}  // namespace tandem::vlt
