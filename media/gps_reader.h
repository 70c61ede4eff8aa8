#pragma once

#include <windows.h>

#include <array>
#include <cstdint>
#include <memory>
#include <optional>
#include <span>
#include <string>

#include "kelp_media_object.h"

namespace tandem {

using GpsBlock = std::array<std::byte, kelp::kGpsBlockSize>;

// What a GPS block says, in decimal degrees and metres; values the file
// lacks, or whose rationals have a zero denominator, are absent.
struct GpsPosition {
    std::optional<double> latitude;
    std::optional<double> longitude;
    std::optional<double> altitude;
    std::string mapDatum;  // as the file spells it
};

GpsPosition DecodeGpsBlock(std::span<const std::byte, kelp::kGpsBlockSize> block);

// The GPS data of one file, read through the media-object library.
class GpsReader {
public:
    // False, leaving the reader empty, when the path is empty, the library or
    // the file cannot be opened, or the file carries no GPS data.
    bool ReadGps(const std::wstring& path);

    const std::wstring& Path() const noexcept { return path_; }
    std::int32_t MediaType() const noexcept { return mediaType_; }
    const GpsBlock& Block() const noexcept { return block_; }
    const GpsPosition& Position() const noexcept { return position_; }

private:
    struct Releaser {
        void operator()(kelp::MediaObject* object) const noexcept { object->Release(); }
    };

    std::wstring path_;
    std::int32_t mediaType_ = 0;
    std::unique_ptr<kelp::MediaObject, Releaser> object_;
    GpsBlock block_{};
    GpsPosition position_;
};

}  // namespace tandem
