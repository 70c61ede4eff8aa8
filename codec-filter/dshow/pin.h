#pragma once

#include <windows.h>
#include <dshow.h>

#include <string>

#include "com_ptr.h"
#include "media_type.h"

namespace tandem::dshow {

class BaseFilter;

// IPin for a pin owned by its filter: the pin's count is the filter's.
// Connection follows the usual order: CheckConnect, the type, then
// CompleteConnect; BreakConnect undoes whatever CheckConnect and
// CompleteConnect set up.
class Pin : public IPin {
public:
    Pin(const Pin&) = delete;
    Pin& operator=(const Pin&) = delete;

    STDMETHODIMP QueryInterface(REFIID iid, void** out) override;
    STDMETHODIMP_(ULONG) AddRef() override;
    STDMETHODIMP_(ULONG) Release() override;

    STDMETHODIMP Connect(IPin* receivePin, const AM_MEDIA_TYPE* mt) override;
    STDMETHODIMP ReceiveConnection(IPin* connector, const AM_MEDIA_TYPE* mt) override;
    STDMETHODIMP Disconnect() override;
    STDMETHODIMP ConnectedTo(IPin** pin) override;
    STDMETHODIMP ConnectionMediaType(AM_MEDIA_TYPE* mt) override;
    STDMETHODIMP QueryPinInfo(PIN_INFO* info) override;
    STDMETHODIMP QueryDirection(PIN_DIRECTION* direction) override;
    STDMETHODIMP QueryId(LPWSTR* id) override;
    STDMETHODIMP QueryAccept(const AM_MEDIA_TYPE* mt) override;
    STDMETHODIMP EnumMediaTypes(IEnumMediaTypes** types) override;
    STDMETHODIMP QueryInternalConnections(IPin** pins, ULONG* count) override;
    STDMETHODIMP EndOfStream() override;
    STDMETHODIMP BeginFlush() override;
    STDMETHODIMP EndFlush() override;
    STDMETHODIMP NewSegment(REFERENCE_TIME start, REFERENCE_TIME stop, double rate) override;

    const std::wstring& Name() const noexcept { return name_; }
    bool IsConnected() const noexcept { return static_cast<bool>(connected_); }
    IPin* Peer() const noexcept { return connected_.get(); }
    const MediaType& CurrentType() const noexcept { return type_; }

    // State changes of the filter, under its lock; only connected pins are told.
    virtual void Active() {}
    virtual void Inactive() noexcept {}

protected:
    Pin(BaseFilter& filter, std::wstring name, PIN_DIRECTION direction);
    virtual ~Pin() = default;

    virtual HRESULT QueryPinInterface(REFIID, void**) { return E_NOINTERFACE; }
    // S_OK accepts the type; anything else refuses it.
    virtual HRESULT CheckMediaType(const AM_MEDIA_TYPE& mt) = 0;
    // Type list: S_OK with a type, VFW_S_NO_MORE_ITEMS past the end, or a failure.
    virtual HRESULT GetMediaType(int position, MediaType& mt);
    virtual void CheckConnect(IPin* peer);
    virtual void CompleteConnect(IPin*) {}
    virtual void BreakConnect() {}

    BaseFilter& filter_;

private:
    HRESULT TryConnection(IPin* receivePin, const AM_MEDIA_TYPE& mt);
    HRESULT TryTypesOf(IEnumMediaTypes* types, IPin* receivePin, const AM_MEDIA_TYPE* partial);
    void Reset() noexcept;

    const std::wstring name_;
    const PIN_DIRECTION direction_;
    ComPtr<IPin> connected_;
    MediaType type_;
};

// Whether mt matches a partial type: null GUIDs match anything.
bool MatchesPartialType(const AM_MEDIA_TYPE& mt, const AM_MEDIA_TYPE* partial) noexcept;

}  // namespace tandem::dshow
