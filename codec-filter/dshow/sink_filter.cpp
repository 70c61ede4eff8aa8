#include "sink_filter.h"

#include "error.h"
#include "pin.h"

namespace tandem::dshow {

class SinkFilter::InputPin final : public Pin, public IMemInputPin {
public:
    InputPin(SinkFilter& filter, std::wstring name) : Pin(filter, std::move(name), PINDIR_INPUT), sink_(filter) {}

    STDMETHODIMP QueryInterface(REFIID iid, void** out) override { return Pin::QueryInterface(iid, out); }
    STDMETHODIMP_(ULONG) AddRef() override { return Pin::AddRef(); }
    STDMETHODIMP_(ULONG) Release() override { return Pin::Release(); }

    STDMETHODIMP GetAllocator(IMemAllocator** allocator) override {
        if (!allocator) return E_POINTER;
        *allocator = nullptr;
        CSyncLockHolder hold(filter_.Lock());
        if (!allocator_) {
            HRESULT hr = CoCreateInstance(CLSID_MemoryAllocator, nullptr, CLSCTX_INPROC_SERVER, IID_IMemAllocator,
                                          allocator_.put_void());
            if (FAILED(hr)) return hr;
        }
        return allocator_.copy_to(allocator);
    }

    STDMETHODIMP NotifyAllocator(IMemAllocator* allocator, BOOL) override {
        if (!allocator) return E_POINTER;
        CSyncLockHolder hold(filter_.Lock());
        allocator_ = ComPtr<IMemAllocator>(allocator);
        return S_OK;
    }

    STDMETHODIMP GetAllocatorRequirements(ALLOCATOR_PROPERTIES*) override { return E_NOTIMPL; }

    STDMETHODIMP Receive(IMediaSample* sample) override {
        if (!sample) return E_POINTER;
        CSyncLockHolder hold(receive_);
        if (filter_.State() == State_Stopped) return VFW_E_WRONG_STATE;
        if (flushing_) return S_FALSE;
        return CatchHr([&] { return sink_.OnSample(sample); });
    }

    STDMETHODIMP ReceiveMultiple(IMediaSample** samples, long count, long* processed) override {
        if (!samples || !processed) return E_POINTER;
        HRESULT hr = S_OK;
        for (*processed = 0; *processed < count && hr == S_OK; ++*processed) hr = Receive(samples[*processed]);
        return hr;
    }

    STDMETHODIMP ReceiveCanBlock() override { return S_FALSE; }

    STDMETHODIMP EndOfStream() override {
        {
            CSyncLockHolder hold(receive_);
            if (flushing_) return S_OK;
            sink_.OnEndOfStream();
        }
        sink_.StreamEnded();
        return S_OK;
    }

    STDMETHODIMP BeginFlush() override {
        {
            CSyncLockHolder hold(receive_);
            flushing_ = true;
            sink_.OnBeginFlush();
        }
        CSyncLockHolder state(filter_.Lock());
        sink_.endPending_ = false;
        return S_OK;
    }

    STDMETHODIMP EndFlush() override {
        CSyncLockHolder hold(receive_);
        flushing_ = false;
        return S_OK;
    }

    STDMETHODIMP NewSegment(REFERENCE_TIME start, REFERENCE_TIME stop, double rate) override {
        CSyncLockHolder hold(receive_);
        sink_.OnNewSegment(start, stop, rate);
        return S_OK;
    }

    void Active() override {
        CSyncLockHolder hold(receive_);
        flushing_ = false;
        sink_.endPending_ = false;
    }

protected:
    HRESULT QueryPinInterface(REFIID iid, void** out) override {
        if (iid != IID_IMemInputPin) return E_NOINTERFACE;
        *out = static_cast<IMemInputPin*>(this);
        AddRef();
        return S_OK;
    }

    HRESULT CheckMediaType(const AM_MEDIA_TYPE& mt) override { return sink_.CheckInputType(mt); }
    void BreakConnect() override { allocator_.reset(); }

private:
    SinkFilter& sink_;
    CSyncLock receive_;
    bool flushing_ = false;
    ComPtr<IMemAllocator> allocator_;
};

SinkFilter::SinkFilter(const CLSID& clsid, std::wstring pinName)
    : BaseFilter(clsid), pin_(std::make_unique<InputPin>(*this, std::move(pinName))) {}

SinkFilter::~SinkFilter() = default;

Pin& SinkFilter::PinAt(int) noexcept { return *pin_; }

void SinkFilter::StreamEnded() {
    {
        CSyncLockHolder hold(Lock());
        if (State() != State_Running) {
            endPending_ = true;
            return;
        }
    }
    NotifyEvent(EC_COMPLETE, S_OK, reinterpret_cast<LONG_PTR>(static_cast<IBaseFilter*>(this)));
}

HRESULT SinkFilter::OnRun(REFERENCE_TIME) {
    if (endPending_) {
        endPending_ = false;
        NotifyEvent(EC_COMPLETE, S_OK, reinterpret_cast<LONG_PTR>(static_cast<IBaseFilter*>(this)));
    }
    return S_OK;
}

template <class F>
HRESULT SinkFilter::Upstream(F&& call) {
    IPin* peer = pin_->Peer();
    ComPtr<IMediaSeeking> seeking;
    if (!peer || FAILED(peer->QueryInterface(IID_IMediaSeeking, seeking.put_void()))) return E_NOTIMPL;
    return call(seeking.get());
}

STDMETHODIMP SinkFilter::GetCapabilities(DWORD* c) {
    return Upstream([&](IMediaSeeking* s) { return s->GetCapabilities(c); });
}
STDMETHODIMP SinkFilter::CheckCapabilities(DWORD* c) {
    return Upstream([&](IMediaSeeking* s) { return s->CheckCapabilities(c); });
}
STDMETHODIMP SinkFilter::IsFormatSupported(const GUID* f) {
    return Upstream([&](IMediaSeeking* s) { return s->IsFormatSupported(f); });
}
STDMETHODIMP SinkFilter::QueryPreferredFormat(GUID* f) {
    return Upstream([&](IMediaSeeking* s) { return s->QueryPreferredFormat(f); });
}
STDMETHODIMP SinkFilter::GetTimeFormat(GUID* f) {
    return Upstream([&](IMediaSeeking* s) { return s->GetTimeFormat(f); });
}
STDMETHODIMP SinkFilter::IsUsingTimeFormat(const GUID* f) {
    return Upstream([&](IMediaSeeking* s) { return s->IsUsingTimeFormat(f); });
}
STDMETHODIMP SinkFilter::SetTimeFormat(const GUID* f) {
    return Upstream([&](IMediaSeeking* s) { return s->SetTimeFormat(f); });
}
STDMETHODIMP SinkFilter::GetDuration(LONGLONG* d) {
    return Upstream([&](IMediaSeeking* s) { return s->GetDuration(d); });
}
STDMETHODIMP SinkFilter::GetStopPosition(LONGLONG* p) {
    return Upstream([&](IMediaSeeking* s) { return s->GetStopPosition(p); });
}
STDMETHODIMP SinkFilter::GetCurrentPosition(LONGLONG* p) {
    return Upstream([&](IMediaSeeking* s) { return s->GetCurrentPosition(p); });
}
STDMETHODIMP SinkFilter::ConvertTimeFormat(LONGLONG* t, const GUID* tf, LONGLONG v, const GUID* sf) {
    return Upstream([&](IMediaSeeking* s) { return s->ConvertTimeFormat(t, tf, v, sf); });
}
STDMETHODIMP SinkFilter::SetPositions(LONGLONG* c, DWORD cf, LONGLONG* p, DWORD pf) {
    return Upstream([&](IMediaSeeking* s) { return s->SetPositions(c, cf, p, pf); });
}
STDMETHODIMP SinkFilter::GetPositions(LONGLONG* c, LONGLONG* p) {
    return Upstream([&](IMediaSeeking* s) { return s->GetPositions(c, p); });
}
STDMETHODIMP SinkFilter::GetAvailable(LONGLONG* e, LONGLONG* l) {
    return Upstream([&](IMediaSeeking* s) { return s->GetAvailable(e, l); });
}
STDMETHODIMP SinkFilter::SetRate(double r) {
    return Upstream([&](IMediaSeeking* s) { return s->SetRate(r); });
}
STDMETHODIMP SinkFilter::GetRate(double* r) {
    return Upstream([&](IMediaSeeking* s) { return s->GetRate(r); });
}
STDMETHODIMP SinkFilter::GetPreroll(LONGLONG* p) {
    return Upstream([&](IMediaSeeking* s) { return s->GetPreroll(p); });
}

}  // namespace tandem::dshow
