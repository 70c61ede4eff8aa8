#include "stop_sequence.h"

#include "error.h"

namespace tandem {

HRESULT RunStopSequence(const StopSteps& steps) noexcept {
    steps.reportStopPending();
    std::vector<SharedPtr<StorageInfo>> storages;
    CatchHr([&] { storages = steps.storages(); });
    for (const auto& storage : storages) CatchHr([&] { storage->Stop(); });
    storages.clear();
    CatchHr([&] { steps.deliverEvents(); });
    const HRESULT revoked = CatchHr([&] { return steps.revokeClassObjects(); });
    CatchHr([&] { steps.releaseSingletons(); });
    CatchHr([&] { steps.pause(); });
    return revoked;
}

}  // namespace tandem
