#pragma once

#include <windows.h>
#include <dshow.h>

#include <atomic>
#include <string>

#include "com/com_object.h"
#include "com_ptr.h"
#include "sync_lock.h"

namespace tandem::dshow {

class Pin;

// IBaseFilter for a filter with a fixed set of pins. The filter lock guards
// the state and is shared by the pins.
class BaseFilter : public ComObjectRoot, public IBaseFilter {
public:
    STDMETHODIMP GetClassID(CLSID* clsid) override;
    STDMETHODIMP Stop() override;
    STDMETHODIMP Pause() override;
    STDMETHODIMP Run(REFERENCE_TIME start) override;
    STDMETHODIMP GetState(DWORD milliseconds, FILTER_STATE* state) override;
    STDMETHODIMP SetSyncSource(IReferenceClock* clock) override;
    STDMETHODIMP GetSyncSource(IReferenceClock** clock) override;
    STDMETHODIMP EnumPins(IEnumPins** pins) override;
    STDMETHODIMP FindPin(LPCWSTR id, IPin** pin) override;
    STDMETHODIMP QueryFilterInfo(FILTER_INFO* info) override;
    STDMETHODIMP JoinFilterGraph(IFilterGraph* graph, LPCWSTR name) override;
    STDMETHODIMP QueryVendorInfo(LPWSTR* info) override;

    CSyncLock& Lock() noexcept { return lock_; }
    FILTER_STATE State() const noexcept { return state_; }
    IUnknown* Owner() const noexcept { return ControllingUnknown(); }
    // Posts an event to the graph the filter is in, if any.
    void NotifyEvent(long code, LONG_PTR param1, LONG_PTR param2);

protected:
    explicit BaseFilter(const CLSID& clsid) noexcept : clsid_(clsid) {}
    ~BaseFilter() = default;

    virtual int PinCount() const noexcept = 0;
    virtual Pin& PinAt(int index) noexcept = 0;
    // Called under the lock once the pins went active / as the filter starts running.
    virtual HRESULT OnRun(REFERENCE_TIME) { return S_OK; }

private:
    HRESULT Activate();
    void Deactivate() noexcept;

    const CLSID clsid_;
    CSyncLock lock_;
    std::atomic<FILTER_STATE> state_ = State_Stopped;
    REFERENCE_TIME start_ = 0;
    ComPtr<IReferenceClock> clock_;
    // Not counted: the graph owns the filter. Read without the lock so that
    // the streaming thread can post events while the graph waits for it.
    std::atomic<IFilterGraph*> graph_ = nullptr;
    std::wstring name_;
};

// Interface table entries every filter answers.
using BaseFilterInterfaces = InterfaceTable<IBaseFilter, Via<IMediaFilter, IBaseFilter>, Via<IPersist, IBaseFilter>>;

}  // namespace tandem::dshow
