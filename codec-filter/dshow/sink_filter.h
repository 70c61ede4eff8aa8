#pragma once

#include <windows.h>
#include <dshow.h>

#include <memory>
#include <string>

#include "base_filter.h"

namespace tandem::dshow {

// A rendering filter with one input pin that takes samples through
// IMemInputPin. It answers IMediaSeeking by passing each call upstream, so
// that a graph counts it as a renderer and seeking reaches the source; it
// reports EC_COMPLETE once the stream ended and the filter runs.
class SinkFilter : public BaseFilter, public IMediaSeeking {
public:
    using Interfaces = InterfaceTable<IBaseFilter, Via<IMediaFilter, IBaseFilter>, Via<IPersist, IBaseFilter>,
                                      IMediaSeeking>;

    STDMETHODIMP GetCapabilities(DWORD* capabilities) override;
    STDMETHODIMP CheckCapabilities(DWORD* capabilities) override;
    STDMETHODIMP IsFormatSupported(const GUID* format) override;
    STDMETHODIMP QueryPreferredFormat(GUID* format) override;
    STDMETHODIMP GetTimeFormat(GUID* format) override;
    STDMETHODIMP IsUsingTimeFormat(const GUID* format) override;
    STDMETHODIMP SetTimeFormat(const GUID* format) override;
    STDMETHODIMP GetDuration(LONGLONG* duration) override;
    STDMETHODIMP GetStopPosition(LONGLONG* stop) override;
    STDMETHODIMP GetCurrentPosition(LONGLONG* current) override;
    STDMETHODIMP ConvertTimeFormat(LONGLONG* target, const GUID* targetFormat, LONGLONG source,
                                   const GUID* sourceFormat) override;
    STDMETHODIMP SetPositions(LONGLONG* current, DWORD currentFlags, LONGLONG* stop, DWORD stopFlags) override;
    STDMETHODIMP GetPositions(LONGLONG* current, LONGLONG* stop) override;
    STDMETHODIMP GetAvailable(LONGLONG* earliest, LONGLONG* latest) override;
    STDMETHODIMP SetRate(double rate) override;
    STDMETHODIMP GetRate(double* rate) override;
    STDMETHODIMP GetPreroll(LONGLONG* preroll) override;

protected:
    SinkFilter(const CLSID& clsid, std::wstring pinName);
    ~SinkFilter();

    // Hooks, called under the receive lock except CheckInputType.
    virtual HRESULT CheckInputType(const AM_MEDIA_TYPE& mt) = 0;
    virtual HRESULT OnSample(IMediaSample* sample) = 0;
    virtual void OnNewSegment(REFERENCE_TIME, REFERENCE_TIME, double) {}
    virtual void OnEndOfStream() {}
    virtual void OnBeginFlush() {}

    HRESULT OnRun(REFERENCE_TIME start) override;

private:
    class InputPin;
    friend class InputPin;

    int PinCount() const noexcept override { return 1; }
    Pin& PinAt(int) noexcept override;
    void StreamEnded();
    template <class F>
    HRESULT Upstream(F&& call);

    std::unique_ptr<InputPin> pin_;
    bool endPending_ = false;  // under the filter lock
};

}  // namespace tandem::dshow
