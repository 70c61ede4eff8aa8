#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>

#include "datum_grid.h"
#include "grid_text.h"

namespace tandem::test {
namespace {

double Seconds(std::int32_t units) { return units / kDatumGridUnitsPerSecond; }

TEST(DatumGridTest, TheLinkedTableHoldsEveryMeshOnceStartingWithTheFirstOfTheParameterFile) {
    const auto table = DatumGridTable();
    ASSERT_EQ(table.size() % kDatumGridRecordSize, 0u);
    const std::size_t count = DatumGridRecordCount(table);
    EXPECT_EQ(count, 392323u);

    const DatumGridRecord first = DatumGridRecordAt(table, 0);
    EXPECT_EQ(first.code, 46303582);
    EXPECT_NEAR(Seconds(first.latitude), 12.79799, 5e-8);
    EXPECT_NEAR(Seconds(first.longitude), -8.13354, 5e-8);
    EXPECT_EQ(first.latitude, 137417371);
    EXPECT_EQ(first.longitude, -87333221);

    std::vector<std::int32_t> codes;
    for (std::size_t i = 0; i < count; ++i) codes.push_back(DatumGridRecordAt(table, i).code);
    std::ranges::sort(codes);
    EXPECT_EQ(codes.front(), 36225717);
    EXPECT_EQ(codes.back(), 68421070);
    EXPECT_EQ(std::ranges::adjacent_find(codes), codes.end());
}

TEST(DatumGridTest, EveryRecordOfTheTextIsFoundWithItsCorrections) {
    const GridText& text = SharedGridText();
    ASSERT_EQ(text.size(), 392323u) << "cannot read " << TANDEM_GRID_TEXT;
    const DatumGridIndex& index = DatumGridIndex::Shared();
    EXPECT_EQ(index.size(), text.size());
    for (const auto& [code, correction] : text.records()) {
        const auto record = index.Find(code);
        ASSERT_TRUE(record) << code;
        ASSERT_NEAR(Seconds(record->latitude), correction.latitude, 5e-8) << code;
        ASSERT_NEAR(Seconds(record->longitude), correction.longitude, 5e-8) << code;
    }
    EXPECT_FALSE(index.Find(54433070));  // open sea
    EXPECT_FALSE(index.Find(36225716));
    EXPECT_FALSE(index.Find(0));
}

TEST(DatumGridTest, AnIndexOverAnyTableFindsItsRecordsByExactCode) {
    const std::vector<std::uint8_t> bytes{
        0x05, 0, 0, 0, 0xFF, 0xFF, 0xFF, 0xFF, 1, 0, 0, 0,  // 5: -1, 1
        0x02, 0, 0, 0, 0x00, 0x00, 0x00, 0x80, 2, 0, 0, 0,  // 2: INT32_MIN, 2
        0x05, 0, 0, 0, 0x07, 0x00, 0x00, 0x00, 7, 0, 0, 0,  // 5 again
        0xFF, 0xFF, 0xFF, 0xFF, 1, 0, 0, 0, 1, 0, 0, 0,     // -1: not a mesh code
        0x09, 0, 0, 0,                                      // a cut record
    };
    const DatumGridIndex index(std::as_bytes(std::span(bytes)));
    EXPECT_EQ(index.size(), 2u);
    EXPECT_FALSE(index.Find(-1));
    ASSERT_TRUE(index.Find(5));
    EXPECT_EQ(index.Find(5)->latitude, -1);
    EXPECT_EQ(index.Find(2)->latitude, INT32_MIN);
    EXPECT_EQ(index.Find(2)->longitude, 2);
    EXPECT_FALSE(index.Find(9));
    EXPECT_FALSE(index.Find(3));
}

}  // namespace
}  // namespace tandem::test
