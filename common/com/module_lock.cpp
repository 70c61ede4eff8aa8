#include "module_lock.h"

#include <utility>

#include "sync_lock.h"

namespace tandem {

namespace {

LONG lockCount = 0;

// Made on first use: objects may come and go before main runs.
struct IdleHandler {
    CSyncLock lock;
    std::function<void()> handler;
};

IdleHandler& Idle() {
    static IdleHandler idle;
    return idle;
}

}  // namespace

void LockModule() noexcept { InterlockedIncrement(&lockCount); }

void UnlockModule() noexcept {
    if (InterlockedDecrement(&lockCount) != 0) return;
    IdleHandler& idle = Idle();
    CSyncLockHolder hold(idle.lock);
    if (idle.handler) idle.handler();
}

LONG ModuleLockCount() noexcept { return InterlockedCompareExchange(&lockCount, 0, 0); }

HRESULT CanUnloadModule() noexcept { return ModuleLockCount() == 0 ? S_OK : S_FALSE; }

void SetModuleIdleHandler(std::function<void()> handler) {
    IdleHandler& idle = Idle();
    CSyncLockHolder hold(idle.lock);
    idle.handler = std::move(handler);
}

}  // namespace tandem
