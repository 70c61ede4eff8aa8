#include <windows.h>

#include <gtest/gtest.h>

#include <chrono>
#include <cstring>
#include <map>
#include <string>
#include <vector>

#include "notify_buffer.h"
#include "pending_changes.h"

namespace tandem::test {
namespace {

constexpr DWORD kSettle = 2000;

// A file system of named files; a path may be held against reading.
class FakeProbe : public FileProbe {
public:
    DWORD OpenForRead(const std::wstring& path) override {
        const auto found = files.find(path);
        if (found == files.end()) return ERROR_FILE_NOT_FOUND;
        return found->second ? ERROR_SHARING_VIOLATION : ERROR_SUCCESS;
    }
    DWORD Attributes(const std::wstring& path) override {
        if (directories.count(path)) return FILE_ATTRIBUTE_DIRECTORY;
        return files.count(path) ? FILE_ATTRIBUTE_NORMAL : INVALID_FILE_ATTRIBUTES;
    }
    std::map<std::wstring, bool> files;  // path -> held
    std::map<std::wstring, bool> directories;
};

class PendingChangesTest : public ::testing::Test {
protected:
    void Add(LONG action, const std::wstring& path, LONG directory = 0) {
        pending_.Merge(ChangeEntry{directory, action, path, nullptr}, now_);
    }
    // Everything delivered once the delay has passed.
    std::vector<PendingChange> Settle() {
        std::vector<PendingChange> delivered;
        pending_.DeliverSettled(now_ + kSettle, kSettle, [&](const PendingChange& c) { delivered.push_back(c); });
        return delivered;
    }

    FakeProbe probe_;
    PendingChanges pending_{probe_};
    DWORD now_ = GetTickCount();
};

TEST_F(PendingChangesTest, CreatedAndRemovedWithinTheWindowIsNothing) {
    Add(kActionAdded, L"C:\\w\\a.txt");
    Add(kActionModified, L"C:\\w\\a.txt");
    Add(kActionRemoved, L"c:\\W\\A.TXT");
    EXPECT_TRUE(pending_.Empty());
    EXPECT_TRUE(Settle().empty());
}

TEST_F(PendingChangesTest, SeveralWritesAreOneAddedChange) {
    probe_.files[L"C:\\w\\a.txt"] = false;
    Add(kActionAdded, L"C:\\w\\a.txt");
    for (int i = 0; i < 5; ++i) Add(kActionModified, L"C:\\w\\a.txt");
    const auto delivered = Settle();
    ASSERT_EQ(delivered.size(), 1u);
    EXPECT_EQ(delivered[0].state, kStateAdded);
}

TEST_F(PendingChangesTest, RenamedTwiceIsOneRenameFromFirstToLast) {
    Add(kActionModified, L"C:\\w\\a");
    Add(kActionRenamedOld, L"C:\\w\\a");
    Add(kActionRenamedNew, L"C:\\w\\b");
    Add(kActionRenamedOld, L"C:\\w\\b");
    Add(kActionRenamedNew, L"C:\\w\\c");
    const auto delivered = Settle();
    ASSERT_EQ(delivered.size(), 1u);
    EXPECT_EQ(delivered[0].state, kStateRenamed);
    EXPECT_EQ(delivered[0].oldPath, L"C:\\w\\a");
    EXPECT_EQ(delivered[0].path, L"C:\\w\\c");
}

TEST_F(PendingChangesTest, CreatedThenRenamedIsAnImportOfTheNewName) {
    probe_.files[L"C:\\w\\new"] = false;
    Add(kActionAdded, L"C:\\w\\old");
    Add(kActionRenamedOld, L"C:\\w\\old");
    Add(kActionRenamedNew, L"C:\\w\\new");
    const auto delivered = Settle();
    ASSERT_EQ(delivered.size(), 1u);
    EXPECT_EQ(delivered[0].state, kStateAdded);
    EXPECT_EQ(delivered[0].path, L"C:\\w\\new");
}

TEST_F(PendingChangesTest, MergeTableRows) {
    struct Row {
        std::vector<LONG> actions;
        LONG state;  // kStateNone: dropped
    };
    const std::vector<Row> rows = {
        {{kActionModified, kActionAdded}, kStateAdded},    {{kActionRemoved, kActionAdded}, kStateAdded},
        {{kActionModified, kActionRemoved}, kStateRemoved}, {{kActionRemoved, kActionRemoved}, kStateRemoved},
        {{kActionRemoved, kActionModified}, kStateModified}, {{kActionAdded, kActionModified}, kStateAdded},
        {{kActionRemoved, kActionRenamedOld}, kStateRenamed}, {{kActionAdded, kActionRenamedOld}, kStateNone},
        {{kActionAdded, kActionAdded}, kStateAdded},
    };
    for (const Row& row : rows) {
        PendingChanges pending(probe_);
        for (LONG action : row.actions) pending.Merge(ChangeEntry{0, action, L"C:\\w\\x", nullptr}, now_);
        const auto changes = pending.Snapshot();
        if (row.state == kStateNone) {
            EXPECT_TRUE(changes.empty());
        } else {
            ASSERT_EQ(changes.size(), 1u);
            EXPECT_EQ(changes[0].state, row.state) << row.actions.front() << "," << row.actions.back();
        }
    }
}

TEST_F(PendingChangesTest, RenamedThenRemovedReportsTheFirstNameRemoved) {
    Add(kActionModified, L"C:\\w\\a");
    Add(kActionRenamedOld, L"C:\\w\\a");
    Add(kActionRenamedNew, L"C:\\w\\b");
    Add(kActionRemoved, L"C:\\w\\b");
    const auto delivered = Settle();
    ASSERT_EQ(delivered.size(), 1u);
    EXPECT_EQ(delivered[0].state, kStateRemoved);
    EXPECT_EQ(delivered[0].path, L"C:\\w\\a");
    EXPECT_TRUE(delivered[0].oldPath.empty());
}

TEST_F(PendingChangesTest, DeliveryRules) {
    probe_.files[L"C:\\w\\back"] = false;
    probe_.directories[L"C:\\w\\dir"] = true;
    Add(kActionRemoved, L"C:\\w\\gone");      // delivered: does not exist
    Add(kActionRemoved, L"C:\\w\\back");      // dropped: exists again
    Add(kActionModified, L"C:\\w\\vanished");  // dropped: cannot be opened
    Add(kActionModified, L"C:\\w\\dir");      // a directory: delivered as one
    Add(kActionRenamedNew, L"C:\\w\\alone");   // an added file that cannot be opened: dropped
    Add(kActionRenamedOld, L"C:\\w\\half");    // dropped: no new name
    Add(7, L"C:\\w\\odd");                    // dropped: unknown action
    const auto delivered = Settle();
    ASSERT_EQ(delivered.size(), 2u);
    EXPECT_EQ(delivered[0].path, L"C:\\w\\gone");
    EXPECT_EQ(delivered[1].path, L"C:\\w\\dir");
    EXPECT_EQ(delivered[1].directory, 1);
    EXPECT_TRUE(pending_.Empty());
}

TEST_F(PendingChangesTest, HeldFileIsPostponedBehindTheOthers) {
    probe_.files[L"C:\\w\\held"] = true;
    probe_.files[L"C:\\w\\free"] = false;
    Add(kActionAdded, L"C:\\w\\held");
    now_ += 10;
    Add(kActionAdded, L"C:\\w\\later");
    std::vector<PendingChange> delivered;
    const auto collect = [&](const PendingChange& c) { delivered.push_back(c); };
    const DWORD wait = pending_.DeliverSettled(now_ + kSettle - 5, kSettle, collect);  // held due, later not
    EXPECT_TRUE(delivered.empty());
    EXPECT_GT(wait, 0u);
    EXPECT_LE(wait, kSettle);
    // The held file went behind the later one, with a fresh time.
    const auto order = pending_.Snapshot();
    ASSERT_EQ(order.size(), 2u);
    EXPECT_EQ(order[0].path, L"C:\\w\\later");
    EXPECT_EQ(order[1].path, L"C:\\w\\held");
    probe_.files[L"C:\\w\\held"] = false;
    pending_.DeliverSettled(GetTickCount() + 2 * kSettle, kSettle, collect);
    ASSERT_EQ(delivered.size(), 1u);
    EXPECT_EQ(delivered[0].path, L"C:\\w\\held");
    EXPECT_EQ(pending_.DeliverSettled(GetTickCount(), kSettle, collect), INFINITE);
}

TEST_F(PendingChangesTest, OnlyQuietChangesAreDeliveredOldestFirst) {
    probe_.files[L"C:\\w\\a"] = false;
    probe_.files[L"C:\\w\\b"] = false;
    Add(kActionAdded, L"C:\\w\\a");
    Add(kActionAdded, L"C:\\w\\b");
    now_ += 1500;
    Add(kActionModified, L"C:\\w\\a");  // moves a behind b with a new time
    std::vector<std::wstring> delivered;
    pending_.DeliverSettled(now_ + 600, kSettle, [&](const PendingChange& c) { delivered.push_back(c.path); });
    EXPECT_EQ(delivered, std::vector<std::wstring>{L"C:\\w\\b"});
    EXPECT_EQ(pending_.Size(), 1u);
}

// A burst of distinct paths must not cost a scan of the list per entry.
TEST_F(PendingChangesTest, BurstOfDistinctPathsIsLinear) {
    const auto timeBurst = [&](int count) {
        PendingChanges pending(probe_);
        const auto start = std::chrono::steady_clock::now();
        for (int i = 0; i < count; ++i) {
            const std::wstring path = L"C:\\w\\f" + std::to_wstring(i);
            pending.Merge(ChangeEntry{0, kActionAdded, path, nullptr}, now_);
            pending.Merge(ChangeEntry{0, kActionModified, path, nullptr}, now_);
        }
        return std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
    };
    const double small = timeBurst(20000);
    const double large = timeBurst(80000);
    EXPECT_LT(large, small * 10) << small << " s for 20000, " << large << " s for 80000";
}

std::vector<BYTE> Record(DWORD next, DWORD action, const std::wstring& name, DWORD claimedBytes) {
    std::vector<BYTE> bytes(12 + name.size() * 2);
    std::memcpy(bytes.data(), &next, 4);
    std::memcpy(bytes.data() + 4, &action, 4);
    std::memcpy(bytes.data() + 8, &claimedBytes, 4);
    std::memcpy(bytes.data() + 12, name.data(), name.size() * 2);
    return bytes;
}

TEST(NotifyBufferTest, WalksTheChainAndRejectsBrokenOnes) {
    auto first = Record(16, kActionRenamedOld, L"ab", 4);
    first.resize(16);
    const auto second = Record(0, kActionRenamedNew, L"cd", 4);
    first.insert(first.end(), second.begin(), second.end());
    std::vector<ChangeEntry> out;
    ParseNotifyBuffer(first.data(), static_cast<DWORD>(first.size()), L"C:\\w", 1, nullptr, out);
    ASSERT_EQ(out.size(), 2u);
    EXPECT_EQ(out[0].path, L"C:\\w\\ab");
    EXPECT_EQ(out[1].path, L"C:\\w\\cd");
    EXPECT_EQ(out[1].action, kActionRenamedNew);
    EXPECT_EQ(out[1].directory, 1);

    out.clear();
    const auto overlong = Record(0, kActionAdded, L"ab", 400);  // name runs past the buffer
    ParseNotifyBuffer(overlong.data(), static_cast<DWORD>(overlong.size()), L"C:\\w\\", 0, nullptr, out);
    EXPECT_TRUE(out.empty());

    const auto pastEnd = Record(4000, kActionAdded, L"ab", 4);  // next record outside
    ParseNotifyBuffer(pastEnd.data(), static_cast<DWORD>(pastEnd.size()), L"C:\\w\\", 0, nullptr, out);
    EXPECT_EQ(out.size(), 1u);

    out.clear();
    const auto nameless = Record(0, kActionAdded, L"", 0);
    ParseNotifyBuffer(nameless.data(), static_cast<DWORD>(nameless.size()), L"C:\\w\\", 0, nullptr, out);
    ParseNotifyBuffer(nameless.data(), 7, L"C:\\w\\", 0, nullptr, out);  // truncated header
    EXPECT_TRUE(out.empty());

    const std::wstring longName(32767, L'n');
    const auto huge = Record(0, kActionAdded, longName, 32767 * 2);
    ParseNotifyBuffer(huge.data(), static_cast<DWORD>(huge.size()), L"C:\\w\\", 0, nullptr, out);
    ASSERT_EQ(out.size(), 1u);
    EXPECT_EQ(out[0].path.size(), 5u + 32767u);
}

}  // namespace
}  // namespace tandem::test
