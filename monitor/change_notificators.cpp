#include "change_notificators.h"

#include "command_thread.h"
#include "error.h"

namespace tandem {

struct ChangeNotificators::StorageChanges {
    StorageChanges(std::unique_ptr<IChangeNotifiable> l, CChangeNotificator::Options options)
        : listener(std::move(l)), notificator(std::vector<IChangeNotifiable*>{listener.get()}, options) {}
    std::unique_ptr<IChangeNotifiable> listener;
    CChangeNotificator notificator;
};

ChangeNotificators::ChangeNotificators(ChangeListenerFactory listeners, Options options)
    : listeners_(std::move(listeners)), options_(options) {}

ChangeNotificators::~ChangeNotificators() {
    for (auto& [id, changes] : byStorage_) changes->notificator.Stop();
}

void ChangeNotificators::Start(StorageInfo& storage) {
    std::shared_ptr<StorageChanges> changes;
    {
        CSyncLockHolder hold(lock_);
        auto found = byStorage_.find(storage.UniqueID());
        if (found == byStorage_.end()) {
            CChangeNotificator::Options options;
            options.settle = options_.settle;
            options.probe = options_.probe;
            if (storage.StorageType() == tnStorageType_Remote) options.impersonate = options_.tokens;
            auto listener = listeners_ ? listeners_(storage) : nullptr;
            if (!listener) ThrowHr(E_UNEXPECTED);
            found = byStorage_.emplace(storage.UniqueID(),
                                       std::make_shared<StorageChanges>(std::move(listener), options)).first;
        }
        changes = found->second;
    }
    changes->notificator.Start();
}

void ChangeNotificators::Stop(StorageInfo& storage) {
    if (const auto notificator = Find(storage.UniqueID())) notificator->Stop();
}

std::shared_ptr<CChangeNotificator> ChangeNotificators::Find(const std::wstring& storageId) const {
    CSyncLockHolder hold(lock_);
    const auto found = byStorage_.find(storageId);
    if (found == byStorage_.end()) return nullptr;
    return std::shared_ptr<CChangeNotificator>(found->second, &found->second->notificator);
}

CommandThread* CommandThreadOf(const StorageInfo& storage) noexcept {
    return dynamic_cast<CommandThread*>(storage.Worker());
}

}  // namespace tandem
