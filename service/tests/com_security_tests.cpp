// Who may start and call the service. COM enforces the descriptors, Wine
// does not: they are checked here entry by entry, and with the platform's
// own access check for this process's token.

#include <windows.h>

#include <gtest/gtest.h>

#include <vector>

#include "com_security.h"
#include "error.h"
#include "unique_resource.h"

using namespace tandem;

namespace {

struct Entry {
    BYTE type;
    DWORD mask;
    WELL_KNOWN_SID_TYPE who;
    bool operator==(const Entry&) const = default;
};

bool IsSid(PSID sid, WELL_KNOWN_SID_TYPE type) { return IsWellKnownSid(sid, type) != FALSE; }

std::vector<Entry> Entries(const ACL* acl) {
    const WELL_KNOWN_SID_TYPE known[] = {WinNetworkSid, WinInteractiveSid, WinServiceSid,
                                         WinBuiltinAdministratorsSid, WinLocalSystemSid, WinWorldSid};
    std::vector<Entry> entries;
    for (DWORD i = 0; i < acl->AceCount; ++i) {
        void* ace = nullptr;
        if (!GetAce(const_cast<ACL*>(acl), i, &ace)) ThrowLastError();
        const auto* allowed = static_cast<const ACCESS_ALLOWED_ACE*>(ace);
        PSID sid = const_cast<DWORD*>(&allowed->SidStart);
        Entry entry{allowed->Header.AceType, allowed->Mask, WinNullSid};
        for (WELL_KNOWN_SID_TYPE type : known)
            if (IsSid(sid, type)) entry.who = type;
        entries.push_back(entry);
    }
    return entries;
}

constexpr DWORD kLocalCall = COM_RIGHTS_EXECUTE | COM_RIGHTS_EXECUTE_LOCAL;
constexpr DWORD kLocalLaunch = kLocalCall | COM_RIGHTS_ACTIVATE_LOCAL;

TEST(CallerDescriptor, LocalLogonsAdministratorsAndSystemMayCallNetworkLogonsMayNot) {
    const auto descriptor = RegistryCallerDescriptor(ComPermission::Access);
    EXPECT_EQ(Entries(descriptor.Dacl()),
              (std::vector<Entry>{
                  {ACCESS_DENIED_ACE_TYPE, kLocalCall | COM_RIGHTS_EXECUTE_REMOTE, WinNetworkSid},
                  {ACCESS_ALLOWED_ACE_TYPE, kLocalCall, WinInteractiveSid},
                  {ACCESS_ALLOWED_ACE_TYPE, kLocalCall, WinServiceSid},
                  {ACCESS_ALLOWED_ACE_TYPE, kLocalCall, WinBuiltinAdministratorsSid},
                  {ACCESS_ALLOWED_ACE_TYPE, kLocalCall, WinLocalSystemSid},
              }));
}

TEST(CallerDescriptor, TheSameMayStartTheServerOnlyFromThisMachine) {
    const auto descriptor = RegistryCallerDescriptor(ComPermission::Launch);
    const auto entries = Entries(descriptor.Dacl());
    ASSERT_EQ(entries.size(), 5u);
    EXPECT_EQ(entries[0], (Entry{ACCESS_DENIED_ACE_TYPE,
                                 kLocalLaunch | COM_RIGHTS_EXECUTE_REMOTE | COM_RIGHTS_ACTIVATE_REMOTE,
                                 WinNetworkSid}));
    for (size_t i = 1; i < entries.size(); ++i) {
        EXPECT_EQ(entries[i].type, ACCESS_ALLOWED_ACE_TYPE);
        EXPECT_EQ(entries[i].mask, kLocalLaunch) << i;
    }
}

// The platform reads the list as this process's administrator token meets it.
TEST(CallerDescriptor, TheAccessCheckGrantsALocalAdministratorLocalCallsOnly) {
    auto descriptor = RegistryCallerDescriptor(ComPermission::Access);
    UniqueHandle process, token;
    ASSERT_TRUE(OpenProcessToken(GetCurrentProcess(), TOKEN_DUPLICATE | TOKEN_QUERY, process.put()));
    ASSERT_TRUE(DuplicateToken(process.get(), SecurityIdentification, token.put()));
    GENERIC_MAPPING mapping{COM_RIGHTS_EXECUTE, COM_RIGHTS_EXECUTE, COM_RIGHTS_EXECUTE, COM_RIGHTS_EXECUTE};
    auto allows = [&](DWORD wanted) {
        PRIVILEGE_SET privileges{};
        DWORD size = sizeof(privileges), granted = 0;
        BOOL allowed = FALSE;
        EXPECT_TRUE(AccessCheck(descriptor.get(), token.get(), wanted, &mapping, &privileges, &size, &granted,
                                &allowed));
        return allowed != FALSE;
    };
    EXPECT_TRUE(allows(kLocalCall));
    EXPECT_FALSE(allows(COM_RIGHTS_EXECUTE | COM_RIGHTS_EXECUTE_REMOTE));
}

TEST(CallerDescriptor, TheRegistryFormKeepsTheList) {
    const auto descriptor = RegistryCallerDescriptor(ComPermission::Launch);
    std::vector<BYTE> relative = descriptor.SelfRelative();
    ASSERT_TRUE(IsValidSecurityDescriptor(relative.data()));
    BOOL present = FALSE, defaulted = FALSE;
    ACL* dacl = nullptr;
    ASSERT_TRUE(GetSecurityDescriptorDacl(relative.data(), &present, &dacl, &defaulted));
    ASSERT_TRUE(present);
    EXPECT_EQ(Entries(dacl), Entries(descriptor.Dacl()));
    PSID owner = nullptr;
    ASSERT_TRUE(GetSecurityDescriptorOwner(relative.data(), &owner, &defaulted));
    EXPECT_TRUE(IsSid(owner, WinBuiltinAdministratorsSid));
}

}  // namespace
