#include "monitor_thread.h"

#include <optional>

#include "command_thread.h"
#include "error.h"
#include "notify_buffer.h"
#include "wine_subfolders.h"

namespace tandem {
namespace {

// One notification header and at least one name character.
constexpr DWORD kShortestRecord = 14;
constexpr DWORD kIssueRetryWait = 1000;

size_t BufferWords(DWORD bytes) { return (bytes + sizeof(DWORD) - 1) / sizeof(DWORD); }

bool IsTransientIssueError(DWORD error) {
    return error == ERROR_TOO_MANY_CMDS || error == ERROR_BAD_NET_RESP || error == ERROR_NOTIFY_ENUM_DIR;
}

// Directories that appeared under a watched folder, for Wine to see opened.
std::vector<std::wstring> NewDirectories(const std::vector<ChangeEntry>& entries) {
    std::vector<std::wstring> paths;
    for (const ChangeEntry& entry : entries)
        if (entry.action == kActionAdded || entry.action == kActionRenamedNew) paths.push_back(entry.path);
    return paths;
}

// Raises the folder's monitoring pair: true now, false when the scope ends.
class MonitoringScope {
public:
    MonitoringScope(MonitoringStatusSink* sink, const RegisteredFolder& folder) : sink_(sink), folder_(folder) {
        if (sink_) sink_->OnMonitoring(folder_, true);
    }
    ~MonitoringScope() {
        if (sink_) CatchHr([&] { sink_->OnMonitoring(folder_, false); });
    }

private:
    MonitoringStatusSink* sink_;
    const RegisteredFolder& folder_;
};

SharedPtr<TandemPlugin> RegisteredPlugins(const RegisteredFolder& folder, const MonitorLinks& links) {
    if (links.plugins) return links.plugins(folder);
    SharedPtr<RegisteredFolder> shared = links.folders().FindById(folder.FolderID());
    if (!shared) ThrowHr(E_INVALIDARG);
    return TandemPlugin::ForFolder(std::move(shared));
}

CommandThread& CommandThreadFor(StorageInfo& storage) {
    CommandThread* thread = CommandThreadOf(storage);
    if (!thread) ThrowHr(E_UNEXPECTED);
    return *thread;
}

}  // namespace

void CommandThreadCommands::PostRefreshFolder(StorageInfo& storage, const std::wstring& folderId,
                                              const std::wstring& path) {
    CommandThreadFor(storage).PostRefreshFolder(folderId, path);
}

void CommandThreadCommands::PostShutdown(StorageInfo& storage) { CommandThreadFor(storage).PostShutdown(); }

void CommandThreadCommands::PostCheckAccessibility(StorageInfo& storage) {
    CommandThreadFor(storage).PostCheckAccessibility();
}

MonitorCommands& DefaultMonitorCommands() {
    static CommandThreadCommands commands;
    return commands;
}

MonitorThread::MonitorThread(RegisteredFolder& folder, const MonitorLinks& links)
    : folder_(folder),
      links_(links),
      thread_(this, &MonitorThread::Run),
      stop_(CreateEventW(nullptr, TRUE, FALSE, nullptr)),
      bufferA_(BufferWords(links.readBufferSize)),
      bufferB_(BufferWords(links.readBufferSize)) {
    if (!stop_) ThrowLastError();
}

MonitorThread::~MonitorThread() { Stop(); }

// Client calls, the storage's connect and the folder commands start and stop
// the same folder at once: the event and the run change together.
void MonitorThread::Start() {
    CSyncLockHolder hold(lifecycle_);
    if (thread_.IsRunning()) return;
    ResetEvent(stop_.get());
    thread_.Start();
}

// Waits outside the lock, for the run it signalled: a start meanwhile is
// not held up, nor waited for.
void MonitorThread::Stop() {
    ThreadRun run;
    {
        CSyncLockHolder hold(lifecycle_);
        SetEvent(stop_.get());
        run = thread_.CurrentRun();
    }
    run.Wait(INFINITE);
}

void MonitorThread::Run() {
    const SharedPtr<StorageInfo> storage = LookupStorage();
    const std::wstring path = storage->RootPath() + folder_.RelativePath;
    if (folder_.TakeRefreshRequest()) links_.commands->PostRefreshFolder(*storage, folder_.FolderID(), path);
    if (folder_.Behavior == zephfwBehaviorIgnore) return;
    if (folder_.Behavior == zephfwBehaviorMonitorOnce) {
        // Watched until the service stops, and not after the next start.
        folder_.Behavior = zephfwBehaviorIgnore;
        folder_.Save();
    }
    std::optional<ConsoleUserImpersonation> user;
    if (storage->StorageType() == tnStorageType_Remote) user.emplace(*links_.tokens);
    const MonitoringScope monitoring(links_.status, folder_);
    Monitor(*storage, path);
}

SharedPtr<StorageInfo> MonitorThread::LookupStorage() {
    SharedPtr<StorageInfo> storage = links_.storages().FindById(folder_.StorageID());
    if (!storage) ThrowHr(E_INVALIDARG);
    if (storage != storage_) storage_ = storage;
    return storage;
}

void MonitorThread::Monitor(StorageInfo& storage, const std::wstring& path) {
    const HRESULT hr = WatchDetailed(storage, path);
    if (Stopped() || SUCCEEDED(hr)) return;
    if (hr == HRESULT_FROM_WIN32(ERROR_NETNAME_DELETED)) return links_.commands->PostShutdown(storage);
    if (FAILED(WatchFallback(storage, path))) links_.commands->PostCheckAccessibility(storage);
}

HRESULT MonitorThread::WatchDetailed(StorageInfo& storage, const std::wstring& path) {
    return CatchHr([&] {
        const std::shared_ptr<CChangeNotificator> notificator =
            links_.notificators ? links_.notificators->Find(storage.UniqueID()) : nullptr;
        if (!notificator) ThrowHr(E_UNEXPECTED);
        const SharedPtr<TandemPlugin> plugins = RegisteredPlugins(folder_, links_);
        const bool subTree = folder_.WatchSubTree;
        const auto size = static_cast<DWORD>(bufferA_.size() * sizeof(DWORD));
        DirectoryWatch directories(OpenWithRetry(path), kDirectoryFilter, subTree,
                                   reinterpret_cast<BYTE*>(bufferA_.data()), size);
        DirectoryWatch files(OpenWithRetry(path), kFileFilter, subTree, reinterpret_cast<BYTE*>(bufferB_.data()),
                             size);
        Issue(directories);
        Issue(files);
        RevealSubFoldersToWine({path}, subTree);

        const HANDLE events[] = {stop_.get(), directories.Event(), files.Event()};
        for (;;) {
            const DWORD signalled = WaitForMultipleObjects(3, events, FALSE, INFINITE);
            if (signalled == WAIT_OBJECT_0) return;
            if (signalled != WAIT_OBJECT_0 + 1 && signalled != WAIT_OBJECT_0 + 2) ThrowLastError();
            const LONG directory = signalled == WAIT_OBJECT_0 + 1 ? 1 : 0;
            DirectoryWatch& watch = directory ? directories : files;
            DWORD bytes = 0;
            const DWORD error = watch.Complete(bytes);
            // Zero bytes on success is how Windows reports an overflow too.
            const bool lost = error == ERROR_BAD_NET_RESP || error == ERROR_NOTIFY_ENUM_DIR ||
                              (error == ERROR_SUCCESS && bytes == 0);
            if (error == ERROR_SUCCESS && bytes >= kShortestRecord) {
                std::vector<ChangeEntry> entries;
                ParseNotifyBuffer(watch.Buffer(), bytes, path, directory, plugins, entries);
                if (directory && subTree) RevealSubFoldersToWine(NewDirectories(entries), true);
                notificator->AddEntries(std::move(entries));
            } else if (error != ERROR_SUCCESS && error != ERROR_TOO_MANY_CMDS && !lost) {
                ThrowWin32(error);
            }
            Issue(watch);
            if (lost) links_.commands->PostRefreshFolder(storage, folder_.FolderID(), path);
        }
    });
}

UniqueHandle MonitorThread::OpenWithRetry(const std::wstring& path) {
    DWORD error = ERROR_SUCCESS;
    UniqueHandle handle = links_.openDirectory(path, error);
    for (int retry = 0; !handle && error == ERROR_NETNAME_DELETED && retry < kOpenRetries; ++retry) {
        if (!WaitUnlessStopped(links_.openRetryWait)) break;
        handle = links_.openDirectory(path, error);
    }
    if (!handle) ThrowWin32(error == ERROR_SUCCESS ? ERROR_GEN_FAILURE : error);
    return handle;
}

void MonitorThread::Issue(DirectoryWatch& watch) {
    for (;;) {
        const DWORD error = watch.Issue();
        if (error == ERROR_SUCCESS) return;
        if (!IsTransientIssueError(error) || !WaitUnlessStopped(kIssueRetryWait)) ThrowWin32(error);
    }
}

HRESULT MonitorThread::WatchFallback(StorageInfo& storage, const std::wstring& path) {
    return CatchHr([&] {
        UniqueChangeNotification change(
            FindFirstChangeNotificationW(path.c_str(), folder_.WatchSubTree ? TRUE : FALSE, kFallbackFilter));
        if (!change) ThrowLastError();
        const HANDLE events[] = {stop_.get(), change.get()};
        for (;;) {
            const DWORD signalled = WaitForMultipleObjectsEx(2, events, FALSE, INFINITE, TRUE);
            if (signalled == WAIT_OBJECT_0) return;
            if (signalled == WAIT_OBJECT_0 + 1)
                links_.commands->PostRefreshFolder(storage, folder_.FolderID(), path);
            else if (signalled == WAIT_FAILED)
                ThrowLastError();
            if (!FindNextChangeNotification(change.get())) ThrowLastError();
        }
    });
}

bool MonitorThread::WaitUnlessStopped(DWORD milliseconds) const {
    return WaitForSingleObject(stop_.get(), milliseconds) == WAIT_TIMEOUT;
}

bool MonitorThread::Stopped() const { return WaitForSingleObject(stop_.get(), 0) == WAIT_OBJECT_0; }

FolderMonitorFactory MakeMonitorThreadFactory(const MonitorLinks& links) {
    return [&links](RegisteredFolder& folder) -> std::unique_ptr<FolderMonitor> {
        return std::make_unique<MonitorThread>(folder, links);
    };
}

}  // namespace tandem
