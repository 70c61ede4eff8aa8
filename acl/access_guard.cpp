#include "access_guard.h"

#include <windows.h>

#include "guard_list.h"

namespace tandem::acl {
namespace {

int ApplyGuard(const char* path, AdministratorRights rights) noexcept {
    if (!path) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return 0;
    }
    if (GetFileAttributesA(path) == INVALID_FILE_ATTRIBUTES) return 0;
    GuardList list;
    if (!list.Build(rights)) return 0;
    SECURITY_DESCRIPTOR descriptor;
    if (!InitializeSecurityDescriptor(&descriptor, SECURITY_DESCRIPTOR_REVISION)) return 0;
    if (!SetSecurityDescriptorDacl(&descriptor, TRUE, list.get(), FALSE)) return 0;
    // Owner, group and audit list stay as they are.
    return SetFileSecurityA(path, DACL_SECURITY_INFORMATION, &descriptor) ? 1 : 0;
}

}  // namespace
}  // namespace tandem::acl

extern "C" int SetAccessGuard(const char* path) {
    return tandem::acl::ApplyGuard(path, tandem::acl::AdministratorRights::DeleteAndSynchronize);
}

extern "C" int SetFullAccessGuard(const char* path) {
    return tandem::acl::ApplyGuard(path, tandem::acl::AdministratorRights::All);
}
