#pragma once

#include <windows.h>

#include "../error.h"
#include "../unique_resource.h"

namespace tandem::test {

// Tests that change state no sandbox can reach (child processes, the
// service manager, the real registry) take one of these, named after that
// state, so that parallel test processes do not meet in it.
class MachineLock {
public:
    explicit MachineLock(const wchar_t* name) : mutex_(CreateMutexW(nullptr, FALSE, name)) {
        if (!mutex_) ThrowLastError();
        const DWORD wait = WaitForSingleObject(mutex_.get(), INFINITE);
        if (wait != WAIT_OBJECT_0 && wait != WAIT_ABANDONED) ThrowLastError();
    }
    MachineLock(const MachineLock&) = delete;
    MachineLock& operator=(const MachineLock&) = delete;
    ~MachineLock() { ReleaseMutex(mutex_.get()); }

private:
    UniqueHandle mutex_;
};

}  // namespace tandem::test
