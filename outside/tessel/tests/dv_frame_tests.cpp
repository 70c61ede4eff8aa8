#include <gtest/gtest.h>

#include "dv_frame.h"
#include "dv_frame_writer.h"

using namespace tessel;
using tessel::testing::DvAudio;
using tessel::testing::DvFrameParams;
using tessel::testing::MakeDvFrame;

namespace {

FrameInfo Decode(const DvFrameParams& params, Result expected = kOk) {
    const auto frame = MakeDvFrame(params);
    FrameInfo info{};
    EXPECT_EQ(DecodeFrame(frame, info), expected);
    return info;
}

WaveFormat WaveOf(const FrameInfo& info, Result expected = kOk) {
    WaveFormat wave{};
    EXPECT_EQ(DecodeAudioSource(std::span<const std::uint8_t, 5>(info.aauxSource), wave), expected);
    return wave;
}

}  // namespace

TEST(DvFrame, WidescreenFrameOf625LinesWithTwoChannelAudio) {
    const FrameInfo info = Decode({.is625 = true, .display = 2, .audio = DvAudio{.extraSamples = 24}});
    EXPECT_EQ(info.size, sizeof(FrameInfo));
    EXPECT_EQ(info.system, 1u);
    EXPECT_EQ(info.sequences, 12u);
    EXPECT_EQ(info.frameBytes, 144000u);
    EXPECT_EQ(info.lines, 576);
    EXPECT_EQ(info.rateNumerator, 25u);
    EXPECT_EQ(info.display, 2);
    EXPECT_TRUE(info.picture & kPictureFrame);
    EXPECT_TRUE(info.picture & kPictureInterlaced);
    EXPECT_EQ(info.packs, kFoundVauxSource | kFoundVauxControl | kFoundAauxSource | kFoundAauxControl);
    EXPECT_EQ(info.aauxSource[0], 0x50);
    EXPECT_EQ(info.audioSamples, 1896u + 24u);

    const WaveFormat wave = WaveOf(info);
    EXPECT_EQ(wave.formatTag, 1);
    EXPECT_EQ(wave.channels, 2);
    EXPECT_EQ(wave.samplesPerSec, 48000u);
    EXPECT_EQ(wave.bitsPerSample, 16);
    EXPECT_EQ(wave.blockAlign, 4);
    EXPECT_EQ(wave.avgBytesPerSec, 192000u);
}

TEST(DvFrame, NarrowFrameOf525LinesWithoutAudio) {
    const FrameInfo info = Decode({.is625 = false, .display = 0, .frameFlag = false});
    EXPECT_EQ(info.system, 0u);
    EXPECT_EQ(info.sequences, 10u);
    EXPECT_EQ(info.lines, 480);
    EXPECT_EQ(info.rateDenominator, 1001u);
    EXPECT_EQ(info.display, 0);
    EXPECT_FALSE(info.picture & kPictureFrame);
    EXPECT_FALSE(info.packs & kFoundAauxSource);
    EXPECT_EQ(info.audioSamples, 0u);
    WaveOf(info, kNoAudio);
}

TEST(DvFrame, AudioRatesQuantisationAndChannelLayouts) {
    struct Case {
        bool is625;
        DvAudio audio;
        std::uint16_t channels;
        std::uint32_t rate;
        std::uint32_t samples;
    };
    const Case cases[] = {
        {false, {.rate = 32000, .quantisation = 1, .channelsPerBlock = 1, .extraSamples = 0}, 4, 32000, 1053},
        {false, {.rate = 32000, .quantisation = 1, .channelsPerBlock = 0, .extraSamples = 1}, 2, 32000, 1054},
        {true, {.rate = 44100, .extraSamples = 5}, 2, 44100, 1747},
        {false, {.rate = 48000, .streamType = 2}, 4, 48000, 1600},
        {true, {.rate = 32000, .streamType = 3}, 8, 32000, 1284},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(::testing::Message() << c.rate << " Hz, " << c.channels << " channels");
        const FrameInfo info = Decode({.is625 = c.is625, .audio = c.audio});
        EXPECT_EQ(info.audioSamples, c.samples);
        const WaveFormat wave = WaveOf(info);
        EXPECT_EQ(wave.channels, c.channels);
        EXPECT_EQ(wave.samplesPerSec, c.rate);
        EXPECT_EQ(wave.bitsPerSample, 16);
        EXPECT_EQ(wave.blockAlign, c.channels * 2);
    }
}

TEST(DvFrame, UnknownAudioCodingsAreRefused) {
    WaveOf(Decode({.audio = DvAudio{.rate = 22050}}), kAudioUnsupported);
    WaveOf(Decode({.audio = DvAudio{.quantisation = 2}}), kAudioUnsupported);
    WaveOf(Decode({.audio = DvAudio{.streamType = 1}}), kAudioUnsupported);
}

TEST(DvFrame, MissingSourceControlPackReadsAsNarrowFieldPicture) {
    const FrameInfo info = Decode({.display = 7, .vauxControl = false});
    EXPECT_EQ(info.packs & kFoundVauxControl, 0);
    EXPECT_EQ(info.display, 0);
    EXPECT_EQ(info.picture, 0);
}

TEST(DvFrame, PartialFrameStillYieldsThePacksOfItsFirstSequence) {
    const FrameInfo info = Decode({.display = 1, .audio = DvAudio{}, .sequences = 1});
    EXPECT_EQ(info.display, 1);
    EXPECT_TRUE(info.packs & kFoundAauxSource);
}

TEST(DvFrame, BuffersThatDoNotOpenWithAHeaderBlockAreNotDv) {
    auto frame = MakeDvFrame({});
    FrameInfo info{};
    EXPECT_EQ(DecodeFrame(std::span(frame).first(79), info), kNotDv);
    EXPECT_EQ(DecodeFrame(std::span(frame).subspan(80), info), kNotDv);  // a subcode block first
    EXPECT_EQ(DecodeFrame(std::span(frame).subspan(150 * 80), info), kNotDv);  // header of sequence 1
    EXPECT_EQ(DecodeFrame({}, info), kNotDv);
    // A lone header block is a frame with nothing else in it.
    EXPECT_EQ(DecodeFrame(std::span(frame).first(80), info), kOk);
    EXPECT_EQ(info.packs, 0);
}
