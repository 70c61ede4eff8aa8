#pragma once

#include <windows.h>

#include <functional>

#include "thread.h"
#include "unique_resource.h"

namespace tandem {

// A local server with no clients left ends itself once it has been idle for
// the time-out; any activity starts the wait again.
class IdleShutdownMonitor {
public:
    static constexpr DWORD kTimeout = 5000;

    // shutdown runs once, on the monitor's thread, when a time-out passes
    // with lockCount() at zero.
    IdleShutdownMonitor(DWORD timeout, std::function<LONG()> lockCount, std::function<void()> shutdown);
    IdleShutdownMonitor(const IdleShutdownMonitor&) = delete;
    IdleShutdownMonitor& operator=(const IdleShutdownMonitor&) = delete;
    ~IdleShutdownMonitor() { Stop(); }

    void Start();
    void Activity() noexcept;
    // Ends the watch without shutting down; waits for the thread.
    void Stop() noexcept;

private:
    void Watch();

    DWORD timeout_;
    std::function<LONG()> lockCount_;
    std::function<void()> shutdown_;
    UniqueHandle activity_;
    UniqueHandle stop_;
    Thread thread_;
};

}  // namespace tandem
