#include "base_filter.h"

#include <memory>
#include <vector>

#include "error.h"
#include "pin.h"
#include "snapshot_enumerator.h"

namespace tandem::dshow {

namespace {

struct PinOut {
    static IPin* Out(const ComPtr<IPin>& pin) {
        pin->AddRef();
        return pin.get();
    }
    static void Free(IPin* pin) noexcept { pin->Release(); }
};
using PinEnumerator = SnapshotEnumerator<IEnumPins, IPin*, ComPtr<IPin>, PinOut>;

}  // namespace

STDMETHODIMP BaseFilter::GetClassID(CLSID* clsid) {
    if (!clsid) return E_POINTER;
    *clsid = clsid_;
    return S_OK;
}

STDMETHODIMP BaseFilter::Stop() {
    CSyncLockHolder hold(lock_);
    if (state_ != State_Stopped) Deactivate();
    state_ = State_Stopped;
    return S_OK;
}

// Pins are listed input first. Going active and inactive runs from the last
// pin: an output pin commits its allocator before an input pin starts a
// streaming thread, and decommits it, waking a thread waiting for a buffer,
// before the input pin waits for that thread.
HRESULT BaseFilter::Activate() {
    return CatchHr([&] {
        for (int i = PinCount() - 1; i >= 0; --i) {
            if (PinAt(i).IsConnected()) PinAt(i).Active();
        }
    });
}

void BaseFilter::Deactivate() noexcept {
    for (int i = PinCount() - 1; i >= 0; --i) {
        if (PinAt(i).IsConnected()) PinAt(i).Inactive();
    }
}

STDMETHODIMP BaseFilter::Pause() {
    CSyncLockHolder hold(lock_);
    if (state_ == State_Stopped) {
        HRESULT hr = Activate();
        if (FAILED(hr)) {
            Deactivate();
            return hr;
        }
    }
    state_ = State_Paused;
    return S_OK;
}

STDMETHODIMP BaseFilter::Run(REFERENCE_TIME start) {
    CSyncLockHolder hold(lock_);
    if (state_ == State_Stopped) {
        HRESULT hr = Pause();
        if (FAILED(hr)) return hr;
    }
    start_ = start;
    state_ = State_Running;
    return OnRun(start);
}

STDMETHODIMP BaseFilter::GetState(DWORD, FILTER_STATE* state) {
    if (!state) return E_POINTER;
    CSyncLockHolder hold(lock_);
    *state = state_;
    return S_OK;
}

STDMETHODIMP BaseFilter::SetSyncSource(IReferenceClock* clock) {
    CSyncLockHolder hold(lock_);
    clock_ = ComPtr<IReferenceClock>(clock);
    return S_OK;
}

STDMETHODIMP BaseFilter::GetSyncSource(IReferenceClock** clock) {
    if (!clock) return E_POINTER;
    CSyncLockHolder hold(lock_);
    return clock_.copy_to(clock);
}

STDMETHODIMP BaseFilter::EnumPins(IEnumPins** pins) {
    if (!pins) return E_POINTER;
    *pins = nullptr;
    return CatchHr([&] {
        auto items = std::make_shared<std::vector<ComPtr<IPin>>>();
        for (int i = 0; i < PinCount(); ++i) items->emplace_back(&PinAt(i));
        return CreateComInstance<PinEnumerator>(nullptr, IID_IEnumPins, reinterpret_cast<void**>(pins),
                                                PinEnumerator::Items(std::move(items)));
    });
}

STDMETHODIMP BaseFilter::FindPin(LPCWSTR id, IPin** pin) {
    if (!id || !pin) return E_POINTER;
    *pin = nullptr;
    for (int i = 0; i < PinCount(); ++i) {
        if (PinAt(i).Name() == id) {
            *pin = &PinAt(i);
            (*pin)->AddRef();
            return S_OK;
        }
    }
    return VFW_E_NOT_FOUND;
}

STDMETHODIMP BaseFilter::QueryFilterInfo(FILTER_INFO* info) {
    if (!info) return E_POINTER;
    CSyncLockHolder hold(lock_);
    *info = FILTER_INFO{};
    lstrcpynW(info->achName, name_.c_str(), MAX_FILTER_NAME);
    info->pGraph = graph_;
    if (info->pGraph) info->pGraph->AddRef();
    return S_OK;
}

STDMETHODIMP BaseFilter::JoinFilterGraph(IFilterGraph* graph, LPCWSTR name) {
    CSyncLockHolder hold(lock_);
    graph_ = graph;
    name_ = name ? name : L"";
    return S_OK;
}

STDMETHODIMP BaseFilter::QueryVendorInfo(LPWSTR*) { return E_NOTIMPL; }

void BaseFilter::NotifyEvent(long code, LONG_PTR param1, LONG_PTR param2) {
    IFilterGraph* graph = graph_;
    if (!graph) return;
    ComPtr<IMediaEventSink> sink;
    if (SUCCEEDED(graph->QueryInterface(IID_IMediaEventSink, sink.put_void()))) sink->Notify(code, param1, param2);
}

}  // namespace tandem::dshow
