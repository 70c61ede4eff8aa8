#include "guard_list.h"

#include <vector>

namespace tandem::acl {
namespace {

// The SID of a well-known account, in zero-filled memory of the size the
// system asks for; empty with the last error set when it cannot be made.
std::vector<BYTE> WellKnownSid(WELL_KNOWN_SID_TYPE type) noexcept {
    DWORD size = 0;
    CreateWellKnownSid(type, nullptr, nullptr, &size);
    if (size == 0) return {};
    std::vector<BYTE> sid;
    try {
        sid.assign(size, 0);
    } catch (...) {
        SetLastError(ERROR_NOT_ENOUGH_MEMORY);
        return {};
    }
    if (!CreateWellKnownSid(type, nullptr, sid.data(), &size)) return {};
    if (!IsValidSid(sid.data())) {
        SetLastError(ERROR_INVALID_SID);
        return {};
    }
    return sid;
}

}  // namespace

bool GuardList::Build(AdministratorRights rights) noexcept {
    std::vector<BYTE> system = WellKnownSid(WinLocalSystemSid);
    if (system.empty()) return false;
    std::vector<BYTE> administrators = WellKnownSid(WinBuiltinAdministratorsSid);
    if (administrators.empty()) return false;
    const DWORD administratorMask = rights == AdministratorRights::All ? GENERIC_ALL : kRestrictedAdministratorMask;
    buffer_.fill(0);
    return InitializeAcl(get(), kGuardListBytes, ACL_REVISION) &&
           AddAccessAllowedAce(get(), ACL_REVISION, GENERIC_ALL, system.data()) &&
           AddAccessAllowedAce(get(), ACL_REVISION, administratorMask, administrators.data());
}

}  // namespace tandem::acl
