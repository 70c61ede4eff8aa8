#pragma once

#include <windows.h>

#include <string>

#include "automation_context.h"
#include "folder_command_steps.h"
#include "folder_hooks.h"
#include "progress_notifier.h"
#include "storage_events.h"

namespace tandem {

// Events are best effort: a failure to prepare one (an object or a string
// that cannot be made) is swallowed here, so that it never fails the
// storage, folder-list or command work that raised it.

// The storage list's announcements, as OnStorageEvent to storage-manager sinks.
class StorageEventForwarder final : public StorageEventSink {
public:
    explicit StorageEventForwarder(AutomationContext& context) noexcept : context_(context) {}
    void OnStorageEvent(TnStorageEventTypes type, const SharedPtr<StorageInfo>& storage) override;

private:
    AutomationContext& context_;
};

// The folder list's announcements, as OnStatusChange to folder-watcher sinks.
class FolderListEventForwarder final : public FolderEventSink {
public:
    explicit FolderListEventForwarder(AutomationContext& context) noexcept : context_(context) {}
    // folder is a command path; clients see it without its trailing backslash.
    void OnStatusChange(const std::wstring& folder, LONG reason, LONG param) override;

private:
    AutomationContext& context_;
};

// A folder's busy and monitoring changes, as OnStatusChangeEx with a new
// folder object each time.
class FolderStatusEventForwarder final : public FolderBusyEvents {
public:
    explicit FolderStatusEventForwarder(AutomationContext& context) noexcept : context_(context) {}
    void OnFolderBusy(const SharedPtr<RegisteredFolder>& folder, bool busy) override;
    // For the monitor thread: it started (true) or stopped watching.
    void OnFolderMonitoring(const SharedPtr<RegisteredFolder>& folder, bool monitoring);

private:
    void Fire(TnFolderStatusTypes type, const SharedPtr<RegisteredFolder>& folder, bool newValue);

    AutomationContext& context_;
};

// Each operation's progress and abort, as OnOperationProgress and
// OnOperationAbort, all with one folder object made for the operation.
class FolderProgressEventForwarder final : public FolderProgressEvents {
public:
    explicit FolderProgressEventForwarder(AutomationContext& context) noexcept : context_(context) {}
    // Null (no events) when the folder object cannot be made.
    SharedPtr<ProgressEvents> ForFolder(const SharedPtr<RegisteredFolder>& folder) override;

private:
    AutomationContext& context_;
};

}  // namespace tandem
