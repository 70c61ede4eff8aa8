#include <windows.h>
#include <objbase.h>

#include "com_security.h"

#include <utility>

#include "error.h"
#include "unique_resource.h"

namespace tandem {

namespace {

struct AceEntry {
    WELL_KNOWN_SID_TYPE who;
    bool allowed;
};

// Denials first: an access list is read in order.
constexpr AceEntry kCallerEntries[] = {
    {WinNetworkSid, false},
    {WinInteractiveSid, true},
    {WinServiceSid, true},
    {WinBuiltinAdministratorsSid, true},
    {WinLocalSystemSid, true},
};

// The local rights only: with them present COM reads the entry as granting
// nothing remote.
DWORD AllowedRights(ComPermission permission) noexcept {
    const DWORD execute = COM_RIGHTS_EXECUTE | COM_RIGHTS_EXECUTE_LOCAL;
    return permission == ComPermission::Launch ? execute | COM_RIGHTS_ACTIVATE_LOCAL : execute;
}

DWORD DeniedRights(ComPermission permission) noexcept {
    const DWORD execute = COM_RIGHTS_EXECUTE | COM_RIGHTS_EXECUTE_LOCAL | COM_RIGHTS_EXECUTE_REMOTE;
    return permission == ComPermission::Launch ? execute | COM_RIGHTS_ACTIVATE_LOCAL | COM_RIGHTS_ACTIVATE_REMOTE
                                               : execute;
}

std::vector<BYTE> WellKnownSid(WELL_KNOWN_SID_TYPE type) {
    std::vector<BYTE> sid(SECURITY_MAX_SID_SIZE);
    DWORD size = static_cast<DWORD>(sid.size());
    if (!CreateWellKnownSid(type, nullptr, sid.data(), &size)) ThrowLastError();
    sid.resize(size);
    return sid;
}

std::vector<BYTE> CallerAcl(ComPermission permission) {
    std::vector<std::pair<std::vector<BYTE>, bool>> entries;
    DWORD size = sizeof(ACL);
    for (const AceEntry& entry : kCallerEntries) {
        entries.emplace_back(WellKnownSid(entry.who), entry.allowed);
        size += sizeof(ACCESS_ALLOWED_ACE) - sizeof(DWORD) + static_cast<DWORD>(entries.back().first.size());
    }
    std::vector<BYTE> buffer(size);
    auto* acl = reinterpret_cast<ACL*>(buffer.data());
    if (!InitializeAcl(acl, size, ACL_REVISION)) ThrowLastError();
    for (auto& [sid, allowed] : entries) {
        const BOOL added = allowed ? AddAccessAllowedAce(acl, ACL_REVISION, AllowedRights(permission), sid.data())
                                   : AddAccessDeniedAce(acl, ACL_REVISION, DeniedRights(permission), sid.data());
        if (!added) ThrowLastError();
    }
    return buffer;
}

std::vector<BYTE> TokenPart(HANDLE token, TOKEN_INFORMATION_CLASS part) {
    DWORD size = 0;
    GetTokenInformation(token, part, nullptr, 0, &size);
    if (size == 0) ThrowLastError();
    std::vector<BYTE> buffer(size);
    if (!GetTokenInformation(token, part, buffer.data(), size, &size)) ThrowLastError();
    return buffer;
}

std::vector<BYTE> CopySid(PSID sid) {
    const auto* bytes = static_cast<const BYTE*>(sid);
    return std::vector<BYTE>(bytes, bytes + GetLengthSid(sid));
}

}  // namespace

ComSecurityDescriptor::ComSecurityDescriptor(ComPermission permission, std::vector<BYTE> owner,
                                             std::vector<BYTE> group)
    : owner_(std::move(owner)), group_(std::move(group)), dacl_(CallerAcl(permission)) {
    if (!InitializeSecurityDescriptor(&descriptor_, SECURITY_DESCRIPTOR_REVISION)) ThrowLastError();
    if (!SetSecurityDescriptorOwner(&descriptor_, owner_.data(), FALSE)) ThrowLastError();
    if (!SetSecurityDescriptorGroup(&descriptor_, group_.data(), FALSE)) ThrowLastError();
    if (!SetSecurityDescriptorDacl(&descriptor_, TRUE, reinterpret_cast<ACL*>(dacl_.data()), FALSE))
        ThrowLastError();
}

std::vector<BYTE> ComSecurityDescriptor::SelfRelative() const {
    auto* absolute = const_cast<SECURITY_DESCRIPTOR*>(&descriptor_);
    DWORD size = 0;
    MakeSelfRelativeSD(absolute, nullptr, &size);
    if (size == 0) ThrowLastError();
    std::vector<BYTE> relative(size);
    if (!MakeSelfRelativeSD(absolute, relative.data(), &size)) ThrowLastError();
    return relative;
}

ComSecurityDescriptor RegistryCallerDescriptor(ComPermission permission) {
    return ComSecurityDescriptor(permission, WellKnownSid(WinBuiltinAdministratorsSid),
                                 WellKnownSid(WinBuiltinAdministratorsSid));
}

void InitializeComSecurity() {
    UniqueHandle token;
    if (!OpenProcessToken(GetCurrentProcess(), TOKEN_QUERY, token.put())) ThrowLastError();
    const std::vector<BYTE> owner = TokenPart(token.get(), TokenOwner);
    const std::vector<BYTE> group = TokenPart(token.get(), TokenPrimaryGroup);
    ComSecurityDescriptor descriptor(ComPermission::Access,
                                     CopySid(reinterpret_cast<const TOKEN_OWNER*>(owner.data())->Owner),
                                     CopySid(reinterpret_cast<const TOKEN_PRIMARY_GROUP*>(group.data())->PrimaryGroup));
    CheckHr(CoInitializeSecurity(descriptor.get(), -1, nullptr, nullptr, RPC_C_AUTHN_LEVEL_PKT_PRIVACY,
                                 RPC_C_IMP_LEVEL_IMPERSONATE, nullptr, EOAC_NONE, nullptr));
}

bool ComInitFailureTolerated(HRESULT hr, bool managedRuntimeLoaded) noexcept {
    return hr == RPC_E_CHANGED_MODE && managedRuntimeLoaded;
}

}  // namespace tandem
