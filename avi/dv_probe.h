#pragma once

// The first frame of DV video, read through the outside DV library.

#include <cstdint>
#include <optional>
#include <span>

#include "byte_source.h"
#include "scan_values.h"

namespace tandem::riffscan {

inline constexpr std::size_t kDifBlockBytes = 80;
inline constexpr std::uint32_t kDvFrameBytes525 = 120'000;
inline constexpr std::uint32_t kDvFrameBytes625 = 144'000;
// The DV library's result record; of it we read offsets 30, 45 and 52 to 67.
inline constexpr std::size_t kDvRecordBytes = 128;

// The DV library as the scan sees it; false: the call failed.
class DvDecoder {
public:
    // frame holds kDvFrameBytes625 bytes; frame144000 tells the library how
    // many of them make the frame.
    virtual bool ReadFrame(std::span<const std::uint8_t> frame, bool frame144000,
                           std::span<std::uint8_t, kDvRecordBytes> record) = 0;
    // Fills the wave format at offset 52 from the packs in the record.
    virtual bool WaveFormat(std::span<std::uint8_t, kDvRecordBytes> record) = 0;

protected:
    ~DvDecoder() = default;
};

struct ChunkLocation {
    std::uint64_t data;  // file offset of the chunk's data
    std::uint32_t size;
};

// Walks from offset 12 into every list; the first chunk whose id starts with
// the stream's two digits ("00" for streams above 4).
std::optional<ChunkLocation> FindFirstVideoChunk(ByteSource& source, std::uint32_t streamNumber);

void ApplyDvPicture(std::span<const std::uint8_t, kDvRecordBytes> record, ScanValues& values);
void ApplyDvAudio(std::span<const std::uint8_t, kDvRecordBytes> record, ScanValues& values);

// Adds the aspect, frame mode and (with no "auds" stream) audio of the first
// DV frame. A DV failure leaves the values as they are; decoder may be null
// when the library is not there.
void ProbeDv(ByteSource& source, const StreamChoice& choice, DvDecoder* decoder, ScanValues& values);

}  // namespace tandem::riffscan
