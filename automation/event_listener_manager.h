#pragma once

#include <windows.h>
#include <oaidl.h>

#include <map>
#include <vector>

#include "com_ptr.h"
#include "shared_ptr.h"
#include "sync_lock.h"
#include "variant.h"

namespace tandem {

// One advised sink, kept in the Global Interface Table under its event
// interface so that any thread of the process can call it.
class DispEventListener {
public:
    // sink must be the sink's pointer for eventIid.
    DispEventListener(IUnknown* sink, REFIID eventIid);
    DispEventListener(const DispEventListener&) = delete;
    DispEventListener& operator=(const DispEventListener&) = delete;
    // Revokes the registration.
    ~DispEventListener();

    DWORD Cookie() const noexcept { return cookie_; }
    // The sink as seen from the calling thread.
    ComPtr<IDispatch> Sink() const;

private:
    const IID eventIid_;
    DWORD cookie_ = 0;
};

// Every sink of one event interface in the process, whichever object it
// advised on, by GIT cookie.
class EventListenerManager {
public:
    explicit EventListenerManager(REFIID eventIid) noexcept : eventIid_(eventIid) {}
    EventListenerManager(const EventListenerManager&) = delete;
    EventListenerManager& operator=(const EventListenerManager&) = delete;

    const IID& EventIid() const noexcept { return eventIid_; }

    // sink must be the sink's pointer for the event interface; the cookie is returned.
    DWORD Add(IUnknown* sink);
    // False when the cookie is unknown.
    bool Remove(DWORD cookie);
    // The sink of an advised cookie on the calling thread; null when unknown.
    ComPtr<IUnknown> SinkOf(DWORD cookie) const;
    size_t Count() const;
    // Withdraws every sink; a later Remove of their cookies finds nothing.
    void Clear() noexcept;

    // Queues a call of every sink advised now with the arguments (in
    // declaration order) to the event delivery thread, which makes the calls
    // in the order of firing. A sink may call back into the service, even
    // unadvise, from its handler; what a sink answers or fails is not looked at.
    void Fire(DISPID member, std::vector<Variant> arguments) const;

private:
    struct PendingEvent {
        std::vector<SharedPtr<DispEventListener>> listeners;
        DISPID member;
        std::vector<Variant> arguments;  // in reverse order, as Invoke takes them
    };
    static void Deliver(PendingEvent& event) noexcept;

    std::vector<SharedPtr<DispEventListener>> Snapshot() const;

    const IID eventIid_;
    mutable CSyncLock lock_;
    std::map<DWORD, SharedPtr<DispEventListener>> listeners_;
};

}  // namespace tandem
