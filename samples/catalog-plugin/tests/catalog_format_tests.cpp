#include <gtest/gtest.h>

#include <cstring>
#include <string>

#include "catalog_format.h"
#include "variant.h"

using namespace tandem;
using namespace tandem::catalog;

namespace {

std::span<const std::byte> Bytes(const std::string& text) {
    return {reinterpret_cast<const std::byte*>(text.data()), text.size()};
}

Catalog Sample() {
    Catalog catalog{L"D:\\My Music\\Caf\u00e9", {}};
    catalog.entries[L"D:\\My Music\\Caf\u00e9\\a\tb.mp3"] =
        CatalogEntry{1234, 45000.5, {{500, VT_BSTR, L"line\none\\two\r"}, {7, VT_R8, L"0.10000000000000001"}}};
    catalog.entries[L"D:\\My Music\\Caf\u00e9\\empty.txt"] = CatalogEntry{0, 1.0, {}};
    return catalog;
}

}  // namespace

TEST(CatalogFormat, WhatIsWrittenReadsBackWithSpecialCharacters) {
    const Catalog catalog = Sample();
    const std::string text = SerializeCatalog(catalog);
    EXPECT_EQ(std::count(text.begin(), text.end(), '\n'), 5);
    const ParsedCatalog parsed = ParseCatalog(Bytes(text));
    EXPECT_TRUE(parsed.headerValid);
    EXPECT_EQ(parsed.damagedLines, 0u);
    EXPECT_EQ(parsed.catalog.root, catalog.root);
    EXPECT_EQ(parsed.catalog.entries, catalog.entries);
}

TEST(CatalogFormat, ATruncatedFileKeepsEveryWholeLine) {
    const std::string text = SerializeCatalog(Sample());
    // Cut inside the last property line of the first entry.
    const size_t cut = text.find("\nP\t7\t") + 6;
    const ParsedCatalog parsed = ParseCatalog(Bytes(text.substr(0, cut)));
    ASSERT_TRUE(parsed.headerValid);
    EXPECT_EQ(parsed.damagedLines, 1u);
    ASSERT_EQ(parsed.catalog.entries.size(), 1u);
    EXPECT_EQ(parsed.catalog.entries.begin()->second.properties.size(), 1u);
}

TEST(CatalogFormat, AGarbledEntryIsDroppedWithItsPropertiesAndTheRestKept) {
    // Backslashes of paths are doubled in the file.
    const std::string text =
        "TandemCatalog\t1\tC:\\\\m\n"
        "C\tC:\\\\m\\\\a\tnot-a-size\t1\n"
        "P\t500\t8\tlost\n"
        "\xff\xfe garbage\n"
        "C\tC:\\\\m\\\\b\t5\t2.5\n"
        "P\t500\t8\tkept\n"
        "P\tx\t8\tbad id\n"
        "C\tC:\\m\\c\t1\t1\n";
    const ParsedCatalog parsed = ParseCatalog(Bytes(text));
    ASSERT_TRUE(parsed.headerValid);
    ASSERT_EQ(parsed.catalog.entries.size(), 1u);
    const CatalogEntry& kept = parsed.catalog.entries.at(L"c:\\M\\B");
    EXPECT_EQ(kept.size, 5u);
    ASSERT_EQ(kept.properties.size(), 1u);
    EXPECT_EQ(kept.properties[0].value, L"kept");
    EXPECT_EQ(parsed.damagedLines, 5u);
}

TEST(CatalogFormat, WithoutItsHeaderAFileHasNoCatalog) {
    for (const std::string text : {"", "C\tC:\\a\t1\t1\n", "TandemCatalog\t2\tC:\\m\n", "TandemCatalog\t1\t\n"}) {
        const ParsedCatalog parsed = ParseCatalog(Bytes(text));
        EXPECT_FALSE(parsed.headerValid) << text;
        EXPECT_TRUE(parsed.catalog.entries.empty());
    }
}

TEST(CatalogFormat, ValuesKeepFullPrecisionAndDisplayForPeople) {
    Variant number;
    V_VT(number.ptr()) = VT_R8;
    V_R8(number.ptr()) = 1.0 / 3.0;
    const CatalogProperty third{1, VT_R8, FormatValue(number.get())};
    EXPECT_EQ(std::stod(third.value), 1.0 / 3.0);
    EXPECT_EQ(DisplayValue(third), L"0.333333333");

    Variant date;
    V_VT(date.ptr()) = VT_DATE;
    SYSTEMTIME time{2024, 2, 0, 29, 13, 5, 9, 0};
    SystemTimeToVariantTime(&time, &V_DATE(date.ptr()));
    EXPECT_EQ(DisplayValue({2, VT_DATE, FormatValue(date.get())}), L"2024-02-29T13:05:09");

    Variant flag;
    V_VT(flag.ptr()) = VT_BOOL;
    V_BOOL(flag.ptr()) = VARIANT_TRUE;
    EXPECT_EQ(FormatValue(flag.get()), L"-1");
    EXPECT_EQ(FormatValue(Variant::FromLong(-42).get()), L"-42");
    Variant list;
    V_VT(list.ptr()) = VT_ARRAY | VT_I4;
    V_ARRAY(list.ptr()) = SafeArrayCreateVector(VT_I4, 0, 2);
    EXPECT_EQ(FormatValue(list.get()), L"");
    EXPECT_EQ(VarTypeName(VT_BSTR), L"VT_BSTR");
    EXPECT_EQ(VarTypeName(0x2011), L"VT_8209");
}

TEST(CatalogFormat, IsUnderNeedsASeparatorAfterTheFolder) {
    EXPECT_TRUE(IsUnder(L"C:\\Media\\a.jpg", L"c:\\media"));
    EXPECT_TRUE(IsUnder(L"C:\\a.jpg", L"C:\\"));
    EXPECT_FALSE(IsUnder(L"C:\\Media2\\a.jpg", L"C:\\Media"));
    EXPECT_FALSE(IsUnder(L"C:\\Media", L"C:\\Media"));
}
