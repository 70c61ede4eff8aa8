#include "connection_point.h"

#include <algorithm>
#include <memory>

#include "error.h"
#include "snapshot_enum.h"

namespace tandem {

CProxy_ConnectionPoint::~CProxy_ConnectionPoint() {
    for (DWORD cookie : cookies_) listeners_.Remove(cookie);
}

STDMETHODIMP CProxy_ConnectionPoint::QueryInterface(REFIID iid, void** out) {
    if (!out) return E_POINTER;
    if (!IsEqualIID(iid, IID_IUnknown) && !IsEqualIID(iid, IID_IConnectionPoint)) {
        *out = nullptr;
        return E_NOINTERFACE;
    }
    *out = static_cast<IConnectionPoint*>(this);
    AddRef();
    return S_OK;
}

STDMETHODIMP CProxy_ConnectionPoint::GetConnectionInterface(IID* iid) {
    if (!iid) return E_POINTER;
    *iid = EventIid();
    return S_OK;
}

STDMETHODIMP CProxy_ConnectionPoint::GetConnectionPointContainer(IConnectionPointContainer** out) {
    if (!out) return E_POINTER;
    *out = &container_;
    container_.AddRef();
    return S_OK;
}

STDMETHODIMP CProxy_ConnectionPoint::Advise(IUnknown* sink, DWORD* cookie) {
    if (!sink || !cookie) return E_POINTER;
    *cookie = 0;
    ComPtr<IUnknown> eventSink;
    HRESULT hr = sink->QueryInterface(EventIid(), eventSink.put_void());
    if (hr == E_NOINTERFACE) return CONNECT_E_CANNOTCONNECT;
    if (FAILED(hr)) return hr;
    return CatchHr([&] { *cookie = AddListener(eventSink.get()); });
}

DWORD CProxy_ConnectionPoint::AddListener(IUnknown* eventSink) {
    DWORD cookie = 0;
    if (FAILED(CatchHr([&] { cookie = listeners_.Add(eventSink); }))) ThrowHr(CONNECT_E_ADVISELIMIT);
    try {
        CSyncLockHolder hold(lock_);
        cookies_.push_back(cookie);
    } catch (...) {
        listeners_.Remove(cookie);
        throw;
    }
    return cookie;
}

STDMETHODIMP CProxy_ConnectionPoint::Unadvise(DWORD cookie) {
    {
        CSyncLockHolder hold(lock_);
        auto found = std::find(cookies_.begin(), cookies_.end(), cookie);
        if (found == cookies_.end()) return CONNECT_E_NOCONNECTION;
        cookies_.erase(found);
    }
    listeners_.Remove(cookie);
    return S_OK;
}

STDMETHODIMP CProxy_ConnectionPoint::EnumConnections(IEnumConnections** out) {
    if (!out) return E_POINTER;
    *out = nullptr;
    return CatchHr([&] {
        std::vector<DWORD> cookies;
        {
            CSyncLockHolder hold(lock_);
            cookies = cookies_;
        }
        auto connections = std::make_shared<std::vector<Connection>>();
        for (DWORD cookie : cookies) {
            if (auto sink = listeners_.SinkOf(cookie)) connections->push_back({std::move(sink), cookie});
        }
        *out = MakeComObject<ConnectionEnum>(std::move(connections), 0).detach();
    });
}

STDMETHODIMP ConnectionPointContainerImpl::EnumConnectionPoints(IEnumConnectionPoints** out) {
    if (!out) return E_POINTER;
    *out = nullptr;
    return CatchHr([&] {
        auto points = std::make_shared<std::vector<ComPtr<IConnectionPoint>>>(points_.begin(), points_.end());
        *out = MakeComObject<ConnectionPointEnum>(std::move(points), 0).detach();
    });
}

STDMETHODIMP ConnectionPointContainerImpl::FindConnectionPoint(REFIID iid, IConnectionPoint** out) {
    if (!out) return E_POINTER;
    *out = nullptr;
    for (CProxy_ConnectionPoint* point : points_) {
        if (IsEqualIID(point->EventIid(), iid)) {
            *out = point;
            point->AddRef();
            return S_OK;
        }
    }
    return CONNECT_E_NOCONNECTION;
}

}  // namespace tandem
