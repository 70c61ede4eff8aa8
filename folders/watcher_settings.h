#pragma once

#include <windows.h>

#include <string>

#include "MarloZephFw.h"

namespace tandem {

// The watcher's machine-wide settings beside the folder list.
struct WatcherSettings {
    DWORD RefreshOnStartup = zephfwStartupSilent;  // 0..2
    DWORD RefreshPriority = zephfwPriorityLow;     // 0..4
    std::wstring ThumbnailFolder = L"Thumbnail";

    // Out-of-range numbers keep their defaults; a missing watcher key is raised.
    static WatcherSettings Load();
    // Writes the two refresh values.
    void SaveStartupRefresh() const;
    // Below a storage root: "Pelion Entertainment\<thumbnail folder>".
    std::wstring ThumbnailSubPath() const;
};

}  // namespace tandem
