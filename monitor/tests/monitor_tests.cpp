#include <windows.h>

#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cstring>
#include <condition_variable>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "change_notificators.h"
#include "error.h"
#include "folder_keys.h"
#include "monitor_thread.h"
#include "registry.h"
#include "registry_values.h"
#include "testing/registry_sandbox.h"
#include "testing/test_drive.h"

namespace tandem::test {
namespace {

constexpr auto kTimeout = std::chrono::seconds(20);
constexpr DWORD kShortSettle = 300;

// Everything the notificator and the monitor thread hand out, in order.
class Recorder : public IChangeNotifiable, public MonitorCommands, public MonitoringStatusSink {
public:
    void OnChange(const PendingChange& change) override {
        if (failNext) {
            failNext = false;
            Add(L"failed");
            ThrowHr(E_FAIL);
        }
        const wchar_t* states[] = {L"none", L"added", L"modified", L"removed", L"renamed"};
        std::wstring text = std::wstring(change.directory ? L"dir " : L"file ") + states[change.state] + L" " +
                            change.path;
        if (!change.oldPath.empty()) text += L" from " + change.oldPath;
        Add(text);
    }
    void PostRefreshFolder(StorageInfo&, const std::wstring&, const std::wstring& path) override {
        Add(L"refresh " + path);
    }
    void PostShutdown(StorageInfo&) override { Add(L"shutdown"); }
    void PostCheckAccessibility(StorageInfo&) override { Add(L"check"); }
    void OnMonitoring(const RegisteredFolder&, bool monitoring) override {
        Add(monitoring ? L"monitoring" : L"not monitoring");
    }

    bool WaitFor(const std::wstring& item, std::chrono::milliseconds timeout = kTimeout) {
        std::unique_lock hold(mutex_);
        return changed_.wait_for(hold, timeout, [&] { return Count(item) > 0; });
    }
    size_t CountOf(const std::wstring& item) {
        std::lock_guard hold(mutex_);
        return Count(item);
    }
    std::vector<std::wstring> Items() {
        std::lock_guard hold(mutex_);
        return items_;
    }
    bool failNext = false;

private:
    void Add(std::wstring item) {
        std::lock_guard hold(mutex_);
        items_.push_back(std::move(item));
        changed_.notify_all();
    }
    size_t Count(const std::wstring& item) const { return std::count(items_.begin(), items_.end(), item); }

    std::mutex mutex_;
    std::condition_variable changed_;
    std::vector<std::wstring> items_;
};

void WriteFile(const std::wstring& path, const char* text, DWORD disposition = CREATE_ALWAYS) {
    UniqueHandle file(CreateFileW(path.c_str(), GENERIC_WRITE, FILE_SHARE_READ, nullptr, disposition,
                                  FILE_ATTRIBUTE_NORMAL, nullptr));
    ASSERT_TRUE(file) << GetLastError();
    SetFilePointer(file.get(), 0, nullptr, FILE_END);
    DWORD written = 0;
    ASSERT_TRUE(::WriteFile(file.get(), text, static_cast<DWORD>(strlen(text)), &written, nullptr));
}

void DeleteFilesIn(const std::wstring& directory) {
    WIN32_FIND_DATAW data;
    UniqueFindHandle find(FindFirstFileW((directory + L"\\*").c_str(), &data));
    if (!find) return;
    do {
        if (!(data.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY))
            DeleteFileW((directory + L"\\" + data.cFileName).c_str());
    } while (FindNextFileW(find.get(), &data));
}

UniqueHandle ManualEvent() { return UniqueHandle(CreateEventW(nullptr, TRUE, FALSE, nullptr)); }

// ctest runs the tests of this program in parallel processes: a letter per test.
wchar_t LetterOfThisTest() {
    static const std::vector<std::string> tests = {
        "FileChangesSettleIntoOneCallEach", "DirectoriesAndPreExistingSubFolders", "HeldFileIsDeliveredOnlyAfterRelease",
        "AListenerFailureCostsOnlyItsChange", "IgnoreOpensNothingButPostsTheRequestedRefresh",
        "MonitorOnceIsWatchedAndSavedAsIgnore", "MissingFolderFallsBackThenChecksAccessibility",
        "OverflowBecomesOneRefreshOfTheWholeFolder", "StopEndsTheOpenRetriesPromptly",
        "WatchedFolderIsNotDeletedOrRenamedAway", "FolderMovedAwayWithItsParent"};
    const std::string name = ::testing::UnitTest::GetInstance()->current_test_info()->name();
    const auto found = std::find(tests.begin(), tests.end(), name);
    return static_cast<wchar_t>(L'G' + (found - tests.begin()));
}

// A storage on a test drive with one registered folder "Watched\", watched
// by real monitor threads feeding a real notificator.
class MonitorTest : public ::testing::Test {
protected:
    void SetUp() override {
        RegKey entry = CreateKey(storageList_.get(), L"SID");
        WriteString(entry.get(), L"DriveString", drive_.Root());
        WriteDword(entry.get(), L"Type", tnStorageType_Fixed);
        ASSERT_TRUE(CreateDirectoryW(watched_.c_str(), nullptr));
        links_.storages = [this]() -> StorageManager& { return *storages_; };
        links_.folders = [this]() -> RegisteredFolderManager& { return *folders_; };
        links_.notificators = &notificators_;
        links_.plugins = [](const RegisteredFolder&) { return SharedPtr<TandemPlugin>(); };
        links_.commands = &recorder_;
        links_.status = &recorder_;
        storages_ = std::make_unique<StorageManager>();
        folders_ = std::make_unique<RegisteredFolderManager>(*storages_, nullptr, MakeMonitorThreadFactory(links_));
        storage_ = storages_->FindById(L"SID");
        folder_ = folders_->CreateFolder(*storage_, L"Player", L"Watched\\");
        folders_->RegisterFolder(folder_, *storage_);
        notificators_.Start(*storage_);
    }
    void TearDown() override {
        folders_->StopMonitoringStorage(L"SID");
        notificators_.Stop(*storage_);
    }
    void StartWatching() { StartWatching(folder_, watched_); }
    void StartWatching(const SharedPtr<RegisteredFolder>& folder, const std::wstring& directory) {
        folders_->StartMonitoring(folder, false);
        ASSERT_TRUE(recorder_.WaitFor(L"monitoring"));
        // Monitoring is announced before the reads are armed; changes before that are not seen.
        for (int attempt = 0; attempt < 20; ++attempt) {
            const std::wstring ready = directory + L"\\ready" + std::to_wstring(attempt);
            WriteFile(ready, "r");
            if (recorder_.WaitFor(L"file added " + ready, std::chrono::milliseconds(3 * kShortSettle))) return;
        }
        FAIL() << "the watch never reported a change";
    }
    std::wstring In(const std::wstring& name) const { return watched_ + L"\\" + name; }
    // Another registered folder; its monitor thread takes links_ as they are now.
    SharedPtr<RegisteredFolder> AddFolder(const std::wstring& relative) {
        SharedPtr<RegisteredFolder> folder = folders_->CreateFolder(*storage_, L"Player", relative + L"\\");
        folders_->RegisterFolder(folder, *storage_);
        return folder;
    }

    RegistrySandbox sandbox_;
    RegKey watcherKey_ = CreateKey(HKEY_LOCAL_MACHINE, kWatcherKey);
    RegKey folderList_ = CreateKey(HKEY_LOCAL_MACHINE, kFolderListKey);
    RegKey olderList_ = CreateKey(HKEY_LOCAL_MACHINE, kOlderFolderListKey);
    RegKey storageList_ = CreateKey(HKEY_LOCAL_MACHINE, kStorageListKey);
    TestDrive drive_{LetterOfThisTest(), DRIVE_FIXED};
    std::wstring watched_ = drive_.Root() + L"Watched";
    Recorder recorder_;
    ChangeNotificators notificators_{[this](StorageInfo&) { return std::make_unique<Forwarder>(recorder_); },
                                     ChangeNotificators::Options{kShortSettle}};
    MonitorLinks links_;
    std::unique_ptr<StorageManager> storages_;
    std::unique_ptr<RegisteredFolderManager> folders_;
    SharedPtr<StorageInfo> storage_;
    SharedPtr<RegisteredFolder> folder_;

private:
    struct Forwarder : IChangeNotifiable {
        explicit Forwarder(Recorder& r) : recorder(r) {}
        void OnChange(const PendingChange& change) override { recorder.OnChange(change); }
        Recorder& recorder;
    };
};

TEST_F(MonitorTest, FileChangesSettleIntoOneCallEach) {
    StartWatching();
    WriteFile(In(L"song.mp3"), "one");
    WriteFile(In(L"song.mp3"), "two", OPEN_EXISTING);
    WriteFile(In(L"song.mp3"), "three", OPEN_EXISTING);
    WriteFile(In(L"temp.tmp"), "x");
    ASSERT_TRUE(DeleteFileW(In(L"temp.tmp").c_str()));
    WriteFile(In(L"a.txt"), "a");
    ASSERT_TRUE(MoveFileW(In(L"a.txt").c_str(), In(L"b.txt").c_str()));
    WriteFile(In(L"old.txt"), "o");
    ASSERT_TRUE(recorder_.WaitFor(L"file added " + In(L"old.txt")));
    ASSERT_TRUE(MoveFileW(In(L"old.txt").c_str(), In(L"mid.txt").c_str()));
    ASSERT_TRUE(MoveFileW(In(L"mid.txt").c_str(), In(L"new.txt").c_str()));

    ASSERT_TRUE(recorder_.WaitFor(L"file renamed " + In(L"new.txt") + L" from " + In(L"old.txt")));
    // Wine may report the new file as added or only as modified.
    EXPECT_EQ(recorder_.CountOf(L"file added " + In(L"song.mp3")) + recorder_.CountOf(L"file modified " + In(L"song.mp3")), 1u);
    EXPECT_EQ(recorder_.CountOf(L"file added " + In(L"b.txt")), 1u);
    for (const auto& item : recorder_.Items()) {
        EXPECT_EQ(item.find(L"temp.tmp"), std::wstring::npos) << item;
        EXPECT_EQ(item.find(L"a.txt"), std::wstring::npos) << item;
    }
}

TEST_F(MonitorTest, DirectoriesAndPreExistingSubFolders) {
    const std::wstring old = In(L"Old");
    ASSERT_TRUE(CreateDirectoryW(old.c_str(), nullptr));
    StartWatching();
    WriteFile(old + L"\\inside.jpg", "jpg");
    ASSERT_TRUE(CreateDirectoryW(In(L"New").c_str(), nullptr));
    ASSERT_TRUE(recorder_.WaitFor(L"file added " + old + L"\\inside.jpg"));
    ASSERT_TRUE(recorder_.WaitFor(L"dir added " + In(L"New")));
    WriteFile(In(L"New\\later.jpg"), "jpg");
    ASSERT_TRUE(recorder_.WaitFor(L"file added " + In(L"New\\later.jpg")));
    ASSERT_TRUE(DeleteFileW((old + L"\\inside.jpg").c_str()));
    ASSERT_TRUE(RemoveDirectoryW(old.c_str()));
    ASSERT_TRUE(recorder_.WaitFor(L"dir removed " + old));
}

TEST_F(MonitorTest, HeldFileIsDeliveredOnlyAfterRelease) {
    StartWatching();
    WriteFile(In(L"held.bin"), "data");
    UniqueHandle held(CreateFileW(In(L"held.bin").c_str(), GENERIC_READ, 0, nullptr, OPEN_EXISTING, 0, nullptr));
    ASSERT_TRUE(held);
    WriteFile(In(L"free.bin"), "data");
    ASSERT_TRUE(recorder_.WaitFor(L"file added " + In(L"free.bin")));
    Sleep(2 * kShortSettle);  // the held file is postponed meanwhile
    EXPECT_EQ(recorder_.CountOf(L"file added " + In(L"held.bin")), 0u);
    held.reset();
    EXPECT_TRUE(recorder_.WaitFor(L"file added " + In(L"held.bin")));
}

TEST_F(MonitorTest, AListenerFailureCostsOnlyItsChange) {
    StartWatching();
    recorder_.failNext = true;
    WriteFile(In(L"first.txt"), "1");
    ASSERT_TRUE(recorder_.WaitFor(L"failed"));
    WriteFile(In(L"second.txt"), "2");
    EXPECT_TRUE(recorder_.WaitFor(L"file added " + In(L"second.txt")));
}

TEST_F(MonitorTest, IgnoreOpensNothingButPostsTheRequestedRefresh) {
    folder_->Behavior = zephfwBehaviorIgnore;
    folders_->StartMonitoring(folder_, true);
    ASSERT_TRUE(recorder_.WaitFor(L"refresh " + drive_.Root() + L"Watched\\"));
    // Nothing holds the folder: it can be renamed away at once.
    folders_->StopMonitoringStorage(L"SID");
    EXPECT_TRUE(MoveFileW(watched_.c_str(), (watched_ + L"2").c_str()));
    EXPECT_EQ(recorder_.CountOf(L"monitoring"), 0u);
}

TEST_F(MonitorTest, MonitorOnceIsWatchedAndSavedAsIgnore) {
    folder_->Behavior = zephfwBehaviorMonitorOnce;
    StartWatching();
    EXPECT_EQ(folder_->Behavior, zephfwBehaviorIgnore);
    RegKey saved = OpenKey(folderList_.get(), folder_->FolderID());
    EXPECT_EQ(ReadDword(saved.get(), L"Behavior", 9, 0, 9), static_cast<DWORD>(zephfwBehaviorIgnore));
    // The watch holds the folder without delete sharing.
    EXPECT_FALSE(MoveFileW(watched_.c_str(), (watched_ + L"2").c_str()));
    folders_->StopMonitoringStorage(L"SID");
    EXPECT_EQ(recorder_.Items().back(), L"not monitoring");
}

TEST_F(MonitorTest, MissingFolderFallsBackThenChecksAccessibility) {
    ASSERT_TRUE(RemoveDirectoryW(watched_.c_str()));
    folders_->StartMonitoring(folder_, false);
    ASSERT_TRUE(recorder_.WaitFor(L"check"));
    ASSERT_TRUE(recorder_.WaitFor(L"not monitoring"));
    EXPECT_EQ(recorder_.CountOf(L"monitoring"), 1u);
}

// Wine reports an overflow when the waiting records do not fit the read
// buffer: a buffer smaller than one record of a long name provokes it.
TEST_F(MonitorTest, OverflowBecomesOneRefreshOfTheWholeFolder) {
    links_.readBufferSize = 256;
    const std::wstring small = drive_.Root() + L"Small";
    ASSERT_TRUE(CreateDirectoryW(small.c_str(), nullptr));
    const std::wstring longName = small + L"\\" + std::wstring(200, L'x');
    WriteFile(longName, "x");
    StartWatching(AddFolder(L"Small"), small);
    // Both names of a rename arrive in one buffer: one overflow.
    ASSERT_TRUE(MoveFileW(longName.c_str(), (longName + L"y").c_str()));
    ASSERT_TRUE(recorder_.WaitFor(L"refresh " + small + L"\\"));
    WriteFile(small + L"\\after.txt", "a");
    ASSERT_TRUE(recorder_.WaitFor(L"file added " + small + L"\\after.txt"));
    EXPECT_EQ(recorder_.CountOf(L"refresh " + small + L"\\"), 1u);
    for (const auto& item : recorder_.Items()) EXPECT_EQ(item.find(L"xxxx"), std::wstring::npos) << item;
}

TEST_F(MonitorTest, StopEndsTheOpenRetriesPromptly) {
    const UniqueHandle opening = ManualEvent();
    std::atomic<int> attempts{0};
    links_.openDirectory = [&](const std::wstring&, DWORD& error) {
        ++attempts;
        SetEvent(opening.get());
        error = ERROR_NETNAME_DELETED;
        return UniqueHandle();
    };
    folders_->StartMonitoring(folder_, false);
    ASSERT_EQ(WaitForSingleObject(opening.get(), 20000), WAIT_OBJECT_0);
    const auto stopping = std::chrono::steady_clock::now();
    folders_->StopMonitoringStorage(L"SID");
    EXPECT_LT(std::chrono::steady_clock::now() - stopping, std::chrono::seconds(1));
    EXPECT_EQ(recorder_.CountOf(L"shutdown"), 0u);
    EXPECT_EQ(recorder_.CountOf(L"check"), 0u);

    // Left alone, the retries run out and the vanished share shuts the storage down.
    links_.openRetryWait = 1;
    const int before = attempts;
    folders_->StartMonitoring(folder_, false);
    ASSERT_TRUE(recorder_.WaitFor(L"shutdown"));
    EXPECT_EQ(attempts - before, MonitorThread::kOpenRetries + 1);
    EXPECT_EQ(recorder_.CountOf(L"check"), 0u);
    folders_->StopMonitoringStorage(L"SID");
}

TEST_F(MonitorTest, WatchedFolderIsNotDeletedOrRenamedAway) {
    StartWatching();
    DeleteFilesIn(watched_);
    EXPECT_FALSE(RemoveDirectoryW(watched_.c_str()));
    EXPECT_FALSE(MoveFileW(watched_.c_str(), (watched_ + L"2").c_str()));
    WriteFile(In(L"still.txt"), "s");
    EXPECT_TRUE(recorder_.WaitFor(L"file added " + In(L"still.txt")));
    EXPECT_EQ(recorder_.CountOf(L"check") + recorder_.CountOf(L"shutdown"), 0u);
}

// Wine, unlike Windows, lets the parent of a watched folder move while the
// watch is open. Changes in the moved folder must not be delivered under
// names that no longer exist, and stopping must not hang.
TEST_F(MonitorTest, FolderMovedAwayWithItsParent) {
    const std::wstring outer = drive_.Root() + L"Outer";
    const std::wstring inner = outer + L"\\Inner";
    ASSERT_TRUE(CreateDirectoryW(outer.c_str(), nullptr));
    ASSERT_TRUE(CreateDirectoryW(inner.c_str(), nullptr));
    StartWatching(AddFolder(L"Outer\\Inner"), inner);
    StartWatching();
    const std::wstring gone = drive_.Root() + L"Gone";
    ASSERT_TRUE(MoveFileW(outer.c_str(), gone.c_str()));
    WriteFile(gone + L"\\Inner\\late.txt", "l");
    // Delivered after the late file's records, which arrived first.
    WriteFile(In(L"marker.txt"), "m");
    ASSERT_TRUE(recorder_.WaitFor(L"file added " + In(L"marker.txt")));
    EXPECT_EQ(recorder_.CountOf(L"file added " + inner + L"\\late.txt"), 0u);
    const auto stopping = std::chrono::steady_clock::now();
    folders_->StopMonitoringStorage(L"SID");
    EXPECT_LT(std::chrono::steady_clock::now() - stopping, std::chrono::seconds(5));
    EXPECT_EQ(recorder_.CountOf(L"not monitoring"), 2u);
}

// The real delay: one import about two seconds after the last write.
TEST(ChangeNotificatorTest, DeliversAboutTwoSecondsAfterTheLastWrite) {
    wchar_t temp[MAX_PATH];
    GetTempPathW(MAX_PATH, temp);
    const std::wstring path = std::wstring(temp) + L"tandem_settle_" + std::to_wstring(GetCurrentProcessId());
    WriteFile(path, "x");
    Recorder recorder;
    CChangeNotificator notificator({&recorder});
    notificator.Start();
    const auto entry = [&](LONG action) { return ChangeEntry{0, action, path, nullptr}; };
    notificator.AddEntries({entry(kActionAdded)});
    Sleep(500);
    notificator.AddEntries({entry(kActionModified)});
    const auto last = std::chrono::steady_clock::now();
    ASSERT_TRUE(recorder.WaitFor(L"file added " + path));
    const auto waited = std::chrono::duration_cast<std::chrono::milliseconds>(std::chrono::steady_clock::now() - last);
    EXPECT_GE(waited.count(), 1900);
    EXPECT_LE(waited.count(), 3000);
    EXPECT_EQ(recorder.Items().size(), 1u);
    notificator.Stop();
    DeleteFileW(path.c_str());
}

// Blocks in its first delivery until released.
class BlockingListener final : public IChangeNotifiable {
public:
    explicit BlockingListener(Recorder& recorder) : recorder_(recorder) {}
    void OnChange(const PendingChange& change) override {
        if (first_.exchange(false)) {
            SetEvent(entered.get());
            WaitForSingleObject(release.get(), INFINITE);
        }
        recorder_.OnChange(change);
    }
    const UniqueHandle entered = ManualEvent();
    const UniqueHandle release = ManualEvent();

private:
    Recorder& recorder_;
    std::atomic<bool> first_{true};
};

// Files in the temporary folder that exist for one test.
class TempFiles {
public:
    explicit TempFiles(std::initializer_list<const wchar_t*> names) {
        wchar_t temp[MAX_PATH];
        GetTempPathW(MAX_PATH, temp);
        for (const wchar_t* name : names) {
            paths.push_back(std::wstring(temp) + L"tandem_" + name + L"_" + std::to_wstring(GetCurrentProcessId()));
            WriteFile(paths.back(), "x");
        }
    }
    ~TempFiles() {
        for (const auto& path : paths) DeleteFileW(path.c_str());
    }
    std::vector<std::wstring> paths;
};

ChangeEntry Added(const std::wstring& path) { return ChangeEntry{0, kActionAdded, path, nullptr}; }

// A storage disconnected while its changes settle: nothing is delivered
// while it is away, and what was pending, or arrived meanwhile, follows the reconnect.
TEST(ChangeNotificatorTest, StopKeepsPendingChangesForTheNextStart) {
    const TempFiles files{L"kept_a", L"kept_b"};
    Recorder recorder;
    CChangeNotificator notificator({&recorder});
    notificator.Start();
    notificator.AddEntries({Added(files.paths[0])});
    notificator.Stop();
    notificator.AddEntries({Added(files.paths[1])});
    EXPECT_TRUE(recorder.Items().empty());
    notificator.Start();
    ASSERT_TRUE(recorder.WaitFor(L"file added " + files.paths[0]));
    ASSERT_TRUE(recorder.WaitFor(L"file added " + files.paths[1]));
    EXPECT_EQ(recorder.Items().size(), 2u);
}

// Whether the stop lands during the delivery or just after it, every change
// is delivered exactly once across the reconnect.
TEST(ChangeNotificatorTest, StopDuringADeliveryLosesNothing) {
    const TempFiles files{L"mid_a", L"mid_b", L"mid_c"};
    Recorder recorder;
    BlockingListener listener(recorder);
    CChangeNotificator notificator({&listener}, CChangeNotificator::Options{kShortSettle});
    notificator.Start();
    notificator.AddEntries({Added(files.paths[0]), Added(files.paths[1]), Added(files.paths[2])});
    ASSERT_EQ(WaitForSingleObject(listener.entered.get(), 20000), WAIT_OBJECT_0);
    std::atomic<bool> stopping{false};
    std::thread stopper([&] {
        stopping = true;
        notificator.Stop();
    });
    while (!stopping) SwitchToThread();
    SetEvent(listener.release.get());
    stopper.join();
    notificator.Start();
    for (const auto& path : files.paths) {
        ASSERT_TRUE(recorder.WaitFor(L"file added " + path));
    }
    EXPECT_EQ(recorder.Items().size(), 3u);
}

}  // namespace
}  // namespace tandem::test
