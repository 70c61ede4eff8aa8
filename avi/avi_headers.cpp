#include "avi_headers.h"

#include <algorithm>

#include "byte_order.h"
#include "scan_error.h"

namespace tandem::riffscan {
namespace {

constexpr std::uint32_t kRiff = FourCc("RIFF");
constexpr std::uint32_t kAviForm = FourCc("AVI ");
constexpr std::uint32_t kList = FourCc("LIST");
constexpr std::uint32_t kMovi = FourCc("movi");
constexpr std::uint32_t kAvih = FourCc("avih");
constexpr std::uint32_t kDmlh = FourCc("dmlh");
constexpr std::uint32_t kStrh = FourCc("strh");
constexpr std::uint32_t kStrf = FourCc("strf");
constexpr std::uint32_t kIndx = FourCc("indx");
constexpr std::uint32_t kVids = FourCc("vids");
constexpr std::uint32_t kAuds = FourCc("auds");
constexpr std::uint32_t kIavs = FourCc("iavs");

constexpr std::uint16_t kWaveFormatExtensible = 0xFFFE;
constexpr std::size_t kWaveFormatBytes = 18;
constexpr std::size_t kExtensibleBytes = kWaveFormatBytes + 22;
constexpr std::size_t kSuperIndexHeaderBytes = 24;  // after the chunk's id and size
constexpr std::size_t kSuperIndexEntryBytes = 16;
constexpr std::size_t kEntriesPerRead = 256;

struct Chunk {
    std::uint32_t id;
    std::uint32_t size;
    std::uint64_t data;  // file offset of the chunk's data

    // Chunks are padded to an even size.
    std::uint64_t End() const { return data + size + (size & 1); }
};

// The first n bytes of a chunk's data; bytes past its end read as zero, so a
// short chunk never lends its fields to the chunk after it.
template <std::size_t N>
std::array<std::uint8_t, N> ReadData(ByteSource& source, const Chunk& chunk, std::size_t n = N) {
    std::array<std::uint8_t, N> bytes{};
    source.ReadExact(chunk.data, std::span(bytes).first(std::min<std::size_t>({n, N, chunk.size})));
    return bytes;
}

MainHeader ReadMainHeader(ByteSource& source, const Chunk& chunk) {
    const auto bytes = ReadData<56>(source, chunk);
    MainHeader main;
    main.microSecPerFrame = Le32(bytes, 0);
    main.totalFrames = Le32(bytes, 16);
    main.streams = Le32(bytes, 24);
    main.width = Le32(bytes, 32);
    main.height = Le32(bytes, 36);
    if (main.streams < 1 || main.streams > kMaxStreams) throw ScanError(kRiffScanFormatError);
    return main;
}

StreamHeader ReadStreamHeader(ByteSource& source, const Chunk& chunk) {
    const auto bytes = ReadData<64>(source, chunk);
    return {.type = Le32(bytes, 0), .handler = Le32(bytes, 4), .length = Le32(bytes, 32), .quality = Le32(bytes, 40)};
}

BitmapFormat ReadBitmapFormat(ByteSource& source, const Chunk& chunk) {
    const auto bytes = ReadData<40>(source, chunk);
    return {.width = static_cast<std::int32_t>(Le32(bytes, 4)),
            .height = static_cast<std::int32_t>(Le32(bytes, 8)),
            .compression = Le32(bytes, 16)};
}

WaveFormat ReadWaveFormat(ByteSource& source, const Chunk& chunk) {
    auto bytes = ReadData<kExtensibleBytes>(source, chunk, kWaveFormatBytes);
    WaveFormat wave;
    wave.formatTag = Le16(bytes, 0);
    wave.channels = Le16(bytes, 2);
    wave.samplesPerSec = Le32(bytes, 4);
    wave.bitsPerSample = Le16(bytes, 14);
    wave.extraSize = Le16(bytes, 16);
    if (wave.formatTag == kWaveFormatExtensible && wave.extraSize > 21) {
        bytes = ReadData<kExtensibleBytes>(source, chunk);
        wave.channelMask = Le32(bytes, 20);
        std::copy_n(bytes.begin() + 24, wave.subFormat.size(), wave.subFormat.begin());
    }
    return wave;
}

DvInfo ReadDvInfo(ByteSource& source, const Chunk& chunk) {
    const auto bytes = ReadData<32>(source, chunk);
    DvInfo dv;
    for (std::size_t i = 0; i < dv.words.size(); ++i) dv.words[i] = Le32(bytes, i * 4);
    return dv;
}

void ReadStreamFormat(ByteSource& source, const Chunk& chunk, StreamRecord& stream) {
    switch (stream.header.type) {
    case 0: throw ScanError(kRiffScanFormatError);
    case kVids: stream.bitmap = ReadBitmapFormat(source, chunk); break;
    case kAuds: stream.wave = ReadWaveFormat(source, chunk); break;
    case kIavs: stream.dv = ReadDvInfo(source, chunk); break;
    default: break;
    }
}

// Sums the durations of the entries as they are read: the entry count comes
// from the file, so it is held to what the chunk itself can contain.
std::uint64_t ReadSuperIndexDuration(ByteSource& source, const Chunk& chunk) {
    const auto header = ReadData<kSuperIndexHeaderBytes>(source, chunk);
    const std::uint64_t capacity =
        chunk.size > kSuperIndexHeaderBytes ? (chunk.size - kSuperIndexHeaderBytes) / kSuperIndexEntryBytes : 0;
    std::uint64_t remaining = std::min<std::uint64_t>(Le32(header, 4), capacity);
    std::uint64_t offset = chunk.data + kSuperIndexHeaderBytes;
    std::array<std::uint8_t, kEntriesPerRead * kSuperIndexEntryBytes> block;
    std::uint64_t duration = 0;
    while (remaining > 0) {
        const std::size_t entries = static_cast<std::size_t>(std::min<std::uint64_t>(remaining, kEntriesPerRead));
        const auto bytes = std::span(block).first(entries * kSuperIndexEntryBytes);
        source.ReadExact(offset, bytes);
        for (std::size_t i = 0; i < entries; ++i) duration += Le32(bytes, i * kSuperIndexEntryBytes + 12);
        remaining -= entries;
        offset += bytes.size();
    }
    return duration;
}

class HeaderWalk {
public:
    explicit HeaderWalk(ByteSource& source) : source_(source) {}

    AviHeaders Run() {
        CheckRiffForm();
        // The first list header ("hdrl") is taken without inspection.
        std::array<std::uint8_t, 12> firstList;
        source_.ReadExact(12, firstList);
        position_ = 24;
        while (Step()) {
        }
        if (headers_.streams.empty()) throw ScanError(kRiffScanFormatError);
        return std::move(headers_);
    }

private:
    void CheckRiffForm() {
        std::array<std::uint8_t, 12> bytes;
        if (source_.ReadAt(0, bytes) != bytes.size() || Le32(bytes, 0) != kRiff || Le32(bytes, 8) != kAviForm)
            throw ScanError(kRiffScanNotAvi);
    }

    // One chunk; false once the headers are over.
    bool Step() {
        std::array<std::uint8_t, 4> id;
        if (source_.ReadAt(position_, id) != id.size() || Le32(id, 0) == 0) return false;
        std::array<std::uint8_t, 8> rest;
        if (Le32(id, 0) == kList) {
            source_.ReadExact(position_ + 4, rest);
            if (Le32(rest, 4) == kMovi) return false;
            position_ += 12;  // into the list
            return true;
        }
        source_.ReadExact(position_ + 4, std::span(rest).first(4));
        const Chunk chunk{Le32(id, 0), Le32(rest, 0), position_ + 8};
        Take(chunk);
        position_ = chunk.End();
        return true;
    }

    void Take(const Chunk& chunk) {
        switch (chunk.id) {
        case kAvih: headers_.main = ReadMainHeader(source_, chunk); break;
        case kDmlh: headers_.dmlTotalFrames = Le32(ReadData<4>(source_, chunk), 0); break;
        case kStrh:
            if (headers_.streams.size() == kMaxStreams) throw ScanError(kRiffScanFormatError);
            headers_.streams.emplace_back().header = ReadStreamHeader(source_, chunk);
            break;
        case kStrf:
            if (!headers_.streams.empty()) ReadStreamFormat(source_, chunk, headers_.streams.back());
            break;
        case kIndx:
            if (headers_.streams.empty()) break;
            headers_.streams.back().kind = HeaderKind::kSuperIndex;
            headers_.streams.back().superIndexDuration = ReadSuperIndexDuration(source_, chunk);
            break;
        default: break;
        }
    }

    ByteSource& source_;
    std::uint64_t position_ = 0;
    AviHeaders headers_;
};

}  // namespace

AviHeaders ReadAviHeaders(ByteSource& source) { return HeaderWalk(source).Run(); }

}  // namespace tandem::riffscan
