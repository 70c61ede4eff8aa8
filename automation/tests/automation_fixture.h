#pragma once

#include <windows.h>

#include <gtest/gtest.h>

#include <functional>
#include <map>
#include <memory>
#include <stdexcept>
#include <string>
#include <utility>
#include <vector>

#include "MarloZephFw.h"
#include "automation_context.h"
#include "event_forwarders.h"
#include "fakes.h"
#include "folder_fakes.h"
#include "folder_keys.h"
#include "registry.h"
#include "testing/com_apartment.h"
#include "testing/registry_sandbox.h"

namespace tandem::test {

// The command-thread operations the objects asked for.
struct CommandRecord {
    bool busy = false;
    // Posting a refresh then fails with an exception that carries no HRESULT.
    bool refreshFails = false;
    std::vector<std::wstring> refreshed;
    std::vector<std::pair<LONG, std::wstring>> cancelled;
};

// COM, the keys the managers expect in a fresh sandbox, and DPAPI's providers.
class AutomationRegistry {
public:
    AutomationRegistry() { providers_.CopyIntoSandbox(); }

    // A storage-list entry the storage manager loads (no drive needed).
    void ListStorage(const std::wstring& id, const std::wstring& root, TnStorageTypes type = tnStorageType_Fixed) {
        RegKey entry = CreateKey(storages.get(), id);
        WriteString(entry.get(), L"DriveString", root);
        WriteDword(entry.get(), L"Type", type);
    }

    ComApartment apartment;

private:
    CryptographyProviders providers_;

public:
    RegistrySandbox sandbox;
    RegKey watcher = CreateKey(HKEY_LOCAL_MACHINE, kWatcherKey);
    RegKey folders = CreateKey(HKEY_LOCAL_MACHINE, kFolderListKey);
    RegKey storages = CreateKey(HKEY_LOCAL_MACHINE, kStorageListKey);
    RegKey older = CreateKey(HKEY_LOCAL_MACHINE, kOlderFolderListKey);
};

// Real managers wired to the event forwarders, the listener registries, and
// fake storage workers and folder monitors, as the service module wires them.
class TestContext : public AutomationContext {
public:
    // Fake workers unless the test brings real ones.
    explicit TestContext(StorageWorkerFactory workers = {})
        : storages_(Services(std::move(workers)), &storageEvents), folders_(storages_, &folderListEvents, [this](RegisteredFolder&) {
              return std::make_unique<FakeMonitor>(monitorStarts);
          }) {}

    StorageManager& Storages() override { return storages_; }
    RegisteredFolderManager& Folders() override { return folders_; }
    EventListenerManager& StorageManagerEvents() override { return storageListeners_; }
    EventListenerManager& FolderWatcherEvents() override { return watcherListeners_; }
    EventListenerManager& RegisteredFolderEvents() override { return folderListeners_; }

    bool IsStorageBusy(StorageInfo&) override { return commands.busy; }
    void PostRefreshFolder(StorageInfo&, const SharedPtr<RegisteredFolder>&, const std::wstring& path) override {
        if (commands.refreshFails) throw std::logic_error("refresh");
        commands.refreshed.push_back(path);
    }
    void CancelFolderTasks(StorageInfo&, LONG operation, const SharedPtr<RegisteredFolder>&,
                           const std::wstring& path) override {
        commands.cancelled.emplace_back(operation, path);
    }
    std::unique_ptr<CallerImpersonation> ImpersonateCaller() override {
        return callers ? callers() : AutomationContext::ImpersonateCaller();
    }

    // Stands in for the client of a COM call from another process.
    std::function<std::unique_ptr<CallerImpersonation>()> callers;

    CommandRecord commands;
    std::map<std::wstring, FakeWorker::Counts> workers;
    int monitorStarts = 0;
    StorageEventForwarder storageEvents{*this};
    FolderListEventForwarder folderListEvents{*this};
    FolderStatusEventForwarder folderStatusEvents{*this};
    FolderProgressEventForwarder folderProgressEvents{*this};

private:
    StorageServices Services(StorageWorkerFactory real) {
        StorageServices services;
        services.workers = real ? std::move(real) : [this](StorageInfo& storage) -> std::unique_ptr<StorageWorker> {
            return std::make_unique<FakeWorker>(workers[storage.UniqueID()]);
        };
        return services;
    }

    EventListenerManager storageListeners_{DIID__ITnStorageManagerEvents};
    EventListenerManager watcherListeners_{DIID__IFolderWatcherEvents};
    EventListenerManager folderListeners_{DIID__ITnRegisteredFolderEvents};
    StorageManager storages_;
    RegisteredFolderManager folders_;
};

}  // namespace tandem::test
