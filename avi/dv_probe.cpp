#include "dv_probe.h"

#include <algorithm>
#include <array>
#include <cmath>
#include <exception>
#include <limits>
#include <vector>

#include "byte_order.h"

namespace tandem::riffscan {
namespace {

constexpr std::uint32_t kList = FourCc("LIST");
constexpr std::uint32_t kDvsd = FourCc("dvsd");

std::array<std::uint8_t, 2> StreamDigits(std::uint32_t streamNumber) {
    if (streamNumber > 4) streamNumber = 0;
    return {'0', static_cast<std::uint8_t>('0' + streamNumber)};
}

std::uint64_t DvAudioLength(const ScanValues& values) {
    const double samples = static_cast<double>(values.frameCount) * values.microSecPerFrame * values.sampleRate * 1e-6;
    // Past 2^64 the conversion is undefined; no real stream gets near it.
    constexpr double kLimit = 18446744073709551615.0;
    return samples >= kLimit ? std::numeric_limits<std::uint64_t>::max() : static_cast<std::uint64_t>(samples);
}

}  // namespace

std::optional<ChunkLocation> FindFirstVideoChunk(ByteSource& source, std::uint32_t streamNumber) {
    const auto digits = StreamDigits(streamNumber);
    std::uint64_t position = 12;
    for (;;) {
        std::array<std::uint8_t, 8> header;
        if (source.ReadAt(position, header) != header.size()) return std::nullopt;
        const std::uint32_t id = Le32(header, 0);
        // Zeros are not a chunk: the file's data is over or damaged.
        if (id == 0) return std::nullopt;
        if (id == kList) {
            position += 12;
            continue;
        }
        const std::uint32_t size = Le32(header, 4);
        if (header[0] == digits[0] && header[1] == digits[1]) return ChunkLocation{position + 8, size};
        position += 8 + static_cast<std::uint64_t>(size) + (size & 1);
    }
}

void ApplyDvPicture(std::span<const std::uint8_t, kDvRecordBytes> record, ScanValues& values) {
    const bool wide = (record[45] & 0x07) != 0;
    values.aspectNumerator = wide ? 16 : 4;
    values.aspectDenominator = wide ? 9 : 3;
    values.dvFrameMode = (record[30] & 0x08) ? 2 : 3;
}

void ApplyDvAudio(std::span<const std::uint8_t, kDvRecordBytes> record, ScanValues& values) {
    values.hasAudio = 1;
    values.dvAudio = 1;
    values.audioFormatTag = Le16(record, 52);
    values.channels = Le16(record, 54);
    values.sampleRate = Le32(record, 56);
    values.bitsPerSample = Le16(record, 66);
    values.channelMask = 0;
    values.audioLength = DvAudioLength(values);
}

void ProbeDv(ByteSource& source, const StreamChoice& choice, DvDecoder* decoder, ScanValues& values) {
    if (values.videoCodec != kDvsd || decoder == nullptr || choice.video < 0) return;
    try {
        const auto chunk = FindFirstVideoChunk(source, static_cast<std::uint32_t>(choice.video));
        if (!chunk || chunk->size < kDifBlockBytes) return;
        // The library reads a whole frame whatever the chunk holds: a short
        // chunk is padded with zeros, a long one read no further than a frame.
        std::vector<std::uint8_t> frame(kDvFrameBytes625);
        source.ReadExact(chunk->data, std::span(frame).first(std::min(chunk->size, kDvFrameBytes625)));
        std::array<std::uint8_t, kDvRecordBytes> record{};
        if (!decoder->ReadFrame(frame, chunk->size != kDvFrameBytes525, record)) return;
        ApplyDvPicture(record, values);
        if (choice.audio < 0 && decoder->WaveFormat(record)) ApplyDvAudio(record, values);
    } catch (const std::exception&) {
        // A DV failure (a read, the buffer) never fails the reader.
    }
}

}  // namespace tandem::riffscan
