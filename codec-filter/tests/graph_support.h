#pragma once

#include <windows.h>
#include <dshow.h>

#include <cstddef>
#include <filesystem>
#include <functional>
#include <string>
#include <vector>

#include "com/com_object.h"
#include "com_ptr.h"
#include "dshow/sink_filter.h"
#include "sync_lock.h"
#include "unique_resource.h"

namespace tandem::orvak::test {

// The parse filter as a client gets it from the built module's class object.
ComPtr<IBaseFilter> CreateParserFromModule();

// A unique folder under the temporary directory, removed with its content.
class TempFolder {
public:
    TempFolder();
    TempFolder(const TempFolder&) = delete;
    TempFolder& operator=(const TempFolder&) = delete;
    ~TempFolder();
    std::filesystem::path File(const wchar_t* name) const { return path_ / name; }

private:
    std::filesystem::path path_;
};

// What reached the recording sink, in order.
struct Delivery {
    enum Kind { Sample, Segment, BeginFlush, EndOfStream } kind = Sample;
    std::vector<std::byte> bytes;
    bool syncPoint = false;
    bool timed = false;
    REFERENCE_TIME start = 0;
    REFERENCE_TIME stop = 0;
    double rate = 0;

    static Delivery Of(Kind kind) {
        Delivery delivery;
        delivery.kind = kind;
        return delivery;
    }
};

// A renderer of any audio type that records every delivery.
class RecordingSink : public dshow::SinkFilter {
public:
    RecordingSink();

    // Samples are refused with hr from now on.
    void RefuseSamples(HRESULT hr);
    std::vector<Delivery> Deliveries();
    // Waits until the deliveries satisfy the predicate; false on time-out.
    bool WaitFor(const std::function<bool(const std::vector<Delivery>&)>& done, DWORD milliseconds = 20000);

private:
    HRESULT CheckInputType(const AM_MEDIA_TYPE& mt) override;
    HRESULT OnSample(IMediaSample* sample) override;
    void OnNewSegment(REFERENCE_TIME start, REFERENCE_TIME stop, double rate) override;
    void OnEndOfStream() override;
    void OnBeginFlush() override;
    void Record(Delivery delivery);

    CSyncLock lock_;
    std::vector<Delivery> deliveries_;
    HRESULT refusal_ = S_OK;
    UniqueHandle changed_;
};

size_t CountOf(const std::vector<Delivery>& deliveries, Delivery::Kind kind);
// The sample bytes after the last delivery of the given kind.
std::vector<std::byte> SampleBytesAfterLast(const std::vector<Delivery>& deliveries, Delivery::Kind kind);

// file source → parser [→ sink], built by hand so no other parser joins in.
class ParserGraph {
public:
    explicit ParserGraph(const std::filesystem::path& file);

    HRESULT ConnectSource();
    // The parser input's own answer to the source's stream type, as the
    // source's Connect hides it behind VFW_E_NO_ACCEPTABLE_TYPES.
    HRESULT OfferSourceTypeToParser();
    HRESULT ConnectSink(IBaseFilter* sink);

    IBaseFilter* Parser() const noexcept { return parser_.get(); }
    ComPtr<IPin> ParserPin(const wchar_t* name) const;
    ComPtr<IMediaSeeking> OutputSeeking() const;
    IMediaControl& Control() const noexcept { return *control_.get(); }
    IMediaSeeking& Seeking() const noexcept { return *seeking_.get(); }

    // The first event of the code within the time; false on time-out.
    bool WaitForEvent(long code, LONG_PTR* param1 = nullptr, DWORD milliseconds = 20000);

private:
    ComPtr<IGraphBuilder> graph_;
    ComPtr<IMediaControl> control_;
    ComPtr<IMediaSeeking> seeking_;
    ComPtr<IMediaEvent> events_;
    ComPtr<IBaseFilter> source_;
    ComPtr<IBaseFilter> parser_;
};

}  // namespace tandem::orvak::test
