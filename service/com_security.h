#pragma once

#include <windows.h>

#include <vector>

namespace tandem {

// Which of COM's checks a descriptor serves: starting the server, or calling it.
enum class ComPermission { Launch, Access };

// A security descriptor in absolute form, owning its owner, group and access
// list. The list says who may start and call the service: local callers of
// interactive and service logons, administrators and local system. Network
// logons are denied, and no entry grants anything to a caller on another
// machine.
class ComSecurityDescriptor {
public:
    ComSecurityDescriptor(ComPermission permission, std::vector<BYTE> owner, std::vector<BYTE> group);
    ComSecurityDescriptor(const ComSecurityDescriptor&) = delete;
    ComSecurityDescriptor& operator=(const ComSecurityDescriptor&) = delete;

    SECURITY_DESCRIPTOR* get() noexcept { return &descriptor_; }
    const ACL* Dacl() const noexcept { return reinterpret_cast<const ACL*>(dacl_.data()); }
    // As the registry stores permissions.
    std::vector<BYTE> SelfRelative() const;

private:
    std::vector<BYTE> owner_;
    std::vector<BYTE> group_;
    std::vector<BYTE> dacl_;
    SECURITY_DESCRIPTOR descriptor_;
};

// The descriptor of the application-id permission values, owned by the
// administrators.
ComSecurityDescriptor RegistryCallerDescriptor(ComPermission permission);

// The process's COM security: packet privacy, impersonation, and the access
// descriptor above, owned by the process's own owner and group. Failures
// raised.
void InitializeComSecurity();

// Whether a failed CoInitializeEx still lets the process go on: only the
// runtime of managed code may have put the thread into another apartment.
bool ComInitFailureTolerated(HRESULT hr, bool managedRuntimeLoaded) noexcept;

}  // namespace tandem
