#pragma once

#include <windows.h>

namespace tandem::typelibs {

// What tells one type-library module from the other; each module defines it.
struct ModuleIdentity {
    const wchar_t* appId;
};

extern const ModuleIdentity kThisModule;

}  // namespace tandem::typelibs
