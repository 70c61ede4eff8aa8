#pragma once

#include <windows.h>

#include <string>
#include <vector>

#include "change_notificator.h"
#include "directory_watch.h"
#include "folder_hooks.h"
#include "monitor_links.h"
#include "sync_lock.h"
#include "thread.h"

namespace tandem {

// Watches one registered folder while its storage is connected and its
// behaviour asks for it, feeding every change to the storage's notificator;
// falls back to coarse notification (a refresh per signal) when detailed
// notification fails.
class MonitorThread final : public FolderMonitor {
public:
    static constexpr DWORD kDirectoryFilter = FILE_NOTIFY_CHANGE_DIR_NAME;
    static constexpr DWORD kFileFilter = FILE_NOTIFY_CHANGE_FILE_NAME | FILE_NOTIFY_CHANGE_ATTRIBUTES |
                                         FILE_NOTIFY_CHANGE_LAST_WRITE | FILE_NOTIFY_CHANGE_CREATION;
    static constexpr DWORD kFallbackFilter = FILE_NOTIFY_CHANGE_FILE_NAME | FILE_NOTIFY_CHANGE_DIR_NAME |
                                             FILE_NOTIFY_CHANGE_ATTRIBUTES | FILE_NOTIFY_CHANGE_LAST_WRITE;
    // A share that lost its connection gets about a minute to come back.
    static constexpr int kOpenRetries = 60;

    // links must outlive the thread.
    MonitorThread(RegisteredFolder& folder, const MonitorLinks& links);
    MonitorThread(const MonitorThread&) = delete;
    MonitorThread& operator=(const MonitorThread&) = delete;
    ~MonitorThread() override;

    void Start() override;
    void Stop() override;
    bool IsRunning() const override { return thread_.IsRunning(); }

private:
    void Run();
    SharedPtr<StorageInfo> LookupStorage();
    void Monitor(StorageInfo& storage, const std::wstring& path);
    HRESULT WatchDetailed(StorageInfo& storage, const std::wstring& path);
    HRESULT WatchFallback(StorageInfo& storage, const std::wstring& path);
    UniqueHandle OpenWithRetry(const std::wstring& path);
    void Issue(DirectoryWatch& watch);
    // False when the stop event ended the wait.
    bool WaitUnlessStopped(DWORD milliseconds) const;
    bool Stopped() const;

    RegisteredFolder& folder_;
    const MonitorLinks& links_;
    CSyncLock lifecycle_;
    Thread thread_;
    UniqueHandle stop_;
    SharedPtr<StorageInfo> storage_;
    std::vector<DWORD> bufferA_;
    std::vector<DWORD> bufferB_;
};

// Monitor threads for the folders of a manager; links must outlive every folder.
FolderMonitorFactory MakeMonitorThreadFactory(const MonitorLinks& links);

}  // namespace tandem
