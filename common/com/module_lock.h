#pragma once

#include <windows.h>

#include <functional>

namespace tandem {

// The module's lock count: live objects plus IClassFactory::LockServer locks.
void LockModule() noexcept;
void UnlockModule() noexcept;
LONG ModuleLockCount() noexcept;

// S_OK when nothing holds the module, else S_FALSE: DllCanUnloadNow's answer.
HRESULT CanUnloadModule() noexcept;

// Called, on the releasing thread, each time the count drops to zero: a
// local server starts its idle shutdown here. The handler must not throw and
// must not set the handler; an empty function removes it.
void SetModuleIdleHandler(std::function<void()> handler);

// Holds one module lock for its lifetime.
class ModuleReference {
public:
    ModuleReference() noexcept { LockModule(); }
    ModuleReference(const ModuleReference&) = delete;
    ModuleReference& operator=(const ModuleReference&) = delete;
    ~ModuleReference() { UnlockModule(); }
};

}  // namespace tandem
