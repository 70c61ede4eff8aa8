#include "caller_access.h"

#include <objbase.h>

#include <vector>

#include "com_ptr.h"
#include "error.h"
#include "unique_resource.h"

namespace tandem {

namespace {

class ComCallerImpersonation final : public CallerImpersonation {
public:
    explicit ComCallerImpersonation(ComPtr<IServerSecurity> security) : security_(std::move(security)) {
        CheckHr(security_->ImpersonateClient());
    }
    ~ComCallerImpersonation() override { security_->RevertToSelf(); }

private:
    ComPtr<IServerSecurity> security_;
};

UniqueHandle TryOpenDirectory(const std::wstring& path) {
    return UniqueHandle(CreateFileW(path.c_str(), FILE_LIST_DIRECTORY, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                                    OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS, nullptr));
}

// The caller's own token, read as the service: an identification token
// cannot open it as itself.
UniqueHandle CallerToken() {
    UniqueHandle token;
    if (!OpenThreadToken(GetCurrentThread(), TOKEN_QUERY, TRUE, token.put())) ThrowLastError();
    return token;
}

std::vector<BYTE> DirectorySecurity(const std::wstring& path) {
    const SECURITY_INFORMATION parts = OWNER_SECURITY_INFORMATION | GROUP_SECURITY_INFORMATION |
                                       DACL_SECURITY_INFORMATION;
    DWORD size = 0;
    GetFileSecurityW(path.c_str(), parts, nullptr, 0, &size);
    if (size == 0) ThrowLastError();
    std::vector<BYTE> descriptor(size);
    if (!GetFileSecurityW(path.c_str(), parts, descriptor.data(), size, &size)) ThrowLastError();
    return descriptor;
}

}  // namespace

std::unique_ptr<CallerImpersonation> ImpersonateComCaller() {
    ComPtr<IServerSecurity> security;
    const HRESULT hr = CoGetCallContext(IID_IServerSecurity, security.put_void());
    if (hr == RPC_E_CALL_COMPLETE) return nullptr;
    CheckHr(hr);
    return std::make_unique<ComCallerImpersonation>(std::move(security));
}

void OpenDirectory(const std::wstring& path) {
    if (!TryOpenDirectory(path)) ThrowLastError();
}

bool MayListDirectory(HANDLE token, const std::wstring& path) {
    std::vector<BYTE> descriptor = DirectorySecurity(path);
    GENERIC_MAPPING mapping{FILE_GENERIC_READ, FILE_GENERIC_WRITE, FILE_GENERIC_EXECUTE, FILE_ALL_ACCESS};
    PRIVILEGE_SET privileges{};
    DWORD privilegesSize = sizeof(privileges);
    DWORD granted = 0;
    BOOL allowed = FALSE;
    if (!AccessCheck(descriptor.data(), token, FILE_LIST_DIRECTORY, &mapping, &privileges, &privilegesSize, &granted,
                     &allowed))
        ThrowLastError();
    return allowed != FALSE;
}

void OpenDirectoryAsCaller(const std::wstring& path, std::unique_ptr<CallerImpersonation> caller) {
    if (!caller) return OpenDirectory(path);
    if (TryOpenDirectory(path)) return;
    if (GetLastError() != ERROR_BAD_IMPERSONATION_LEVEL) ThrowLastError();
    const UniqueHandle token = CallerToken();
    caller.reset();
    if (!MayListDirectory(token.get(), path)) ThrowWin32(ERROR_ACCESS_DENIED);
    OpenDirectory(path);
}

}  // namespace tandem
