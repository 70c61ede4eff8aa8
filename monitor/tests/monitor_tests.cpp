#include <windows.h>

#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <cstring>
#include <condition_variable>
#include <mutex>
#include <string>
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

// ctest runs the tests of this program in parallel processes: a letter per test.
wchar_t LetterOfThisTest() {
    static const std::vector<std::string> tests = {
        "FileChangesSettleIntoOneCallEach", "DirectoriesAndPreExistingSubFolders", "HeldFileIsDeliveredOnlyAfterRelease",
        "AListenerFailureCostsOnlyItsChange", "IgnoreOpensNothingButPostsTheRequestedRefresh",
        "MonitorOnceIsWatchedAndSavedAsIgnore", "MissingFolderFallsBackThenChecksAccessibility"};
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
    void StartWatching() {
        folders_->StartMonitoring(folder_, false);
        ASSERT_TRUE(recorder_.WaitFor(L"monitoring"));
        // Monitoring is announced before the reads are armed; changes before that are not seen.
        for (int attempt = 0; attempt < 20; ++attempt) {
            const std::wstring ready = In(L"ready" + std::to_wstring(attempt));
            WriteFile(ready, "r");
            if (recorder_.WaitFor(L"file added " + ready, std::chrono::milliseconds(3 * kShortSettle))) return;
        }
        FAIL() << "the watch never reported a change";
    }
    std::wstring In(const std::wstring& name) const { return watched_ + L"\\" + name; }

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

}  // namespace
}  // namespace tandem::test
