#pragma once

#include <windows.h>

#include <string>

#include "plugin_set.h"
#include "shared_ptr.h"

namespace tandem {

// The Windows change actions as the watch reports them.
enum NotifyAction : LONG {
    kActionAdded = FILE_ACTION_ADDED,
    kActionRemoved = FILE_ACTION_REMOVED,
    kActionModified = FILE_ACTION_MODIFIED,
    kActionRenamedOld = FILE_ACTION_RENAMED_OLD_NAME,
    kActionRenamedNew = FILE_ACTION_RENAMED_NEW_NAME,
};

// One entry of a watch's notification buffer.
struct ChangeEntry {
    LONG directory = 0;  // 1 from the directory-name watch
    LONG action = 0;
    std::wstring path;
    SharedPtr<TandemPlugin> plugins;
};

enum PendingState : LONG { kStateNone = 0, kStateAdded = 1, kStateModified = 2, kStateRemoved = 3, kStateRenamed = 4 };

// A path's merged changes while they settle.
struct PendingChange {
    DWORD time = 0;  // tick of the last merged entry
    LONG directory = 0;
    LONG state = kStateNone;
    SharedPtr<TandemPlugin> plugins;
    std::wstring path;     // the current name; empty while a rename waits for it
    std::wstring oldPath;  // for a rename: the first name
};

// Hears settled changes, on the notificator's thread.
class IChangeNotifiable {
public:
    virtual ~IChangeNotifiable() = default;
    virtual void OnChange(const PendingChange& change) = 0;
};

}  // namespace tandem
