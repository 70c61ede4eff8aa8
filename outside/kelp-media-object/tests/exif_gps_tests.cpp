#include <gtest/gtest.h>

#include <cstring>

#include "exif_gps.h"
#include "exif_writer.h"

namespace kelp::test {
namespace {

std::uint32_t U32(const GpsBlock& block, std::size_t offset) {
    std::uint32_t value = 0;
    for (std::size_t i = 0; i < 4; ++i) value |= std::to_integer<std::uint32_t>(block[offset + i]) << (8 * i);
    return value;
}

std::string Text(const GpsBlock& block, std::size_t offset, std::size_t size) {
    const char* start = reinterpret_cast<const char*>(block.data() + offset);
    return std::string(start, strnlen(start, size));
}

GpsFields Tokyo() {
    GpsFields fields;
    fields.latitudeRef = "N";
    fields.latitude = Dms(35, 39, 28.8);
    fields.longitudeRef = "E";
    fields.longitude = Dms(139, 44, 27.6);
    fields.altitudeRef = 1;
    fields.altitude = Rational{123, 10};
    fields.mapDatum = "TOKYO";
    return fields;
}

void ExpectTokyoBlock(const ExifGps& gps) {
    ASSERT_TRUE(gps.hasGps);
    EXPECT_EQ(Text(gps.block, kLatitudeRefOffset, kReferenceSize), "N");
    EXPECT_EQ(U32(gps.block, kLatitudeOffset), 35u);
    EXPECT_EQ(U32(gps.block, kLatitudeOffset + 4), 1u);
    EXPECT_EQ(U32(gps.block, kLatitudeOffset + 8), 39u);
    EXPECT_EQ(U32(gps.block, kLatitudeOffset + 16), 28800u);
    EXPECT_EQ(U32(gps.block, kLatitudeOffset + 20), 1000u);
    EXPECT_EQ(Text(gps.block, kLongitudeRefOffset, kReferenceSize), "E");
    EXPECT_EQ(U32(gps.block, kLongitudeOffset), 139u);
    EXPECT_EQ(U32(gps.block, kLongitudeOffset + 16), 27600u);
    EXPECT_EQ(std::to_integer<int>(gps.block[kAltitudeRefOffset]), 1);
    EXPECT_EQ(U32(gps.block, kAltitudeOffset), 123u);
    EXPECT_EQ(U32(gps.block, kAltitudeOffset + 4), 10u);
    EXPECT_EQ(Text(gps.block, kMapDatumOffset, kGpsBlockSize - kMapDatumOffset), "TOKYO");
}

class ByteOrderTest : public ::testing::TestWithParam<ByteOrder> {};

TEST_P(ByteOrderTest, TiffAndJpegCarryEveryFieldAsItStands) {
    const std::vector<std::byte> tiff = GpsTiff(Tokyo(), GetParam()).Build();
    const ExifGps fromTiff = ReadExifGps(tiff);
    EXPECT_EQ(fromTiff.mediaType, kMediaTiff);
    ExpectTokyoBlock(fromTiff);

    const ExifGps fromJpeg = ReadExifGps(JpegWithExif(tiff));
    EXPECT_EQ(fromJpeg.mediaType, kMediaJpeg);
    ExpectTokyoBlock(fromJpeg);
}

INSTANTIATE_TEST_SUITE_P(Exif, ByteOrderTest, ::testing::Values(ByteOrder::Little, ByteOrder::Big));

TEST(ExifGpsTest, MissingFieldsKeepTheAbsentMark) {
    GpsFields fields;
    fields.longitude = Dms(139, 44, 27.6);
    const ExifGps gps = ReadExifGps(GpsTiff(fields, ByteOrder::Little).Build());
    ASSERT_TRUE(gps.hasGps);
    EXPECT_EQ(U32(gps.block, kLatitudeOffset), kAbsent);
    EXPECT_EQ(U32(gps.block, kLatitudeOffset + 8), kAbsent);
    EXPECT_EQ(U32(gps.block, kLatitudeOffset + 16), kAbsent);
    EXPECT_EQ(U32(gps.block, kAltitudeOffset), kAbsent);
    EXPECT_EQ(U32(gps.block, kLongitudeOffset), 139u);
    EXPECT_EQ(Text(gps.block, kMapDatumOffset, 12), "");
}

TEST(ExifGpsTest, FilesWithoutGpsOrOfOtherKinds) {
    // A GPS directory without any field the block holds.
    const auto versionOnly = TiffWriter(ByteOrder::Little).Raw(0, 1, 4, 0x00000202).Build();
    EXPECT_FALSE(ReadExifGps(versionOnly).hasGps);
    EXPECT_EQ(ReadExifGps(versionOnly).mediaType, kMediaTiff);

    const std::vector<std::byte> text{std::byte{'h'}, std::byte{'i'}, std::byte{'!'}};
    EXPECT_EQ(ReadExifGps(text).mediaType, kMediaUnknown);
    EXPECT_FALSE(ReadExifGps(text).hasGps);
    EXPECT_FALSE(ReadExifGps({}).hasGps);
}

TEST(ExifGpsTest, OffsetsAndCountsOutsideTheFileReadAsAbsent) {
    const std::vector<std::byte> outside = TiffWriter(ByteOrder::Big)
                                               .Raw(2, 5, 3, 0x7FFFFFF0)        // latitude far past the end
                                               .Raw(4, 5, 0xFFFFFFFF, 40)       // longitude of 2^32-1 rationals
                                               .Raw(18, 2, 0xFFFFFFFF, 40)      // datum text of 2^32-1 bytes
                                               .Rationals(6, {{5, 1}})
                                               .Build();
    const ExifGps gps = ReadExifGps(outside);
    EXPECT_TRUE(gps.hasGps);
    EXPECT_EQ(U32(gps.block, kLatitudeOffset), kAbsent);
    EXPECT_EQ(U32(gps.block, kLongitudeOffset), kAbsent);
    EXPECT_EQ(Text(gps.block, kMapDatumOffset, 12), "");
    EXPECT_EQ(U32(gps.block, kAltitudeOffset), 5u);

    // The GPS pointer past the end, and a directory count larger than the file.
    EXPECT_FALSE(ReadExifGps(TiffWriter(ByteOrder::Little).Byte(5, 1).GpsDirectoryAt(0xFFFFFFF0).Build()).hasGps);
    std::vector<std::byte> manyEntries = TiffWriter(ByteOrder::Little).Byte(5, 1).Build();
    manyEntries[TiffWriter::kGpsDirectoryOffset] = std::byte{0xFF};
    manyEntries[TiffWriter::kGpsDirectoryOffset + 1] = std::byte{0xFF};
    EXPECT_TRUE(ReadExifGps(manyEntries).hasGps);
}

TEST(ExifGpsTest, DirectoriesPointingBackAreReadOnce) {
    // The GPS pointer leads back to the first directory, whose only entry is
    // that pointer again.
    const ExifGps gps = ReadExifGps(TiffWriter(ByteOrder::Little).Byte(5, 1).GpsDirectoryAt(8).Build());
    EXPECT_FALSE(gps.hasGps);
}

TEST(ExifGpsTest, TextsAreCutToTheirFieldsAndNeedNoTerminator) {
    const ExifGps unterminated = ReadExifGps(TiffWriter(ByteOrder::Little).Ascii(18, "TOKYO", false).Build());
    EXPECT_EQ(Text(unterminated.block, kMapDatumOffset, 12), "TOKYO");

    const ExifGps longText = ReadExifGps(
        TiffWriter(ByteOrder::Little).Ascii(1, "North", true).Ascii(18, "A VERY LONG DATUM NAME").Build());
    EXPECT_EQ(Text(longText.block, kLatitudeRefOffset, kReferenceSize), "Nor");
    EXPECT_EQ(Text(longText.block, kMapDatumOffset, 12), "A VERY LONG");
    EXPECT_EQ(longText.block[kGpsBlockSize - 1], std::byte{0});
}

TEST(ExifGpsTest, WrongTypesAndShortArraysAreIgnored) {
    const ExifGps gps = ReadExifGps(TiffWriter(ByteOrder::Little)
                                        .Rationals(2, {{35, 1}, {39, 1}})  // two of three
                                        .Raw(4, 3, 3, 0)                  // shorts, not rationals
                                        .Raw(5, 3, 1, 1)
                                        .Build());
    EXPECT_FALSE(gps.hasGps);
    EXPECT_EQ(U32(gps.block, kLatitudeOffset), kAbsent);
    EXPECT_EQ(std::to_integer<int>(gps.block[kAltitudeRefOffset]), 0);
}

TEST(ExifGpsTest, TruncatedAndMalformedJpegs) {
    const std::vector<std::byte> tiff = GpsTiff(Tokyo(), ByteOrder::Little).Build();
    // Declared longer than the file: what the file holds is read.
    EXPECT_TRUE(ReadExifGps(JpegWithExif(tiff, 0xFFFF)).hasGps);
    // Declared shorter than its own header.
    EXPECT_FALSE(ReadExifGps(JpegWithExif(tiff, 1)).hasGps);

    std::vector<std::byte> cut = JpegWithExif(tiff);
    for (std::size_t size = 0; size < cut.size(); size += 7) {
        const ExifGps gps = ReadExifGps(std::span(cut).first(size));
        EXPECT_EQ(gps.mediaType, size >= 2 ? kMediaJpeg : kMediaUnknown) << size;
    }
    const std::vector<std::byte> eight(8, std::byte{0xFF});
    EXPECT_FALSE(ReadExifGps(eight).hasGps);
}

}  // namespace
}  // namespace kelp::test
