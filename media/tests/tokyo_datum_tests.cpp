#include <gtest/gtest.h>

#include <cmath>
#include <random>

#include "grid_text.h"
#include "tokyo_datum.h"

namespace tandem::test {
namespace {

// The bilinear correction from the text file's corner values.
std::optional<TextCorrection> CorrectionFromText(double latitude, double longitude) {
    const MeshPosition at = LocateMesh(latitude, longitude);
    const GridText& text = SharedGridText();
    const auto sw = text.Find(at.code);
    const auto e = text.Find(at.east);
    const auto n = text.Find(at.north);
    const auto ne = text.Find(at.northEast);
    if (!sw || !e || !n || !ne) return std::nullopt;
    auto blend = [&](double TextCorrection::*part) {
        return (1 - at.x) * (1 - at.y) * (*sw).*part + at.x * (1 - at.y) * (*e).*part +
               (1 - at.x) * at.y * (*n).*part + at.x * at.y * (*ne).*part;
    };
    return TextCorrection{blend(&TextCorrection::latitude), blend(&TextCorrection::longitude)};
}

double Decimal(double packed) {
    const double degrees = std::trunc(packed / 10000);
    const double minutes = std::trunc((packed - degrees * 10000) / 100);
    return degrees + minutes / 60 + (packed - degrees * 10000 - minutes * 100) / 3600;
}

TEST(MeshTest, CodesAndNeighboursCarryAcrossEveryOrder) {
    const MeshPosition tokyo = LocateMesh(35.658, 139.741);
    EXPECT_EQ(tokyo.code, 53393589);
    EXPECT_EQ(tokyo.east, 53393680);
    EXPECT_EQ(tokyo.north, 53393599);
    EXPECT_EQ(tokyo.northEast, 53393690);

    // The last third-order mesh of a first-order mesh: every digit carries.
    const MeshPosition corner = LocateMesh(35.995, 140.99);
    EXPECT_EQ(corner.code, 53407799);
    EXPECT_EQ(corner.east, 53417090);
    EXPECT_EQ(corner.north, 54400709);
    EXPECT_EQ(corner.northEast, 54410000);
    EXPECT_GT(corner.x, 0.0);
    EXPECT_LT(corner.x, 1.0);
    EXPECT_GT(corner.y, 0.0);
    EXPECT_LT(corner.y, 1.0);
}

TEST(MeshTest, PointsAHairBelowAnEdgeBelongToTheMeshAbove) {
    // The epsilon turns the third-order digits into 10; the carries move
    // the point to the next mesh, at its very edge.
    const MeshPosition belowNorth = LocateMesh(36.0 - 2e-14, 140.5);
    EXPECT_EQ(belowNorth.code, LocateMesh(36.0, 140.5).code);
    EXPECT_EQ(belowNorth.code, 54400400);
    EXPECT_NEAR(belowNorth.y, 0.0, 1e-9);

    const MeshPosition belowEast = LocateMesh(35.5, 141.0 - 1e-13);
    EXPECT_EQ(belowEast.code, LocateMesh(35.5, 141.0).code);
    EXPECT_EQ(belowEast.code, 53412000);
    EXPECT_NEAR(belowEast.x, 0.0, 1e-9);
}

TEST(TokyoDatumTest, TokyoMovesByTheInterpolatedCorrectionOfItsMesh) {
    const DatumCorrection correction = InterpolateCorrection(35.658, 139.741, DatumGridIndex::Shared());
    EXPECT_NEAR(correction.latitude, 11.65969, 1e-5);
    EXPECT_NEAR(correction.longitude, -11.62983, 1e-5);

    double latitude = 353928.8;   // 35.658
    double longitude = 1394427.6;  // 139.741
    ASSERT_TRUE(TokyoToWgs84(latitude, longitude));
    EXPECT_NEAR(Decimal(latitude), 35.658 + 11.65969 / 3600, 1e-8);
    EXPECT_NEAR(Decimal(longitude), 139.741 - 11.62983 / 3600, 1e-8);
    EXPECT_NEAR(latitude, 353940.45969, 1e-4);
    EXPECT_NEAR(longitude, 1394415.97017, 1e-4);
}

TEST(TokyoDatumTest, ConversionsAgreeWithTheGridText) {
    std::mt19937 random(17);
    std::uniform_real_distribution<double> latitudes(30.0, 45.5);
    std::uniform_real_distribution<double> longitudes(129.0, 146.0);
    int checked = 0;
    for (int i = 0; i < 2000; ++i) {
        const double latitude = latitudes(random);
        const double longitude = longitudes(random);
        const auto expected = CorrectionFromText(latitude, longitude);
        double latitudeDms = PackDms(latitude);
        double longitudeDms = PackDms(longitude);
        const bool converted = TokyoToWgs84(latitudeDms, longitudeDms);
        ASSERT_EQ(converted, expected.has_value()) << latitude << " " << longitude;
        if (!converted) continue;
        ++checked;
        EXPECT_NEAR(Decimal(latitudeDms), latitude + expected->latitude / 3600, 1e-9);
        EXPECT_NEAR(Decimal(longitudeDms), longitude + expected->longitude / 3600, 1e-9);
    }
    EXPECT_GT(checked, 200);
}

TEST(TokyoDatumTest, PositionsOutsideTheGridAreRefusedAndLeftAlone) {
    struct Case {
        double latitude;
        double longitude;
    };
    for (const Case& where : {Case{195959.0, 1394427.6},   // south of 20 N
                              Case{470000.0, 1394427.6},   // north of 46 N
                              Case{353928.8, 1195959.0},   // west of 120 E
                              Case{353928.8, 1550000.0},   // east of 154 E
                              Case{-353928.8, 1394427.6},  // southern hemisphere
                              Case{353928.8, -1394427.6},  // western hemisphere
                              Case{361836.0, 1430000.0},   // open sea: mesh 54433070 is not in the grid
                              Case{1e300, 1394427.6},      // no angle at all
                              Case{353928.8, HUGE_VAL},
                              Case{0.0, 0.0}}) {
        double latitude = where.latitude;
        double longitude = where.longitude;
        EXPECT_FALSE(TokyoToWgs84(latitude, longitude)) << where.latitude << " " << where.longitude;
        EXPECT_EQ(latitude, where.latitude);
        EXPECT_EQ(longitude, where.longitude);
    }
    const DatumCorrection none = InterpolateCorrection(19.99, 139.0, DatumGridIndex::Shared());
    EXPECT_EQ(none.latitude, kNoCorrection);
    EXPECT_EQ(none.longitude, kNoCorrection);
    EXPECT_EQ(InterpolateCorrection(std::nan(""), 139.0, DatumGridIndex::Shared()).latitude, kNoCorrection);
}

TEST(TokyoDatumTest, PackingKeepsMinutesAndSecondsBelowSixty) {
    EXPECT_NEAR(PackDms(35.658), 353928.8, 1e-6);
    EXPECT_NEAR(PackDms(-139.741), 1394427.6, 1e-6);
    EXPECT_NEAR(PackDms(36.0), 360000.0, 1e-6);
    EXPECT_NEAR(PackDms(35.999999), 355959.9964, 1e-6);
}

}  // namespace
}  // namespace tandem::test
