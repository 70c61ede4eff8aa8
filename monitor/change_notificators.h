#pragma once

#include <windows.h>

#include <functional>
#include <map>
#include <memory>
#include <string>

#include "change_notificator.h"
#include "service_command_host.h"
#include "sync_lock.h"

namespace tandem {

// The listener of a storage's notificator, built when the storage first connects.
using ChangeListenerFactory = std::function<std::unique_ptr<IChangeNotifiable>(StorageInfo&)>;

// One change notificator per storage, kept by storage id so that StorageInfo
// needs no knowledge of change monitoring. A notificator lives as long as
// this registry: changes still pending at a disconnect wait for the next connect.
class ChangeNotificators final : public ChangeNotificatorControl {
public:
    struct Options {
        DWORD settle = CChangeNotificator::kSettleDelay;
        ConsoleTokenSource* tokens = &DefaultConsoleTokenSource();
        FileProbe* probe = &DefaultFileProbe();
    };

    ChangeNotificators(ChangeListenerFactory listeners, Options options);
    explicit ChangeNotificators(ChangeListenerFactory listeners) : ChangeNotificators(std::move(listeners), Options{}) {}
    ~ChangeNotificators() override;

    void Start(StorageInfo& storage) override;
    void Stop(StorageInfo& storage) override;
    // Null until the storage first connected.
    std::shared_ptr<CChangeNotificator> Find(const std::wstring& storageId) const;

private:
    struct StorageChanges;

    ChangeListenerFactory listeners_;
    const Options options_;
    mutable CSyncLock lock_;
    std::map<std::wstring, std::shared_ptr<StorageChanges>> byStorage_;
};

// The command thread of a storage served by command threads, else null.
CommandThread* CommandThreadOf(const StorageInfo& storage) noexcept;

}  // namespace tandem
