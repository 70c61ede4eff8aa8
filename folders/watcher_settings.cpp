#include "watcher_settings.h"

#include "folder_keys.h"
#include "registry.h"
#include "registry_values.h"

namespace tandem {

WatcherSettings WatcherSettings::Load() {
    RegKey key = OpenKey(HKEY_LOCAL_MACHINE, kWatcherKey, KEY_READ);
    WatcherSettings settings;
    settings.RefreshOnStartup = ReadDword(key.get(), L"Refresh On Startup", zephfwStartupSilent, 0, 2);
    settings.RefreshPriority = ReadDword(key.get(), L"Refresh Priority", zephfwPriorityLow, 0, 4);
    if (ValueType(key.get(), L"ThumbnailFolder") == REG_SZ)
        settings.ThumbnailFolder = ReadString(key.get(), L"ThumbnailFolder");
    return settings;
}

void WatcherSettings::SaveStartupRefresh() const {
    RegKey key = OpenKey(HKEY_LOCAL_MACHINE, kWatcherKey, kKeyReadWrite);
    WriteDword(key.get(), L"Refresh On Startup", RefreshOnStartup);
    WriteDword(key.get(), L"Refresh Priority", RefreshPriority);
}

std::wstring WatcherSettings::ThumbnailSubPath() const { return L"Pelion Entertainment\\" + ThumbnailFolder; }

}  // namespace tandem
