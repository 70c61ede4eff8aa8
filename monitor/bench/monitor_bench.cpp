// Creates N files in a registered, watched folder as fast as possible and
// reports how long after the last write every file was known to a recording
// listener behind the monitor thread and the storage's notificator, how many
// changes were lost, the process's peak memory, and what a bare
// ReadDirectoryChangesW loop on the same burst saw. It reports figures only;
// it never judges them. The registry and the drive are sandboxed as in tests.
#include <windows.h>
#include <psapi.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <functional>
#include <mutex>
#include <string>
#include <thread>
#include <unordered_set>
#include <vector>

#include "change_notificators.h"
#include "directory_watch.h"
#include "error.h"
#include "folder_keys.h"
#include "monitor_thread.h"
#include "notify_buffer.h"
#include "pending_changes.h"
#include "registry.h"
#include "registry_values.h"
#include "testing/registry_sandbox.h"
#include "testing/test_drive.h"

namespace tandem::bench {
namespace {

using Clock = std::chrono::steady_clock;

std::wstring FileName(size_t index) { return L"f" + std::to_wstring(1000000 + index) + L".dat"; }

// The paths known so far, and when the last needed one became known.
class KnownFiles {
public:
    explicit KnownFiles(size_t expected) : expected_(expected), done_(CreateEventW(nullptr, TRUE, FALSE, nullptr)) {
        if (!done_) ThrowLastError();
    }
    void Add(const std::wstring& path) {
        std::lock_guard hold(mutex_);
        if (known_.insert(FoldPath(path)).second && known_.size() == expected_) {
            completed_ = Clock::now();
            SetEvent(done_.get());
        }
    }
    size_t Count() {
        std::lock_guard hold(mutex_);
        return known_.size();
    }
    Clock::time_point Completed() {
        std::lock_guard hold(mutex_);
        return completed_;
    }
    HANDLE Done() const noexcept { return done_.get(); }

private:
    const size_t expected_;
    UniqueHandle done_;
    std::mutex mutex_;
    std::unordered_set<std::wstring> known_;
    Clock::time_point completed_{};
};

constexpr wchar_t kReadyName[] = L"ready.txt";

// The listener: individual deliveries, plus a whole-folder refresh standing
// in for the command thread's when the watch reports lost changes.
class RecordingListener final : public IChangeNotifiable, public MonitorCommands {
public:
    RecordingListener(const std::wstring& folder, size_t expected)
        : known(expected), ready_(CreateEventW(nullptr, TRUE, FALSE, nullptr)), folder_(folder) {
        if (!ready_) ThrowLastError();
    }
    void OnChange(const PendingChange& change) override {
        if (change.directory || change.state == kStateRemoved) return;
        if (change.path == folder_ + L"\\" + kReadyName) SetEvent(ready_.get());
        else known.Add(change.path);
    }
    void PostRefreshFolder(StorageInfo&, const std::wstring&, const std::wstring&) override { Refresh(); }
    void PostShutdown(StorageInfo&) override {}
    void PostCheckAccessibility(StorageInfo&) override {}
    HANDLE Ready() const noexcept { return ready_.get(); }
    void Refresh() {
        ++refreshes;
        WIN32_FIND_DATAW data;
        UniqueFindHandle find(FindFirstFileW((folder_ + L"\\*").c_str(), &data));
        if (!find) return;
        do {
            if (!(data.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) && data.cFileName != std::wstring(kReadyName))
                known.Add(folder_ + L"\\" + data.cFileName);
        } while (FindNextFileW(find.get(), &data));
    }

    KnownFiles known;
    size_t refreshes = 0;

private:
    UniqueHandle ready_;
    const std::wstring folder_;
};

struct Forwarder final : IChangeNotifiable {
    explicit Forwarder(IChangeNotifiable& to) : target(to) {}
    void OnChange(const PendingChange& change) override { target.OnChange(change); }
    IChangeNotifiable& target;
};

// The product's side: one storage on a sandboxed drive with the folder
// registered and watched by a real monitor thread.
class WatchedStorage {
public:
    WatchedStorage(const test::TestDrive& drive, const std::wstring& relative, RecordingListener& listener)
        : notificators_([&listener](StorageInfo&) { return std::make_unique<Forwarder>(listener); }) {
        RegKey entry = CreateKey(storageList_.get(), L"SID");
        WriteString(entry.get(), L"DriveString", drive.Root());
        WriteDword(entry.get(), L"Type", tnStorageType_Fixed);
        links_.storages = [this]() -> StorageManager& { return *storages_; };
        links_.folders = [this]() -> RegisteredFolderManager& { return *folders_; };
        links_.notificators = &notificators_;
        links_.plugins = [](const RegisteredFolder&) { return SharedPtr<TandemPlugin>(); };
        links_.commands = &listener;
        storages_ = std::make_unique<StorageManager>();
        folders_ = std::make_unique<RegisteredFolderManager>(*storages_, nullptr, MakeMonitorThreadFactory(links_));
        storage_ = storages_->FindById(L"SID");
        folder_ = folders_->CreateFolder(*storage_, L"Bench", relative + L"\\");
        folders_->RegisterFolder(folder_, *storage_);
        notificators_.Start(*storage_);
        folders_->StartMonitoring(folder_, false);
    }
    WatchedStorage(const WatchedStorage&) = delete;
    WatchedStorage& operator=(const WatchedStorage&) = delete;
    ~WatchedStorage() {
        folders_->StopMonitoringStorage(L"SID");
        notificators_.Stop(*storage_);
    }

private:
    test::RegistrySandbox sandbox_;
    RegKey watcherKey_ = CreateKey(HKEY_LOCAL_MACHINE, kWatcherKey);
    RegKey folderList_ = CreateKey(HKEY_LOCAL_MACHINE, kFolderListKey);
    RegKey olderList_ = CreateKey(HKEY_LOCAL_MACHINE, kOlderFolderListKey);
    RegKey storageList_ = CreateKey(HKEY_LOCAL_MACHINE, kStorageListKey);
    ChangeNotificators notificators_;
    MonitorLinks links_;
    std::unique_ptr<StorageManager> storages_;
    std::unique_ptr<RegisteredFolderManager> folders_;
    SharedPtr<StorageInfo> storage_;
    SharedPtr<RegisteredFolder> folder_;
};

// The watch is armed some time after monitoring starts: a file written until
// one is delivered shows it is.
void AwaitArmed(const std::wstring& folder, HANDLE ready) {
    for (int attempt = 0; attempt < 20; ++attempt) {
        UniqueHandle file(CreateFileW((folder + L"\\" + kReadyName).c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS,
                                      FILE_ATTRIBUTE_NORMAL, nullptr));
        if (!file) ThrowLastError();
        file.reset();
        if (WaitForSingleObject(ready, 2 * CChangeNotificator::kSettleDelay) == WAIT_OBJECT_0) return;
    }
    ThrowHr(HRESULT_FROM_WIN32(ERROR_TIMEOUT));
}

DirectoryWatch ArmWatch(const std::wstring& folder, BYTE* buffer) {
    DWORD error = ERROR_SUCCESS;
    UniqueHandle directory = OpenWatchedDirectory(folder, error);
    if (!directory) ThrowWin32(error);
    return DirectoryWatch(std::move(directory), MonitorThread::kFileFilter, false, buffer);
}

// Reads completions until stop is set; lost is told of every overflow after
// the read is issued again, so that nothing between the two goes unseen.
void ReadLoop(DirectoryWatch& watch, HANDLE stop, const std::function<void(const BYTE*, DWORD)>& records,
              const std::function<void()>& lost) {
    const HANDLE events[] = {stop, watch.Event()};
    while (WaitForMultipleObjects(2, events, FALSE, INFINITE) == WAIT_OBJECT_0 + 1) {
        DWORD bytes = 0;
        const DWORD error = watch.Complete(bytes);
        const bool overflow = error == ERROR_NOTIFY_ENUM_DIR || (error == ERROR_SUCCESS && bytes == 0);
        if (error == ERROR_SUCCESS && bytes > 0) records(watch.Buffer(), bytes);
        else if (!overflow) ThrowWin32(error);
        CheckWin32(watch.Issue());
        if (overflow) lost();
    }
}

struct Reference {
    std::unordered_set<std::wstring> seen;
    size_t overflows = 0;
    Clock::time_point last{};
};

void CreateBurst(const std::wstring& folder, size_t count) {
    for (size_t i = 0; i < count; ++i) {
        UniqueHandle file(CreateFileW((folder + L"\\" + FileName(i)).c_str(), GENERIC_WRITE, 0, nullptr, CREATE_NEW,
                                      FILE_ATTRIBUTE_NORMAL, nullptr));
        if (!file) ThrowLastError();
        DWORD written = 0;
        if (!WriteFile(file.get(), "data", 4, &written, nullptr)) ThrowLastError();
    }
}

void RemoveFolder(const std::wstring& folder, size_t count) {
    for (size_t i = 0; i < count; ++i) DeleteFileW((folder + L"\\" + FileName(i)).c_str());
    DeleteFileW((folder + L"\\" + kReadyName).c_str());
    RemoveDirectoryW(folder.c_str());
}

double MillisecondsBetween(Clock::time_point from, Clock::time_point to) {
    return std::chrono::duration<double, std::milli>(to - from).count();
}

SIZE_T PeakWorkingSet() {
    PROCESS_MEMORY_COUNTERS counters{};
    counters.cb = sizeof counters;
    if (!GetProcessMemoryInfo(GetCurrentProcess(), &counters, sizeof counters)) ThrowLastError();
    return counters.PeakWorkingSetSize;
}

void Run(size_t count) {
    // A letter no test program uses: the bench may run beside the tests.
    const test::TestDrive drive(L'Y', DRIVE_FIXED);
    const std::wstring folder = drive.Root() + L"Bench";
    if (!CreateDirectoryW(folder.c_str(), nullptr)) ThrowLastError();

    RecordingListener listener(folder, count);
    Reference reference;
    HRESULT bareHr = S_OK;
    HRESULT writeHr = S_OK;
    Clock::time_point lastWrite{};
    Clock::duration burst{};
    bool complete = false;
    // Generous: the settle delay plus time for the pipeline to drain.
    const DWORD timeout = 30000 + static_cast<DWORD>(count / 10);
    {
        const WatchedStorage storage(drive, L"Bench", listener);
        AwaitArmed(folder, listener.Ready());
        std::vector<DWORD> buffer(DirectoryWatch::kBufferSize / sizeof(DWORD));
        DirectoryWatch bare = ArmWatch(folder, reinterpret_cast<BYTE*>(buffer.data()));
        CheckWin32(bare.Issue());
        UniqueHandle stop(CreateEventW(nullptr, TRUE, FALSE, nullptr));
        if (!stop) ThrowLastError();
        std::thread reading([&] {
            bareHr = CatchHr([&] {
                ReadLoop(
                    bare, stop.get(),
                    [&](const BYTE* records, DWORD bytes) {
                        std::vector<ChangeEntry> entries;
                        ParseNotifyBuffer(records, bytes, folder, 0, nullptr, entries);
                        for (ChangeEntry& entry : entries)
                            if (!entry.path.ends_with(kReadyName) && reference.seen.insert(FoldPath(entry.path)).second)
                                reference.last = Clock::now();
                    },
                    [&] { ++reference.overflows; });
            });
        });
        const Clock::time_point start = Clock::now();
        writeHr = CatchHr([&] { CreateBurst(folder, count); });
        lastWrite = Clock::now();
        burst = lastWrite - start;
        complete = WaitForSingleObject(listener.known.Done(), timeout) == WAIT_OBJECT_0;
        SetEvent(stop.get());
        reading.join();
    }

    std::printf("files                    %zu\n", count);
    std::printf("burst written in         %.0f ms\n", std::chrono::duration<double, std::milli>(burst).count());
    if (complete)
        std::printf("all known after          %.0f ms from the last write (settle delay %lu ms)\n",
                    MillisecondsBetween(lastWrite, listener.known.Completed()), CChangeNotificator::kSettleDelay);
    else
        std::printf("all known after          not within %lu ms\n", timeout);
    std::printf("changes lost             %zu\n", count - listener.known.Count());
    std::printf("refreshes (overflows)    %zu\n", listener.refreshes);
    std::printf("peak working set         %.1f MiB\n", PeakWorkingSet() / (1024.0 * 1024.0));
    std::printf("bare loop: files seen    %zu, overflows %zu, last seen %.0f ms after the last write\n",
                reference.seen.size(), reference.overflows,
                reference.seen.empty() ? 0.0 : std::max(0.0, MillisecondsBetween(lastWrite, reference.last)));
    if (FAILED(writeHr) || FAILED(bareHr))
        std::printf("failures                 write 0x%08lx, bare loop 0x%08lx\n", static_cast<unsigned long>(writeHr),
                    static_cast<unsigned long>(bareHr));
    RemoveFolder(folder, count);
}

}  // namespace
}  // namespace tandem::bench

int main(int argc, char** argv) {
    const long long count = argc > 1 ? std::atoll(argv[1]) : 1000;
    if (count <= 0) {
        std::fprintf(stderr, "usage: monitor_bench [file count, default 1000]\n");
        return 2;
    }
    const HRESULT hr = tandem::CatchHr([&] { tandem::bench::Run(static_cast<size_t>(count)); });
    if (FAILED(hr)) std::fprintf(stderr, "failed: 0x%08lx\n", static_cast<unsigned long>(hr));
    return FAILED(hr) ? 1 : 0;
}
