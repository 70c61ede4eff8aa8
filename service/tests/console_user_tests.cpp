#include <windows.h>

#include <gtest/gtest.h>

#include "console_user.h"
#include "error.h"

using namespace tandem;

namespace {

// Hands out copies of this process's own token, as a logged-on user's would be.
class OwnTokenSource : public ConsoleTokenSource {
public:
    UniqueHandle UserToken() override {
        ++calls;
        if (!available) return {};
        UniqueHandle process;
        if (!OpenProcessToken(GetCurrentProcess(), TOKEN_DUPLICATE | TOKEN_QUERY, process.put())) ThrowLastError();
        UniqueHandle copy;
        if (!DuplicateTokenEx(process.get(), TOKEN_ALL_ACCESS, nullptr, SecurityImpersonation, TokenPrimary,
                              copy.put()))
            ThrowLastError();
        return copy;
    }
    bool available = true;
    int calls = 0;
};

bool ThreadHasToken() {
    UniqueHandle token;
    return OpenThreadToken(GetCurrentThread(), TOKEN_QUERY, TRUE, token.put()) != FALSE;
}

}  // namespace

TEST(ConsoleUser, RealSourceNeverFailsAndItsScopeAlwaysReverts) {
    // Whether this host hands out a session token or not, asking must not
    // raise, and whatever identity the scope takes on is given up at its end.
    EXPECT_NO_THROW(TerminalServicesTokenSource().UserToken());
    {
        ConsoleUserImpersonation scope;
        EXPECT_EQ(scope.IsImpersonating(), ThreadHasToken());
        if (!scope.HasToken()) EXPECT_FALSE(scope.IsImpersonating());
    }
    EXPECT_FALSE(ThreadHasToken());
}

TEST(ConsoleUser, ScopeImpersonatesWhileAliveAndRevertsAtTheEnd) {
    OwnTokenSource source;
    {
        ConsoleUserImpersonation scope(source);
        EXPECT_TRUE(scope.HasToken());
        EXPECT_TRUE(scope.IsImpersonating());
        EXPECT_TRUE(ThreadHasToken());
    }
    EXPECT_FALSE(ThreadHasToken());
    EXPECT_EQ(source.calls, 1);
}

TEST(ConsoleUser, EndRevertsAndDropsTheTokenAndBeginAgainNeedsANewOne) {
    OwnTokenSource source;
    ConsoleUserImpersonation scope(source);
    scope.End();
    EXPECT_FALSE(scope.IsImpersonating());
    EXPECT_FALSE(scope.HasToken());
    EXPECT_FALSE(ThreadHasToken());
    scope.Begin();
    EXPECT_FALSE(scope.IsImpersonating());
    EXPECT_TRUE(scope.Acquire());
    scope.Begin();
    EXPECT_TRUE(ThreadHasToken());
}

TEST(ConsoleUser, NoUserMeansTheThreadKeepsItsIdentity) {
    OwnTokenSource source;
    source.available = false;
    ConsoleUserImpersonation scope(source);
    EXPECT_FALSE(scope.HasToken());
    EXPECT_FALSE(scope.IsImpersonating());
    EXPECT_FALSE(ThreadHasToken());
}

TEST(ConsoleUser, ExceptionLeavingTheScopeStillReverts) {
    OwnTokenSource source;
    HRESULT hr = CatchHr([&] {
        ConsoleUserImpersonation scope(source);
        ASSERT_TRUE(ThreadHasToken());
        ThrowHr(E_ABORT);
    });
    EXPECT_EQ(hr, E_ABORT);
    EXPECT_FALSE(ThreadHasToken());
}
