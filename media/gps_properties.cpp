#include "gps_properties.h"

#include <cmath>

#include "error.h"
#include "tokyo_datum.h"

namespace tandem {

namespace {

std::wstring UpperCaseWide(const std::string& text) {
    if (text.empty()) return {};
    const int size = static_cast<int>(text.size());
    std::wstring wide(text.size(), L'\0');
    const int length = MultiByteToWideChar(CP_ACP, 0, text.data(), size, wide.data(), size);
    if (length == 0) ThrowLastError();
    wide.resize(static_cast<std::size_t>(length));
    CharUpperBuffW(wide.data(), static_cast<DWORD>(wide.size()));
    return wide;
}

// Decimal degrees of a DDDMMSS.sss value.
double UnpackDms(double packed) {
    const double degrees = std::trunc(packed / 10000);
    const double remainder = packed - degrees * 10000;
    const double minutes = std::trunc(remainder / 100);
    const double seconds = remainder - minutes * 100;
    return degrees + (minutes + seconds / 60) / 60;
}

double Sign(double value) { return value < 0 ? -1.0 : 1.0; }

Variant Real(double value) {
    Variant variant;
    V_VT(variant.ptr()) = VT_R8;
    V_R8(variant.ptr()) = value;
    return variant;
}

bool CarriesPhotoKind(std::int32_t mediaType) {
    switch (mediaType) {
    case 1: case 2: case 3: case 4: case 7: case 8: return true;
    default: return false;
    }
}

}  // namespace

// The packed form is made from the decimal value rather than from the raw
// degrees, minutes and seconds, so fractional minutes (39.48') or seconds
// beyond 60 pack as the angle they mean.
NormalisedPosition NormaliseDatum(const GpsPosition& position) {
    NormalisedPosition result{UpperCaseWide(position.mapDatum), position.latitude, position.longitude};
    const std::wstring& datum = result.mapDatum;
    if (datum.find(L"TOKYO") != std::wstring::npos) {
        if (!result.latitude || !result.longitude) return result;
        double latitude = Sign(*result.latitude) * PackDms(*result.latitude);
        double longitude = Sign(*result.longitude) * PackDms(*result.longitude);
        if (!TokyoToWgs84(latitude, longitude)) return result;
        result.latitude = Sign(*result.latitude) * UnpackDms(latitude);
        result.longitude = Sign(*result.longitude) * UnpackDms(longitude);
        result.mapDatum = L"WGS84";
    } else if ((datum.find(L"WGS") != std::wstring::npos && datum.find(L"84") != std::wstring::npos) ||
               datum.find(L"JDG") != std::wstring::npos) {
        result.mapDatum = L"WGS84";
    }
    return result;
}

void CollectGpsProperties(const GpsReader& reader, std::vector<std::pair<LONG, Variant>>& properties) {
    const GpsPosition& position = reader.Position();
    const NormalisedPosition normalised = NormaliseDatum(position);
    if (!normalised.mapDatum.empty())
        properties.emplace_back(kGpsMapDatumProperty, Variant::FromString(normalised.mapDatum));
    if (normalised.latitude) properties.emplace_back(kGpsLatitudeProperty, Real(*normalised.latitude));
    if (normalised.longitude) properties.emplace_back(kGpsLongitudeProperty, Real(*normalised.longitude));
    if (position.altitude) properties.emplace_back(kGpsAltitudeProperty, Real(*position.altitude));
    if (CarriesPhotoKind(reader.MediaType())) properties.emplace_back(kGpsPhotoKindProperty, Variant::FromLong(0));
}

}  // namespace tandem
