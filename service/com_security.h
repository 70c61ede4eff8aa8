#pragma once

namespace tandem {

// The process's COM security: packet privacy, impersonation, and a descriptor
// owned by the process's own owner and group. Failures raised.
void InitializeComSecurity();

// Whether a failed CoInitializeEx still lets the process go on: only the
// runtime of managed code may have put the thread into another apartment.
bool ComInitFailureTolerated(HRESULT hr, bool managedRuntimeLoaded) noexcept;

}  // namespace tandem
