#include "exif_writer.h"

#include <windows.h>

#include <cmath>

#include "error.h"
#include "unique_resource.h"

namespace kelp::test {

namespace {

constexpr std::uint16_t kTypeByte = 1;
constexpr std::uint16_t kTypeAscii = 2;
constexpr std::uint16_t kTypeLong = 4;
constexpr std::uint16_t kTypeRational = 5;

void Append(std::vector<std::byte>& out, const std::vector<std::byte>& bytes) {
    out.insert(out.end(), bytes.begin(), bytes.end());
}

void AppendText(std::vector<std::byte>& out, std::string_view text) {
    for (char c : text) out.push_back(static_cast<std::byte>(c));
}

}  // namespace

std::vector<std::byte> TiffWriter::Bytes(std::uint32_t value) const {
    std::vector<std::byte> bytes(4);
    for (std::size_t i = 0; i < 4; ++i) {
        const std::size_t shift = order_ == ByteOrder::Little ? 8 * i : 8 * (3 - i);
        bytes[i] = static_cast<std::byte>(value >> shift);
    }
    return bytes;
}

TiffWriter& TiffWriter::Ascii(std::uint16_t tag, std::string_view text, bool terminated) {
    Entry entry{tag, kTypeAscii, 0, {}, std::nullopt};
    AppendText(entry.data, text);
    if (terminated) entry.data.push_back(std::byte{0});
    entry.count = static_cast<std::uint32_t>(entry.data.size());
    entries_.push_back(std::move(entry));
    return *this;
}

TiffWriter& TiffWriter::Rationals(std::uint16_t tag, const std::vector<Rational>& values) {
    Entry entry{tag, kTypeRational, static_cast<std::uint32_t>(values.size()), {}, std::nullopt};
    for (const Rational& value : values) {
        Append(entry.data, Bytes(value.numerator));
        Append(entry.data, Bytes(value.denominator));
    }
    entries_.push_back(std::move(entry));
    return *this;
}

TiffWriter& TiffWriter::Byte(std::uint16_t tag, std::uint8_t value) {
    entries_.push_back(Entry{tag, kTypeByte, 1, {static_cast<std::byte>(value)}, std::nullopt});
    return *this;
}

TiffWriter& TiffWriter::Raw(std::uint16_t tag, std::uint16_t type, std::uint32_t count, std::uint32_t valueField) {
    entries_.push_back(Entry{tag, type, count, {}, valueField});
    return *this;
}

TiffWriter& TiffWriter::GpsDirectoryAt(std::uint32_t offset) {
    gpsOffset_ = offset;
    return *this;
}

std::vector<std::byte> TiffWriter::Build() const {
    auto u16 = [&](std::uint16_t value) {
        const auto bytes = Bytes(value);
        return order_ == ByteOrder::Little ? std::vector<std::byte>{bytes[0], bytes[1]}
                                           : std::vector<std::byte>{bytes[2], bytes[3]};
    };
    std::vector<std::byte> out;
    AppendText(out, order_ == ByteOrder::Little ? "II" : "MM");
    Append(out, u16(42));
    Append(out, Bytes(8));
    // The first directory: the GPS pointer only.
    Append(out, u16(1));
    Append(out, u16(0x8825));
    Append(out, u16(kTypeLong));
    Append(out, Bytes(1));
    Append(out, Bytes(gpsOffset_.value_or(kGpsDirectoryOffset)));
    Append(out, Bytes(0));

    std::uint32_t dataOffset = kGpsDirectoryOffset + 2 + 12 * static_cast<std::uint32_t>(entries_.size()) + 4;
    std::vector<std::byte> data;
    Append(out, u16(static_cast<std::uint16_t>(entries_.size())));
    for (const Entry& entry : entries_) {
        Append(out, u16(entry.tag));
        Append(out, u16(entry.type));
        Append(out, Bytes(entry.count));
        if (entry.valueField) {
            Append(out, Bytes(*entry.valueField));
        } else if (entry.data.size() <= 4) {
            std::vector<std::byte> inline_(entry.data);
            inline_.resize(4);
            Append(out, inline_);
        } else {
            Append(out, Bytes(dataOffset + static_cast<std::uint32_t>(data.size())));
            Append(data, entry.data);
        }
    }
    Append(out, Bytes(0));
    Append(out, data);
    return out;
}

TiffWriter GpsTiff(const GpsFields& fields, ByteOrder order) {
    TiffWriter tiff(order);
    if (fields.latitudeRef) tiff.Ascii(1, *fields.latitudeRef);
    if (fields.latitude) tiff.Rationals(2, *fields.latitude);
    if (fields.longitudeRef) tiff.Ascii(3, *fields.longitudeRef);
    if (fields.longitude) tiff.Rationals(4, *fields.longitude);
    if (fields.altitudeRef) tiff.Byte(5, *fields.altitudeRef);
    if (fields.altitude) tiff.Rationals(6, {*fields.altitude});
    if (fields.mapDatum) tiff.Ascii(18, *fields.mapDatum);
    return tiff;
}

std::vector<std::byte> JpegWithExif(const std::vector<std::byte>& tiff, std::optional<std::uint16_t> declaredLength) {
    std::vector<std::byte> out;
    auto bytes = [&](std::initializer_list<unsigned> values) {
        for (unsigned value : values) out.push_back(static_cast<std::byte>(value));
    };
    bytes({0xFF, 0xD8, 0xFF, 0xE0, 0x00, 0x10});
    AppendText(out, std::string_view("JFIF\0\x01\x01\0\0\x01\0\x01\0\0", 14));
    const std::size_t length = declaredLength.value_or(static_cast<std::uint16_t>(2 + 6 + tiff.size()));
    bytes({0xFF, 0xE1, static_cast<unsigned>(length >> 8), static_cast<unsigned>(length & 0xFF)});
    AppendText(out, std::string_view("Exif\0\0", 6));
    Append(out, tiff);
    bytes({0xFF, 0xDA, 0x00, 0x02, 0x12, 0x34, 0xFF, 0xD9});
    return out;
}

std::vector<Rational> Dms(std::uint32_t degrees, std::uint32_t minutes, double seconds) {
    return {{degrees, 1}, {minutes, 1}, {static_cast<std::uint32_t>(std::lround(seconds * 1000)), 1000}};
}

void WriteBytes(const std::wstring& path, const std::vector<std::byte>& bytes) {
    const tandem::UniqueHandle file(
        CreateFileW(path.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr));
    if (!file) tandem::ThrowLastError();
    DWORD written = 0;
    if (!WriteFile(file.get(), bytes.data(), static_cast<DWORD>(bytes.size()), &written, nullptr) ||
        written != bytes.size())
        tandem::ThrowLastError();
}

TempFile::TempFile(const std::wstring& name, const std::vector<std::byte>& bytes) {
    wchar_t temp[MAX_PATH];
    if (!GetTempPathW(MAX_PATH, temp)) tandem::ThrowLastError();
    path_ = std::wstring(temp) + L"tandem-" + std::to_wstring(GetCurrentProcessId()) + L"-" + name;
    WriteBytes(path_, bytes);
}

TempFile::~TempFile() { DeleteFileW(path_.c_str()); }

}  // namespace kelp::test
