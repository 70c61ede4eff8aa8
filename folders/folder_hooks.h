#pragma once

#include <windows.h>

#include <functional>
#include <memory>
#include <string>

namespace tandem {

class RegisteredFolder;

// The thread that watches one folder. Start runs it; Stop signals it and
// waits for its end.
class FolderMonitor {
public:
    virtual ~FolderMonitor() = default;
    virtual void Start() = 0;
    virtual void Stop() = 0;
    virtual bool IsRunning() const = 0;
};

// Builds a folder's monitor; an empty factory leaves folders without one.
using FolderMonitorFactory = std::function<std::unique_ptr<FolderMonitor>(RegisteredFolder&)>;

// Receives the folder-list announcements: the command path of the folder,
// a reason (zephfwReason*) and a ZEPHFW_I_STAT_* code.
class FolderEventSink {
public:
    virtual ~FolderEventSink() = default;
    virtual void OnStatusChange(const std::wstring& folder, LONG reason, LONG param) = 0;
};

}  // namespace tandem
