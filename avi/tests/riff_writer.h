#pragma once

// Builds RIFF/AVI files in memory for the tests: chunks, lists and the
// header records a reader looks at.

#include <cstdint>
#include <optional>
#include <string>
#include <utility>
#include <vector>

#include "byte_order.h"

namespace tandem::riffscan::test {

using Bytes = std::vector<std::uint8_t>;

// Little-endian fields, appended in order.
class FieldWriter {
public:
    FieldWriter& U16(std::uint32_t value);
    FieldWriter& U32(std::uint32_t value);
    FieldWriter& Code(const char (&code)[5]) { return U32(FourCc(code)); }
    FieldWriter& Raw(const Bytes& bytes);
    FieldWriter& Zeros(std::size_t count);
    Bytes Take() { return std::move(bytes_); }

private:
    Bytes bytes_;
};

// Chunks and lists of a RIFF form; remembers where every chunk starts and
// ends so that tests can cut the file there.
class RiffWriter {
public:
    RiffWriter& Chunk(std::uint32_t id, const Bytes& data);
    // A chunk whose size field says something else than its data.
    RiffWriter& ChunkClaiming(std::uint32_t id, std::uint32_t size, const Bytes& data);
    RiffWriter& BeginList(const char (&type)[5]);
    RiffWriter& EndList();
    // The whole file: "RIFF", size, the form type and the body.
    Bytes Form(const char (&type)[5] = "AVI ") const;
    // File offsets of chunk starts and ends, in order.
    std::vector<std::size_t> Boundaries() const;

private:
    Bytes body_;
    std::vector<std::size_t> openLists_;
    std::vector<std::size_t> boundaries_;
};

struct MainFields {
    std::uint32_t microSecPerFrame = 40000;
    std::uint32_t totalFrames = 25;
    std::uint32_t streams = 1;
    std::uint32_t width = 320;
    std::uint32_t height = 240;
};
Bytes Avih(const MainFields& fields);

struct StreamFields {
    std::uint32_t type = FourCc("vids");
    std::uint32_t handler = 0;
    std::uint32_t length = 0;
    std::uint32_t quality = 0;
};
Bytes Strh(const StreamFields& fields);

Bytes BitmapInfo(std::int32_t width, std::int32_t height, std::uint32_t compression);
// The 18-byte wave format, and the 16-byte PCM one without the extra-size field.
Bytes Wave(std::uint16_t tag, std::uint16_t channels, std::uint32_t rate, std::uint16_t bits,
           std::uint16_t extraSize = 0);
Bytes Wave16(std::uint16_t channels, std::uint32_t rate, std::uint16_t bits);
// WAVE_FORMAT_EXTENSIBLE; subFormat is a GUID in its stored layout.
Bytes Extensible(std::uint16_t channels, std::uint32_t rate, std::uint16_t bits, std::uint32_t mask,
                 const Bytes& subFormat, std::uint16_t extraSize = 22);
Bytes DvInfoFormat();
// An "indx" super index; count: the entry count it claims (default: the entries).
Bytes SuperIndex(const std::vector<std::uint32_t>& durations, std::optional<std::uint32_t> count = std::nullopt);

struct Stream {
    Bytes strh;
    std::optional<Bytes> strf;
    std::optional<Bytes> indx;
};

// A complete AVI: "hdrl" with avih and a "strl" per stream, then "movi" with
// the given chunks.
RiffWriter AviLayout(const Bytes& avih, const std::vector<Stream>& streams,
                     const std::vector<std::pair<std::uint32_t, Bytes>>& movi = {});
Bytes MakeAvi(const Bytes& avih, const std::vector<Stream>& streams,
              const std::vector<std::pair<std::uint32_t, Bytes>>& movi = {});

}  // namespace tandem::riffscan::test
