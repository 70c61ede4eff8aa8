#pragma once

#include <windows.h>

#include <map>
#include <string>
#include <vector>

#include "folder_hooks.h"
#include "folder_keys.h"
#include "registered_folder.h"
#include "registry.h"
#include "storage_info.h"
#include "testing/registry_sandbox.h"

namespace tandem::test {

struct StatusChange {
    std::wstring folder;
    LONG reason;
    LONG param;
    bool operator==(const StatusChange&) const = default;
};

class RecordingFolderSink : public FolderEventSink {
public:
    void OnStatusChange(const std::wstring& folder, LONG reason, LONG param) override {
        changes.push_back({folder, reason, param});
    }
    std::vector<StatusChange> changes;
};

// Stands in for a monitor thread: only whether it runs.
class FakeMonitor : public FolderMonitor {
public:
    explicit FakeMonitor(int& starts) : starts_(starts) {}
    void Start() override {
        running_ = true;
        ++starts_;
    }
    void Stop() override { running_ = false; }
    bool IsRunning() const override { return running_; }

private:
    int& starts_;
    bool running_ = false;
};

// The keys the service expects to exist before it starts, in a fresh sandbox.
class FolderRegistry {
public:
    RegistrySandbox sandbox;
    RegKey watcher = CreateKey(HKEY_LOCAL_MACHINE, kWatcherKey);
    RegKey folders = CreateKey(HKEY_LOCAL_MACHINE, kFolderListKey);
    RegKey storages = CreateKey(HKEY_LOCAL_MACHINE, kStorageListKey);
    RegKey older = CreateKey(HKEY_LOCAL_MACHINE, kOlderFolderListKey);
};

}  // namespace tandem::test
