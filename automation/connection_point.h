#pragma once

#include <windows.h>
#include <ocidl.h>
#include <olectl.h>

#include <initializer_list>
#include <vector>

#include "event_listener_manager.h"
#include "sync_lock.h"

namespace tandem {

// The connection point of one source interface, living inside its container
// object and sharing its reference count. Sinks go to the interface's
// process-wide listener registry; the cookies advised here are withdrawn
// from it when the container is destroyed.
class CProxy_ConnectionPoint final : public IConnectionPoint {
public:
    CProxy_ConnectionPoint(IConnectionPointContainer& container, EventListenerManager& listeners) noexcept
        : container_(container), listeners_(listeners) {}
    CProxy_ConnectionPoint(const CProxy_ConnectionPoint&) = delete;
    CProxy_ConnectionPoint& operator=(const CProxy_ConnectionPoint&) = delete;
    ~CProxy_ConnectionPoint();

    STDMETHODIMP QueryInterface(REFIID iid, void** out) override;
    STDMETHODIMP_(ULONG) AddRef() override { return container_.AddRef(); }
    STDMETHODIMP_(ULONG) Release() override { return container_.Release(); }

    STDMETHODIMP GetConnectionInterface(IID* iid) override;
    STDMETHODIMP GetConnectionPointContainer(IConnectionPointContainer** out) override;
    STDMETHODIMP Advise(IUnknown* sink, DWORD* cookie) override;
    STDMETHODIMP Unadvise(DWORD cookie) override;
    STDMETHODIMP EnumConnections(IEnumConnections** out) override;

    const IID& EventIid() const noexcept { return listeners_.EventIid(); }

private:
    DWORD AddListener(IUnknown* eventSink);

    IConnectionPointContainer& container_;
    EventListenerManager& listeners_;
    CSyncLock lock_;
    std::vector<DWORD> cookies_;
};

// IConnectionPointContainer over an object's connection points, in the
// order of its source interfaces.
class ConnectionPointContainerImpl : public IConnectionPointContainer {
public:
    STDMETHODIMP EnumConnectionPoints(IEnumConnectionPoints** out) override;
    STDMETHODIMP FindConnectionPoint(REFIID iid, IConnectionPoint** out) override;

protected:
    explicit ConnectionPointContainerImpl(std::initializer_list<CProxy_ConnectionPoint*> points)
        : points_(points) {}
    ~ConnectionPointContainerImpl() = default;

private:
    const std::vector<CProxy_ConnectionPoint*> points_;
};

}  // namespace tandem
