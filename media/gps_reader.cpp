#include "gps_reader.h"

#include <cstring>
#include <vector>

#include "unique_resource.h"

namespace tandem {

namespace {

// The library beside the program, loaded once; without it no file has GPS data.
class MediaObjectLibrary {
public:
    static const MediaObjectLibrary& Shared() {
        static const MediaObjectLibrary library;
        return library;
    }

    kelp::CreateMediaObjectFunction create() const noexcept { return create_; }

private:
    MediaObjectLibrary() : module_(LoadLibraryW(kelp::kModuleName)) {
        if (module_)
            create_ = reinterpret_cast<kelp::CreateMediaObjectFunction>(
                reinterpret_cast<void*>(GetProcAddress(module_.get(), kelp::kCreateMediaObjectExport)));
    }

    UniqueModule module_;
    kelp::CreateMediaObjectFunction create_ = nullptr;
};

std::uint32_t U32(std::span<const std::byte> block, std::size_t offset) {
    std::uint32_t value = 0;
    for (int i = 3; i >= 0; --i) value = (value << 8) | std::to_integer<std::uint32_t>(block[offset + i]);
    return value;
}

std::optional<double> Ratio(std::span<const std::byte> block, std::size_t offset) {
    const std::uint32_t numerator = U32(block, offset);
    const std::uint32_t denominator = U32(block, offset + 4);
    if (numerator == kelp::kAbsent || denominator == 0) return std::nullopt;
    return static_cast<double>(numerator) / denominator;
}

std::string Text(std::span<const std::byte> block, std::size_t offset, std::size_t size) {
    const char* start = reinterpret_cast<const char*>(block.data() + offset);
    return std::string(start, strnlen(start, size));
}

// Degrees, minutes and seconds at offset, negative when the reference is
// the negative one.
std::optional<double> Angle(std::span<const std::byte> block, std::size_t offset, std::size_t referenceOffset,
                            char negative) {
    const auto degrees = Ratio(block, offset);
    const auto minutes = Ratio(block, offset + 8);
    const auto seconds = Ratio(block, offset + 16);
    if (!degrees || !minutes || !seconds) return std::nullopt;
    const std::string reference = Text(block, referenceOffset, kelp::kReferenceSize);
    const bool flip = reference.size() == 1 && (reference[0] == negative || reference[0] == negative + ('a' - 'A'));
    const double value = *degrees + *minutes / 60 + *seconds / 3600;
    return flip ? -value : value;
}

}  // namespace

GpsPosition DecodeGpsBlock(std::span<const std::byte, kelp::kGpsBlockSize> block) {
    GpsPosition position;
    position.latitude = Angle(block, kelp::kLatitudeOffset, kelp::kLatitudeRefOffset, 'S');
    position.longitude = Angle(block, kelp::kLongitudeOffset, kelp::kLongitudeRefOffset, 'W');
    position.altitude = Ratio(block, kelp::kAltitudeOffset);
    if (position.altitude && block[kelp::kAltitudeRefOffset] == std::byte{1}) *position.altitude = -*position.altitude;
    position.mapDatum = Text(block, kelp::kMapDatumOffset, kelp::kGpsBlockSize - kelp::kMapDatumOffset);
    return position;
}

bool GpsReader::ReadGps(const std::wstring& path) {
    *this = GpsReader{};
    const auto create = MediaObjectLibrary::Shared().create();
    if (path.empty() || !create) return false;
    kelp::MediaObject* created = nullptr;
    const std::int32_t result = create(path.c_str(), &created, 0, 0, 0);
    decltype(object_) object(created);
    if (result != 0 || !object) return false;
    std::vector<std::byte> information(kelp::kInformationSize);
    if (object->GetInformation(0, 0, 0, 0, 0, information.data()) != 0) return false;
    if (information[kelp::kHasGpsOffset] == std::byte{0}) return false;
    path_ = path;
    mediaType_ = object->MediaType();
    std::memcpy(block_.data(), information.data() + kelp::kGpsBlockOffset, block_.size());
    position_ = DecodeGpsBlock(block_);
    object_ = std::move(object);
    return true;
}

}  // namespace tandem
