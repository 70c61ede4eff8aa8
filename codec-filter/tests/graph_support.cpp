#include "graph_support.h"

#include <algorithm>

#include "dshow/media_type.h"
#include "error.h"
#include "module_path.h"
#include "orvak_guids.h"

namespace tandem::orvak::test {

namespace {

using GetClassObject = HRESULT(STDAPICALLTYPE*)(REFCLSID, REFIID, void**);

// Loaded once and kept: objects of the module may outlive any one test.
HMODULE ParserModule() {
    static const UniqueModule module(LoadLibraryW((ModuleDirectory(nullptr) + L"orvparser.ax").c_str()));
    if (!module) ThrowLastError();
    return module.get();
}

ComPtr<IPin> FindPin(IBaseFilter* filter, const wchar_t* name) {
    ComPtr<IPin> pin;
    CheckHr(filter->FindPin(name, pin.put()));
    return pin;
}

}  // namespace

ComPtr<IBaseFilter> CreateParserFromModule() {
    auto get = reinterpret_cast<GetClassObject>(
        reinterpret_cast<void*>(GetProcAddress(ParserModule(), "DllGetClassObject")));
    if (!get) ThrowLastError();
    ComPtr<IClassFactory> factory;
    CheckHr(get(kOrvakParserClsid, IID_IClassFactory, factory.put_void()));
    ComPtr<IBaseFilter> filter;
    CheckHr(factory->CreateInstance(nullptr, IID_IBaseFilter, filter.put_void()));
    return filter;
}

TempFolder::TempFolder() {
    path_ = std::filesystem::temp_directory_path() /
            (L"orvak-" + std::to_wstring(GetCurrentProcessId()) + L"-" + std::to_wstring(GetTickCount64()) + L"-" +
             std::to_wstring(reinterpret_cast<std::uintptr_t>(this)));
    std::filesystem::create_directories(path_);
}

TempFolder::~TempFolder() {
    std::error_code ignored;
    std::filesystem::remove_all(path_, ignored);
}

RecordingSink::RecordingSink()
    : SinkFilter(CLSID_NULL, L"In"), changed_(CreateEventW(nullptr, FALSE, FALSE, nullptr)) {
    if (!changed_) ThrowLastError();
}

void RecordingSink::RefuseSamples(HRESULT hr) {
    CSyncLockHolder hold(lock_);
    refusal_ = hr;
}

std::vector<Delivery> RecordingSink::Deliveries() {
    CSyncLockHolder hold(lock_);
    return deliveries_;
}

bool RecordingSink::WaitFor(const std::function<bool(const std::vector<Delivery>&)>& done, DWORD milliseconds) {
    const ULONGLONG deadline = GetTickCount64() + milliseconds;
    for (;;) {
        if (done(Deliveries())) return true;
        const ULONGLONG now = GetTickCount64();
        if (now >= deadline) return false;
        WaitForSingleObject(changed_.get(), static_cast<DWORD>(deadline - now));
    }
}

HRESULT RecordingSink::CheckInputType(const AM_MEDIA_TYPE& mt) {
    return mt.majortype == MEDIATYPE_Audio ? S_OK : S_FALSE;
}

HRESULT RecordingSink::OnSample(IMediaSample* sample) {
    {
        CSyncLockHolder hold(lock_);
        if (FAILED(refusal_)) return refusal_;
    }
    BYTE* data = nullptr;
    CheckHr(sample->GetPointer(&data));
    Delivery delivery = Delivery::Of(Delivery::Sample);
    const auto* bytes = reinterpret_cast<const std::byte*>(data);
    delivery.bytes.assign(bytes, bytes + sample->GetActualDataLength());
    delivery.syncPoint = sample->IsSyncPoint() == S_OK;
    REFERENCE_TIME start = 0;
    REFERENCE_TIME stop = 0;
    delivery.timed = SUCCEEDED(sample->GetTime(&start, &stop));
    Record(std::move(delivery));
    return S_OK;
}

void RecordingSink::OnNewSegment(REFERENCE_TIME start, REFERENCE_TIME stop, double rate) {
    Delivery delivery = Delivery::Of(Delivery::Segment);
    delivery.start = start;
    delivery.stop = stop;
    delivery.rate = rate;
    Record(std::move(delivery));
}

void RecordingSink::OnEndOfStream() { Record(Delivery::Of(Delivery::EndOfStream)); }
void RecordingSink::OnBeginFlush() { Record(Delivery::Of(Delivery::BeginFlush)); }

void RecordingSink::Record(Delivery delivery) {
    {
        CSyncLockHolder hold(lock_);
        deliveries_.push_back(std::move(delivery));
    }
    SetEvent(changed_.get());
}

size_t CountOf(const std::vector<Delivery>& deliveries, Delivery::Kind kind) {
    return static_cast<size_t>(
        std::count_if(deliveries.begin(), deliveries.end(), [&](const Delivery& d) { return d.kind == kind; }));
}

std::vector<std::byte> SampleBytesAfterLast(const std::vector<Delivery>& deliveries, Delivery::Kind kind) {
    auto last = std::find_if(deliveries.rbegin(), deliveries.rend(), [&](const Delivery& d) { return d.kind == kind; });
    auto from = last == deliveries.rend() ? deliveries.begin() : last.base();
    std::vector<std::byte> bytes;
    for (; from != deliveries.end(); ++from) {
        if (from->kind == Delivery::Sample) bytes.insert(bytes.end(), from->bytes.begin(), from->bytes.end());
    }
    return bytes;
}

ParserGraph::ParserGraph(const std::filesystem::path& file) {
    CheckHr(CoCreateInstance(CLSID_FilterGraph, nullptr, CLSCTX_INPROC_SERVER, IID_IGraphBuilder, graph_.put_void()));
    CheckHr(graph_.as(control_));
    CheckHr(graph_.as(seeking_));
    CheckHr(graph_.query(IID_IMediaEvent, events_.put_void()));
    CheckHr(CoCreateInstance(CLSID_AsyncReader, nullptr, CLSCTX_INPROC_SERVER, IID_IBaseFilter, source_.put_void()));
    ComPtr<IFileSourceFilter> load;
    CheckHr(source_.as(load));
    CheckHr(load->Load(file.c_str(), nullptr));
    CheckHr(graph_->AddFilter(source_.get(), L"Source"));
    parser_ = CreateParserFromModule();
    CheckHr(graph_->AddFilter(parser_.get(), L"Parser"));
}

HRESULT ParserGraph::ConnectSource() {
    return graph_->ConnectDirect(FindPin(source_.get(), L"Output").get(), FindPin(parser_.get(), L"Input").get(),
                                 nullptr);
}

HRESULT ParserGraph::ConnectSink(IBaseFilter* sink) {
    CheckHr(graph_->AddFilter(sink, L"Sink"));
    return graph_->ConnectDirect(FindPin(parser_.get(), L"Output").get(), FindPin(sink, L"In").get(), nullptr);
}

HRESULT ParserGraph::OfferSourceTypeToParser() {
    const ComPtr<IPin> output = FindPin(source_.get(), L"Output");
    ComPtr<IEnumMediaTypes> types;
    CheckHr(output->EnumMediaTypes(types.put()));
    AM_MEDIA_TYPE* type = nullptr;
    if (types->Next(1, &type, nullptr) != S_OK) ThrowHr(E_UNEXPECTED);
    const std::unique_ptr<AM_MEDIA_TYPE, decltype(&dshow::DeleteMediaType)> owned(type, &dshow::DeleteMediaType);
    return FindPin(parser_.get(), L"Input")->ReceiveConnection(output.get(), type);
}

ComPtr<IPin> ParserGraph::ParserPin(const wchar_t* name) const { return FindPin(parser_.get(), name); }

ComPtr<IMediaSeeking> ParserGraph::OutputSeeking() const {
    ComPtr<IMediaSeeking> seeking;
    CheckHr(ParserPin(L"Output").as(seeking));
    return seeking;
}

bool ParserGraph::WaitForEvent(long code, LONG_PTR* param1, DWORD milliseconds) {
    const ULONGLONG deadline = GetTickCount64() + milliseconds;
    for (;;) {
        const ULONGLONG now = GetTickCount64();
        if (now >= deadline) return false;
        long got = 0;
        LONG_PTR first = 0;
        LONG_PTR second = 0;
        // Wine may answer E_ABORT before the time-out; keep asking.
        if (FAILED(events_->GetEvent(&got, &first, &second, static_cast<long>(std::min<ULONGLONG>(deadline - now, 200)))))
            continue;
        events_->FreeEventParams(got, first, second);
        if (got == code) {
            if (param1) *param1 = first;
            return true;
        }
    }
}

}  // namespace tandem::orvak::test
