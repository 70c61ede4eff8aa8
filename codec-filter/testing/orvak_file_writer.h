#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <filesystem>
#include <optional>
#include <vector>

namespace tandem::test {

// An ID3-style tag block in front of the container header.
struct OrvakTagBlock {
    std::array<char, 3> magic{'I', 'D', '3'};  // "ID3" or "eo3"
    std::vector<std::byte> body;               // what follows the 10-byte tag header
    // The four size bytes as written; absent, the body's length in 7-bit groups.
    std::optional<std::array<std::uint8_t, 4>> sizeBytes;
};

// A synthetic Orvak file. Defaults describe a valid codec-0 file with
// 768-byte frames and no audio; every field may be set out of range to
// make a file the parser must refuse.
struct OrvakFile {
    std::optional<OrvakTagBlock> tag;
    std::array<char, 3> magic{'E', 'O', '3'};
    std::uint16_t headerLength = 36;  // 36 bytes of fields, the rest zero padding
    std::uint16_t marker = 0xFFFF;
    std::uint8_t codec = 0;
    std::uint8_t rateIndex = 1;     // 3 bits
    std::uint8_t channelCode = 2;   // 3 bits, read for codec 1 only
    std::uint16_t frameBits = 0x60; // 10 bits
    std::vector<std::byte> audio;
};

inline constexpr std::size_t kOrvakHeaderFields = 36;

// The 32-bit codec word the header carries.
std::uint32_t OrvakCodecWord(const OrvakFile& file);
// Frame size in bytes as the codec derives it from the frame-size bits.
std::uint32_t OrvakFrameSize(const OrvakFile& file);
// Where the header starts: after the tag block, if any.
std::uint64_t OrvakHeaderOffset(const OrvakFile& file);
// Where the audio data starts in the written file. A header length shorter
// than the header fields still places the audio after them.
std::uint64_t OrvakAudioOffset(const OrvakFile& file);

// The file's bytes: tag block, header, padding to the header length, audio.
std::vector<std::byte> BuildOrvakFile(const OrvakFile& file);

// Reproducible audio payload: byte i of any payload is OrvakPatternByte(i).
std::byte OrvakPatternByte(std::uint64_t index) noexcept;
std::vector<std::byte> OrvakPatternAudio(std::size_t size);

void WriteBytes(const std::filesystem::path& path, const std::vector<std::byte>& bytes);
void WriteOrvakFile(const std::filesystem::path& path, const OrvakFile& file);
// Writes the file followed by patternBytes more bytes of pattern audio
// (continuing the pattern after file.audio), without holding them in memory.
void WriteOrvakFile(const std::filesystem::path& path, const OrvakFile& file, std::uint64_t patternBytes);

}  // namespace tandem::test
