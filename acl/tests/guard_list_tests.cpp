#include "guard_list.h"

#include <gtest/gtest.h>

#include <vector>

namespace tandem::acl {
namespace {

struct Entry {
    BYTE type;
    BYTE flags;
    DWORD mask;
    std::vector<BYTE> sid;
};

std::vector<Entry> EntriesOf(PACL list) {
    std::vector<Entry> entries;
    for (DWORD i = 0; i < list->AceCount; ++i) {
        void* raw = nullptr;
        EXPECT_TRUE(GetAce(list, i, &raw));
        auto* ace = static_cast<ACCESS_ALLOWED_ACE*>(raw);
        auto* sid = reinterpret_cast<BYTE*>(&ace->SidStart);
        entries.push_back({ace->Header.AceType, ace->Header.AceFlags, ace->Mask,
                           std::vector<BYTE>(sid, sid + GetLengthSid(sid))});
    }
    return entries;
}

std::vector<BYTE> Sid(WELL_KNOWN_SID_TYPE type) {
    std::vector<BYTE> sid(SECURITY_MAX_SID_SIZE);
    DWORD size = static_cast<DWORD>(sid.size());
    EXPECT_TRUE(CreateWellKnownSid(type, nullptr, sid.data(), &size));
    sid.resize(size);
    return sid;
}

void ExpectGuardList(PACL list, DWORD administratorMask) {
    ASSERT_TRUE(IsValidAcl(list));
    EXPECT_EQ(list->AclRevision, ACL_REVISION);
    EXPECT_EQ(list->AclSize, kGuardListBytes);
    const std::vector<Entry> entries = EntriesOf(list);
    ASSERT_EQ(entries.size(), 2u);
    EXPECT_EQ(entries[0].type, ACCESS_ALLOWED_ACE_TYPE);
    EXPECT_EQ(entries[0].flags, 0);
    EXPECT_EQ(entries[0].mask, static_cast<DWORD>(GENERIC_ALL));
    EXPECT_EQ(entries[0].sid, Sid(WinLocalSystemSid));
    EXPECT_EQ(entries[1].type, ACCESS_ALLOWED_ACE_TYPE);
    EXPECT_EQ(entries[1].flags, 0);
    EXPECT_EQ(entries[1].mask, administratorMask);
    EXPECT_EQ(entries[1].sid, Sid(WinBuiltinAdministratorsSid));
}

TEST(GuardList, RestrictedAdministratorsMayOnlyDeleteAndSynchronize) {
    GuardList list;
    ASSERT_TRUE(list.Build(AdministratorRights::DeleteAndSynchronize));
    ExpectGuardList(list.get(), 0x00110000u);
}

TEST(GuardList, FullGuardGivesAdministratorsAllRights) {
    GuardList list;
    ASSERT_TRUE(list.Build(AdministratorRights::All));
    ExpectGuardList(list.get(), static_cast<DWORD>(GENERIC_ALL));
}

TEST(GuardList, BuildingAgainStartsFromAnEmptyList) {
    GuardList list;
    ASSERT_TRUE(list.Build(AdministratorRights::All));
    ASSERT_TRUE(list.Build(AdministratorRights::DeleteAndSynchronize));
    ExpectGuardList(list.get(), 0x00110000u);
}

}  // namespace
}  // namespace tandem::acl
