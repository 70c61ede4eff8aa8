#pragma once

#include <windows.h>
#include <dshow.h>

#include <cstdint>
#include <optional>

#include "dshow/base_filter.h"
#include "dshow/output_pin.h"
#include "dshow/pull_reader.h"
#include "orvak_container.h"

namespace tandem::orvak {

class COrvakParser;

// Pulls the file from the source's IAsyncReader and hands the audio data,
// from the first frame on, to the output pin.
class OrvakInputPin final : public dshow::Pin, private dshow::PullReceiver {
public:
    explicit OrvakInputPin(COrvakParser& parser);

    STDMETHODIMP EndOfStream() override;
    STDMETHODIMP BeginFlush() override;
    STDMETHODIMP EndFlush() override;

    void Active() override;
    void Inactive() noexcept override;

    const ALLOCATOR_PROPERTIES& ReaderProperties() const noexcept { return reader_.Properties(); }
    // Restarts streaming at a file position (a frame start), or makes the
    // next activation start there.
    void SeekTo(std::int64_t position);

private:
    HRESULT CheckMediaType(const AM_MEDIA_TYPE& mt) override;
    void CompleteConnect(IPin* peer) override;
    void BreakConnect() override;

    HRESULT Receive(IMediaSample* sample) override;
    void OnEndOfData() override { EndOfStream(); }
    void OnError(HRESULT hr) override;
    void OnBeginFlush() override { BeginFlush(); }
    void OnEndFlush() override { EndFlush(); }
    HRESULT DeliverSample(IMediaSample* input);

    COrvakParser& parser_;
    dshow::PullReader reader_;
    CSyncLock receive_;
    std::int64_t skip_ = 0;  // under receive_
    bool firstBuffer_ = false;
    std::optional<std::int64_t> pendingStart_;  // under the filter lock
};

// Offers the Orvak frames as an audio stream and answers seeking in media time.
class OrvakOutputPin final : public dshow::OutputPin, public IMediaSeeking, public IQualityControl {
public:
    explicit OrvakOutputPin(COrvakParser& parser);

    STDMETHODIMP QueryInterface(REFIID iid, void** out) override { return Pin::QueryInterface(iid, out); }
    STDMETHODIMP_(ULONG) AddRef() override { return Pin::AddRef(); }
    STDMETHODIMP_(ULONG) Release() override { return Pin::Release(); }

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

    STDMETHODIMP Notify(IBaseFilter* self, Quality quality) override;
    STDMETHODIMP SetSink(IQualityControl* sink) override;

private:
    HRESULT QueryPinInterface(REFIID iid, void** out) override;
    HRESULT CheckMediaType(const AM_MEDIA_TYPE& mt) override;
    HRESULT GetMediaType(int position, dshow::MediaType& mt) override;
    void DecideBufferSize(ALLOCATOR_PROPERTIES& request) override;
    LONGLONG Duration();

    COrvakParser& parser_;
    IQualityControl* qualitySink_ = nullptr;  // not counted, as the interface asks
};

// The parse filter: one input pin fed by a file source, one output pin.
class COrvakParser : public dshow::BaseFilter {
public:
    using Interfaces = dshow::BaseFilterInterfaces;

    COrvakParser();

    // Under the filter lock; absent until the input pin connected.
    const std::optional<Header>& ParsedHeader() const noexcept { return header_; }
    LONGLONG StreamLength() const noexcept { return streamLength_; }

private:
    friend class OrvakInputPin;
    friend class OrvakOutputPin;

    int PinCount() const noexcept override { return 2; }
    dshow::Pin& PinAt(int index) noexcept override;

    OrvakInputPin input_;
    OrvakOutputPin output_;
    std::optional<Header> header_;
    LONGLONG streamLength_ = 0;
};

inline constexpr wchar_t kFilterName[] = L"Marlo Orvak3/3plus Parse Filter";
inline constexpr DWORD kFilterMerit = 0x400000;

}  // namespace tandem::orvak
