#pragma once

#include <windows.h>

#include <string>
#include <utility>
#include <vector>

#include "gps_reader.h"
#include "variant.h"

namespace tandem {

inline constexpr LONG kGpsMapDatumProperty = 232;
inline constexpr LONG kGpsLatitudeProperty = 404;
inline constexpr LONG kGpsLongitudeProperty = 405;
inline constexpr LONG kGpsAltitudeProperty = 406;
inline constexpr LONG kGpsPhotoKindProperty = 418;

// The datum as reported, and the position moved to it where it was the
// Tokyo datum and the grid knows the place.
struct NormalisedPosition {
    std::wstring mapDatum;
    std::optional<double> latitude;
    std::optional<double> longitude;
};

NormalisedPosition NormaliseDatum(const GpsPosition& position);

// Appends the map datum, latitude, longitude and altitude the reader found,
// in that order, then the photo kind for the media types that carry it.
void CollectGpsProperties(const GpsReader& reader, std::vector<std::pair<LONG, Variant>>& properties);

}  // namespace tandem
