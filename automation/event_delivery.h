#pragma once

#include <windows.h>

#include <functional>

#include "shared_ptr.h"

namespace tandem {

// Makes the calls into client sinks on a thread of its own, one after the
// other in the order they were posted. A service thread that raises an event
// therefore never waits inside a client, and a sink may call back into
// anything that waits for that thread (stopping a monitor, removing a storage).
class EventDelivery {
public:
    using Call = std::function<void()>;

    // The process's delivery, kept to process end.
    static EventDelivery& Instance();

    EventDelivery();
    EventDelivery(const EventDelivery&) = delete;
    EventDelivery& operator=(const EventDelivery&) = delete;
    // Stops, waiting a bounded time for a sink that holds the thread.
    ~EventDelivery();

    // Queues the call, starting the thread when none runs; a thread that
    // cannot be created is raised. The call's own failures are its business.
    void Post(Call call);
    // Waits until everything posted before is delivered; false on time-out.
    // On the delivery thread itself (a sink's handler) it returns false at once.
    bool Flush(DWORD milliseconds) const;
    // Delivers what is queued and ends the thread; a later Post starts a new
    // one. False when a sink still holds the thread after the time-out: the
    // thread then ends after that call.
    bool Stop(DWORD milliseconds);

private:
    struct State;
    static void Run(const SharedPtr<State>& state) noexcept;

    // Shared with the thread, which may outlive a stop that timed out.
    SharedPtr<State> state_;
};

}  // namespace tandem
