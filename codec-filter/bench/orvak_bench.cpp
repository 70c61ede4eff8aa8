// Streams a large synthetic Orvak file through file source → orvparser →
// null sink and, for comparison, through file source → pulling null sink,
// and prints the throughput of both. Usage: orvak_bench [megabytes]

#include <windows.h>
#include <dshow.h>

#include <chrono>
#include <cstdio>
#include <cwchar>
#include <memory>

#include "com/com_object.h"
#include "common/testing/com_apartment.h"
#include "dshow/pin.h"
#include "dshow/pull_reader.h"
#include "dshow/sink_filter.h"
#include "error.h"
#include "orvak_file_writer.h"
#include "tests/graph_support.h"

using namespace tandem;

namespace {

constexpr ALLOCATOR_PROPERTIES kReaderRequest{3, 64 * 1024, 512, 0};

class EndSignal {
public:
    EndSignal() : event_(CreateEventW(nullptr, TRUE, FALSE, nullptr)) {
        if (!event_) ThrowLastError();
    }
    void Set() { SetEvent(event_.get()); }
    bool Wait() { return WaitForSingleObject(event_.get(), 600000) == WAIT_OBJECT_0; }

private:
    UniqueHandle event_;
};

// Takes pushed samples and drops them.
class NullSink : public dshow::SinkFilter {
public:
    explicit NullSink(EndSignal& end) : SinkFilter(CLSID_NULL, L"In"), end_(end) {}

private:
    HRESULT CheckInputType(const AM_MEDIA_TYPE&) override { return S_OK; }
    HRESULT OnSample(IMediaSample*) override { return S_OK; }
    void OnEndOfStream() override { end_.Set(); }
    EndSignal& end_;
};

// Pulls the file source itself, as the parser does, and drops the buffers.
class PullingNullSink : public dshow::BaseFilter {
public:
    using Interfaces = dshow::BaseFilterInterfaces;
    explicit PullingNullSink(EndSignal& end) : BaseFilter(CLSID_NULL), pin_(*this, end) {}

private:
    class InputPin final : public dshow::Pin, private dshow::PullReceiver {
    public:
        InputPin(BaseFilter& filter, EndSignal& end) : Pin(filter, L"In", PINDIR_INPUT), end_(end), reader_(*this) {}
        void Active() override {
            reader_.Seek(0, reader_.Length() * 10'000'000);
            reader_.Start();
        }
        void Inactive() noexcept override { reader_.Stop(); }

    private:
        HRESULT CheckMediaType(const AM_MEDIA_TYPE& mt) override {
            return mt.majortype == MEDIATYPE_Stream ? S_OK : S_FALSE;
        }
        void CompleteConnect(IPin* peer) override { reader_.Connect(peer, kReaderRequest); }
        void BreakConnect() override { reader_.Disconnect(); }
        HRESULT Receive(IMediaSample*) override { return S_OK; }
        void OnEndOfData() override { end_.Set(); }
        void OnError(HRESULT) override { end_.Set(); }
        void OnBeginFlush() override {}
        void OnEndFlush() override {}

        EndSignal& end_;
        dshow::PullReader reader_;
    };

    int PinCount() const noexcept override { return 1; }
    dshow::Pin& PinAt(int) noexcept override { return pin_; }
    InputPin pin_;
};

ComPtr<IPin> FindPin(IBaseFilter* filter, const wchar_t* name) {
    ComPtr<IPin> pin;
    CheckHr(filter->FindPin(name, pin.put()));
    return pin;
}

double Seconds(IMediaControl& control, EndSignal& end) {
    const auto start = std::chrono::steady_clock::now();
    CheckHr(control.Run());
    if (!end.Wait()) ThrowHr(HRESULT_FROM_WIN32(ERROR_TIMEOUT));
    const std::chrono::duration<double> elapsed = std::chrono::steady_clock::now() - start;
    CheckHr(control.Stop());
    return elapsed.count();
}

double ThroughParser(const std::filesystem::path& file) {
    orvak::test::ParserGraph graph(file);
    CheckHr(graph.ConnectSource());
    EndSignal end;
    auto sink = MakeComObject<NullSink>(end);
    CheckHr(graph.ConnectSink(sink.get()));
    return Seconds(graph.Control(), end);
}

double SourceOnly(const std::filesystem::path& file) {
    ComPtr<IGraphBuilder> graph;
    CheckHr(CoCreateInstance(CLSID_FilterGraph, nullptr, CLSCTX_INPROC_SERVER, IID_IGraphBuilder, graph.put_void()));
    ComPtr<IBaseFilter> source;
    CheckHr(CoCreateInstance(CLSID_AsyncReader, nullptr, CLSCTX_INPROC_SERVER, IID_IBaseFilter, source.put_void()));
    ComPtr<IFileSourceFilter> load;
    CheckHr(source.as(load));
    CheckHr(load->Load(file.c_str(), nullptr));
    CheckHr(graph->AddFilter(source.get(), L"Source"));
    EndSignal end;
    auto sink = MakeComObject<PullingNullSink>(end);
    CheckHr(graph->AddFilter(sink.get(), L"Sink"));
    CheckHr(graph->ConnectDirect(FindPin(source.get(), L"Output").get(), FindPin(sink.get(), L"In").get(), nullptr));
    ComPtr<IMediaControl> control;
    CheckHr(graph.as(control));
    return Seconds(*control.get(), end);
}

}  // namespace

int wmain(int argc, wchar_t** argv) {
    const std::uint64_t megabytes = argc > 1 ? std::wcstoull(argv[1], nullptr, 10) : 1024;
    const HRESULT hr = CatchHr([&] {
        tandem::test::ComApartment apartment;
        orvak::test::TempFolder folder;
        const auto file = folder.File(L"bench.vla");
        const std::uint64_t bytes = megabytes << 20;
        tandem::test::WriteOrvakFile(file, tandem::test::OrvakFile{}, bytes);
        const double mb = static_cast<double>(bytes) / (1 << 20);
        const double parsed = ThroughParser(file);
        const double plain = SourceOnly(file);
        std::printf("file: %.0f MB of audio\n", mb);
        std::printf("file source -> orvparser -> null sink: %8.1f MB/s (%.2f s)\n", mb / parsed, parsed);
        std::printf("file source -> null sink:              %8.1f MB/s (%.2f s)\n", mb / plain, plain);
    });
    if (FAILED(hr)) std::printf("benchmark failed: 0x%08lX\n", static_cast<unsigned long>(hr));
    return FAILED(hr) ? 1 : 0;
}
