#pragma once

#include <windows.h>

#include <memory>

#include "sync_lock.h"
#include "unique_resource.h"

namespace tandem {

class FunctionLauncherBase {
public:
    virtual ~FunctionLauncherBase() = default;
    virtual void Run() = 0;
};

// Calls a member function of an object; the object outlives the thread.
template <class T>
class ObjectMemFunLauncher : public FunctionLauncherBase {
public:
    ObjectMemFunLauncher(T* object, void (T::*function)()) noexcept : object_(object), function_(function) {}
    void Run() override { (object_->*function_)(); }

private:
    T* object_;
    void (T::*function_)();
};

// One run of a thread. Its handle stays open while anyone holds the run, so
// a waiter taken before a restart waits for the run it meant.
class ThreadRun {
public:
    ThreadRun() noexcept = default;
    explicit ThreadRun(UniqueHandle handle) : handle_(std::make_shared<UniqueHandle>(std::move(handle))) {}

    bool IsRunning() const noexcept { return handle_ && WaitForSingleObject(handle_->get(), 0) == WAIT_TIMEOUT; }
    // True when the run is over (or never was) within the time-out.
    bool Wait(DWORD milliseconds) const noexcept {
        return !handle_ || WaitForSingleObject(handle_->get(), milliseconds) != WAIT_TIMEOUT;
    }
    HANDLE Handle() const noexcept { return handle_ ? handle_->get() : nullptr; }

private:
    std::shared_ptr<const UniqueHandle> handle_;
};

// A restartable worker thread. Its entry joins the multithreaded apartment
// for the call; a failure escaping the launched function ends the thread
// quietly. Start may be called from any thread: it is serialised, so one
// object never runs its function twice at once. The owner stops the work
// before the object goes: the destructor waits for the thread.
class Thread {
public:
    template <class T>
    Thread(T* object, void (T::*function)())
        : launcher_(std::make_unique<ObjectMemFunLauncher<T>>(object, function)) {}
    Thread(const Thread&) = delete;
    Thread& operator=(const Thread&) = delete;
    ~Thread();

    // Starts the thread unless it is running; creation failures are raised.
    void Start();
    bool IsRunning() const noexcept { return CurrentRun().IsRunning(); }
    // True when the thread is not running (any more) within the time-out.
    bool Wait(DWORD milliseconds) const noexcept { return CurrentRun().Wait(milliseconds); }
    // The run started last, to wait for without holding the caller's locks.
    ThreadRun CurrentRun() const noexcept;

    // Valid until the next start.
    HANDLE Handle() const noexcept { return CurrentRun().Handle(); }
    DWORD Id() const noexcept;

private:
    static unsigned __stdcall Entry(void* launcher);

    std::unique_ptr<FunctionLauncherBase> launcher_;
    mutable CSyncLock lock_;
    ThreadRun run_;
    DWORD id_ = 0;
};

// How a failed _beginthreadex errno is reported.
HRESULT ThreadStartErrorHr(int error) noexcept;

}  // namespace tandem
