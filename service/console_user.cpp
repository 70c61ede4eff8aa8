#include "console_user.h"

#include <wtsapi32.h>

#include <memory>

#include "error.h"

namespace tandem {

namespace {

UniqueHandle QueryUserToken(DWORD sessionId) {
    UniqueHandle token;
    if (!WTSQueryUserToken(sessionId, token.put())) token.reset();
    return token;
}

struct SessionArrayDeleter {
    void operator()(WTS_SESSION_INFOW* sessions) const noexcept { WTSFreeMemory(sessions); }
};

}  // namespace

UniqueHandle TerminalServicesTokenSource::UserToken() {
    DWORD console = WTSGetActiveConsoleSessionId();
    if (console != 0xFFFFFFFF) {
        if (UniqueHandle token = QueryUserToken(console)) return token;
    }
    WTS_SESSION_INFOW* raw = nullptr;
    DWORD count = 0;
    if (!WTSEnumerateSessionsW(WTS_CURRENT_SERVER_HANDLE, 0, 1, &raw, &count)) ThrowLastError();
    std::unique_ptr<WTS_SESSION_INFOW, SessionArrayDeleter> sessions(raw);
    for (DWORD i = 0; i < count; ++i) {
        if (UniqueHandle token = QueryUserToken(sessions.get()[i].SessionId)) return token;
    }
    return {};
}

ConsoleTokenSource& DefaultConsoleTokenSource() {
    static TerminalServicesTokenSource source;
    return source;
}

ConsoleUserImpersonation::ConsoleUserImpersonation(ConsoleTokenSource& source) : source_(source) {
    if (Acquire()) Begin();
}

bool ConsoleUserImpersonation::Acquire() {
    token_ = source_.UserToken();
    return HasToken();
}

void ConsoleUserImpersonation::Begin() noexcept {
    if (token_ && !impersonating_) impersonating_ = ImpersonateLoggedOnUser(token_.get()) != FALSE;
}

void ConsoleUserImpersonation::End() noexcept {
    if (impersonating_ && RevertToSelf()) impersonating_ = false;
    token_.reset();
}

}  // namespace tandem
