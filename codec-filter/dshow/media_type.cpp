#include "media_type.h"

#include <cstring>
#include <utility>

#include "error.h"
#include "task_mem.h"

namespace tandem::dshow {

namespace {

void DeepCopy(const AM_MEDIA_TYPE& source, AM_MEDIA_TYPE& out) {
    BYTE* format = nullptr;
    if (source.cbFormat && source.pbFormat) {
        format = static_cast<BYTE*>(CoTaskMemAlloc(source.cbFormat));
        if (!format) ThrowHr(E_OUTOFMEMORY);
        std::memcpy(format, source.pbFormat, source.cbFormat);
    }
    out = source;
    out.pbFormat = format;
    out.cbFormat = format ? source.cbFormat : 0;
    if (out.pUnk) out.pUnk->AddRef();
}

}  // namespace

MediaType::MediaType() noexcept : mt_{} {}

MediaType::MediaType(const AM_MEDIA_TYPE& source) : mt_{} { DeepCopy(source, mt_); }

MediaType::MediaType(MediaType&& other) noexcept : mt_(std::exchange(other.mt_, AM_MEDIA_TYPE{})) {}

MediaType& MediaType::operator=(MediaType other) noexcept {
    std::swap(mt_, other.mt_);
    return *this;
}

MediaType::~MediaType() { FreeMediaTypeFields(mt_); }

void MediaType::SetFormat(const GUID& formatType, std::span<const std::byte> block) {
    TaskMemPtr<BYTE> format(static_cast<BYTE*>(CoTaskMemAlloc(block.size())));
    if (!format && !block.empty()) ThrowHr(E_OUTOFMEMORY);
    if (!block.empty()) std::memcpy(format.get(), block.data(), block.size());
    CoTaskMemFree(mt_.pbFormat);
    mt_.pbFormat = format.release();
    mt_.cbFormat = static_cast<ULONG>(block.size());
    mt_.formattype = formatType;
}

std::span<const std::byte> MediaType::Format() const noexcept {
    if (!mt_.pbFormat) return {};
    return {reinterpret_cast<const std::byte*>(mt_.pbFormat), mt_.cbFormat};
}

void MediaType::CopyTo(AM_MEDIA_TYPE& out) const { DeepCopy(mt_, out); }

AM_MEDIA_TYPE* MediaType::NewTaskMemCopy() const {
    TaskMemPtr<AM_MEDIA_TYPE> copy(static_cast<AM_MEDIA_TYPE*>(CoTaskMemAlloc(sizeof(AM_MEDIA_TYPE))));
    if (!copy) ThrowHr(E_OUTOFMEMORY);
    DeepCopy(mt_, *copy);
    return copy.release();
}

void FreeMediaTypeFields(AM_MEDIA_TYPE& mt) noexcept {
    CoTaskMemFree(mt.pbFormat);
    if (mt.pUnk) mt.pUnk->Release();
    mt = AM_MEDIA_TYPE{};
}

void DeleteMediaType(AM_MEDIA_TYPE* mt) noexcept {
    if (!mt) return;
    FreeMediaTypeFields(*mt);
    CoTaskMemFree(mt);
}

}  // namespace tandem::dshow
