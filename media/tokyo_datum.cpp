#include "tokyo_datum.h"

#include <cmath>

namespace tandem {

namespace {

// floor without a library call where the value allows it: the conversion
// runs millions of times.
double Floor(double value) noexcept {
    if (!(std::fabs(value) < 1e15)) return std::floor(value);
    const auto truncated = static_cast<double>(static_cast<long long>(value));
    return value < truncated ? truncated - 1 : truncated;
}

int FloorInt(double value) noexcept { return static_cast<int>(Floor(value)); }

struct MeshDigits {
    int p, q, a, b, r, e;  // first-, second- and third-order latitude and longitude parts

    std::int32_t Code() const noexcept { return p * 1000000 + q * 10000 + a * 1000 + b * 100 + r * 10 + e; }

    MeshDigits East() const noexcept {
        MeshDigits next = *this;
        if (++next.e > 9) {
            next.e = 0;
            if (++next.b > 7) {
                next.b = 0;
                ++next.q;
            }
        }
        return next;
    }

    MeshDigits North() const noexcept {
        MeshDigits next = *this;
        if (++next.r > 9) {
            next.r = 0;
            if (++next.a > 7) {
                next.a = 0;
                ++next.p;
            }
        }
        return next;
    }
};

struct Unpacked {
    bool positive;
    double degrees;
    double decimal;
};

Unpacked Unpack(double packed) noexcept {
    const bool positive = packed > 0.000001;
    const double v = std::fabs(packed / 10000) + 1e-13;
    const double degrees = Floor(v);
    const double minutesPart = (v - degrees) * 100;
    const double minutes = Floor(minutesPart);
    const double seconds = (minutesPart - minutes) * 100;
    const double decimal = degrees + (minutes + seconds / 60) / 60;
    return {positive, degrees, positive ? decimal : -decimal};
}

bool IsMissing(double value) noexcept { return std::fabs(value - kNoCorrection) < 0.000001; }

}  // namespace

MeshPosition LocateMesh(double latitude, double longitude) noexcept {
    MeshDigits mesh{};
    mesh.p = FloorInt(latitude * 1.5);
    mesh.a = FloorInt((latitude * 1.5 - mesh.p) * 8);
    mesh.r = FloorInt((latitude * 12 - mesh.p * 8 - mesh.a) * 10 + 1e-11);
    const int u = FloorInt(longitude);
    mesh.b = FloorInt((longitude - u) * 8);
    mesh.e = FloorInt(((longitude - u) * 8 - mesh.b) * 10 + 1e-11);
    mesh.q = u - 100;
    // The epsilon can push a digit to 10 just below a mesh edge.
    if (mesh.r == 10) {
        mesh.r = 9;
        mesh = mesh.North();
    }
    if (mesh.e == 10) {
        mesh.e = 9;
        mesh = mesh.East();
    }
    const double y = latitude * 120 - mesh.p * 80 - mesh.a * 10 - mesh.r;
    const double x = (longitude - (mesh.q + 100)) * 80 - mesh.b * 10 - mesh.e;
    return {mesh.Code(), mesh.East().Code(), mesh.North().Code(), mesh.East().North().Code(), x, y};
}

DatumCorrection InterpolateCorrection(double latitude, double longitude, const DatumGridIndex& grid) noexcept {
    constexpr DatumCorrection kNone{kNoCorrection, kNoCorrection};
    if (!(latitude >= 20 && latitude <= 46 && longitude >= 120 && longitude <= 154)) return kNone;
    const MeshPosition at = LocateMesh(latitude, longitude);
    const auto sw = grid.Find(at.code);
    const auto e = grid.Find(at.east);
    const auto n = grid.Find(at.north);
    const auto ne = grid.Find(at.northEast);
    if (!sw || !e || !n || !ne) return kNone;
    auto blend = [&](std::int32_t DatumGridRecord::*part) {
        const double c0 = (*sw).*part / kDatumGridUnitsPerSecond;
        const double c1 = (*e).*part / kDatumGridUnitsPerSecond;
        const double c2 = (*n).*part / kDatumGridUnitsPerSecond;
        const double c3 = (*ne).*part / kDatumGridUnitsPerSecond;
        return c0 + (c1 - c0) * at.x + (c2 - c0) * at.y + (c0 - c1 - c2 + c3) * at.x * at.y;
    };
    return {blend(&DatumGridRecord::latitude), blend(&DatumGridRecord::longitude)};
}

double PackDms(double decimal) noexcept {
    const double v = std::fabs(decimal) + 1e-11;
    const double degrees = Floor(v);
    const double minutesPart = (v - degrees) * 60;
    const double minutes = Floor(minutesPart);
    const double seconds = (minutesPart - minutes) * 60;
    return degrees * 10000 + minutes * 100 + seconds;
}

bool TokyoToWgs84(double& latitudeDms, double& longitudeDms, const DatumGridIndex& grid) noexcept {
    const Unpacked latitude = Unpack(latitudeDms);
    const Unpacked longitude = Unpack(longitudeDms);
    if (!latitude.positive || latitude.degrees < 20 || latitude.degrees > 46) return false;
    if (!longitude.positive || longitude.degrees < 120 || longitude.degrees > 154) return false;
    const DatumCorrection correction = InterpolateCorrection(latitude.decimal, longitude.decimal, grid);
    if (IsMissing(correction.latitude) || IsMissing(correction.longitude)) return false;
    latitudeDms = PackDms(latitude.decimal + correction.latitude / 3600);
    longitudeDms = PackDms(longitude.decimal + correction.longitude / 3600);
    return true;
}

bool TokyoToWgs84(double& latitudeDms, double& longitudeDms) {
    return TokyoToWgs84(latitudeDms, longitudeDms, DatumGridIndex::Shared());
}

}  // namespace tandem
