// The parse filter in real graphs: Wine's file source in front, a recording
// renderer behind, the filter created from the built module.

#include <gtest/gtest.h>

#include <cstring>

#include "common/testing/com_apartment.h"
#include "graph_support.h"
#include "dshow/media_type.h"
#include "orvak_decoder.h"
#include "orvak_file_writer.h"
#include "orvak_guids.h"

using namespace tandem;
using namespace tandem::orvak;
using namespace tandem::orvak::test;
using tandem::test::OrvakFile;
using tandem::test::OrvakTagBlock;

namespace {

constexpr REFERENCE_TIME kSegmentEnd = 0x7F00000000000000;

// Start time of a 1024-sample frame, in 100 ns units, truncated.
constexpr REFERENCE_TIME FrameTime(int frames) { return static_cast<REFERENCE_TIME>(frames * 1024 * 10'000'000.0 / 44'100); }

class OrvakGraph : public testing::Test {
protected:
    std::filesystem::path Write(const OrvakFile& file, const wchar_t* name = L"track.vla") {
        const auto path = folder_.File(name);
        image_ = tandem::test::BuildOrvakFile(file);
        tandem::test::WriteBytes(path, image_);
        audioOffset_ = static_cast<size_t>(tandem::test::OrvakAudioOffset(file));
        return path;
    }

    // A tag block of 257 bytes and a 40-byte header put the audio at 307,
    // off any sector boundary.
    static OrvakFile TaggedFile(size_t audioBytes) {
        OrvakFile file;
        file.tag = OrvakTagBlock{{'I', 'D', '3'}, std::vector<std::byte>(257, std::byte{0x20}), std::nullopt};
        file.headerLength = 40;
        file.audio = tandem::test::OrvakPatternAudio(audioBytes);
        return file;
    }

    std::vector<std::byte> AudioFrom(size_t position) const {
        return {image_.begin() + static_cast<std::ptrdiff_t>(position), image_.end()};
    }

    static ComPtr<IBaseFilter> NewSink() { return ComPtr<IBaseFilter>(MakeComObject<RecordingSink>().get()); }

    static bool EndedAfterLastFlush(const std::vector<Delivery>& d) {
        auto flush = std::find_if(d.rbegin(), d.rend(), [](const Delivery& x) { return x.kind == Delivery::BeginFlush; });
        return flush != d.rbegin() && d.back().kind == Delivery::EndOfStream && flush != d.rend();
    }

    // The last stream in the deliveries (after a flush, when one is asked
    // for): a new segment at 0, then samples without time stamps, the first
    // a sync point, holding the file from `position` on.
    void ExpectLastStreamFrom(const std::vector<Delivery>& deliveries, size_t position, bool afterFlush) {
        const auto kindIs = [](Delivery::Kind kind) { return [kind](const Delivery& d) { return d.kind == kind; }; };
        const auto segment = std::find_if(deliveries.rbegin(), deliveries.rend(), kindIs(Delivery::Segment));
        ASSERT_NE(segment, deliveries.rend());
        const auto flush = std::find_if(deliveries.rbegin(), deliveries.rend(), kindIs(Delivery::BeginFlush));
        if (afterFlush) {
            ASSERT_NE(flush, deliveries.rend());
            EXPECT_GT(flush, segment);  // the flush came first
        }
        EXPECT_EQ(segment->start, 0);
        EXPECT_EQ(segment->stop, kSegmentEnd);
        EXPECT_EQ(segment->rate, 1.0);
        bool first = true;
        for (auto it = segment.base(); it != deliveries.end(); ++it) {
            if (it->kind != Delivery::Sample) continue;
            EXPECT_EQ(it->syncPoint, first);
            EXPECT_FALSE(it->timed);
            first = false;
        }
        EXPECT_FALSE(first) << "no sample after the segment";
        EXPECT_EQ(SampleBytesAfterLast(deliveries, Delivery::Segment), AudioFrom(position));
    }

    tandem::test::ComApartment apartment_;
    TempFolder folder_;
    std::vector<std::byte> image_;
    size_t audioOffset_ = 0;
};

AM_MEDIA_TYPE ConnectionType(IBaseFilter* sink) {
    ComPtr<IPin> pin;
    CheckHr(sink->FindPin(L"In", pin.put()));
    AM_MEDIA_TYPE mt{};
    CheckHr(pin->ConnectionMediaType(&mt));
    return mt;
}

template <class T>
T At(const AM_MEDIA_TYPE& mt, size_t offset) {
    T value;
    std::memcpy(&value, mt.pbFormat + offset, sizeof value);
    return value;
}

}  // namespace

TEST_F(OrvakGraph, OffersTheCodecTypeAndTheDurationOfTheAudioData) {
    OrvakFile file;
    file.frameBits = 0x60;
    file.audio = tandem::test::OrvakPatternAudio(33'868'800);
    ParserGraph graph(Write(file));
    ASSERT_EQ(graph.ConnectSource(), S_OK);
    auto sink = NewSink();
    ASSERT_EQ(graph.ConnectSink(sink.get()), S_OK);

    AM_MEDIA_TYPE mt = ConnectionType(sink.get());
    EXPECT_EQ(mt.majortype, MEDIATYPE_Audio);
    EXPECT_EQ(mt.subtype, kOrvakSubtype);
    EXPECT_EQ(mt.formattype, kOrvakFormatType);
    ASSERT_EQ(mt.cbFormat, 52u);
    EXPECT_EQ(At<std::uint16_t>(mt, 0), 0xFFFE);
    EXPECT_EQ(At<std::uint16_t>(mt, 2), 2);
    EXPECT_EQ(At<std::uint32_t>(mt, 4), 44100u);
    EXPECT_EQ(At<std::uint64_t>(mt, 8), 0u);
    EXPECT_EQ(At<std::uint32_t>(mt, 16), 0u);
    EXPECT_EQ(At<std::uint32_t>(mt, 20), 3u);
    EXPECT_EQ(At<GUID>(mt, 24), kOrvakSubFormat);
    EXPECT_EQ(At<std::uint16_t>(mt, 40), 1);
    EXPECT_EQ(At<std::uint16_t>(mt, 42), 0);
    EXPECT_EQ(At<std::uint32_t>(mt, 44), tandem::test::OrvakCodecWord(file));
    EXPECT_EQ(At<std::uint32_t>(mt, 48), 0u);
    dshow::FreeMediaTypeFields(mt);

    LONGLONG duration = 0;
    ASSERT_EQ(graph.OutputSeeking()->GetDuration(&duration), S_OK);
    EXPECT_EQ(duration, 10'240'000'000);
    ASSERT_EQ(graph.Seeking().GetDuration(&duration), S_OK);
    EXPECT_EQ(duration, 10'240'000'000);
    LONGLONG stop = 0;
    EXPECT_EQ(graph.OutputSeeking()->GetStopPosition(&stop), S_OK);
    EXPECT_EQ(stop, 10'240'000'000);
    LONGLONG earliest = -1;
    LONGLONG latest = 0;
    EXPECT_EQ(graph.OutputSeeking()->GetAvailable(&earliest, &latest), S_OK);
    EXPECT_EQ(earliest, 0);
    EXPECT_EQ(latest, 10'240'000'000);
}

TEST_F(OrvakGraph, OffersOneTypeOnlyAndNoneBeforeTheHeaderIsKnown) {
    ParserGraph graph(Write(TaggedFile(768 * 10)));
    const auto countTypes = [&] {
        ComPtr<IEnumMediaTypes> types;
        CheckHr(graph.ParserPin(L"Output")->EnumMediaTypes(types.put()));
        AM_MEDIA_TYPE* got[3] = {};
        ULONG fetched = 0;
        types->Next(3, got, &fetched);
        for (ULONG i = 0; i < fetched; ++i) dshow::DeleteMediaType(got[i]);
        return fetched;
    };
    EXPECT_EQ(countTypes(), 0u);
    ASSERT_EQ(graph.ConnectSource(), S_OK);
    EXPECT_EQ(countTypes(), 1u);
}

TEST_F(OrvakGraph, CodecOneWithFiveChannelsBehindAnEo3Tag) {
    OrvakFile file;
    file.tag = OrvakTagBlock{{'e', 'o', '3'}, std::vector<std::byte>(20), std::nullopt};
    file.codec = 1;
    file.frameBits = 0x5F;
    file.channelCode = 5;
    file.audio = tandem::test::OrvakPatternAudio(768 * 441);
    ParserGraph graph(Write(file, L"TRACK.OV3"));
    ASSERT_EQ(graph.ConnectSource(), S_OK);
    auto sink = NewSink();
    ASSERT_EQ(graph.ConnectSink(sink.get()), S_OK);
    AM_MEDIA_TYPE mt = ConnectionType(sink.get());
    EXPECT_EQ(At<std::uint16_t>(mt, 2), 5);
    EXPECT_EQ(At<std::uint32_t>(mt, 20), 63u);
    dshow::FreeMediaTypeFields(mt);
    LONGLONG duration = 0;
    ASSERT_EQ(graph.OutputSeeking()->GetDuration(&duration), S_OK);
    EXPECT_EQ(duration, 204'800'000);  // 441 frames of 2048 samples: 20.48 s
}

TEST_F(OrvakGraph, ThreeChannelsConnectTheInputButOfferNoOutputType) {
    OrvakFile file;
    file.codec = 1;
    file.channelCode = 3;
    file.audio = tandem::test::OrvakPatternAudio(776 * 4);
    ParserGraph graph(Write(file));
    ASSERT_EQ(graph.ConnectSource(), S_OK);
    auto sink = NewSink();
    EXPECT_TRUE(FAILED(graph.ConnectSink(sink.get())));
}

TEST_F(OrvakGraph, RefusesFilesItCannotPlay) {
    struct Case {
        const char* what;
        std::function<void(OrvakFile&)> change;
        const wchar_t* name = L"track.vla";
        size_t cutTo = 0;
    };
    const std::vector<Case> cases = {
        {"48 kHz", [](OrvakFile& f) { f.rateIndex = 2; }},
        {"bad magic", [](OrvakFile& f) { f.magic = {'E', 'O', 'X'}; }},
        {"wrong extension", [](OrvakFile&) {}, L"track.mp3"},
        {"no extension", [](OrvakFile&) {}, L"track"},
        {"0xFFFF missing", [](OrvakFile& f) { f.marker = 0x7FFF; }},
        {"codec 2", [](OrvakFile& f) { f.codec = 2; }},
        {"frame-size bits 0", [](OrvakFile& f) { f.frameBits = 0; }},
        {"header length 0", [](OrvakFile& f) { f.headerLength = 0; }},
        {"header length past the end", [](OrvakFile& f) { f.headerLength = 0xFFFF; }, L"track.vla", 1000},
        {"header cut short", [](OrvakFile&) {}, L"track.vla", 20},
        {"tag size past the end",
         [](OrvakFile& f) { f.tag = OrvakTagBlock{{'I', 'D', '3'}, {}, std::array<std::uint8_t, 4>{0x7F, 0, 0, 0}}; }},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        OrvakFile file;
        file.audio = tandem::test::OrvakPatternAudio(768 * 8);
        c.change(file);
        const auto path = Write(file, c.name);
        if (c.cutTo) {
            image_.resize(c.cutTo);
            tandem::test::WriteBytes(path, image_);
        }
        ParserGraph graph(path);
        EXPECT_EQ(graph.OfferSourceTypeToParser(), E_FAIL);
        EXPECT_TRUE(FAILED(graph.ConnectSource()));
        ComPtr<IPin> peer;
        EXPECT_EQ(graph.ParserPin(L"Input")->ConnectedTo(peer.put()), VFW_E_NOT_CONNECTED);
    }
}

TEST_F(OrvakGraph, RefusesAnEmptyFile) {
    const auto path = folder_.File(L"empty.vla");
    tandem::test::WriteBytes(path, {});
    ParserGraph graph(path);
    EXPECT_EQ(graph.OfferSourceTypeToParser(), E_FAIL);
    EXPECT_TRUE(FAILED(graph.ConnectSource()));
}

TEST_F(OrvakGraph, SeekingCapabilitiesFormatsAndRate) {
    ParserGraph graph(Write(TaggedFile(768 * 10)));
    ASSERT_EQ(graph.ConnectSource(), S_OK);
    const auto seeking = graph.OutputSeeking();
    DWORD caps = 0;
    EXPECT_EQ(seeking->GetCapabilities(&caps), S_OK);
    EXPECT_EQ(caps, 0x37u);
    caps = 0x37;
    EXPECT_EQ(seeking->CheckCapabilities(&caps), S_OK);
    caps = AM_SEEKING_CanSeekAbsolute;
    EXPECT_EQ(seeking->CheckCapabilities(&caps), S_FALSE);
    EXPECT_EQ(caps, 0x37u);
    caps = 0x3F;
    EXPECT_EQ(seeking->CheckCapabilities(&caps), S_FALSE);
    caps = 0x40;
    EXPECT_EQ(seeking->CheckCapabilities(&caps), E_FAIL);

    EXPECT_EQ(seeking->IsFormatSupported(&TIME_FORMAT_MEDIA_TIME), S_OK);
    EXPECT_EQ(seeking->IsFormatSupported(&TIME_FORMAT_BYTE), S_FALSE);
    EXPECT_EQ(seeking->IsUsingTimeFormat(&TIME_FORMAT_MEDIA_TIME), S_OK);
    EXPECT_EQ(seeking->IsUsingTimeFormat(&TIME_FORMAT_FRAME), S_FALSE);
    GUID format = GUID_NULL;
    EXPECT_EQ(seeking->QueryPreferredFormat(&format), S_OK);
    EXPECT_EQ(format, TIME_FORMAT_MEDIA_TIME);
    format = GUID_NULL;
    EXPECT_EQ(seeking->GetTimeFormat(&format), S_OK);
    EXPECT_EQ(format, TIME_FORMAT_MEDIA_TIME);
    EXPECT_EQ(seeking->SetTimeFormat(&TIME_FORMAT_MEDIA_TIME), S_OK);
    EXPECT_EQ(seeking->SetTimeFormat(&TIME_FORMAT_BYTE), E_INVALIDARG);

    LONGLONG a = 0;
    LONGLONG b = 0;
    EXPECT_EQ(seeking->GetCurrentPosition(&a), E_NOTIMPL);
    EXPECT_EQ(seeking->GetPositions(&a, &b), E_NOTIMPL);
    EXPECT_EQ(seeking->GetPreroll(&a), E_NOTIMPL);
    EXPECT_EQ(seeking->ConvertTimeFormat(&a, nullptr, 0, nullptr), E_NOTIMPL);

    EXPECT_EQ(seeking->SetRate(2.0), static_cast<HRESULT>(0x8004025C));
    EXPECT_EQ(seeking->SetRate(0.5), static_cast<HRESULT>(0x8004025C));
    EXPECT_EQ(seeking->SetRate(1.0), S_OK);
    double rate = 0;
    EXPECT_EQ(seeking->GetRate(&rate), S_OK);
    EXPECT_EQ(rate, 1.0);

    ComPtr<IQualityControl> quality;
    EXPECT_EQ(graph.ParserPin(L"Output").as(quality), S_OK);
    ComPtr<IMediaSeeking> none;
    EXPECT_EQ(graph.ParserPin(L"Input").as(none), E_NOINTERFACE);
    EXPECT_EQ(ComPtr<IBaseFilter>(graph.Parser()).as(none), E_NOINTERFACE);
}

TEST_F(OrvakGraph, StreamsTheAudioDataUnchangedToTheEnd) {
    ParserGraph graph(Write(TaggedFile(768 * 400 + 100)));
    ASSERT_EQ(graph.ConnectSource(), S_OK);
    auto sink = MakeComObject<RecordingSink>();
    ASSERT_EQ(graph.ConnectSink(sink.get()), S_OK);
    ASSERT_EQ(audioOffset_, 307u);
    ASSERT_TRUE(SUCCEEDED(graph.Control().Run()));
    ASSERT_TRUE(graph.WaitForEvent(EC_COMPLETE));
    const auto deliveries = sink->Deliveries();
    EXPECT_EQ(deliveries.back().kind, Delivery::EndOfStream);
    EXPECT_EQ(CountOf(deliveries, Delivery::Segment), 1u);
    ExpectLastStreamFrom(deliveries, audioOffset_, false);
    EXPECT_EQ(graph.Control().Stop(), S_OK);
}

TEST_F(OrvakGraph, SeekWhilePausedStartsAtTheFrameOfTheTime) {
    ParserGraph graph(Write(TaggedFile(768 * 1000)));
    ASSERT_EQ(graph.ConnectSource(), S_OK);
    auto sink = MakeComObject<RecordingSink>();
    ASSERT_EQ(graph.ConnectSink(sink.get()), S_OK);
    ASSERT_TRUE(SUCCEEDED(graph.Control().Pause()));
    LONGLONG position = FrameTime(100) + 1;
    ASSERT_EQ(graph.Seeking().SetPositions(&position, AM_SEEKING_AbsolutePositioning, nullptr,
                                           AM_SEEKING_NoPositioning),
              S_OK);
    ASSERT_TRUE(sink->WaitFor(EndedAfterLastFlush));
    ExpectLastStreamFrom(sink->Deliveries(), audioOffset_ + 768 * 100, true);
    EXPECT_EQ(graph.Control().Stop(), S_OK);
}

TEST_F(OrvakGraph, SeekWhileRunningRestartsAtTheFrameOfTheTime) {
    ParserGraph graph(Write(TaggedFile(768 * 1000)));
    ASSERT_EQ(graph.ConnectSource(), S_OK);
    auto sink = MakeComObject<RecordingSink>();
    ASSERT_EQ(graph.ConnectSink(sink.get()), S_OK);
    ASSERT_TRUE(SUCCEEDED(graph.Control().Run()));
    ASSERT_TRUE(graph.WaitForEvent(EC_COMPLETE));
    for (int frame : {700, 3}) {
        LONGLONG position = FrameTime(frame) + 1;
        ASSERT_EQ(graph.Seeking().SetPositions(&position, AM_SEEKING_AbsolutePositioning, nullptr,
                                               AM_SEEKING_NoPositioning),
                  S_OK);
        ASSERT_TRUE(sink->WaitFor(EndedAfterLastFlush));
        ExpectLastStreamFrom(sink->Deliveries(), audioOffset_ + 768 * frame, true);
    }
    EXPECT_EQ(graph.Control().Stop(), S_OK);
}

TEST_F(OrvakGraph, RestartsFromTheFirstFrameAfterStop) {
    ParserGraph graph(Write(TaggedFile(768 * 3000)));
    ASSERT_EQ(graph.ConnectSource(), S_OK);
    auto sink = MakeComObject<RecordingSink>();
    ASSERT_EQ(graph.ConnectSink(sink.get()), S_OK);
    ASSERT_TRUE(SUCCEEDED(graph.Control().Run()));
    EXPECT_EQ(graph.Control().Stop(), S_OK);
    const size_t before = sink->Deliveries().size();
    ASSERT_TRUE(SUCCEEDED(graph.Control().Run()));
    ASSERT_TRUE(sink->WaitFor([&](const std::vector<Delivery>& d) {
        return d.size() > before && d.back().kind == Delivery::EndOfStream;
    }));
    ExpectLastStreamFrom(sink->Deliveries(), audioOffset_, false);
    EXPECT_EQ(graph.Control().Stop(), S_OK);
}

TEST_F(OrvakGraph, DownstreamRefusalAbortsAndStopsCleanly) {
    ParserGraph graph(Write(TaggedFile(768 * 1000)));
    ASSERT_EQ(graph.ConnectSource(), S_OK);
    auto sink = MakeComObject<RecordingSink>();
    ASSERT_EQ(graph.ConnectSink(sink.get()), S_OK);
    sink->RefuseSamples(E_ACCESSDENIED);
    ASSERT_TRUE(SUCCEEDED(graph.Control().Run()));
    LONG_PTR hr = 0;
    ASSERT_TRUE(graph.WaitForEvent(EC_ERRORABORT, &hr));
    EXPECT_EQ(static_cast<HRESULT>(hr), E_ACCESSDENIED);
    EXPECT_EQ(graph.Control().Stop(), S_OK);
    EXPECT_EQ(CountOf(sink->Deliveries(), Delivery::Sample), 0u);
}

TEST_F(OrvakGraph, DecoderAgreesOnTheTypeAndCountsEveryFrame) {
    OrvakFile file = TaggedFile(776 * 500);
    file.codec = 1;
    file.frameBits = 0x60;  // 776-byte frames
    file.channelCode = 2;
    ParserGraph graph(Write(file));
    ASSERT_EQ(graph.ConnectSource(), S_OK);
    auto decoder = MakeComObject<outside::COrvakDecoder>();
    ASSERT_EQ(graph.ConnectSink(decoder.get()), S_OK);
    ASSERT_TRUE(SUCCEEDED(graph.Control().Run()));
    ASSERT_TRUE(graph.WaitForEvent(EC_COMPLETE));
    const auto counts = decoder->Snapshot();
    EXPECT_TRUE(counts.ended);
    EXPECT_EQ(counts.frames, 500u);
    EXPECT_EQ(counts.samples, 500u * 2048);
    EXPECT_EQ(counts.channels, 2u);
    EXPECT_EQ(graph.Control().Stop(), S_OK);
}
