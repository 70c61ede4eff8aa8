#include "idle_shutdown.h"

#include "error.h"

namespace tandem {

namespace {

UniqueHandle MakeEvent() {
    UniqueHandle event(CreateEventW(nullptr, FALSE, FALSE, nullptr));
    if (!event) ThrowLastError();
    return event;
}

}  // namespace

IdleShutdownMonitor::IdleShutdownMonitor(DWORD timeout, std::function<LONG()> lockCount,
                                         std::function<void()> shutdown)
    : timeout_(timeout),
      lockCount_(std::move(lockCount)),
      shutdown_(std::move(shutdown)),
      activity_(MakeEvent()),
      stop_(MakeEvent()),
      thread_(this, &IdleShutdownMonitor::Watch) {}

void IdleShutdownMonitor::Start() { thread_.Start(); }

void IdleShutdownMonitor::Activity() noexcept { SetEvent(activity_.get()); }

void IdleShutdownMonitor::Stop() noexcept {
    SetEvent(stop_.get());
    thread_.Wait(INFINITE);
}

void IdleShutdownMonitor::Watch() {
    const HANDLE events[] = {stop_.get(), activity_.get()};
    for (;;) {
        const DWORD woken = WaitForMultipleObjects(2, events, FALSE, timeout_);
        if (woken == WAIT_OBJECT_0 || woken == WAIT_FAILED) return;
        if (woken != WAIT_TIMEOUT || lockCount_() != 0) continue;
        // Clients that arrive from here on find the classes suspended.
        CoSuspendClassObjects();
        if (lockCount_() == 0) {
            shutdown_();
            return;
        }
        CoResumeClassObjects();
    }
}

}  // namespace tandem
