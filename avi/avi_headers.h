#pragma once

// The header lists of an AVI file, read up to its "movi" list.

#include <array>
#include <cstdint>
#include <vector>

#include "byte_source.h"

namespace tandem::riffscan {

struct MainHeader {  // "avih"
    std::uint32_t microSecPerFrame = 0;
    std::uint32_t totalFrames = 0;
    std::uint32_t streams = 0;
    std::uint32_t width = 0;
    std::uint32_t height = 0;
};

struct StreamHeader {  // "strh"
    std::uint32_t type = 0;
    std::uint32_t handler = 0;
    std::uint32_t length = 0;
    std::uint32_t quality = 0;
};

struct BitmapFormat {  // "strf" of "vids"
    std::int32_t width = 0;
    std::int32_t height = 0;
    std::uint32_t compression = 0;
};

struct WaveFormat {  // "strf" of "auds"
    std::uint16_t formatTag = 0;
    std::uint16_t channels = 0;
    std::uint32_t samplesPerSec = 0;
    std::uint16_t bitsPerSample = 0;
    std::uint16_t extraSize = 0;
    std::uint32_t channelMask = 0;
    std::array<std::uint8_t, 16> subFormat{};  // as stored: GUID fields little-endian
};

struct DvInfo {  // "strf" of "iavs"
    std::array<std::uint32_t, 8> words{};
};

enum class HeaderKind : std::uint32_t { kStreamHeader = 1, kSuperIndex = 2 };

struct StreamRecord {
    StreamHeader header;
    BitmapFormat bitmap;
    WaveFormat wave;
    DvInfo dv;
    HeaderKind kind = HeaderKind::kStreamHeader;
    std::uint64_t superIndexDuration = 0;  // sum over the entries, when kind is kSuperIndex
};

struct AviHeaders {
    MainHeader main;
    std::uint32_t dmlTotalFrames = 0;
    std::vector<StreamRecord> streams;  // at most two
};

inline constexpr std::size_t kMaxStreams = 2;

// Throws ScanError: kRiffScanNotAvi, kRiffScanReadFailed, kRiffScanFormatError.
AviHeaders ReadAviHeaders(ByteSource& source);

}  // namespace tandem::riffscan
