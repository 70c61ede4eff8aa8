#pragma once

#include <atomic>

#include "shared_ptr.h"

namespace tandem {

// The cancellation of one folder command. It is never cleared, so an abort
// aimed at one command cannot reach the command after it.
class Cancellation {
public:
    void Cancel() noexcept { canceled_.store(true); }
    bool IsCanceled() const noexcept { return canceled_.load(); }

private:
    std::atomic<bool> canceled_{false};
};
using CancellationPtr = SharedPtr<Cancellation>;

}  // namespace tandem
