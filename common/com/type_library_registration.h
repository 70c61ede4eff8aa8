#pragma once

#include <string>

#include "registry_script.h"

namespace tandem {

// Registers the type library in a .tlb file or a module's TYPELIB resource
// for the machine or, through the per-user functions, the current user.
// Failures raised.
void RegisterTypeLibrary(const std::wstring& path, RegistrationScope scope);
void UnregisterTypeLibrary(const std::wstring& path, RegistrationScope scope);

}  // namespace tandem
