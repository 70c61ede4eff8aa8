#pragma once

#include <windows.h>

namespace tandem {

// A critical section; meets BasicLockable, so standard guards work too.
class CSyncLock {
public:
    CSyncLock() noexcept { InitializeCriticalSection(&section_); }
    CSyncLock(const CSyncLock&) = delete;
    CSyncLock& operator=(const CSyncLock&) = delete;
    ~CSyncLock() { DeleteCriticalSection(&section_); }

    void lock() noexcept { EnterCriticalSection(&section_); }
    void unlock() noexcept { LeaveCriticalSection(&section_); }
    bool try_lock() noexcept { return TryEnterCriticalSection(&section_) != FALSE; }

private:
    CRITICAL_SECTION section_;
};

// Holds a CSyncLock for its scope.
class CSyncLockHolder {
public:
    explicit CSyncLockHolder(CSyncLock& lock) noexcept : lock_(lock) { lock_.lock(); }
    CSyncLockHolder(const CSyncLockHolder&) = delete;
    CSyncLockHolder& operator=(const CSyncLockHolder&) = delete;
    ~CSyncLockHolder() { lock_.unlock(); }

private:
    CSyncLock& lock_;
};

}  // namespace tandem
