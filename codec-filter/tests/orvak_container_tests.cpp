#include <gtest/gtest.h>

#include <cstring>
#include <vector>

#include "orvak_container.h"
#include "orvak_file_writer.h"
#include "orvak_guids.h"

using namespace tandem::orvak;
using tandem::test::BuildOrvakFile;
using tandem::test::OrvakFile;
using tandem::test::OrvakTagBlock;

namespace {

// Parses a whole file image the way the input pin reads it: lead, then the
// header where the lead points.
std::optional<Header> ParseImage(const std::vector<std::byte>& image) {
    const std::span<const std::byte> bytes(image);
    const auto start = FindHeader(bytes.first(std::min(bytes.size(), kLeadSize)));
    if (!start || *start > bytes.size()) return std::nullopt;
    return ParseHeader(bytes.subspan(*start), *start, bytes.size());
}

OrvakFile WithAudio(OrvakFile file, size_t bytes) {
    file.audio = tandem::test::OrvakPatternAudio(bytes);
    return file;
}

std::vector<std::byte> Bytes(std::initializer_list<int> values) {
    std::vector<std::byte> out;
    for (int v : values) out.push_back(static_cast<std::byte>(v));
    return out;
}

}  // namespace

TEST(OrvakHeaderLocation, TagSizeIsFourSevenBitGroups) {
    EXPECT_EQ(FindHeader(Bytes({'I', 'D', '3', 3, 0, 0, 0x00, 0x00, 0x02, 0x01})), 267u);
    // Bit 7 of each size byte carries nothing.
    EXPECT_EQ(FindHeader(Bytes({'e', 'o', '3', 3, 0, 0, 0x80, 0x80, 0x82, 0x81})), 267u);
    EXPECT_EQ(FindHeader(Bytes({'I', 'D', '3', 3, 0, 0, 0x7F, 0x7F, 0x7F, 0x7F})), 0x0FFFFFFFu + 10);
    EXPECT_EQ(FindHeader(Bytes({'E', 'O', '3'})), 0u);
}

TEST(OrvakHeaderLocation, UnknownMagicAndShortLeadsAreRefused) {
    EXPECT_FALSE(FindHeader({}));
    EXPECT_FALSE(FindHeader(Bytes({'E', 'O'})));
    EXPECT_FALSE(FindHeader(Bytes({'I', 'D', '3', 3, 0, 0, 0, 0})));
    EXPECT_FALSE(FindHeader(Bytes({'i', 'd', '3', 3, 0, 0, 0, 0, 0, 0})));
    EXPECT_FALSE(FindHeader(Bytes({'E', 'o', '3', 0, 0, 0, 0, 0, 0, 0})));
}

TEST(OrvakHeader, CodecZeroWithTagBlock) {
    OrvakFile file = WithAudio({}, 768 * 4);
    file.tag = OrvakTagBlock{{'I', 'D', '3'}, std::vector<std::byte>(257, std::byte{0x41}), std::nullopt};
    file.headerLength = 64;
    const auto header = ParseImage(BuildOrvakFile(file));
    ASSERT_TRUE(header);
    EXPECT_EQ(header->dataOffset, 267u + 64);
    EXPECT_EQ(header->Codec(), 0u);
    EXPECT_EQ(header->FrameSize(), 768u);
    EXPECT_EQ(header->SamplesPerFrame(), 1024u);
    EXPECT_EQ(header->Channels(), 2u);
    EXPECT_EQ(header->codecWord, 0x00002860u);  // channel code 2 rides along unread
}

TEST(OrvakHeader, CodecOneFrameSizeAndChannels) {
    OrvakFile file{};
    file.codec = 1;
    file.frameBits = 0x5F;
    file.channelCode = 5;
    const auto header = ParseImage(BuildOrvakFile(file));
    ASSERT_TRUE(header);
    EXPECT_EQ(header->FrameSize(), 768u);
    EXPECT_EQ(header->SamplesPerFrame(), 2048u);
    EXPECT_EQ(header->Channels(), 5u);
    EXPECT_EQ(header->dataOffset, 36u);
}

TEST(OrvakHeader, OutOfRangeFieldsAreRefused) {
    const auto refused = [](auto change) {
        OrvakFile file = WithAudio({}, 1536);
        change(file);
        return !ParseImage(BuildOrvakFile(file));
    };
    EXPECT_FALSE(refused([](OrvakFile&) {}));
    EXPECT_TRUE(refused([](OrvakFile& f) { f.rateIndex = 2; }));  // 48 kHz
    EXPECT_TRUE(refused([](OrvakFile& f) { f.rateIndex = 0; }));
    EXPECT_TRUE(refused([](OrvakFile& f) { f.magic = {'E', 'O', '4'}; }));
    EXPECT_TRUE(refused([](OrvakFile& f) { f.marker = 0xFFFE; }));
    EXPECT_TRUE(refused([](OrvakFile& f) { f.codec = 2; }));
    EXPECT_TRUE(refused([](OrvakFile& f) { f.codec = 0xFF; }));
    EXPECT_TRUE(refused([](OrvakFile& f) { f.frameBits = 0; }));
    EXPECT_TRUE(refused([](OrvakFile& f) { f.headerLength = 0; }));
    EXPECT_TRUE(refused([](OrvakFile& f) { f.headerLength = 35; }));
    EXPECT_TRUE(refused([](OrvakFile& f) {
        f.tag = OrvakTagBlock{{'e', 'o', '3'}, {}, std::array<std::uint8_t, 4>{0, 0, 0x7F, 0}};
    }));
    // Codec 1 takes frame-size bits 0 as an 8-byte frame.
    EXPECT_FALSE(refused([](OrvakFile& f) {
        f.codec = 1;
        f.frameBits = 0;
    }));
}

TEST(OrvakHeader, AudioOffsetPastTheEndIsRefused) {
    OrvakFile file{};
    file.headerLength = 0xFFFF;
    std::vector<std::byte> image = BuildOrvakFile(file);
    ASSERT_TRUE(ParseImage(image));
    image.resize(0xFFFF - 1);
    EXPECT_FALSE(ParseImage(image));
}

TEST(OrvakHeader, CutShortHeaderIsRefused) {
    std::vector<std::byte> image = BuildOrvakFile(OrvakFile{});
    image.resize(35);
    EXPECT_FALSE(ParseHeader(image, 0, 35));
    EXPECT_FALSE(ParseImage(image));
}

TEST(OrvakHeader, FileEndingWhereAudioStartsIsEmptyNotRefused) {
    const auto header = ParseImage(BuildOrvakFile(OrvakFile{}));
    ASSERT_TRUE(header);
    EXPECT_EQ(BytesToMediaTime(*header, 0), 0);
}

TEST(OrvakExtension, OnlyVlaAndOv3InAnyCase) {
    EXPECT_TRUE(HasOrvakExtension(L"C:\\music\\a.vla"));
    EXPECT_TRUE(HasOrvakExtension(L"C:\\music\\a.b.OV3"));
    EXPECT_TRUE(HasOrvakExtension(L"x.Vla"));
    EXPECT_FALSE(HasOrvakExtension(L"C:\\music\\a.mp3"));
    EXPECT_FALSE(HasOrvakExtension(L"C:\\music.vla\\track"));
    EXPECT_FALSE(HasOrvakExtension(L"C:\\music\\a.vla2"));
    EXPECT_FALSE(HasOrvakExtension(L""));
}

TEST(OrvakTime, DurationOfWholeFramesTruncated) {
    Header header;
    header.codecWord = 0x00002060;  // codec 0, 768-byte frames
    EXPECT_EQ(BytesToMediaTime(header, 33'868'800), 10'240'000'000);
    EXPECT_EQ(BytesToMediaTime(header, 33'868'800 + 767), 10'240'000'000);
    EXPECT_EQ(BytesToMediaTime(header, 767), 0);
    EXPECT_EQ(BytesToMediaTime(header, 768), 232'199);  // 1024 samples, truncated
    EXPECT_EQ(BytesToMediaTime(header, -5), 0);
    header.codecWord = 0x0100205F;  // codec 1, 768-byte frames of 2048 samples
    EXPECT_EQ(BytesToMediaTime(header, 768), 464'399);
}

TEST(OrvakTime, PositionsAreFrameStartsAfterTheAudioOffset) {
    Header header;
    header.codecWord = 0x00002060;
    header.dataOffset = 307;
    const std::int64_t length = 307 + 768 * 1000;
    EXPECT_EQ(MediaTimeToPosition(header, 0, length), 307);
    EXPECT_EQ(MediaTimeToPosition(header, -1, length), 307);
    EXPECT_EQ(MediaTimeToPosition(header, BytesToMediaTime(header, 768 * 100) + 1, length), 307 + 768 * 100);
    // Inside frame 100: the frame's own start.
    EXPECT_EQ(MediaTimeToPosition(header, BytesToMediaTime(header, 768 * 100) + 100'000, length), 307 + 768 * 100);
    // Past the end: the end, rounded down to a frame.
    EXPECT_EQ(MediaTimeToPosition(header, 10'000'000'000'000, length), 307 + 768 * 1000);
    EXPECT_EQ(MediaTimeToPosition(header, 10'000'000'000'000, length + 500), 307 + 768 * 1000);
}

TEST(OrvakTime, AlignedReadsKeepTheRemainderAsSkip) {
    EXPECT_EQ(AlignRead(77107, 512).position, 76800);
    EXPECT_EQ(AlignRead(77107, 512).skip, 307);
    EXPECT_EQ(AlignRead(1024, 512).skip, 0);
    EXPECT_EQ(AlignRead(77, 1).position, 77);
    EXPECT_EQ(AlignRead(77, 0).skip, 0);
}

TEST(OrvakFormatBlock, ExtensibleLayoutByteForByte) {
    Header header;
    header.codecWord = 0x00002060;
    const auto block = MakeFormatBlock(header);
    ASSERT_TRUE(block);
    std::vector<std::byte> expected = Bytes({0xFE, 0xFF, 2, 0, 0x44, 0xAC, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0,
                                             3, 0, 0, 0});
    expected.resize(40);
    std::memcpy(expected.data() + 24, &kOrvakSubFormat, 16);
    const auto tail = Bytes({1, 0, 0, 0, 0x60, 0x20, 0, 0, 0, 0, 0, 0});
    expected.insert(expected.end(), tail.begin(), tail.end());
    ASSERT_EQ(expected.size(), kFormatBlockSize);
    EXPECT_TRUE(std::equal(block->begin(), block->end(), expected.begin()));
}

TEST(OrvakFormatBlock, ChannelMaskFollowsTheChannelCount) {
    Header header;
    header.codecWord = 0x01001400 | 0x5F;  // codec 1, 5 channels
    const auto five = MakeFormatBlock(header);
    ASSERT_TRUE(five);
    EXPECT_EQ((*five)[2], std::byte{5});
    EXPECT_EQ((*five)[20], std::byte{63});
    for (unsigned code : {0u, 1u, 3u, 4u, 6u, 7u}) {
        header.codecWord = 0x0100005F | (code << 10);
        EXPECT_FALSE(MakeFormatBlock(header)) << code;
    }
    header.codecWord = 0x0100085F;  // codec 1, 2 channels
    ASSERT_TRUE(MakeFormatBlock(header));
    EXPECT_EQ((*MakeFormatBlock(header))[20], std::byte{3});
}
