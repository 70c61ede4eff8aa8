#pragma once

#include <windows.h>

#include "caller_access.h"
#include "error.h"

namespace tandem::test {

// Stands in for a client of another process: under Wine every process runs
// as one user, so the thread impersonates its own token at a chosen level.
class SelfImpersonation final : public CallerImpersonation {
public:
    explicit SelfImpersonation(SECURITY_IMPERSONATION_LEVEL level) {
        if (!ImpersonateSelf(level)) ThrowLastError();
    }
    SelfImpersonation(const SelfImpersonation&) = delete;
    SelfImpersonation& operator=(const SelfImpersonation&) = delete;
    ~SelfImpersonation() override { RevertToSelf(); }
};

}  // namespace tandem::test
