#pragma once

#include <functional>

#include "change_notificators.h"
#include "command_thread.h"
#include "device_event_receiver.h"
#include "storage_manager.h"

namespace tandem {

// Volume events applied to the process's storages.
class StorageDeviceActions final : public DeviceEventActions {
public:
    explicit StorageDeviceActions(std::function<StorageManager&()> storages) : storages_(std::move(storages)) {}

    void DrivesArrived(DWORD unitMask) override { storages_().OnDrivesArrived(unitMask, true); }
    void DrivesRemoved(DWORD unitMask) override { storages_().OnDrivesRemoved(unitMask); }
    void StopStorage(const std::wstring& storageId) override {
        const SharedPtr<StorageInfo> storage = storages_().FindById(storageId);
        if (CommandThread* thread = CommandThreadOf(*storage))
            thread->StopKeepingNotifications();
        else
            storage->Stop();
    }
    void StartStorage(const std::wstring& storageId) override { storages_().FindById(storageId)->Start(false); }

private:
    std::function<StorageManager&()> storages_;
};

}  // namespace tandem
