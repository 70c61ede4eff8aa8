#pragma once

#include <windows.h>

#include <cstdint>
#include <functional>
#include <list>
#include <string>
#include <unordered_map>
#include <vector>

#include "change_notifiable.h"

namespace tandem {

// What delivery asks the file system.
class FileProbe {
public:
    virtual ~FileProbe() = default;
    // ERROR_SUCCESS when the file opens for reading with every sharing mode.
    virtual DWORD OpenForRead(const std::wstring& path) = 0;
    virtual DWORD Attributes(const std::wstring& path) = 0;  // INVALID_FILE_ATTRIBUTES when absent
};

class WindowsFileProbe final : public FileProbe {
public:
    DWORD OpenForRead(const std::wstring& path) override;
    DWORD Attributes(const std::wstring& path) override;
};

FileProbe& DefaultFileProbe();

// The changes waiting to settle, oldest first. Entries are found by path in
// constant time: a burst of N paths costs O(N) however long the list grows.
class PendingChanges {
public:
    using Deliver = std::function<void(const PendingChange&)>;

    explicit PendingChanges(FileProbe& probe = DefaultFileProbe()) : probe_(probe) {}
    PendingChanges(const PendingChanges&) = delete;
    PendingChanges& operator=(const PendingChanges&) = delete;

    void Merge(ChangeEntry entry, DWORD now);
    // Hands every change quiet for settle milliseconds to deliver (or drops or
    // postpones it); returns the time until the oldest remaining one is due.
    DWORD DeliverSettled(DWORD now, DWORD settle, const Deliver& deliver);

    size_t Size() const noexcept { return list_.size(); }
    bool Empty() const noexcept { return list_.empty(); }
    // For inspection, oldest first.
    std::vector<PendingChange> Snapshot() const;

private:
    struct Slot;
    using List = std::list<Slot>;
    using Bucket = std::list<List::iterator>;
    struct Slot {
        PendingChange change;
        std::wstring key;  // the folded path the slot is indexed under; empty when unindexed
        Bucket::iterator inBucket;
        bool awaitsName = false;
        std::list<List::iterator>::iterator inAwaiting;
    };
    enum class Verdict { Deliver, Drop, Postpone };

    List::iterator Find(const ChangeEntry& entry);
    void Append(ChangeEntry& entry, DWORD now);
    // False when the merge drops the change.
    bool Apply(PendingChange& change, const ChangeEntry& entry);
    Verdict Classify(const PendingChange& change);
    // The slot was moved to the end: it goes to the end of its indexes too.
    void Index(List::iterator slot);
    void Unindex(List::iterator slot);
    void Erase(List::iterator slot);

    FileProbe& probe_;
    List list_;
    std::unordered_map<std::wstring, Bucket> byPath_;
    // Renames waiting for their new name, oldest first.
    std::list<List::iterator> awaiting_;
};

// Paths compare ignoring case; this is the key they are indexed by.
std::wstring FoldPath(const std::wstring& path);

}  // namespace tandem
