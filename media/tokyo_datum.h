#pragma once

#include <cstdint>

#include "datum_grid.h"

namespace tandem {

// Where a position falls on the third-order mesh: the code of its mesh, of
// the meshes east, north and north-east of it, and its place inside the mesh
// (0..1 from the south-west corner).
struct MeshPosition {
    std::int32_t code;
    std::int32_t east;
    std::int32_t north;
    std::int32_t northEast;
    double x;
    double y;
};

MeshPosition LocateMesh(double latitude, double longitude) noexcept;

// Both parts are kNoCorrection where the grid cannot say.
struct DatumCorrection {
    double latitude;   // seconds
    double longitude;  // seconds
};
inline constexpr double kNoCorrection = -9999.0;

// Bilinear between the corrections at the four corners of the position's
// mesh (decimal degrees in).
DatumCorrection InterpolateCorrection(double latitude, double longitude, const DatumGridIndex& grid) noexcept;

// Positions packed as DDDMMSS.sss. Moves a Tokyo datum position to WGS84 in
// place; false, leaving both untouched, outside 20..46 N, 120..154 E or where
// the grid has no correction.
bool TokyoToWgs84(double& latitudeDms, double& longitudeDms, const DatumGridIndex& grid) noexcept;
bool TokyoToWgs84(double& latitudeDms, double& longitudeDms);

// The packed form of decimal degrees (of their magnitude).
double PackDms(double decimal) noexcept;

}  // namespace tandem
