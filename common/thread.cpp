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

Thread::~Thread() {
    if (handle_) WaitForSingleObject(handle_.get(), INFINITE);
}

bool Thread::IsRunning() const noexcept {
    return handle_ && WaitForSingleObject(handle_.get(), 0) == WAIT_TIMEOUT;
}

bool Thread::Wait(DWORD milliseconds) const noexcept {
    return !handle_ || WaitForSingleObject(handle_.get(), milliseconds) != WAIT_TIMEOUT;
}

void Thread::Start() {
    if (IsRunning()) return;
    handle_.reset();
    id_ = 0;
    unsigned id = 0;
    errno = 0;
    auto handle = _beginthreadex(nullptr, 0, &Thread::Entry, launcher_.get(), 0, &id);
    if (handle == 0) ThrowHr(ThreadStartErrorHr(errno));
    handle_.reset(reinterpret_cast<HANDLE>(handle));
    id_ = id;
}

unsigned __stdcall Thread::Entry(void* launcher) {
    HRESULT init = CoInitializeEx(nullptr, COINIT_MULTITHREADED);
    HRESULT hr = CatchHr([launcher] { static_cast<FunctionLauncherBase*>(launcher)->Run(); });
    if (SUCCEEDED(init)) CoUninitialize();
    return static_cast<unsigned>(hr);
}

}  // namespace tandem
