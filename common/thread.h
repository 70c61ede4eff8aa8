#pragma once

#include <windows.h>

#include <memory>

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

// A restartable worker thread. Its entry joins the multithreaded apartment
// for the call; a failure escaping the launched function ends the thread
// quietly. The owner stops the work before the object goes: the destructor
// waits for the thread.
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
    bool IsRunning() const noexcept;
    // True when the thread is not running (any more) within the time-out.
    bool Wait(DWORD milliseconds) const noexcept;

    HANDLE Handle() const noexcept { return handle_.get(); }
    DWORD Id() const noexcept { return id_; }

private:
    static unsigned __stdcall Entry(void* launcher);

    std::unique_ptr<FunctionLauncherBase> launcher_;
    UniqueHandle handle_;
    DWORD id_ = 0;
};

// How a failed _beginthreadex errno is reported.
HRESULT ThreadStartErrorHr(int error) noexcept;

}  // namespace tandem
