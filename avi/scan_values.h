#pragma once

// What a reader reports, derived from the header lists.

#include <array>
#include <cstdint>

#include "avi_headers.h"

namespace tandem::riffscan {

struct ScanValues {
    std::uint32_t hasVideo = 0;
    std::uint32_t hasAudio = 0;
    std::uint32_t microSecPerFrame = 0;
    std::uint32_t headerKind = 0;
    std::uint32_t dvAudio = 0;
    std::uint32_t videoCodec = 0;
    std::uint32_t frameCount = 0;
    std::uint32_t width = 0;
    std::uint32_t height = 0;
    std::uint32_t videoQuality = 0;
    std::uint32_t aspectNumerator = 0;
    std::uint32_t aspectDenominator = 0;
    std::uint32_t dvFrameMode = 0;
    std::uint32_t audioFormatTag = 0;
    std::uint64_t audioLength = 0;
    std::uint32_t channels = 0;
    std::uint32_t sampleRate = 0;
    std::uint32_t bitsPerSample = 0;
    std::uint32_t channelMask = 0;  // as stored; the reader falls back on 1 or 3
};

struct StreamChoice {
    int video = -1;
    int audio = -1;
};

// The last "vids"/"iavs" stream and the last "auds" stream.
StreamChoice ChooseStreams(const AviHeaders& headers);

// Throws ScanError(kRiffScanFormatError) when there is no video stream.
ScanValues DeriveValues(const AviHeaders& headers, const StreamChoice& choice);

// The stream's length in frames or samples: the super index's durations, or
// the stream header's length.
std::uint64_t StreamLength(const StreamRecord& stream);

// The channel mask a client is told: the stored one, else the plain mono or
// stereo layout.
std::uint32_t ReportedChannelMask(std::uint32_t mask, std::uint32_t channels);

// The format tag behind a WAVE_FORMAT_EXTENSIBLE sub-format (stored bytes);
// 0 for one we do not map.
std::uint16_t SubFormatTag(const std::array<std::uint8_t, 16>& subFormat);

}  // namespace tandem::riffscan
