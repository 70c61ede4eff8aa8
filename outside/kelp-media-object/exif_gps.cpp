#include "exif_gps.h"

#include <algorithm>
#include <cstring>
#include <optional>
#include <string_view>

namespace kelp {

namespace {

constexpr std::uint16_t kGpsDirectoryTag = 0x8825;
constexpr std::uint16_t kLatitudeRefTag = 1;
constexpr std::uint16_t kLatitudeTag = 2;
constexpr std::uint16_t kLongitudeRefTag = 3;
constexpr std::uint16_t kLongitudeTag = 4;
constexpr std::uint16_t kAltitudeRefTag = 5;
constexpr std::uint16_t kAltitudeTag = 6;
constexpr std::uint16_t kMapDatumTag = 18;

constexpr std::uint16_t kTypeByte = 1;
constexpr std::uint16_t kTypeAscii = 2;
constexpr std::uint16_t kTypeLong = 4;
constexpr std::uint16_t kTypeRational = 5;
constexpr std::uint16_t kTypeIfd = 13;

constexpr std::uint64_t kEntrySize = 12;
constexpr std::size_t kMapDatumSize = kGpsBlockSize - kMapDatumOffset;

bool StartsWith(std::span<const std::byte> bytes, std::string_view prefix) {
    return bytes.size() >= prefix.size() && std::memcmp(bytes.data(), prefix.data(), prefix.size()) == 0;
}

std::uint64_t TypeSize(std::uint16_t type) {
    switch (type) {
    case 1: case 2: case 6: case 7: return 1;
    case 3: case 8: return 2;
    case 4: case 9: case 11: case 13: return 4;
    case 5: case 10: case 12: return 8;
    default: return 0;
    }
}

// The TIFF structure's bytes in its own byte order. Every read is checked
// against the end in 64-bit arithmetic, so no offset or count can wrap.
class TiffBytes {
public:
    TiffBytes(std::span<const std::byte> bytes, bool bigEndian) : bytes_(bytes), bigEndian_(bigEndian) {}

    bool Contains(std::uint64_t offset, std::uint64_t size) const {
        return offset <= bytes_.size() && size <= bytes_.size() - offset;
    }

    std::optional<std::uint32_t> Unsigned(std::uint64_t offset, std::size_t size) const {
        if (!Contains(offset, size)) return std::nullopt;
        std::uint32_t value = 0;
        for (std::size_t i = 0; i < size; ++i) {
            const std::size_t at = static_cast<std::size_t>(offset) + (bigEndian_ ? i : size - 1 - i);
            value = (value << 8) | std::to_integer<std::uint32_t>(bytes_[at]);
        }
        return value;
    }

    std::span<const std::byte> Bytes(std::uint64_t offset, std::size_t size) const {
        return bytes_.subspan(static_cast<std::size_t>(offset), size);
    }

private:
    std::span<const std::byte> bytes_;
    bool bigEndian_;
};

struct Entry {
    std::uint16_t tag;
    std::uint16_t type;
    std::uint32_t count;
    std::uint64_t dataOffset;
    bool inFile;  // the whole value lies inside the file
};

// Calls f for each entry of the directory at offset. A directory outside the
// file has no entries and entries past its end are dropped; next-directory
// links are never followed, so no chain can loop.
template <class F>
void ForEachEntry(const TiffBytes& tiff, std::uint64_t offset, F&& f) {
    const auto count = tiff.Unsigned(offset, 2);
    if (!count) return;
    for (std::uint32_t i = 0; i < *count; ++i) {
        const std::uint64_t at = offset + 2 + i * kEntrySize;
        const auto tag = tiff.Unsigned(at, 2);
        const auto type = tiff.Unsigned(at + 2, 2);
        const auto items = tiff.Unsigned(at + 4, 4);
        const auto pointer = tiff.Unsigned(at + 8, 4);
        if (!tag || !type || !items || !pointer) return;
        const std::uint64_t size = TypeSize(static_cast<std::uint16_t>(*type)) * *items;
        const std::uint64_t dataOffset = size <= 4 ? at + 8 : *pointer;
        f(Entry{static_cast<std::uint16_t>(*tag), static_cast<std::uint16_t>(*type), *items, dataOffset,
                size > 0 && tiff.Contains(dataOffset, size)});
    }
}

void PutU32(GpsBlock& block, std::size_t offset, std::uint32_t value) {
    for (std::size_t i = 0; i < 4; ++i) block[offset + i] = static_cast<std::byte>(value >> (8 * i));
}

// The first count rationals of the entry, as they stand.
bool CopyRationals(const TiffBytes& tiff, const Entry& entry, std::uint32_t count, GpsBlock& block,
                   std::size_t offset) {
    if (entry.type != kTypeRational || entry.count < count || !entry.inFile) return false;
    for (std::uint32_t i = 0; i < 2 * count; ++i)
        PutU32(block, offset + 4 * i, *tiff.Unsigned(entry.dataOffset + 4 * i, 4));
    return true;
}

// At most size - 1 bytes of the text, so the block keeps its terminator.
bool CopyText(const TiffBytes& tiff, const Entry& entry, GpsBlock& block, std::size_t offset, std::size_t size) {
    if (entry.type != kTypeAscii || !entry.inFile) return false;
    const std::size_t length = std::min<std::size_t>(entry.count, size - 1);
    const auto text = tiff.Bytes(entry.dataOffset, length);
    for (std::size_t i = 0; i < text.size() && text[i] != std::byte{0}; ++i) block[offset + i] = text[i];
    return true;
}

bool CopyByte(const TiffBytes& tiff, const Entry& entry, GpsBlock& block, std::size_t offset) {
    if (entry.type != kTypeByte || !entry.inFile) return false;
    block[offset] = tiff.Bytes(entry.dataOffset, 1)[0];
    return true;
}

bool CopyField(const TiffBytes& tiff, const Entry& entry, GpsBlock& block) {
    switch (entry.tag) {
    case kLatitudeRefTag: return CopyText(tiff, entry, block, kLatitudeRefOffset, kReferenceSize);
    case kLatitudeTag: return CopyRationals(tiff, entry, 3, block, kLatitudeOffset);
    case kLongitudeRefTag: return CopyText(tiff, entry, block, kLongitudeRefOffset, kReferenceSize);
    case kLongitudeTag: return CopyRationals(tiff, entry, 3, block, kLongitudeOffset);
    case kAltitudeRefTag: return CopyByte(tiff, entry, block, kAltitudeRefOffset);
    case kAltitudeTag: return CopyRationals(tiff, entry, 1, block, kAltitudeOffset);
    case kMapDatumTag: return CopyText(tiff, entry, block, kMapDatumOffset, kMapDatumSize);
    default: return false;
    }
}

GpsBlock EmptyBlock() {
    GpsBlock block{};
    for (std::size_t offset : {kLatitudeOffset, kLatitudeOffset + 8, kLatitudeOffset + 16, kLongitudeOffset,
                               kLongitudeOffset + 8, kLongitudeOffset + 16, kAltitudeOffset})
        PutU32(block, offset, kAbsent);
    return block;
}

std::optional<std::uint64_t> GpsDirectory(const TiffBytes& tiff, std::uint64_t firstDirectory) {
    std::optional<std::uint64_t> found;
    ForEachEntry(tiff, firstDirectory, [&](const Entry& entry) {
        if (entry.tag == kGpsDirectoryTag && (entry.type == kTypeLong || entry.type == kTypeIfd) && entry.count == 1)
            found = tiff.Unsigned(entry.dataOffset, 4);
    });
    return found;
}

void ReadTiff(std::span<const std::byte> bytes, ExifGps& result) {
    using namespace std::string_view_literals;
    if (bytes.size() < 8 || !(StartsWith(bytes, "II"sv) || StartsWith(bytes, "MM"sv))) return;
    const bool bigEndian = bytes[0] == std::byte{'M'};
    const TiffBytes tiff(bytes, bigEndian);
    if (*tiff.Unsigned(2, 2) != 42) return;
    const auto gps = GpsDirectory(tiff, *tiff.Unsigned(4, 4));
    if (!gps) return;
    ForEachEntry(tiff, *gps, [&](const Entry& entry) {
        if (CopyField(tiff, entry, result.block)) result.hasGps = true;
    });
}

// The TIFF structure of the first APP1 "Exif" segment before the image
// data; a segment longer than the file is cut at its end.
std::optional<std::span<const std::byte>> FindExifSegment(std::span<const std::byte> file) {
    constexpr std::string_view kExifHeader{"Exif\0\0", 6};
    std::size_t pos = 2;
    while (pos < file.size() && file[pos] == std::byte{0xFF}) {
        while (pos < file.size() && file[pos] == std::byte{0xFF}) ++pos;
        if (pos >= file.size()) break;
        const auto marker = std::to_integer<unsigned>(file[pos++]);
        if (marker == 0xD9 || marker == 0xDA) break;
        if (marker == 0x01 || (marker >= 0xD0 && marker <= 0xD7)) continue;
        if (file.size() - pos < 2) break;
        const std::size_t length = std::to_integer<std::size_t>(file[pos]) << 8 | std::to_integer<std::size_t>(file[pos + 1]);
        if (length < 2) break;
        const auto segment = file.subspan(pos + 2, std::min(length - 2, file.size() - pos - 2));
        if (marker == 0xE1 && StartsWith(segment, kExifHeader)) return segment.subspan(kExifHeader.size());
        pos += length;
    }
    return std::nullopt;
}

}  // namespace

ExifGps ReadExifGps(std::span<const std::byte> file) {
    ExifGps result;
    result.block = EmptyBlock();
    using namespace std::string_view_literals;
    if (StartsWith(file, "\xFF\xD8"sv)) {
        result.mediaType = kMediaJpeg;
        if (const auto exif = FindExifSegment(file)) ReadTiff(*exif, result);
    } else if (StartsWith(file, "II*\0"sv) || StartsWith(file, "MM\0*"sv)) {
        result.mediaType = kMediaTiff;
        ReadTiff(file, result);
    }
    return result;
}

}  // namespace kelp
