#include <windows.h>
#include <objbase.h>

#include "com_security.h"

#include <vector>

#include "error.h"
#include "unique_resource.h"

namespace tandem {

namespace {

std::vector<BYTE> TokenPart(HANDLE token, TOKEN_INFORMATION_CLASS part) {
    DWORD size = 0;
    GetTokenInformation(token, part, nullptr, 0, &size);
    if (size == 0) ThrowLastError();
    std::vector<BYTE> buffer(size);
    if (!GetTokenInformation(token, part, buffer.data(), size, &size)) ThrowLastError();
    return buffer;
}

}  // namespace

void InitializeComSecurity() {
    UniqueHandle token;
    if (!OpenProcessToken(GetCurrentProcess(), TOKEN_QUERY, token.put())) ThrowLastError();
    const std::vector<BYTE> owner = TokenPart(token.get(), TokenOwner);
    const std::vector<BYTE> group = TokenPart(token.get(), TokenPrimaryGroup);
    SECURITY_DESCRIPTOR descriptor;
    if (!InitializeSecurityDescriptor(&descriptor, SECURITY_DESCRIPTOR_REVISION)) ThrowLastError();
    if (!SetSecurityDescriptorOwner(&descriptor, reinterpret_cast<const TOKEN_OWNER*>(owner.data())->Owner, FALSE))
        ThrowLastError();
    if (!SetSecurityDescriptorGroup(&descriptor,
                                    reinterpret_cast<const TOKEN_PRIMARY_GROUP*>(group.data())->PrimaryGroup, FALSE))
        ThrowLastError();
    CheckHr(CoInitializeSecurity(&descriptor, -1, nullptr, nullptr, RPC_C_AUTHN_LEVEL_PKT_PRIVACY,
                                 RPC_C_IMP_LEVEL_IMPERSONATE, nullptr, EOAC_NONE, nullptr));
}

bool ComInitFailureTolerated(HRESULT hr, bool managedRuntimeLoaded) noexcept {
    return hr == RPC_E_CHANGED_MODE && managedRuntimeLoaded;
}

}  // namespace tandem
