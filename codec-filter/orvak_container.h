#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <optional>
#include <span>
#include <string_view>

namespace tandem::orvak {

inline constexpr std::size_t kLeadSize = 10;          // tag magic up to the tag size
inline constexpr std::size_t kHeaderSize = 36;        // container header bytes read
inline constexpr std::size_t kFormatBlockSize = 52;   // extensible wave format block
inline constexpr std::uint32_t kSampleRate = 44100;
inline constexpr std::int64_t kUnitsPerSecond = 10'000'000;

// A validated container header and where it sits in the file.
struct Header {
    std::array<std::byte, kHeaderSize> bytes{};
    std::uint64_t dataOffset = 0;  // first byte of audio data
    std::uint32_t codecWord = 0;   // host order

    unsigned Codec() const noexcept { return codecWord >> 24; }
    unsigned RateIndex() const noexcept { return (codecWord >> 13) & 7; }
    unsigned ChannelCode() const noexcept { return (codecWord >> 10) & 7; }
    std::uint32_t FrameSize() const noexcept;
    std::uint32_t SamplesPerFrame() const noexcept { return Codec() == 1 ? 2048 : 1024; }
    unsigned Channels() const noexcept { return Codec() == 1 ? ChannelCode() : 2; }
};

// Only files named ".vla" or ".ov3" (any case) are parsed.
bool HasOrvakExtension(std::wstring_view fileName) noexcept;

// Where the container header starts, from the file's first bytes (up to
// kLeadSize): 0 for a bare header, after the tag block for "ID3"/"eo3".
// Absent for any other magic or when the bytes end too soon.
std::optional<std::uint64_t> FindHeader(std::span<const std::byte> lead) noexcept;

// Validates the header read at headerStart against a stream of streamLength
// bytes. Absent when a field is out of range, the bytes are cut short, or
// the audio data would start inside the header or past the end.
std::optional<Header> ParseHeader(std::span<const std::byte> bytes, std::uint64_t headerStart,
                                  std::uint64_t streamLength) noexcept;

// Media time (100 ns units) of a byte count of audio data; whole frames only.
std::int64_t BytesToMediaTime(const Header& header, std::int64_t bytes) noexcept;

// The file position of the frame playing at a media time; never before the
// audio data, never past streamLength.
std::int64_t MediaTimeToPosition(const Header& header, std::int64_t time, std::int64_t streamLength) noexcept;

// Where an aligned read starts for a wanted position, and how many bytes of
// it to drop.
struct ReadStart {
    std::int64_t position = 0;
    std::int64_t skip = 0;
};
ReadStart AlignRead(std::int64_t wanted, std::int64_t alignment) noexcept;

// The output pin's format block; absent for channel counts other than 2 and 5.
std::optional<std::array<std::byte, kFormatBlockSize>> MakeFormatBlock(const Header& header) noexcept;

}  // namespace tandem::orvak
