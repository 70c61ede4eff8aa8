#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <span>

#include "kelp_media_object.h"

namespace kelp {

using GpsBlock = std::array<std::byte, kGpsBlockSize>;

struct ExifGps {
    std::int32_t mediaType = kMediaUnknown;
    // Set when the GPS directory carried at least one field the block holds.
    bool hasGps = false;
    GpsBlock block{};
};

// The media type and GPS block of a JPEG (APP1 "Exif") or TIFF file. Reads
// nothing outside file; anything malformed reads as absent.
ExifGps ReadExifGps(std::span<const std::byte> file);

}  // namespace kelp
