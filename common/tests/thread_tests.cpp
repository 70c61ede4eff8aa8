#include <gtest/gtest.h>

#include <objbase.h>

#include <atomic>
#include <cerrno>
#include <stdexcept>
#include <thread>

#include "sync_lock.h"
#include "thread.h"
#include "unique_resource.h"

using namespace tandem;

namespace {

// Runs until released, recording how often it ran and in which apartment.
class Worker {
public:
    Worker() : release_(CreateEventW(nullptr, TRUE, FALSE, nullptr)) {}

    void Work() {
        ++runs;
        ReleaseSemaphore(entered_.get(), 1, nullptr);
        APTTYPE type;
        APTTYPEQUALIFIER qualifier;
        multithreaded = SUCCEEDED(CoGetApartmentType(&type, &qualifier)) && type == APTTYPE_MTA;
        WaitForSingleObject(release_.get(), INFINITE);
    }
    void Fail() { throw std::runtime_error("escapes the thread"); }
    void Release() { SetEvent(release_.get()); }
    bool WaitEntered(DWORD milliseconds) { return WaitForSingleObject(entered_.get(), milliseconds) == WAIT_OBJECT_0; }
    void Rearm() { ResetEvent(release_.get()); }

    std::atomic<int> runs{0};
    std::atomic<bool> multithreaded{false};

private:
    UniqueHandle release_;
    UniqueHandle entered_{CreateSemaphoreW(nullptr, 0, 1000, nullptr)};
};

}  // namespace

TEST(Thread, RunsInTheMultithreadedApartmentAndReportsRunning) {
    Worker worker;
    Thread thread(&worker, &Worker::Work);
    EXPECT_FALSE(thread.IsRunning());
    thread.Start();
    EXPECT_TRUE(thread.IsRunning());
    EXPECT_NE(thread.Id(), 0u);
    EXPECT_NE(thread.Handle(), nullptr);
    worker.Release();
    ASSERT_TRUE(thread.Wait(10000));
    EXPECT_FALSE(thread.IsRunning());
    EXPECT_EQ(worker.runs, 1);
    EXPECT_TRUE(worker.multithreaded);
}

TEST(Thread, StartsOnlyWhenNotRunningAndCanRestart) {
    Worker worker;
    Thread thread(&worker, &Worker::Work);
    thread.Start();
    DWORD firstId = thread.Id();
    thread.Start();
    EXPECT_EQ(thread.Id(), firstId);
    worker.Release();
    ASSERT_TRUE(thread.Wait(10000));
    EXPECT_EQ(worker.runs, 1);

    worker.Rearm();
    thread.Start();
    EXPECT_TRUE(thread.IsRunning());
    worker.Release();
    ASSERT_TRUE(thread.Wait(10000));
    EXPECT_EQ(worker.runs, 2);
}

TEST(Thread, StartsFromTwoThreadsAtOnceRunTheFunctionOnce) {
    Worker worker;
    Thread thread(&worker, &Worker::Work);
    for (int round = 0; round < 20; ++round) {
        worker.Rearm();
        UniqueHandle go(CreateEventW(nullptr, TRUE, FALSE, nullptr));
        auto start = [&] {
            WaitForSingleObject(go.get(), INFINITE);
            thread.Start();
        };
        std::thread first(start), second(start);
        SetEvent(go.get());
        first.join();
        second.join();
        ASSERT_TRUE(worker.WaitEntered(10000));
        // A second run would be under way by now; give it a moment to show.
        EXPECT_FALSE(worker.WaitEntered(50)) << "round " << round;
        worker.Release();
        ASSERT_TRUE(thread.Wait(10000));
    }
    EXPECT_EQ(worker.runs, 20);
}

TEST(Thread, FailureInsideTheThreadEndsItQuietly) {
    Worker worker;
    Thread thread(&worker, &Worker::Fail);
    thread.Start();
    ASSERT_TRUE(thread.Wait(10000));
    DWORD code = 0;
    ASSERT_TRUE(GetExitCodeThread(thread.Handle(), &code));
    EXPECT_EQ(static_cast<HRESULT>(code), E_UNEXPECTED);
}

TEST(Thread, CreationErrorsMapToHresults) {
    EXPECT_EQ(ThreadStartErrorHr(EAGAIN), E_OUTOFMEMORY);
    EXPECT_EQ(ThreadStartErrorHr(EACCES), E_OUTOFMEMORY);
    EXPECT_EQ(ThreadStartErrorHr(EINVAL), E_INVALIDARG);
    EXPECT_EQ(ThreadStartErrorHr(ENOMEM), E_UNEXPECTED);
    EXPECT_EQ(ThreadStartErrorHr(0), E_UNEXPECTED);
}
