#include <gtest/gtest.h>

#include <objbase.h>

#include <atomic>
#include <cerrno>
#include <stdexcept>

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
        APTTYPE type;
        APTTYPEQUALIFIER qualifier;
        multithreaded = SUCCEEDED(CoGetApartmentType(&type, &qualifier)) && type == APTTYPE_MTA;
        WaitForSingleObject(release_.get(), INFINITE);
    }
    void Fail() { throw std::runtime_error("escapes the thread"); }
    void Release() { SetEvent(release_.get()); }
    void Rearm() { ResetEvent(release_.get()); }

    std::atomic<int> runs{0};
    std::atomic<bool> multithreaded{false};

private:
    UniqueHandle release_;
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
