#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace kelp::test {

struct Rational {
    std::uint32_t numerator;
    std::uint32_t denominator;
};

enum class ByteOrder { Little, Big };

// A TIFF structure whose first directory points at one GPS directory made
// of the entries added, their values laid out after it in the order added.
class TiffWriter {
public:
    explicit TiffWriter(ByteOrder order) : order_(order) {}

    TiffWriter& Ascii(std::uint16_t tag, std::string_view text, bool terminated = true);
    TiffWriter& Rationals(std::uint16_t tag, const std::vector<Rational>& values);
    TiffWriter& Byte(std::uint16_t tag, std::uint8_t value);
    // An entry whose value field is written verbatim, whatever it claims.
    TiffWriter& Raw(std::uint16_t tag, std::uint16_t type, std::uint32_t count, std::uint32_t valueField);
    // Points the first directory's GPS entry at offset instead.
    TiffWriter& GpsDirectoryAt(std::uint32_t offset);

    std::vector<std::byte> Build() const;

    // Where the GPS directory starts in what Build returns.
    static constexpr std::uint32_t kGpsDirectoryOffset = 26;

private:
    struct Entry {
        std::uint16_t tag;
        std::uint16_t type;
        std::uint32_t count;
        std::vector<std::byte> data;  // in file order
        std::optional<std::uint32_t> valueField;
    };

    std::vector<std::byte> Bytes(std::uint32_t value) const;

    ByteOrder order_;
    std::vector<Entry> entries_;
    std::optional<std::uint32_t> gpsOffset_;
};

// The GPS fields of a photograph; unset fields are left out.
struct GpsFields {
    std::optional<std::string> latitudeRef;
    std::optional<std::vector<Rational>> latitude;
    std::optional<std::string> longitudeRef;
    std::optional<std::vector<Rational>> longitude;
    std::optional<std::uint8_t> altitudeRef;
    std::optional<Rational> altitude;
    std::optional<std::string> mapDatum;
};

TiffWriter GpsTiff(const GpsFields& fields, ByteOrder order);

// A JPEG file: start of image, a JFIF segment, the APP1 "Exif" segment
// around tiff, a scan and the end of image. declaredLength replaces the
// APP1 length field.
std::vector<std::byte> JpegWithExif(const std::vector<std::byte>& tiff,
                                    std::optional<std::uint16_t> declaredLength = std::nullopt);

// Degrees, minutes and seconds with the seconds in thousandths.
std::vector<Rational> Dms(std::uint32_t degrees, std::uint32_t minutes, double seconds);

void WriteBytes(const std::wstring& path, const std::vector<std::byte>& bytes);

// A file of the temporary folder, unique to the process, removed with it.
class TempFile {
public:
    TempFile(const std::wstring& name, const std::vector<std::byte>& bytes);
    TempFile(const TempFile&) = delete;
    TempFile& operator=(const TempFile&) = delete;
    ~TempFile();
    const std::wstring& path() const noexcept { return path_; }

private:
    std::wstring path_;
};

}  // namespace kelp::test
