#include <gtest/gtest.h>

#include "dv_avi.h"
#include "dv_test_decoder.h"
#include "scan_fixtures.h"

using namespace tandem::riffscan;
using namespace tandem::riffscan::test;
using tessel::testing::DvAudio;

TEST(DvProbe, TypeOneFileTakesItsAudioFromTheFrame) {
    RecordingDvDecoder dv;
    const ScanValues v = Scan(MakeDvAvi(DvFrame({.is625 = true, .display = 2, .audio = DvAudio{}}), true), &dv);
    EXPECT_EQ(v.videoCodec, FourCc("dvsd"));
    EXPECT_EQ(v.aspectNumerator, 16u);
    EXPECT_EQ(v.aspectDenominator, 9u);
    EXPECT_EQ(v.dvFrameMode, 2u);
    EXPECT_EQ(v.hasAudio, 1u);
    EXPECT_EQ(v.dvAudio, 1u);
    EXPECT_EQ(v.audioFormatTag, 1u);
    EXPECT_EQ(v.channels, 2u);
    EXPECT_EQ(v.sampleRate, 48000u);
    EXPECT_EQ(v.bitsPerSample, 16u);
    EXPECT_EQ(v.channelMask, 0u);
    // 50 frames of 40 ms at 48 kHz.
    EXPECT_EQ(v.audioLength, 96000u);
    EXPECT_EQ(dv.readFrameCalls, 1);
    EXPECT_EQ(dv.waveFormatCalls, 1);
}

TEST(DvProbe, TypeTwoFileKeepsItsAudioStream) {
    RecordingDvDecoder dv;
    const ScanValues v = Scan(MakeDvAvi(DvFrame({.display = 7, .frameFlag = false, .audio = DvAudio{}}), false, true), &dv);
    EXPECT_EQ(v.aspectNumerator, 16u);
    EXPECT_EQ(v.dvFrameMode, 3u);
    EXPECT_EQ(v.dvAudio, 0u);
    EXPECT_EQ(v.sampleRate, 32000u);
    EXPECT_EQ(v.audioLength, 96000u);
    EXPECT_EQ(dv.waveFormatCalls, 0);
    // The frame came from the video stream's chunk, past the audio one.
    EXPECT_EQ(dv.lastFrame[0], 0x1F);
}

TEST(DvProbe, FrameWithoutAudioPacksLeavesTheFileSilent) {
    RecordingDvDecoder dv;
    const ScanValues v = Scan(MakeDvAvi(DvFrame({.is625 = false, .display = 0}), true), &dv);
    EXPECT_EQ(v.aspectNumerator, 4u);
    EXPECT_EQ(v.aspectDenominator, 3u);
    EXPECT_EQ(v.hasAudio, 0u);
    EXPECT_EQ(v.dvAudio, 0u);
    EXPECT_EQ(v.audioLength, 0u);
}

TEST(DvProbe, FrameSizeFlagFollowsTheChunkSize) {
    RecordingDvDecoder dv;
    Scan(MakeDvAvi(DvFrame({.is625 = true}), true), &dv);
    EXPECT_TRUE(dv.lastFlag);
    Scan(MakeDvAvi(DvFrame({.is625 = false}), false), &dv);
    EXPECT_FALSE(dv.lastFlag);
    // Neither size: flagged, and padded to a whole frame of zeros.
    const Bytes shortFrame = DvFrame({.is625 = true, .sequences = 1});
    const ScanValues v = Scan(MakeDvAvi(shortFrame, true), &dv);
    EXPECT_TRUE(dv.lastFlag);
    ASSERT_EQ(dv.frameBytes, 144'000u);
    EXPECT_EQ(dv.lastFrame[shortFrame.size()], 0);
    EXPECT_EQ(v.aspectNumerator, 4u);
    // Longer than a frame: the library is given no more than one.
    Bytes longFrame = DvFrame({.is625 = true, .display = 2});
    longFrame.resize(300'000, 0xEE);
    EXPECT_EQ(Scan(MakeDvAvi(longFrame, true), &dv).aspectNumerator, 16u);
    EXPECT_EQ(dv.frameBytes, 144'000u);
    EXPECT_EQ(dv.readFrameCalls, 4);
}

TEST(DvProbe, DvFailuresNeverFailTheReader) {
    RecordingDvDecoder dv;
    // Smaller than one DIF block: not handed to the library at all.
    ScanValues v = Scan(MakeDvAvi(Bytes(40, 0x1F), true), &dv);
    EXPECT_EQ(dv.readFrameCalls, 0);
    EXPECT_EQ(v.aspectNumerator, 0u);
    // Not DV inside.
    v = Scan(MakeDvAvi(Bytes(144'000, 0x96), true), &dv);
    EXPECT_EQ(dv.readFrameCalls, 1);
    EXPECT_EQ(v.aspectNumerator, 0u);
    EXPECT_EQ(v.hasAudio, 0u);
    // The library refuses.
    dv.failReadFrame = true;
    v = Scan(MakeDvAvi(DvFrame({.audio = DvAudio{}}), true), &dv);
    EXPECT_EQ(v.dvFrameMode, 0u);
    EXPECT_EQ(v.hasAudio, 0u);
    // No library.
    v = Scan(MakeDvAvi(DvFrame({.audio = DvAudio{}}), true), nullptr);
    EXPECT_EQ(v.videoCodec, FourCc("dvsd"));
    EXPECT_EQ(v.aspectNumerator, 0u);
    // The frame's chunk is cut short by the end of the file.
    dv.failReadFrame = false;
    Bytes cut = MakeDvAvi(DvFrame({.audio = DvAudio{}}), true);
    cut.resize(cut.size() - 1000);
    v = Scan(cut, &dv);
    EXPECT_EQ(v.aspectNumerator, 0u);
    EXPECT_EQ(v.frameCount, kDvFrames);
}

TEST(DvProbe, OnlyDvVideoIsProbed) {
    RecordingDvDecoder dv;
    Scan(MakeAvi(Avih({}), {VideoStream()}, {{FourCc("00dc"), DvFrame({})}}), &dv);
    EXPECT_EQ(dv.readFrameCalls, 0);
}

TEST(DvProbe, FirstVideoChunkIsFoundInsideNestedLists) {
    RiffWriter nested;
    nested.BeginList("hdrl").Chunk(FourCc("JUNK"), Bytes(3, 0)).EndList().BeginList("movi").BeginList("rec ");
    nested.Chunk(FourCc("ix00"), Bytes(8, 0)).Chunk(FourCc("00db"), Bytes(100, 0)).EndList().EndList();
    const Bytes file = nested.Form();
    SpanSource source(file);
    const auto chunk = FindFirstVideoChunk(source, 0);
    ASSERT_TRUE(chunk.has_value());
    EXPECT_EQ(chunk->size, 100u);
    EXPECT_EQ(file[chunk->data - 8], '0');
    EXPECT_FALSE(FindFirstVideoChunk(source, 1).has_value());
    // Stream numbers above 4 look for "00".
    EXPECT_TRUE(FindFirstVideoChunk(source, 7).has_value());
}

TEST(DvProbe, DvAudioLengthIsComputedInFloatingPointAndTruncated) {
    ScanValues values{.microSecPerFrame = 33367, .frameCount = 3};
    std::array<std::uint8_t, kDvRecordBytes> record{};
    record[56] = 0x44;  // 44100 = 0xAC44
    record[57] = 0xAC;
    ApplyDvAudio(record, values);
    EXPECT_EQ(values.sampleRate, 44100u);
    EXPECT_EQ(values.audioLength, 4414u);  // 3 * 33367 * 44100 / 1e6 = 4414.4541
    values.frameCount = 0xFFFF'FFFF;
    values.microSecPerFrame = 0xFFFF'FFFF;
    record[59] = 0xFF;
    ApplyDvAudio(record, values);
    EXPECT_EQ(values.audioLength, UINT64_MAX);
}
