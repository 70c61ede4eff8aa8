#include "riff_writer.h"

#include <cstring>

namespace tandem::riffscan::test {
namespace {

void Put32(Bytes& bytes, std::size_t offset, std::uint32_t value) {
    for (int i = 0; i < 4; ++i) bytes[offset + i] = static_cast<std::uint8_t>(value >> (8 * i));
}

}  // namespace

FieldWriter& FieldWriter::U16(std::uint32_t value) {
    bytes_.push_back(static_cast<std::uint8_t>(value));
    bytes_.push_back(static_cast<std::uint8_t>(value >> 8));
    return *this;
}

FieldWriter& FieldWriter::U32(std::uint32_t value) {
    U16(value & 0xFFFF);
    return U16(value >> 16);
}

FieldWriter& FieldWriter::Raw(const Bytes& bytes) {
    bytes_.insert(bytes_.end(), bytes.begin(), bytes.end());
    return *this;
}

FieldWriter& FieldWriter::Zeros(std::size_t count) {
    bytes_.insert(bytes_.end(), count, 0);
    return *this;
}

RiffWriter& RiffWriter::Chunk(std::uint32_t id, const Bytes& data) {
    return ChunkClaiming(id, static_cast<std::uint32_t>(data.size()), data);
}

RiffWriter& RiffWriter::ChunkClaiming(std::uint32_t id, std::uint32_t size, const Bytes& data) {
    boundaries_.push_back(body_.size());
    body_.insert(body_.end(), 8, 0);
    Put32(body_, body_.size() - 8, id);
    Put32(body_, body_.size() - 4, size);
    body_.insert(body_.end(), data.begin(), data.end());
    if (data.size() & 1) body_.push_back(0);
    boundaries_.push_back(body_.size());
    return *this;
}

RiffWriter& RiffWriter::BeginList(const char (&type)[5]) {
    boundaries_.push_back(body_.size());
    openLists_.push_back(body_.size());
    body_.insert(body_.end(), 12, 0);
    Put32(body_, body_.size() - 12, FourCc("LIST"));
    Put32(body_, body_.size() - 4, FourCc(type));
    return *this;
}

RiffWriter& RiffWriter::EndList() {
    const std::size_t start = openLists_.back();
    openLists_.pop_back();
    Put32(body_, start + 4, static_cast<std::uint32_t>(body_.size() - start - 8));
    boundaries_.push_back(body_.size());
    return *this;
}

Bytes RiffWriter::Form(const char (&type)[5]) const {
    Bytes file = FieldWriter().Code("RIFF").U32(static_cast<std::uint32_t>(body_.size() + 4)).Code(type).Take();
    file.insert(file.end(), body_.begin(), body_.end());
    return file;
}

std::vector<std::size_t> RiffWriter::Boundaries() const {
    std::vector<std::size_t> offsets;
    for (std::size_t offset : boundaries_) offsets.push_back(offset + 12);
    return offsets;
}

Bytes Avih(const MainFields& f) {
    return FieldWriter()
        .U32(f.microSecPerFrame).U32(0).U32(0).U32(0x10).U32(f.totalFrames).U32(0).U32(f.streams).U32(0)
        .U32(f.width).U32(f.height).Zeros(16)
        .Take();
}

Bytes Strh(const StreamFields& f) {
    return FieldWriter()
        .U32(f.type).U32(f.handler).U32(0).U16(0).U16(0).U32(0).U32(1).U32(25).U32(0)
        .U32(f.length).U32(0).U32(f.quality).U32(0).Zeros(8)
        .Take();
}

Bytes BitmapInfo(std::int32_t width, std::int32_t height, std::uint32_t compression) {
    return FieldWriter()
        .U32(40).U32(static_cast<std::uint32_t>(width)).U32(static_cast<std::uint32_t>(height)).U16(1).U16(24)
        .U32(compression).U32(0).Zeros(16)
        .Take();
}

Bytes Wave16(std::uint16_t channels, std::uint32_t rate, std::uint16_t bits) {
    const std::uint32_t align = channels * bits / 8;
    return FieldWriter().U16(1).U16(channels).U32(rate).U32(rate * align).U16(align).U16(bits).Take();
}

Bytes Wave(std::uint16_t tag, std::uint16_t channels, std::uint32_t rate, std::uint16_t bits, std::uint16_t extraSize) {
    Bytes bytes = Wave16(channels, rate, bits);
    bytes[0] = static_cast<std::uint8_t>(tag);
    bytes[1] = static_cast<std::uint8_t>(tag >> 8);
    return FieldWriter().Raw(bytes).U16(extraSize).Take();
}

Bytes Extensible(std::uint16_t channels, std::uint32_t rate, std::uint16_t bits, std::uint32_t mask,
                 const Bytes& subFormat, std::uint16_t extraSize) {
    return FieldWriter().Raw(Wave(0xFFFE, channels, rate, bits, extraSize)).U16(bits).U32(mask).Raw(subFormat).Take();
}

Bytes DvInfoFormat() {
    return FieldWriter().U32(0xD0C0).U32(0xC0C0).U32(0xD0C0).U32(0xC0C0).U32(0xFFA0).U32(0xFFC8).Zeros(8).Take();
}

Bytes SuperIndex(const std::vector<std::uint32_t>& durations, std::optional<std::uint32_t> count) {
    FieldWriter writer;
    writer.U16(4).U16(0).U32(count.value_or(static_cast<std::uint32_t>(durations.size()))).Code("00dc").Zeros(12);
    std::uint32_t offset = 0x10000;
    for (std::uint32_t duration : durations) writer.U32(offset += 0x1000).U32(0).U32(0x800).U32(duration);
    return writer.Take();
}

RiffWriter AviLayout(const Bytes& avih, const std::vector<Stream>& streams,
                     const std::vector<std::pair<std::uint32_t, Bytes>>& movi) {
    RiffWriter writer;
    writer.BeginList("hdrl").Chunk(FourCc("avih"), avih);
    for (const Stream& stream : streams) {
        writer.BeginList("strl").Chunk(FourCc("strh"), stream.strh);
        if (stream.strf) writer.Chunk(FourCc("strf"), *stream.strf);
        if (stream.indx) writer.Chunk(FourCc("indx"), *stream.indx);
        writer.EndList();
    }
    writer.EndList().BeginList("movi");
    for (const auto& [id, data] : movi) writer.Chunk(id, data);
    writer.EndList();
    return writer;
}

Bytes MakeAvi(const Bytes& avih, const std::vector<Stream>& streams,
              const std::vector<std::pair<std::uint32_t, Bytes>>& movi) {
    return AviLayout(avih, streams, movi).Form();
}

}  // namespace tandem::riffscan::test
