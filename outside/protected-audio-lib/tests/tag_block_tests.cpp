#include <gtest/gtest.h>

#include "VltLib.h"
#include "error.h"
#include "tag_block.h"

namespace tandem::vlt {
namespace {

std::vector<std::byte> Bytes(std::initializer_list<int> values) {
    std::vector<std::byte> out;
    for (int v : values) out.push_back(std::byte(v));
    return out;
}

HRESULT ParseFailure(const std::vector<std::byte>& bytes) {
    try {
        ParseTagFile(bytes);
    } catch (const HResultError& e) {
        return e.hr();
    }
    return S_OK;
}

TEST(TagBlock, EveryKindOfValueSurvivesARoundTrip) {
    Picture picture;
    picture.properties = {std::wstring(L"cover.png"), std::wstring(L"image/png"), std::monostate{}, std::int32_t{3}};
    picture.data = Bytes({0x89, 'P', 'N', 'G'});
    TagBlock block{kLockedFlag,
                   {{4615, {std::wstring(L"Title")}},
                    {4352, {std::int32_t{-2}, std::int32_t{7}}},
                    {5121, {Date{36000.5}}},
                    {6400, {std::monostate{}}},
                    {4647, {picture}},
                    {4700, {}}}};
    std::vector<std::byte> file = SerializeTagBlock(block);
    size_t blockLength = file.size();
    file.push_back(std::byte{0x55});  // audio after the block

    ParsedFile parsed = ParseTagFile(file);
    EXPECT_EQ(parsed.block, block);
    EXPECT_EQ(parsed.blockLength, blockLength);
}

TEST(TagBlock, FileWithoutTheMagicHasAnEmptyBlock) {
    ParsedFile parsed = ParseTagFile(Bytes({'I', 'D', '3', 4, 0, 0, 0, 0, 0, 0}));
    EXPECT_TRUE(parsed.block.frames.empty());
    EXPECT_EQ(parsed.blockLength, 0u);
    EXPECT_EQ(ParseTagFile({}).blockLength, 0u);
}

TEST(TagBlock, PaddingEndsTheFrames) {
    ParsedFile parsed = ParseTagFile(Bytes({'e', 'o', '3', 4, 0, 0, 0, 0, 0, 14,
                                            0, 0, 0x12, 0x07, 0, 0, 0, 0, 0, 0,  // tag 4615, no values
                                            0, 0, 0, 0}));
    ASSERT_EQ(parsed.block.frames.size(), 1u);
    EXPECT_EQ(parsed.block.frames[0].tag, 4615u);
    EXPECT_TRUE(parsed.block.frames[0].values.empty());
    EXPECT_EQ(parsed.blockLength, 24u);
}

TEST(TagBlock, MalformedBlocksAreRefused) {
    // Block size past the end of the file.
    EXPECT_EQ(ParseFailure(Bytes({'e', 'o', '3', 4, 0, 0, 0, 0, 1, 0})), VLT_E_BAD_BLOCK);
    // A size byte with its high bit set.
    EXPECT_EQ(ParseFailure(Bytes({'e', 'o', '3', 4, 0, 0, 0x80, 0, 0, 0})), VLT_E_BAD_BLOCK);
    // Frame body past the block.
    EXPECT_EQ(ParseFailure(Bytes({'e', 'o', '3', 4, 0, 0, 0, 0, 0, 10, 0, 0, 0x12, 0x07, 0, 0, 0, 9, 0, 0})),
              VLT_E_BAD_BLOCK);
    // An integer cut short inside its frame.
    EXPECT_EQ(ParseFailure(Bytes({'e', 'o', '3', 4, 0, 0, 0, 0, 0, 13, 0, 0, 0x12, 0x07, 0, 0, 0, 3, 0, 0, 1, 5,
                                  0})),
              VLT_E_BAD_BLOCK);
    // Unknown version.
    EXPECT_EQ(ParseFailure(Bytes({'e', 'o', '3', 2, 0, 0, 0, 0, 0, 0})), VLT_E_BAD_BLOCK);
}

TEST(TagBlock, PictureDeclaringMoreDataThanTheFileHoldsIsRefused) {
    // A picture of four empty properties and a declared 100 MB of data.
    auto file = Bytes({'e', 'o', '3', 4, 0, 0, 0, 0, 0, 19, 0, 0, 0x12, 0x27, 0, 0, 0, 9, 0, 0,
                       4, 0, 0, 0, 0, 0x00, 0xE1, 0xF5, 0x05});
    EXPECT_EQ(ParseFailure(file), VLT_E_BAD_BLOCK);

    // A picture of 0 bytes is fine.
    file = Bytes({'e', 'o', '3', 4, 0, 0, 0, 0, 0, 19, 0, 0, 0x12, 0x27, 0, 0, 0, 9, 0, 0,
                  4, 0, 0, 0, 0, 0, 0, 0, 0});
    ParsedFile parsed = ParseTagFile(file);
    ASSERT_EQ(parsed.block.frames.size(), 1u);
    ASSERT_TRUE(std::holds_alternative<Picture>(parsed.block.frames[0].values.at(0)));
    EXPECT_TRUE(std::get<Picture>(parsed.block.frames[0].values[0]).data.empty());
}

}  // namespace
}  // namespace tandem::vlt
