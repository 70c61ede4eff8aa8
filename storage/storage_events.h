#pragma once

#include "MarloZephFw.h"
#include "shared_ptr.h"

namespace tandem {

class StorageInfo;

// Receives the announcements of the storage list (added, removed, enabled, disabled).
class StorageEventSink {
public:
    virtual ~StorageEventSink() = default;
    virtual void OnStorageEvent(TnStorageEventTypes type, const SharedPtr<StorageInfo>& storage) = 0;
};

}  // namespace tandem
