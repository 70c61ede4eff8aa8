#include <gtest/gtest.h>

#include <cmath>

#include "exif_writer.h"
#include "gps_properties.h"

namespace tandem::test {
namespace {

using kelp::test::ByteOrder;
using kelp::test::Dms;
using kelp::test::GpsFields;
using kelp::test::GpsTiff;
using kelp::test::JpegWithExif;
using kelp::test::Rational;
using kelp::test::TempFile;
using Properties = std::vector<std::pair<LONG, Variant>>;

GpsFields At(double latitudeSeconds, double longitudeSeconds, const char* datum) {
    GpsFields fields;
    fields.latitudeRef = "N";
    fields.latitude = Dms(35, 39, latitudeSeconds);
    fields.longitudeRef = "E";
    fields.longitude = Dms(139, 44, longitudeSeconds);
    if (datum) fields.mapDatum = datum;
    return fields;
}

Properties PropertiesOf(const std::vector<std::byte>& file, const wchar_t* name = L"photo.jpg") {
    const TempFile photo(name, file);
    GpsReader reader;
    Properties properties;
    if (reader.ReadGps(photo.path())) CollectGpsProperties(reader, properties);
    return properties;
}

Properties PropertiesOf(const GpsFields& fields, ByteOrder order = ByteOrder::Little) {
    return PropertiesOf(JpegWithExif(GpsTiff(fields, order).Build()));
}

std::vector<LONG> Ids(const Properties& properties) {
    std::vector<LONG> ids;
    for (const auto& [id, value] : properties) ids.push_back(id);
    return ids;
}

const VARIANT* Find(const Properties& properties, LONG id) {
    for (const auto& [found, value] : properties)
        if (found == id) return &value.get();
    return nullptr;
}

double Real(const Properties& properties, LONG id) {
    const VARIANT* value = Find(properties, id);
    if (!value || V_VT(value) != VT_R8) return std::nan("");
    return V_R8(value);
}

std::wstring Text(const Properties& properties, LONG id) {
    const VARIANT* value = Find(properties, id);
    if (!value || V_VT(value) != VT_BSTR) return L"<none>";
    return V_BSTR(value);
}

TEST(GpsPropertiesTest, ATokyoPhotographIsReportedInWgs84WithEveryPropertyInOrder) {
    GpsFields fields = At(28.8, 27.6, "TOKYO");
    fields.altitudeRef = 0;
    fields.altitude = Rational{405, 10};
    for (ByteOrder order : {ByteOrder::Little, ByteOrder::Big}) {
        const Properties properties = PropertiesOf(fields, order);
        EXPECT_EQ(Ids(properties), (std::vector<LONG>{232, 404, 405, 406, 418}));
        EXPECT_EQ(Text(properties, 232), L"WGS84");
        EXPECT_NEAR(Real(properties, 404), 35.658 + 11.65969 / 3600, 1e-8);
        EXPECT_NEAR(Real(properties, 405), 139.741 - 11.62983 / 3600, 1e-8);
        EXPECT_DOUBLE_EQ(Real(properties, 406), 40.5);
        const VARIANT* kind = Find(properties, 418);
        ASSERT_NE(kind, nullptr);
        EXPECT_EQ(V_VT(kind), VT_I4);
        EXPECT_EQ(V_I4(kind), 0);
    }
}

TEST(GpsPropertiesTest, FractionalMinutesConvertAsTheAngleTheyMean) {
    GpsFields fields = At(0, 0, "tokyo");
    fields.latitude = std::vector<Rational>{{35, 1}, {3948, 100}, {0, 1}};  // 39.48' = 39' 28.8"
    fields.longitude = std::vector<Rational>{{139, 1}, {4446, 100}, {0, 1}};  // 44.46' = 44' 27.6"
    const Properties properties = PropertiesOf(fields);
    EXPECT_EQ(Text(properties, 232), L"WGS84");
    EXPECT_NEAR(Real(properties, 404), 35.658 + 11.65969 / 3600, 1e-8);
    EXPECT_NEAR(Real(properties, 405), 139.741 - 11.62983 / 3600, 1e-8);
}

TEST(GpsPropertiesTest, OtherDatumsAreNamedButNotMoved) {
    struct Case {
        const char* datum;
        const wchar_t* reported;
    };
    for (const Case& c : {Case{"WGS-84", L"WGS84"}, Case{"wgs84", L"WGS84"}, Case{"JDG2000", L"WGS84"},
                          Case{"itrf", L"ITRF"}}) {
        const Properties properties = PropertiesOf(At(28.8, 27.6, c.datum));
        EXPECT_EQ(Text(properties, 232), c.reported) << c.datum;
        EXPECT_NEAR(Real(properties, 404), 35.658, 1e-9) << c.datum;
        EXPECT_NEAR(Real(properties, 405), 139.741, 1e-9) << c.datum;
    }
    const Properties noDatum = PropertiesOf(At(28.8, 27.6, nullptr));
    EXPECT_EQ(Ids(noDatum), (std::vector<LONG>{404, 405, 418}));
}

TEST(GpsPropertiesTest, TokyoPositionsTheGridCannotCorrectKeepTheirValuesAndDatum) {
    GpsFields south = At(28.8, 27.6, "TOKYO");
    south.latitudeRef = "S";
    GpsFields sea = At(0, 0, "TOKYO");
    sea.latitude = Dms(36, 18, 36);
    sea.longitude = Dms(143, 0, 0);
    GpsFields farWest = At(28.8, 27.6, "TOKYO");
    farWest.longitude = Dms(119, 0, 0);

    const Properties southern = PropertiesOf(south);
    EXPECT_EQ(Text(southern, 232), L"TOKYO");
    EXPECT_NEAR(Real(southern, 404), -35.658, 1e-9);
    const Properties atSea = PropertiesOf(sea);
    EXPECT_EQ(Text(atSea, 232), L"TOKYO");
    EXPECT_NEAR(Real(atSea, 404), 36.31, 1e-9);
    EXPECT_NEAR(Real(atSea, 405), 143.0, 1e-9);
    EXPECT_EQ(Text(PropertiesOf(farWest), 232), L"TOKYO");
}

TEST(GpsPropertiesTest, SouthWestAndBelowSeaLevelAreNegative) {
    GpsFields fields = At(28.8, 27.6, "WGS84");
    fields.latitudeRef = "s";
    fields.longitudeRef = "W";
    fields.altitudeRef = 1;
    fields.altitude = Rational{12, 1};
    const Properties properties = PropertiesOf(fields, ByteOrder::Big);
    EXPECT_NEAR(Real(properties, 404), -35.658, 1e-9);
    EXPECT_NEAR(Real(properties, 405), -139.741, 1e-9);
    EXPECT_DOUBLE_EQ(Real(properties, 406), -12.0);
}

TEST(GpsPropertiesTest, AbsentOrUndefinedPartsDropOnlyTheirValue) {
    GpsFields absentSeconds = At(28.8, 27.6, "TOKYO");
    (*absentSeconds.latitude)[2].numerator = 0xFFFFFFFF;
    const Properties withoutLatitude = PropertiesOf(absentSeconds);
    EXPECT_EQ(Ids(withoutLatitude), (std::vector<LONG>{232, 405, 418}));
    EXPECT_EQ(Text(withoutLatitude, 232), L"TOKYO");
    EXPECT_NEAR(Real(withoutLatitude, 405), 139.741, 1e-9);

    GpsFields zeroDenominators = At(28.8, 27.6, "WGS84");
    (*zeroDenominators.longitude)[1].denominator = 0;
    zeroDenominators.altitude = Rational{7, 0};
    const Properties finite = PropertiesOf(zeroDenominators);
    EXPECT_EQ(Ids(finite), (std::vector<LONG>{232, 404, 418}));
    for (const auto& [id, value] : finite) {
        if (value.type() != VT_R8) continue;
        EXPECT_TRUE(std::isfinite(V_R8(&value.get()))) << id;
    }
}

TEST(GpsPropertiesTest, FilesWithoutGpsOrUnreadableGiveNothing) {
    EXPECT_TRUE(PropertiesOf(JpegWithExif(kelp::test::TiffWriter(ByteOrder::Little).Build())).empty());
    EXPECT_TRUE(PropertiesOf(std::vector<std::byte>(8, std::byte{0xFF}), L"eight.jpg").empty());
    EXPECT_TRUE(PropertiesOf(std::vector<std::byte>{}, L"empty.jpg").empty());

    GpsReader reader;
    EXPECT_FALSE(reader.ReadGps(L""));
    EXPECT_FALSE(reader.ReadGps(L"C:\\no such folder\\photo.jpg"));
    Properties properties;
    CollectGpsProperties(reader, properties);
    EXPECT_TRUE(properties.empty());
}

TEST(GpsPropertiesTest, ATiffPhotographReportsItsPositionToo) {
    const Properties properties = PropertiesOf(GpsTiff(At(28.8, 27.6, "WGS84"), ByteOrder::Big).Build(), L"photo.tif");
    EXPECT_EQ(Ids(properties), (std::vector<LONG>{232, 404, 405, 418}));
}

}  // namespace
}  // namespace tandem::test
