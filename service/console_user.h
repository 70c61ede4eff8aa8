#pragma once

#include <windows.h>

#include "unique_resource.h"

namespace tandem {

// Where the console user's token comes from. The terminal-services source is
// the real one; tests substitute their own.
class ConsoleTokenSource {
public:
    virtual ~ConsoleTokenSource() = default;
    // The console user's token, else the first session's that has one, else
    // an empty handle. Only a failing session enumeration raises.
    virtual UniqueHandle UserToken() = 0;
};

class TerminalServicesTokenSource final : public ConsoleTokenSource {
public:
    UniqueHandle UserToken() override;
};

// The terminal-services source, shared by the whole process.
ConsoleTokenSource& DefaultConsoleTokenSource();

// Runs the current thread as the console user while the scope lives. Without
// a user (or when impersonation is refused) the thread keeps its own identity.
class ConsoleUserImpersonation {
public:
    // Acquires a token and begins impersonating.
    explicit ConsoleUserImpersonation(ConsoleTokenSource& source = DefaultConsoleTokenSource());
    ConsoleUserImpersonation(const ConsoleUserImpersonation&) = delete;
    ConsoleUserImpersonation& operator=(const ConsoleUserImpersonation&) = delete;
    ~ConsoleUserImpersonation() { End(); }

    // Replaces the held token with a fresh one; true when a token is now held.
    bool Acquire();
    void Begin() noexcept;
    // Reverts and closes the token.
    void End() noexcept;

    bool HasToken() const noexcept { return static_cast<bool>(token_); }
    bool IsImpersonating() const noexcept { return impersonating_; }

private:
    ConsoleTokenSource& source_;
    UniqueHandle token_;
    bool impersonating_ = false;
};

}  // namespace tandem
