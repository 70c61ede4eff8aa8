#include "orvak_parser.h"

#include <cstring>
#include <vector>

#include "error.h"
#include "orvak_guids.h"
#include "sync_lock.h"
#include "task_mem.h"

namespace tandem::orvak {

namespace {

constexpr DWORD kCapabilities = AM_SEEKING_CanSeekAbsolute | AM_SEEKING_CanSeekForwards |
                                AM_SEEKING_CanSeekBackwards | AM_SEEKING_CanGetStopPos | AM_SEEKING_CanGetDuration;
constexpr REFERENCE_TIME kSegmentEnd = 0x7F00000000000000;
constexpr HRESULT kRateNotSupported = static_cast<HRESULT>(0x8004025C);

// Three reader buffers of 64 KB at sector alignment: the read start is
// rounded down to the alignment and the remainder skipped.
constexpr ALLOCATOR_PROPERTIES kReaderRequest{3, 64 * 1024, 512, 0};

std::wstring SourceFileName(IPin* upstream) {
    PIN_INFO info{};
    CheckHr(upstream->QueryPinInfo(&info));
    ComPtr<IBaseFilter> filter;
    filter.attach(info.pFilter);
    ComPtr<IFileSourceFilter> source;
    if (!filter || FAILED(filter.as(source))) ThrowHr(E_FAIL);
    LPOLESTR name = nullptr;
    CheckHr(source->GetCurFile(&name, nullptr));
    const TaskMemPtr<wchar_t> owned(name);
    if (!name || !*name) ThrowHr(E_FAIL);
    return name;
}

std::vector<std::byte> ReadAt(IAsyncReader& reader, LONGLONG position, LONG length) {
    std::vector<std::byte> bytes(length);
    if (FAILED(reader.SyncRead(position, length, reinterpret_cast<BYTE*>(bytes.data())))) ThrowHr(E_FAIL);
    return bytes;
}

bool IsMediaTime(const GUID* format) { return format && *format == TIME_FORMAT_MEDIA_TIME; }

}  // namespace

// ---------------------------------------------------------------- input pin

OrvakInputPin::OrvakInputPin(COrvakParser& parser) : Pin(parser, L"Input", PINDIR_INPUT), parser_(parser), reader_(*this) {}

HRESULT OrvakInputPin::CheckMediaType(const AM_MEDIA_TYPE& mt) {
    return mt.majortype == MEDIATYPE_Stream ? S_OK : S_FALSE;
}

void OrvakInputPin::CompleteConnect(IPin* peer) {
    if (!HasOrvakExtension(SourceFileName(peer))) ThrowHr(E_FAIL);
    reader_.Connect(peer, kReaderRequest);
    IAsyncReader& reader = *reader_.Reader();
    const LONGLONG length = reader_.Length();
    const auto lead = ReadAt(reader, 0, static_cast<LONG>(std::min<LONGLONG>(length, kLeadSize)));
    const std::optional<std::uint64_t> headerStart = FindHeader(lead);
    if (!headerStart || *headerStart + kHeaderSize > static_cast<std::uint64_t>(length)) ThrowHr(E_FAIL);
    const auto bytes = ReadAt(reader, static_cast<LONGLONG>(*headerStart), kHeaderSize);
    std::optional<Header> header = ParseHeader(bytes, *headerStart, static_cast<std::uint64_t>(length));
    if (!header) ThrowHr(E_FAIL);
    parser_.header_ = std::move(header);
    parser_.streamLength_ = length;
}

void OrvakInputPin::BreakConnect() {
    reader_.Disconnect();
    parser_.header_.reset();
    parser_.streamLength_ = 0;
    pendingStart_.reset();
}

void OrvakInputPin::Active() {
    if (!parser_.header_) ThrowHr(VFW_E_NOT_CONNECTED);
    const auto start = pendingStart_.value_or(static_cast<std::int64_t>(parser_.header_->dataOffset));
    pendingStart_.reset();
    const ReadStart read = AlignRead(start, reader_.Properties().cbAlign);
    {
        CSyncLockHolder hold(receive_);
        skip_ = read.skip;
        firstBuffer_ = true;
    }
    reader_.Seek(read.position * kUnitsPerSecond, parser_.streamLength_ * kUnitsPerSecond);
    reader_.Start();
}

void OrvakInputPin::Inactive() noexcept { reader_.Stop(); }

void OrvakInputPin::SeekTo(std::int64_t position) {
    if (!reader_.IsRunning()) {
        pendingStart_ = position;
        return;
    }
    const ReadStart read = AlignRead(position, reader_.Properties().cbAlign);
    reader_.Seek(read.position * kUnitsPerSecond, parser_.streamLength_ * kUnitsPerSecond, [&] {
        CSyncLockHolder hold(receive_);
        skip_ = read.skip;
        firstBuffer_ = true;
    });
}

HRESULT OrvakInputPin::Receive(IMediaSample* sample) {
    CSyncLockHolder hold(receive_);
    HRESULT hr = CatchHr([&] { return DeliverSample(sample); });
    // The output allocator is decommitted first when the filter stops.
    return hr == VFW_E_NOT_COMMITTED ? VFW_E_WRONG_STATE : hr;
}

HRESULT OrvakInputPin::DeliverSample(IMediaSample* input) {
    BYTE* source = nullptr;
    CheckHr(input->GetPointer(&source));
    long length = input->GetActualDataLength();
    if (firstBuffer_ && skip_ >= length) {
        // Only a read cut short by the end of the data is this small.
        skip_ -= length;
        return S_OK;
    }
    ComPtr<IMediaSample> output = parser_.output_.GetDeliveryBuffer();
    const bool first = firstBuffer_;
    if (first) {
        source += skip_;
        length -= static_cast<long>(skip_);
        skip_ = 0;
        firstBuffer_ = false;
        CheckHr(parser_.output_.DeliverNewSegment(0, kSegmentEnd, 1.0));
    }
    // Buffers are sized alike, so this holds unless downstream cut its allocator short.
    if (output->GetSize() < length) ThrowHr(VFW_E_BUFFER_OVERFLOW);
    BYTE* target = nullptr;
    CheckHr(output->GetPointer(&target));
    std::memcpy(target, source, static_cast<size_t>(length));
    CheckHr(output->SetActualDataLength(length));
    CheckHr(output->SetSyncPoint(first ? TRUE : FALSE));
    CheckHr(output->SetTime(nullptr, nullptr));
    return parser_.output_.Deliver(output.get());
}

void OrvakInputPin::OnError(HRESULT hr) { parser_.NotifyEvent(EC_ERRORABORT, hr, 0); }

STDMETHODIMP OrvakInputPin::EndOfStream() { return parser_.output_.DeliverEndOfStream(); }
STDMETHODIMP OrvakInputPin::BeginFlush() { return parser_.output_.DeliverBeginFlush(); }

STDMETHODIMP OrvakInputPin::EndFlush() {
    {
        CSyncLockHolder hold(receive_);
        firstBuffer_ = true;
    }
    return parser_.output_.DeliverEndFlush();
}

// --------------------------------------------------------------- output pin

OrvakOutputPin::OrvakOutputPin(COrvakParser& parser) : OutputPin(parser, L"Output"), parser_(parser) {}

HRESULT OrvakOutputPin::QueryPinInterface(REFIID iid, void** out) {
    if (iid == IID_IMediaSeeking) {
        *out = static_cast<IMediaSeeking*>(this);
    } else if (iid == IID_IQualityControl) {
        *out = static_cast<IQualityControl*>(this);
    } else {
        return E_NOINTERFACE;
    }
    AddRef();
    return S_OK;
}

HRESULT OrvakOutputPin::GetMediaType(int position, dshow::MediaType& mt) {
    if (position < 0) return E_INVALIDARG;
    if (position > 0 || !parser_.header_) return VFW_S_NO_MORE_ITEMS;
    const auto block = MakeFormatBlock(*parser_.header_);
    if (!block) return E_FAIL;
    AM_MEDIA_TYPE& type = mt.edit();
    type.majortype = MEDIATYPE_Audio;
    type.subtype = kOrvakSubtype;
    type.bFixedSizeSamples = FALSE;
    type.bTemporalCompression = FALSE;
    type.lSampleSize = 0;
    mt.SetFormat(kOrvakFormatType, *block);
    return S_OK;
}

HRESULT OrvakOutputPin::CheckMediaType(const AM_MEDIA_TYPE& mt) {
    dshow::MediaType offered;
    if (GetMediaType(0, offered) != S_OK) return S_FALSE;
    const dshow::MediaType candidate(mt);
    const auto ours = offered.Format();
    const auto theirs = candidate.Format();
    const bool same = mt.majortype == offered.get().majortype && mt.subtype == offered.get().subtype &&
                      mt.formattype == offered.get().formattype && ours.size() == theirs.size() &&
                      std::memcmp(ours.data(), theirs.data(), ours.size()) == 0;
    return same ? S_OK : S_FALSE;
}

void OrvakOutputPin::DecideBufferSize(ALLOCATOR_PROPERTIES& request) {
    request = parser_.input_.ReaderProperties();
}

LONGLONG OrvakOutputPin::Duration() {
    CSyncLockHolder hold(parser_.Lock());
    if (!parser_.header_) return 0;
    return BytesToMediaTime(*parser_.header_,
                            parser_.streamLength_ - static_cast<LONGLONG>(parser_.header_->dataOffset));
}

STDMETHODIMP OrvakOutputPin::GetCapabilities(DWORD* capabilities) {
    if (!capabilities) return E_POINTER;
    *capabilities = kCapabilities;
    return S_OK;
}

STDMETHODIMP OrvakOutputPin::CheckCapabilities(DWORD* capabilities) {
    if (!capabilities) return E_POINTER;
    if (*capabilities == kCapabilities) return S_OK;
    if (*capabilities & 0x3F) {
        *capabilities = kCapabilities;
        return S_FALSE;
    }
    return E_FAIL;
}

STDMETHODIMP OrvakOutputPin::IsFormatSupported(const GUID* format) { return IsMediaTime(format) ? S_OK : S_FALSE; }
STDMETHODIMP OrvakOutputPin::IsUsingTimeFormat(const GUID* format) { return IsMediaTime(format) ? S_OK : S_FALSE; }

STDMETHODIMP OrvakOutputPin::QueryPreferredFormat(GUID* format) {
    if (!format) return E_POINTER;
    *format = TIME_FORMAT_MEDIA_TIME;
    return S_OK;
}

STDMETHODIMP OrvakOutputPin::GetTimeFormat(GUID* format) { return QueryPreferredFormat(format); }

STDMETHODIMP OrvakOutputPin::SetTimeFormat(const GUID* format) { return IsMediaTime(format) ? S_OK : E_INVALIDARG; }

STDMETHODIMP OrvakOutputPin::GetDuration(LONGLONG* duration) {
    if (!duration) return E_POINTER;
    *duration = Duration();
    return S_OK;
}

STDMETHODIMP OrvakOutputPin::GetStopPosition(LONGLONG* stop) { return GetDuration(stop); }

STDMETHODIMP OrvakOutputPin::GetCurrentPosition(LONGLONG*) { return E_NOTIMPL; }
STDMETHODIMP OrvakOutputPin::ConvertTimeFormat(LONGLONG*, const GUID*, LONGLONG, const GUID*) { return E_NOTIMPL; }
STDMETHODIMP OrvakOutputPin::GetPositions(LONGLONG*, LONGLONG*) { return E_NOTIMPL; }
STDMETHODIMP OrvakOutputPin::GetPreroll(LONGLONG*) { return E_NOTIMPL; }

STDMETHODIMP OrvakOutputPin::SetPositions(LONGLONG* current, DWORD currentFlags, LONGLONG*, DWORD) {
    if ((currentFlags & AM_SEEKING_PositioningBitsMask) != AM_SEEKING_AbsolutePositioning) return S_OK;
    if (!current) return E_POINTER;
    return CatchHr([&] {
        CSyncLockHolder hold(parser_.Lock());
        if (!parser_.header_) return;
        parser_.input_.SeekTo(MediaTimeToPosition(*parser_.header_, *current, parser_.streamLength_));
    });
}

STDMETHODIMP OrvakOutputPin::GetAvailable(LONGLONG* earliest, LONGLONG* latest) {
    if (earliest) *earliest = 0;
    if (latest) *latest = Duration();
    return S_OK;
}

STDMETHODIMP OrvakOutputPin::SetRate(double rate) { return rate == 1.0 ? S_OK : kRateNotSupported; }

STDMETHODIMP OrvakOutputPin::GetRate(double* rate) {
    if (!rate) return E_POINTER;
    *rate = 1.0;
    return S_OK;
}

STDMETHODIMP OrvakOutputPin::Notify(IBaseFilter*, Quality quality) {
    return qualitySink_ ? qualitySink_->Notify(&parser_, quality) : E_NOTIMPL;
}

STDMETHODIMP OrvakOutputPin::SetSink(IQualityControl* sink) {
    qualitySink_ = sink;
    return S_OK;
}

// ------------------------------------------------------------------ filter

COrvakParser::COrvakParser() : BaseFilter(kOrvakParserClsid), input_(*this), output_(*this) {}

dshow::Pin& COrvakParser::PinAt(int index) noexcept {
    if (index == 0) return input_;
    return output_;
}

}  // namespace tandem::orvak
