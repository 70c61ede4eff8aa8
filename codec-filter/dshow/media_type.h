#pragma once

#include <windows.h>
#include <dshow.h>

#include <cstddef>
#include <span>

namespace tandem::dshow {

// Owns an AM_MEDIA_TYPE with its format block and unknown.
class MediaType {
public:
    MediaType() noexcept;
    explicit MediaType(const AM_MEDIA_TYPE& source);
    MediaType(const MediaType& other) : MediaType(other.mt_) {}
    MediaType(MediaType&& other) noexcept;
    MediaType& operator=(MediaType other) noexcept;
    ~MediaType();

    const AM_MEDIA_TYPE& get() const noexcept { return mt_; }
    AM_MEDIA_TYPE& edit() noexcept { return mt_; }
    void SetFormat(const GUID& formatType, std::span<const std::byte> block);
    std::span<const std::byte> Format() const noexcept;

    // Deep copy into caller-owned storage, as ConnectionMediaType hands it out.
    void CopyTo(AM_MEDIA_TYPE& out) const;
    // A task-memory copy an enumerator hands out; freed with DeleteMediaType.
    AM_MEDIA_TYPE* NewTaskMemCopy() const;

private:
    AM_MEDIA_TYPE mt_;
};

// Releases what an AM_MEDIA_TYPE refers to, leaving the record empty.
void FreeMediaTypeFields(AM_MEDIA_TYPE& mt) noexcept;
// Frees a media type that a pin or enumerator allocated.
void DeleteMediaType(AM_MEDIA_TYPE* mt) noexcept;

}  // namespace tandem::dshow
