#include "pin.h"

#include <memory>
#include <vector>

#include "base_filter.h"
#include "error.h"
#include "snapshot_enumerator.h"
#include "sync_lock.h"

namespace tandem::dshow {

namespace {

struct MediaTypeOut {
    static AM_MEDIA_TYPE* Out(const MediaType& mt) { return mt.NewTaskMemCopy(); }
    static void Free(AM_MEDIA_TYPE* mt) noexcept { DeleteMediaType(mt); }
};
using MediaTypeEnumerator = SnapshotEnumerator<IEnumMediaTypes, AM_MEDIA_TYPE*, MediaType, MediaTypeOut>;

bool IsFullySpecified(const AM_MEDIA_TYPE* mt) noexcept {
    return mt && mt->majortype != GUID_NULL && mt->subtype != GUID_NULL && mt->formattype != GUID_NULL;
}

}  // namespace

bool MatchesPartialType(const AM_MEDIA_TYPE& mt, const AM_MEDIA_TYPE* partial) noexcept {
    if (!partial) return true;
    return (partial->majortype == GUID_NULL || partial->majortype == mt.majortype) &&
           (partial->subtype == GUID_NULL || partial->subtype == mt.subtype) &&
           (partial->formattype == GUID_NULL || partial->formattype == mt.formattype);
}

Pin::Pin(BaseFilter& filter, std::wstring name, PIN_DIRECTION direction)
    : filter_(filter), name_(std::move(name)), direction_(direction) {}

STDMETHODIMP Pin::QueryInterface(REFIID iid, void** out) {
    if (!out) return E_POINTER;
    *out = nullptr;
    if (iid == IID_IUnknown || iid == IID_IPin) {
        *out = static_cast<IPin*>(this);
        AddRef();
        return S_OK;
    }
    return QueryPinInterface(iid, out);
}

STDMETHODIMP_(ULONG) Pin::AddRef() { return filter_.Owner()->AddRef(); }
STDMETHODIMP_(ULONG) Pin::Release() { return filter_.Owner()->Release(); }

STDMETHODIMP Pin::Connect(IPin* receivePin, const AM_MEDIA_TYPE* mt) {
    if (!receivePin) return E_POINTER;
    CSyncLockHolder hold(filter_.Lock());
    if (direction_ != PINDIR_OUTPUT) return E_UNEXPECTED;
    if (connected_) return VFW_E_ALREADY_CONNECTED;
    if (filter_.State() != State_Stopped) return VFW_E_NOT_STOPPED;
    if (IsFullySpecified(mt)) return TryConnection(receivePin, *mt);

    ComPtr<IEnumMediaTypes> theirs;
    if (SUCCEEDED(receivePin->EnumMediaTypes(theirs.put())) && theirs &&
        TryTypesOf(theirs.get(), receivePin, mt) == S_OK) {
        return S_OK;
    }
    ComPtr<IEnumMediaTypes> ours;
    if (SUCCEEDED(EnumMediaTypes(ours.put())) && TryTypesOf(ours.get(), receivePin, mt) == S_OK) return S_OK;
    return VFW_E_NO_ACCEPTABLE_TYPES;
}

HRESULT Pin::TryTypesOf(IEnumMediaTypes* types, IPin* receivePin, const AM_MEDIA_TYPE* partial) {
    for (;;) {
        AM_MEDIA_TYPE* next = nullptr;
        if (types->Next(1, &next, nullptr) != S_OK || !next) return S_FALSE;
        const std::unique_ptr<AM_MEDIA_TYPE, decltype(&DeleteMediaType)> owned(next, &DeleteMediaType);
        if (MatchesPartialType(*next, partial) && TryConnection(receivePin, *next) == S_OK) return S_OK;
    }
}

HRESULT Pin::TryConnection(IPin* receivePin, const AM_MEDIA_TYPE& mt) {
    HRESULT hr = CatchHr([&]() -> HRESULT {
        if (CheckMediaType(mt) != S_OK) return VFW_E_TYPE_NOT_ACCEPTED;
        CheckConnect(receivePin);
        connected_ = ComPtr<IPin>(receivePin);
        type_ = MediaType(mt);
        HRESULT received = receivePin->ReceiveConnection(this, &mt);
        if (FAILED(received)) return received;
        HRESULT completed = CatchHr([&] { CompleteConnect(receivePin); });
        if (FAILED(completed)) receivePin->Disconnect();
        return completed;
    });
    if (FAILED(hr)) {
        BreakConnect();
        Reset();
    }
    return hr;
}

STDMETHODIMP Pin::ReceiveConnection(IPin* connector, const AM_MEDIA_TYPE* mt) {
    if (!connector || !mt) return E_POINTER;
    CSyncLockHolder hold(filter_.Lock());
    if (direction_ != PINDIR_INPUT) return E_UNEXPECTED;
    if (connected_) return VFW_E_ALREADY_CONNECTED;
    if (filter_.State() != State_Stopped) return VFW_E_NOT_STOPPED;
    PIN_DIRECTION theirs{};
    if (FAILED(connector->QueryDirection(&theirs)) || theirs == direction_) return VFW_E_INVALID_DIRECTION;
    HRESULT hr = CatchHr([&]() -> HRESULT {
        if (CheckMediaType(*mt) != S_OK) return VFW_E_TYPE_NOT_ACCEPTED;
        CheckConnect(connector);
        connected_ = ComPtr<IPin>(connector);
        type_ = MediaType(*mt);
        CompleteConnect(connector);
        return S_OK;
    });
    if (FAILED(hr)) {
        BreakConnect();
        Reset();
    }
    return hr;
}

STDMETHODIMP Pin::Disconnect() {
    CSyncLockHolder hold(filter_.Lock());
    if (filter_.State() != State_Stopped) return VFW_E_NOT_STOPPED;
    if (!connected_) return S_FALSE;
    BreakConnect();
    Reset();
    return S_OK;
}

void Pin::Reset() noexcept {
    connected_.reset();
    type_ = MediaType();
}

STDMETHODIMP Pin::ConnectedTo(IPin** pin) {
    if (!pin) return E_POINTER;
    CSyncLockHolder hold(filter_.Lock());
    *pin = nullptr;
    if (!connected_) return VFW_E_NOT_CONNECTED;
    return connected_.copy_to(pin);
}

STDMETHODIMP Pin::ConnectionMediaType(AM_MEDIA_TYPE* mt) {
    if (!mt) return E_POINTER;
    CSyncLockHolder hold(filter_.Lock());
    *mt = AM_MEDIA_TYPE{};
    if (!connected_) return VFW_E_NOT_CONNECTED;
    return CatchHr([&] { type_.CopyTo(*mt); });
}

STDMETHODIMP Pin::QueryPinInfo(PIN_INFO* info) {
    if (!info) return E_POINTER;
    *info = PIN_INFO{};
    info->pFilter = &filter_;
    filter_.AddRef();
    info->dir = direction_;
    lstrcpynW(info->achName, name_.c_str(), MAX_PIN_NAME);
    return S_OK;
}

STDMETHODIMP Pin::QueryDirection(PIN_DIRECTION* direction) {
    if (!direction) return E_POINTER;
    *direction = direction_;
    return S_OK;
}

STDMETHODIMP Pin::QueryId(LPWSTR* id) {
    if (!id) return E_POINTER;
    const size_t bytes = (name_.size() + 1) * sizeof(wchar_t);
    *id = static_cast<LPWSTR>(CoTaskMemAlloc(bytes));
    if (!*id) return E_OUTOFMEMORY;
    CopyMemory(*id, name_.c_str(), bytes);
    return S_OK;
}

STDMETHODIMP Pin::QueryAccept(const AM_MEDIA_TYPE* mt) {
    if (!mt) return E_POINTER;
    return CatchHr([&] { return CheckMediaType(*mt) == S_OK ? S_OK : S_FALSE; });
}

STDMETHODIMP Pin::EnumMediaTypes(IEnumMediaTypes** types) {
    if (!types) return E_POINTER;
    *types = nullptr;
    return CatchHr([&] {
        auto items = std::make_shared<std::vector<MediaType>>();
        {
            CSyncLockHolder hold(filter_.Lock());
            for (int position = 0;; ++position) {
                MediaType mt;
                if (GetMediaType(position, mt) != S_OK) break;
                items->push_back(std::move(mt));
            }
        }
        return CreateComInstance<MediaTypeEnumerator>(nullptr, IID_IEnumMediaTypes, reinterpret_cast<void**>(types),
                                                      MediaTypeEnumerator::Items(std::move(items)));
    });
}

STDMETHODIMP Pin::QueryInternalConnections(IPin**, ULONG*) { return E_NOTIMPL; }
STDMETHODIMP Pin::EndOfStream() { return direction_ == PINDIR_INPUT ? S_OK : E_UNEXPECTED; }
STDMETHODIMP Pin::BeginFlush() { return direction_ == PINDIR_INPUT ? S_OK : E_UNEXPECTED; }
STDMETHODIMP Pin::EndFlush() { return direction_ == PINDIR_INPUT ? S_OK : E_UNEXPECTED; }
STDMETHODIMP Pin::NewSegment(REFERENCE_TIME, REFERENCE_TIME, double) { return S_OK; }

HRESULT Pin::GetMediaType(int position, MediaType&) { return position < 0 ? E_INVALIDARG : VFW_S_NO_MORE_ITEMS; }

void Pin::CheckConnect(IPin* peer) {
    PIN_DIRECTION theirs{};
    CheckHr(peer->QueryDirection(&theirs));
    if (theirs == direction_) ThrowHr(VFW_E_INVALID_DIRECTION);
}

}  // namespace tandem::dshow
