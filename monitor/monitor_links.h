#pragma once

#include <windows.h>

#include <functional>
#include <string>

#include "change_notificators.h"
#include "console_user.h"
#include "directory_watch.h"
#include "plugin_set.h"
#include "registered_folder_manager.h"
#include "storage_manager.h"

namespace tandem {

// Hears a watched folder's monitoring begin (true) and end (false).
class MonitoringStatusSink {
public:
    virtual ~MonitoringStatusSink() = default;
    virtual void OnMonitoring(const RegisteredFolder& folder, bool monitoring) = 0;
};

// The storage's command thread as the monitor threads use it.
class MonitorCommands {
public:
    virtual ~MonitorCommands() = default;
    virtual void PostRefreshFolder(StorageInfo& storage, const std::wstring& folderId, const std::wstring& path) = 0;
    virtual void PostShutdown(StorageInfo& storage) = 0;
    virtual void PostCheckAccessibility(StorageInfo& storage) = 0;
};

// Posts to the storage's command thread; E_UNEXPECTED for a storage without one.
class CommandThreadCommands final : public MonitorCommands {
public:
    void PostRefreshFolder(StorageInfo& storage, const std::wstring& folderId, const std::wstring& path) override;
    void PostShutdown(StorageInfo& storage) override;
    void PostCheckAccessibility(StorageInfo& storage) override;
};

MonitorCommands& DefaultMonitorCommands();

// What the monitor threads reach; the managers through accessors because
// they come to life after the folders' factory is made.
struct MonitorLinks {
    std::function<StorageManager&()> storages;
    std::function<RegisteredFolderManager&()> folders;
    ChangeNotificators* notificators = nullptr;
    // The plug-in set the folder's records carry; by default opened for the registered folder.
    std::function<SharedPtr<TandemPlugin>(const RegisteredFolder&)> plugins;
    MonitorCommands* commands = &DefaultMonitorCommands();
    MonitoringStatusSink* status = nullptr;
    ConsoleTokenSource* tokens = &DefaultConsoleTokenSource();
    // Between attempts to open a share whose network name is gone.
    DWORD openRetryWait = 1000;
    // Seams for what Wine cannot be made to do on demand: a vanished network
    // name, and an overflow (a buffer too small for one burst; read when the
    // monitor thread is made).
    std::function<UniqueHandle(const std::wstring&, DWORD&)> openDirectory = OpenWatchedDirectory;
    DWORD readBufferSize = DirectoryWatch::kBufferSize;
};

}  // namespace tandem
