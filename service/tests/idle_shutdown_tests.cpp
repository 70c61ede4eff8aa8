#include <windows.h>

#include <gtest/gtest.h>

#include <atomic>

#include "error.h"
#include "idle_shutdown.h"
#include "unique_resource.h"

using namespace tandem;

namespace {

constexpr DWORD kWaitLimit = 10000;

UniqueHandle MakeEvent() {
    UniqueHandle event(CreateEventW(nullptr, TRUE, FALSE, nullptr));
    if (!event) ThrowLastError();
    return event;
}

}  // namespace

TEST(IdleShutdown, AnIdleServerShutsDownOnlyOnceNothingHoldsIt) {
    std::atomic<LONG> locks{1};
    std::atomic<int> checks{0};
    UniqueHandle checkedWhileLocked = MakeEvent();
    UniqueHandle shutDown = MakeEvent();
    std::atomic<LONG> locksAtShutdown{-1};
    IdleShutdownMonitor monitor(
        10,
        [&] {
            if (++checks >= 2) SetEvent(checkedWhileLocked.get());
            return locks.load();
        },
        [&] {
            locksAtShutdown = locks.load();
            SetEvent(shutDown.get());
        });
    monitor.Start();
    ASSERT_EQ(WaitForSingleObject(checkedWhileLocked.get(), kWaitLimit), WAIT_OBJECT_0);
    EXPECT_EQ(WaitForSingleObject(shutDown.get(), 0), static_cast<DWORD>(WAIT_TIMEOUT));
    locks = 0;
    monitor.Activity();
    ASSERT_EQ(WaitForSingleObject(shutDown.get(), kWaitLimit), WAIT_OBJECT_0);
    EXPECT_EQ(locksAtShutdown.load(), 0);
}

TEST(IdleShutdown, StoppingEndsTheWatchWithoutAShutdown) {
    std::atomic<bool> shutDown{false};
    {
        IdleShutdownMonitor monitor(INFINITE, [] { return 0L; }, [&] { shutDown = true; });
        monitor.Start();
        monitor.Activity();
        monitor.Stop();
    }
    EXPECT_FALSE(shutDown.load());
}
