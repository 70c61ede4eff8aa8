#include <gtest/gtest.h>

#include <algorithm>

#include "scan_fixtures.h"

using namespace tandem::riffscan;
using namespace tandem::riffscan::test;

namespace {

const Bytes kAvih = Avih({.streams = 2});
const GUID kPcm{STATIC_KSDATAFORMAT_SUBTYPE_PCM};

std::size_t OffsetOf(const Bytes& file, const char (&id)[5]) {
    return static_cast<std::size_t>(std::search(file.begin(), file.end(), id, id + 4) - file.begin());
}

}  // namespace

TEST(AviHeaders, OnlyAnAviRiffFormIsAccepted) {
    const Bytes avi = MakeAvi(kAvih, {VideoStream()});
    Bytes wave = avi;
    std::memcpy(wave.data() + 8, "WAVE", 4);
    Bytes rifx = avi;
    std::memcpy(rifx.data(), "RIFX", 4);
    EXPECT_EQ(CodeOf(wave), kRiffScanNotAvi);
    EXPECT_EQ(CodeOf(rifx), kRiffScanNotAvi);
    EXPECT_EQ(CodeOf(Bytes(avi.begin(), avi.begin() + 11)), kRiffScanNotAvi);
    EXPECT_EQ(CodeOf({}), kRiffScanNotAvi);
    // The form is there but not the list header that must follow it.
    EXPECT_EQ(CodeOf(Bytes(avi.begin(), avi.begin() + 20)), kRiffScanReadFailed);
    EXPECT_EQ(CodeOf(avi), kRiffScanOk);
}

TEST(AviHeaders, VideoAndAudioValues) {
    const ScanValues v = Scan(MakeAvi(Avih({.microSecPerFrame = 33367, .streams = 2, .width = 640, .height = 480}),
                                      {VideoStream(321), AudioStream(96000)}));
    EXPECT_EQ(v.hasVideo, 1u);
    EXPECT_EQ(v.hasAudio, 1u);
    EXPECT_EQ(v.microSecPerFrame, 33367u);
    EXPECT_EQ(v.headerKind, 1u);
    EXPECT_EQ(v.videoCodec, FourCc("MJPG"));
    EXPECT_EQ(v.frameCount, 321u);
    EXPECT_EQ(v.width, 640u);
    EXPECT_EQ(v.height, 480u);
    EXPECT_EQ(v.videoQuality, 7500u);
    EXPECT_EQ(v.audioFormatTag, 1u);
    EXPECT_EQ(v.audioLength, 96000u);
    EXPECT_EQ(v.channels, 2u);
    EXPECT_EQ(v.sampleRate, 44100u);
    EXPECT_EQ(v.bitsPerSample, 16u);
    EXPECT_EQ(v.dvAudio, 0u);
    EXPECT_EQ(v.aspectNumerator, 0u);
}

TEST(AviHeaders, StreamCountsOutsideOneOrTwoAreFormatErrors) {
    EXPECT_EQ(CodeOf(MakeAvi(Avih({.streams = 0}), {VideoStream()})), kRiffScanFormatError);
    EXPECT_EQ(CodeOf(MakeAvi(Avih({.streams = 3}), {VideoStream()})), kRiffScanFormatError);
    EXPECT_EQ(CodeOf(MakeAvi(kAvih, {VideoStream(), AudioStream(), AudioStream()})), kRiffScanFormatError);
    EXPECT_EQ(CodeOf(MakeAvi(kAvih, {})), kRiffScanFormatError);
    EXPECT_EQ(CodeOf(MakeAvi(kAvih, {AudioStream()})), kRiffScanFormatError);
    // The count in "avih" is only checked; the stream headers are what counts.
    EXPECT_EQ(CodeOf(MakeAvi(Avih({.streams = 2}), {VideoStream()})), kRiffScanOk);
}

TEST(AviHeaders, FormatOfAStreamWithoutTypeIsAnError) {
    const Stream untyped{Strh({.type = 0}), BitmapInfo(1, 1, 0), std::nullopt};
    EXPECT_EQ(CodeOf(MakeAvi(kAvih, {VideoStream(), untyped})), kRiffScanFormatError);
    // Without a format chunk nothing is read for it, and it is no video.
    EXPECT_EQ(CodeOf(MakeAvi(kAvih, {VideoStream(), {Strh({.type = 0}), std::nullopt, std::nullopt}})),
              kRiffScanOk);
    // Types we do not know have their format skipped.
    const Stream text{Strh({.type = FourCc("txts")}), Bytes(7, 0xEE), std::nullopt};
    EXPECT_EQ(Scan(MakeAvi(kAvih, {VideoStream(), text})).hasAudio, 0u);
}

TEST(AviHeaders, LastVideoAndLastAudioStreamsAreReported) {
    const ScanValues v = Scan(MakeAvi(kAvih, {VideoStream(10, FourCc("XVID")), VideoStream(20, FourCc("DIVX"))}));
    EXPECT_EQ(v.videoCodec, FourCc("DIVX"));
    EXPECT_EQ(v.frameCount, 20u);
    EXPECT_EQ(v.hasAudio, 0u);
    // The first stream's header kind is reported even when it is audio.
    const Stream indexedAudio{AudioStream().strh, Wave(1, 1, 8000, 8), SuperIndex({7})};
    const ScanValues w = Scan(MakeAvi(kAvih, {indexedAudio, VideoStream()}));
    EXPECT_EQ(w.headerKind, 2u);
    EXPECT_EQ(w.audioLength, 7u);
}

TEST(AviHeaders, CodecRules) {
    auto codec = [](Stream stream) { return Scan(MakeAvi(kAvih, {stream})).videoCodec; };
    EXPECT_EQ(codec({Strh({.handler = 0}), BitmapInfo(1, 1, FourCc("H264")), std::nullopt}), FourCc("H264"));
    EXPECT_EQ(codec({Strh({.handler = FourCc("dsvd")}), BitmapInfo(1, 1, 0), std::nullopt}), FourCc("dvsd"));
    EXPECT_EQ(codec({Strh({.handler = 0}), BitmapInfo(1, 1, FourCc("dsvd")), std::nullopt}), FourCc("dvsd"));
    EXPECT_EQ(codec({Strh({.type = FourCc("iavs"), .handler = FourCc("CDVC")}), DvInfoFormat(), std::nullopt}),
              FourCc("dvsd"));
    EXPECT_EQ(codec({Strh({.type = FourCc("iavs"), .handler = 0}), DvInfoFormat(), std::nullopt}), FourCc("dvsd"));
}

TEST(AviHeaders, PictureSizeFallsBackOnTheBitmapHeader) {
    auto size = [](MainFields main, Stream stream) {
        const ScanValues v = Scan(MakeAvi(Avih(main), {stream}));
        return std::pair(v.width, v.height);
    };
    const Stream bitmap{Strh({}), BitmapInfo(1920, 1080, 0), std::nullopt};
    EXPECT_EQ(size({.width = 0, .height = 480}, bitmap), std::pair(1920u, 1080u));
    EXPECT_EQ(size({.width = 640, .height = 0}, bitmap), std::pair(1920u, 1080u));
    EXPECT_EQ(size({.width = 640, .height = 480}, bitmap), std::pair(640u, 480u));
    const Stream topDown{Strh({}), BitmapInfo(800, -600, 0), std::nullopt};
    EXPECT_EQ(size({.width = 0, .height = 0}, topDown), std::pair(800u, 600u));
    const Stream dv{Strh({.type = FourCc("iavs")}), DvInfoFormat(), std::nullopt};
    EXPECT_EQ(size({.width = 0, .height = 576}, dv), std::pair(0u, 576u));
}

TEST(AviHeaders, ExtensibleSubFormatsMapToTheirTags) {
    const std::pair<GUID, std::uint32_t> cases[] = {
        {GUID{STATIC_KSDATAFORMAT_SUBTYPE_PCM}, 1},        {GUID{STATIC_KSDATAFORMAT_SUBTYPE_MPEG}, 0x50},
        {GUID{STATIC_KSDATAFORMAT_SUBTYPE_IEEE_FLOAT}, 3}, {GUID{STATIC_KSDATAFORMAT_SUBTYPE_DRM}, 9},
        {GUID{STATIC_KSDATAFORMAT_SUBTYPE_ALAW}, 6},       {GUID{STATIC_KSDATAFORMAT_SUBTYPE_MULAW}, 7},
        {GUID{STATIC_KSDATAFORMAT_SUBTYPE_ADPCM}, 2},      {GUID{STATIC_KSDATAFORMAT_SUBTYPE_ANALOG}, 0},
    };
    for (const auto& [guid, tag] : cases) {
        SCOPED_TRACE(tag);
        const Stream audio{AudioStream().strh, Extensible(6, 48000, 24, 0x3F, GuidBytes(guid)), std::nullopt};
        const ScanValues v = Scan(MakeAvi(kAvih, {VideoStream(), audio}));
        EXPECT_EQ(v.audioFormatTag, tag);
        EXPECT_EQ(v.channels, 6u);
        EXPECT_EQ(v.bitsPerSample, 24u);
        EXPECT_EQ(v.channelMask, 0x3Fu);
    }
}

TEST(AviHeaders, ExtensionIsReadOnlyWhenItsSizeIsAnnounced) {
    const Stream shortExtension{AudioStream().strh,
                                Extensible(2, 48000, 16, 0x3, GuidBytes(kPcm), 21),
                                std::nullopt};
    const ScanValues v = Scan(MakeAvi(kAvih, {VideoStream(), shortExtension}));
    EXPECT_EQ(v.audioFormatTag, 0u);
    EXPECT_EQ(v.channelMask, 0u);
}

TEST(AviHeaders, ChannelMaskFallsBackOnMonoAndStereo) {
    EXPECT_EQ(ReportedChannelMask(0, 1), 1u);
    EXPECT_EQ(ReportedChannelMask(0, 2), 3u);
    EXPECT_EQ(ReportedChannelMask(0, 6), 0u);
    EXPECT_EQ(ReportedChannelMask(0x4, 1), 0x4u);
}

TEST(AviHeaders, SixteenByteFormatHasNoExtension) {
    // A 16-byte format tagged extensible: the bytes after it belong to the
    // next chunk and must not be taken for an extra size.
    Bytes format = Wave16(2, 48000, 16);
    format[0] = 0xFE;
    format[1] = 0xFF;
    RiffWriter writer;
    writer.BeginList("hdrl").Chunk(FourCc("avih"), kAvih);
    writer.BeginList("strl").Chunk(FourCc("strh"), VideoStream().strh).Chunk(FourCc("strf"), *VideoStream().strf);
    writer.EndList().BeginList("strl").Chunk(FourCc("strh"), AudioStream().strh).Chunk(FourCc("strf"), format);
    writer.Chunk(0xFFFF, Extensible(2, 48000, 16, 3, GuidBytes(kPcm)));
    writer.EndList().EndList();
    const ScanValues v = Scan(writer.Form());
    EXPECT_EQ(v.channels, 2u);
    EXPECT_EQ(v.sampleRate, 48000u);
    EXPECT_EQ(v.bitsPerSample, 16u);
    EXPECT_EQ(v.audioFormatTag, 0u);
    EXPECT_EQ(v.channelMask, 0u);

    EXPECT_EQ(Scan(MakeAvi(kAvih, {VideoStream(), {AudioStream().strh, Wave16(1, 8000, 8), std::nullopt}}))
                  .audioFormatTag,
              1u);
}

TEST(AviHeaders, ShortChunksDoNotLendTheirNeighboursBytes) {
    const Bytes wave = Wave(1, 2, 44100, 16);
    const Stream shortFormat{AudioStream().strh, Bytes(wave.begin(), wave.begin() + 10), std::nullopt};
    const Bytes header = VideoStream().strh;
    const Bytes shortHeader(header.begin(), header.begin() + 36);  // up to the length
    const ScanValues v = Scan(MakeAvi(kAvih, {{shortHeader, *VideoStream().strf, std::nullopt}, shortFormat}));
    EXPECT_EQ(v.channels, 2u);
    EXPECT_EQ(v.sampleRate, 44100u);
    EXPECT_EQ(v.bitsPerSample, 0u);
    EXPECT_EQ(v.frameCount, 100u);
    EXPECT_EQ(v.videoQuality, 0u);
}

TEST(AviHeaders, SuperIndexDurationsAreSummedIn64Bits) {
    const Stream video{VideoStream(5).strh, VideoStream().strf, SuperIndex({0xF000'0000u, 0x2000'0000u, 5})};
    const Stream audio{AudioStream(9).strh, AudioStream().strf, SuperIndex({0xFFFF'FFFFu, 0xFFFF'FFFFu, 2})};
    const ScanValues v = Scan(MakeAvi(kAvih, {video, audio}));
    EXPECT_EQ(v.headerKind, 2u);
    EXPECT_EQ(v.frameCount, 0x1000'0005u);
    EXPECT_EQ(v.audioLength, 0x2'0000'0000ull);
}

TEST(AviHeaders, SuperIndexCountIsHeldToTheChunk) {
    // Claims a quarter of a billion entries in a chunk of two.
    const Stream video{VideoStream().strh, VideoStream().strf, SuperIndex({3, 4}, 0x0FFF'FFFF)};
    EXPECT_EQ(Scan(MakeAvi(kAvih, {video})).frameCount, 7u);

    // A chunk that claims 4 GiB and a count to match ends with the file.
    RiffWriter writer;
    writer.BeginList("hdrl").Chunk(FourCc("avih"), kAvih).BeginList("strl");
    writer.Chunk(FourCc("strh"), VideoStream().strh).ChunkClaiming(FourCc("indx"), 0xFFFF'FFFF, SuperIndex({1, 2}, 0xFFFF'FFFF));
    EXPECT_EQ(CodeOf(writer.Form()), kRiffScanReadFailed);
}

TEST(AviHeaders, OddSizedChunksArePadded) {
    Bytes format = *VideoStream().strf;
    format.push_back(0x55);  // 41 bytes
    RiffWriter writer;
    writer.BeginList("hdrl").Chunk(FourCc("avih"), kAvih).Chunk(FourCc("JUNK"), Bytes(7, 0xAA));
    writer.BeginList("strl").Chunk(FourCc("strh"), VideoStream().strh).Chunk(FourCc("strf"), format);
    writer.Chunk(FourCc("strn"), Bytes{'v', 'i', 'd', 0}).Chunk(FourCc("dmlh"), Bytes(5, 1)).EndList();
    writer.BeginList("strl").Chunk(FourCc("strh"), AudioStream(77).strh).Chunk(FourCc("strf"), *AudioStream().strf);
    writer.EndList().EndList().BeginList("movi").Chunk(FourCc("00dc"), Bytes(3, 0)).EndList();
    const ScanValues v = Scan(writer.Form());
    EXPECT_EQ(v.hasAudio, 1u);
    EXPECT_EQ(v.audioLength, 77u);
    EXPECT_EQ(v.sampleRate, 44100u);
}

TEST(AviHeaders, HeadersEndAtMovi) {
    RiffWriter writer = AviLayout(kAvih, {VideoStream()});
    // A stream header after "movi" is never seen, however many there are.
    writer.BeginList("strl").Chunk(FourCc("strh"), AudioStream().strh).Chunk(FourCc("strh"), AudioStream().strh);
    writer.Chunk(FourCc("strh"), AudioStream().strh).EndList();
    EXPECT_EQ(Scan(writer.Form()).hasAudio, 0u);

    // A zero chunk id ends the headers as well.
    RiffWriter zero;
    zero.BeginList("hdrl").Chunk(FourCc("avih"), kAvih).BeginList("strl").Chunk(FourCc("strh"), VideoStream().strh);
    zero.Chunk(0, Bytes(8, 0)).Chunk(FourCc("strh"), AudioStream().strh);
    EXPECT_EQ(Scan(zero.Form()).hasAudio, 0u);
}

TEST(AviHeaders, HugeChunkSizesEndTheHeaders) {
    RiffWriter junk;
    junk.BeginList("hdrl").Chunk(FourCc("avih"), kAvih).BeginList("strl").Chunk(FourCc("strh"), VideoStream().strh);
    junk.ChunkClaiming(FourCc("JUNK"), 0xFFFF'FFFF, Bytes(16, 0)).Chunk(FourCc("strh"), AudioStream().strh);
    EXPECT_EQ(Scan(junk.Form()).hasAudio, 0u);

    RiffWriter mainHeader;
    mainHeader.BeginList("hdrl").ChunkClaiming(FourCc("avih"), 0xFFFF'FFFF, kAvih);
    EXPECT_EQ(CodeOf(mainHeader.Form()), kRiffScanFormatError);  // nothing after it: no stream

    // The 64 bytes read of a stream header must be in the file.
    Bytes header = VideoStream().strh;
    RiffWriter stream;
    stream.BeginList("hdrl").Chunk(FourCc("avih"), kAvih).ChunkClaiming(FourCc("strh"), 0xFFFF'FFFF, header);
    EXPECT_EQ(CodeOf(stream.Form()), kRiffScanReadFailed);
    header.resize(64);
    RiffWriter longStream;
    longStream.BeginList("hdrl").Chunk(FourCc("avih"), kAvih).ChunkClaiming(FourCc("strh"), 0xFFFF'FFFF, header);
    EXPECT_EQ(CodeOf(longStream.Form()), kRiffScanOk);
    RiffWriter list;
    list.BeginList("hdrl").Chunk(FourCc("avih"), kAvih).ChunkClaiming(FourCc("LIST"), 0xFFFF'FFFF, Bytes{'s', 't', 'r', 'l'});
    list.Chunk(FourCc("strh"), VideoStream().strh);
    EXPECT_EQ(CodeOf(list.Form()), kRiffScanOk);
}

TEST(AviHeaders, TruncatedFilesGiveReadFailureInsideChunksOnly) {
    const Stream indexed{VideoStream().strh, VideoStream().strf, SuperIndex({1, 2, 3})};
    const RiffWriter layout = AviLayout(kAvih, {indexed, AudioStream()}, {{FourCc("00dc"), Bytes(64, 0)}});
    const Bytes file = layout.Form();
    const std::size_t videoHeaderEnd = OffsetOf(file, "strh") + 8 + 56;
    const std::size_t moviEnd = OffsetOf(file, "movi") + 4;
    for (std::size_t cut : layout.Boundaries()) {
        SCOPED_TRACE(cut);
        const Bytes head(file.begin(), file.begin() + cut);
        const RiffScanCode expected =
            cut < 24 ? kRiffScanReadFailed : (cut < videoHeaderEnd ? kRiffScanFormatError : kRiffScanOk);
        EXPECT_EQ(CodeOf(head), expected);
        // Inside a chunk's size field.
        if (cut + 6 < moviEnd) {
            EXPECT_EQ(CodeOf(Bytes(file.begin(), file.begin() + cut + 6)), kRiffScanReadFailed);
        }
    }
    // And at every byte in between: a code, never a crash.
    for (std::size_t cut = 0; cut <= file.size(); ++cut) {
        const RiffScanCode code = CodeOf(Bytes(file.begin(), file.begin() + cut));
        EXPECT_TRUE(code == kRiffScanOk || code == kRiffScanReadFailed || code == kRiffScanFormatError ||
                    (code == kRiffScanNotAvi && cut < 12))
            << cut;
    }
}

namespace {

// A device that fails past a given offset, as a vanishing network file does.
class FailingSource final : public ByteSource {
public:
    FailingSource(const Bytes& bytes, std::size_t failAt) : bytes_(bytes), inner_(bytes_), failAt_(failAt) {}
    std::size_t ReadAt(std::uint64_t offset, std::span<std::uint8_t> into) override {
        if (offset + into.size() > failAt_) throw ScanError(kRiffScanReadFailed);
        return inner_.ReadAt(offset, into);
    }

private:
    Bytes bytes_;
    SpanSource inner_;
    std::size_t failAt_;
};

}  // namespace

TEST(AviHeaders, DeviceFailuresAreReadFailures) {
    const Bytes file = MakeAvi(kAvih, {VideoStream(), AudioStream()});
    for (std::size_t failAt : {std::size_t{0}, std::size_t{30}, OffsetOf(file, "movi")}) {
        FailingSource source(file, failAt);
        try {
            ScanAvi(source, nullptr);
            ADD_FAILURE() << failAt;
        } catch (const ScanError& error) {
            EXPECT_EQ(error.code(), kRiffScanReadFailed) << failAt;
        }
    }
}
