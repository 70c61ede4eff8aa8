#pragma once

#include <windows.h>

#include <array>

namespace tandem::acl {

// Which rights the administrators' entry grants.
enum class AdministratorRights { DeleteAndSynchronize, All };

inline constexpr DWORD kRestrictedAdministratorMask = DELETE | SYNCHRONIZE;
inline constexpr size_t kGuardListBytes = 1024;

// The access-control list laid down by the guard: local system with all
// rights, then the administrators with the chosen rights; nothing inherits.
class GuardList {
public:
    // False with the last error set when a SID or an entry cannot be made.
    bool Build(AdministratorRights rights) noexcept;

    PACL get() noexcept { return reinterpret_cast<PACL>(buffer_.data()); }

private:
    alignas(DWORD) std::array<BYTE, kGuardListBytes> buffer_{};
};

}  // namespace tandem::acl
