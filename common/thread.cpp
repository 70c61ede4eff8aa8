#include "thread.h"

#include <objbase.h>
#include <process.h>

#include <cerrno>

#include "error.h"

namespace tandem {

HRESULT ThreadStartErrorHr(int error) noexcept {
    switch (error) {
    case EAGAIN:
    case EACCES:
        return E_OUTOFMEMORY;
    case EINVAL:
        return E_INVALIDARG;
    default:
        return E_UNEXPECTED;
    }
}

Thread::~Thread() { CurrentRun().Wait(INFINITE); }

ThreadRun Thread::CurrentRun() const noexcept {
    CSyncLockHolder hold(lock_);
    return run_;
}

DWORD Thread::Id() const noexcept {
    CSyncLockHolder hold(lock_);
    return id_;
}

void Thread::Start() {
    CSyncLockHolder hold(lock_);
    if (run_.IsRunning()) return;
    unsigned id = 0;
    errno = 0;
    auto handle = _beginthreadex(nullptr, 0, &Thread::Entry, launcher_.get(), 0, &id);
    if (handle == 0) ThrowHr(ThreadStartErrorHr(errno));
    run_ = ThreadRun(UniqueHandle(reinterpret_cast<HANDLE>(handle)));
    id_ = id;
}

unsigned __stdcall Thread::Entry(void* launcher) {
    HRESULT init = CoInitializeEx(nullptr, COINIT_MULTITHREADED);
    HRESULT hr = CatchHr([launcher] { static_cast<FunctionLauncherBase*>(launcher)->Run(); });
    if (SUCCEEDED(init)) CoUninitialize();
    return static_cast<unsigned>(hr);
}

}  // namespace tandem
