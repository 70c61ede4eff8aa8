// Folders are opened as the client that names them.

#include <windows.h>

#include <gtest/gtest.h>

#include <memory>
#include <string>

#include "caller_access.h"
#include "self_impersonation.h"
#include "error.h"
#include "testing/com_apartment.h"
#include "testing/test_drive.h"
#include "unique_resource.h"

using namespace tandem;

namespace {

using test::SelfImpersonation;

bool Impersonating() {
    UniqueHandle token;
    return OpenThreadToken(GetCurrentThread(), TOKEN_QUERY, TRUE, token.put()) != FALSE;
}

UniqueHandle OwnToken(SECURITY_IMPERSONATION_LEVEL level) {
    UniqueHandle process, duplicate;
    if (!OpenProcessToken(GetCurrentProcess(), TOKEN_DUPLICATE | TOKEN_QUERY, process.put())) ThrowLastError();
    if (!DuplicateToken(process.get(), level, duplicate.put())) ThrowLastError();
    return duplicate;
}

class CallerAccess : public ::testing::Test {
protected:
    test::TestDrive drive_{L'K', DRIVE_FIXED};
    std::wstring folder_ = drive_.Root() + L"Shared";
    std::wstring missing_ = drive_.Root() + L"Missing";

    void SetUp() override { ASSERT_TRUE(CreateDirectoryW(folder_.c_str(), nullptr)); }
};

TEST_F(CallerAccess, TheFolderIsOpenedWhileImpersonatingAndTheImpersonationEnds) {
    for (auto level : {SecurityIdentification, SecurityImpersonation}) {
        EXPECT_NO_THROW(OpenDirectoryAsCaller(folder_, std::make_unique<SelfImpersonation>(level)));
        EXPECT_FALSE(Impersonating());
        try {
            OpenDirectoryAsCaller(missing_, std::make_unique<SelfImpersonation>(level));
            ADD_FAILURE() << "a missing folder opened";
        } catch (const HResultError& error) {
            EXPECT_EQ(error.hr(), HRESULT_FROM_WIN32(ERROR_FILE_NOT_FOUND));
        }
        EXPECT_FALSE(Impersonating()) << "reverted on failure too";
    }
}

// Outside a call from another apartment there is no client to impersonate:
// the service's own code opens the folder as itself.
TEST_F(CallerAccess, WithoutACallInProgressNothingIsImpersonated) {
    test::ComApartment apartment;
    EXPECT_EQ(ImpersonateComCaller(), nullptr);
    EXPECT_NO_THROW(OpenDirectoryAsCaller(folder_, ImpersonateComCaller()));
}

// What an identification-level caller is checked by: its token against the
// folder's access list.
TEST_F(CallerAccess, AnIdentificationTokenIsCheckedAgainstTheFoldersAccessList) {
    const UniqueHandle token = OwnToken(SecurityIdentification);
    EXPECT_TRUE(MayListDirectory(token.get(), folder_));
    EXPECT_THROW(MayListDirectory(token.get(), missing_), HResultError);
}

}  // namespace
