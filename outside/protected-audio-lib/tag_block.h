#pragma once

// The tag block at the start of a protected file, in the form of an ID3
// version 2 tag with its own magic:
//
//   header  "eo3", version 4 (3 is read too), revision 0, flags (bit 0: the file is locked),
//           size of the frames that follow as four 7-bit bytes, high first;
//   frame   tag id (32-bit big-endian, 0 marks padding and ends the block),
//           body size (four 7-bit bytes), two flag bytes (0), body;
//   body    the tag's values, one after the other, each a kind byte and:
//           0 empty; 1 a 32-bit integer; 2 a date (64-bit double);
//           3 text: its byte length (32-bit) and UTF-16 code units;
//           4 picture: four values of kinds 0 to 3 (file name, MIME type,
//           description, picture type) and the data: length (32-bit) and bytes.
// Numbers inside bodies are little-endian. A file without the magic has an
// empty block; the rest of the file is the audio and stays as it is.

#include <array>
#include <cstddef>
#include <cstdint>
#include <span>
#include <string>
#include <variant>
#include <vector>

namespace tandem::vlt {

struct Date {
    double value = 0;
    bool operator==(const Date&) const = default;
};

using ScalarValue = std::variant<std::monostate, std::int32_t, Date, std::wstring>;

struct Picture {
    std::array<ScalarValue, 4> properties;  // library ids 8704 to 8707
    std::vector<std::byte> data;
    bool operator==(const Picture&) const = default;
};

using TagValue = std::variant<std::monostate, std::int32_t, Date, std::wstring, Picture>;

struct Frame {
    std::uint32_t tag = 0;
    std::vector<TagValue> values;
    bool operator==(const Frame&) const = default;
};

inline constexpr std::uint8_t kLockedFlag = 0x01;

struct TagBlock {
    std::uint8_t flags = 0;
    std::vector<Frame> frames;
    bool operator==(const TagBlock&) const = default;
};

struct ParsedFile {
    TagBlock block;
    std::size_t blockLength = 0;  // header and frames; 0 without a block
};

// Raises VLT_E_BAD_BLOCK for a block that runs past the end of the bytes or
// holds a value that does not fit its frame.
ParsedFile ParseTagFile(std::span<const std::byte> bytes);

// The block's bytes, header included.
std::vector<std::byte> SerializeTagBlock(const TagBlock& block);

}  // namespace tandem::vlt
