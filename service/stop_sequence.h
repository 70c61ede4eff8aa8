#pragma once

#include <windows.h>

#include <functional>
#include <vector>

#include "shared_ptr.h"
#include "storage_info.h"

namespace tandem {

// The steps that take the service down after its message loop, in order.
struct StopSteps {
    std::function<void()> reportStopPending;
    std::function<std::vector<SharedPtr<StorageInfo>>()> storages;
    std::function<void()> deliverEvents;
    std::function<HRESULT()> revokeClassObjects;
    std::function<void()> releaseSingletons;
    std::function<void()> pause;
};

// Every storage is stopped, whatever the others do; the events they raised
// are delivered; no client can create objects any more when the singletons
// go. The revocation's failure is the result.
HRESULT RunStopSequence(const StopSteps& steps) noexcept;

}  // namespace tandem
