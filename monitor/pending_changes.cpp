#include "pending_changes.h"

#include "unique_resource.h"

namespace tandem {
namespace {

bool IsDirectory(DWORD attributes) {
    return attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY) != 0;
}

LONG StateOf(LONG action) {
    switch (action) {
    case kActionAdded:
    case kActionRenamedNew: return kStateAdded;
    case kActionRemoved: return kStateRemoved;
    case kActionModified: return kStateModified;
    case kActionRenamedOld: return kStateRenamed;
    default: return kStateNone;
    }
}

}  // namespace

DWORD WindowsFileProbe::OpenForRead(const std::wstring& path) {
    UniqueHandle file(CreateFileW(path.c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                                  nullptr, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr));
    return file ? ERROR_SUCCESS : GetLastError();
}

DWORD WindowsFileProbe::Attributes(const std::wstring& path) { return GetFileAttributesW(path.c_str()); }

FileProbe& DefaultFileProbe() {
    static WindowsFileProbe probe;
    return probe;
}

std::wstring FoldPath(const std::wstring& path) {
    std::wstring key = path;
    if (!key.empty()) CharUpperBuffW(key.data(), static_cast<DWORD>(key.size()));
    return key;
}

void PendingChanges::Merge(ChangeEntry entry, DWORD now) {
    // The file watch also reports attribute and time changes of directories.
    if (entry.action == kActionModified && entry.directory == 0 && IsDirectory(probe_.Attributes(entry.path)))
        entry.directory = 1;
    const List::iterator found = Find(entry);
    if (found == list_.end()) return Append(entry, now);
    Unindex(found);
    if (!Apply(found->change, entry)) {
        list_.erase(found);
        return;
    }
    found->change.time = now;
    list_.splice(list_.end(), list_, found);
    Index(found);
}

PendingChanges::List::iterator PendingChanges::Find(const ChangeEntry& entry) {
    if (entry.action == kActionRenamedNew) return awaiting_.empty() ? list_.end() : awaiting_.front();
    if (entry.action < kActionAdded || entry.action > kActionRenamedOld) return list_.end();
    const auto bucket = byPath_.find(FoldPath(entry.path));
    return bucket == byPath_.end() ? list_.end() : bucket->second.front();
}

void PendingChanges::Append(ChangeEntry& entry, DWORD now) {
    PendingChange change;
    change.time = now;
    change.directory = entry.directory;
    change.state = StateOf(entry.action);
    change.plugins = std::move(entry.plugins);
    (entry.action == kActionRenamedOld ? change.oldPath : change.path) = std::move(entry.path);
    list_.push_back(Slot{std::move(change), {}, {}, false, {}});
    Index(std::prev(list_.end()));
}

bool PendingChanges::Apply(PendingChange& change, const ChangeEntry& entry) {
    const LONG state = change.state;
    switch (entry.action) {
    case kActionAdded:
        if (state == kStateModified || state == kStateRemoved) change.state = kStateAdded;
        return true;
    case kActionRemoved:
        if (state == kStateAdded) return false;
        if (state == kStateRenamed) {
            change.path = std::exchange(change.oldPath, std::wstring());
            change.state = kStateRemoved;
        } else if (state == kStateModified) {
            change.state = kStateRemoved;
        }
        return true;
    case kActionModified:
        if (state == kStateRemoved) change.state = kStateModified;
        return true;
    case kActionRenamedOld:
        if (state == kStateAdded) return false;
        if (state == kStateModified || state == kStateRemoved) {
            change.state = kStateRenamed;
            change.oldPath = entry.path;
        }
        change.path.clear();
        return true;
    case kActionRenamedNew:
        change.path = entry.path;
        return true;
    default:
        return true;
    }
}

DWORD PendingChanges::DeliverSettled(DWORD now, DWORD settle, const Deliver& deliver) {
    List postponed;
    while (!list_.empty()) {
        const List::iterator oldest = list_.begin();
        if (now - oldest->change.time < settle) break;
        switch (Classify(oldest->change)) {
        case Verdict::Deliver:
            // Unindexed first: a listener's failure must not leave a stale slot.
            Unindex(oldest);
            {
                const Slot slot = std::move(*oldest);
                list_.erase(oldest);
                deliver(slot.change);
            }
            break;
        case Verdict::Drop:
            Erase(oldest);
            break;
        case Verdict::Postpone:
            oldest->change.time = GetTickCount();
            postponed.splice(postponed.end(), list_, oldest);
            break;
        }
    }
    for (auto slot = postponed.begin(); slot != postponed.end();) {
        const auto moved = slot++;
        Unindex(moved);
        list_.splice(list_.end(), postponed, moved);
        Index(moved);
    }
    if (list_.empty()) return INFINITE;
    // The oldest change is due first; waiting a whole delay would make it late.
    const DWORD quiet = now - list_.front().change.time;
    return quiet < settle ? settle - quiet : 0;
}

PendingChanges::Verdict PendingChanges::Classify(const PendingChange& change) {
    const bool directory = change.directory == 1;
    switch (change.state) {
    case kStateAdded:
    case kStateModified:
        if (directory) return change.path.empty() ? Verdict::Drop : Verdict::Deliver;
        if (change.directory != 0) return Verdict::Drop;
        switch (probe_.OpenForRead(change.path)) {
        case ERROR_SUCCESS: return Verdict::Deliver;
        case ERROR_SHARING_VIOLATION: return Verdict::Postpone;
        default: return Verdict::Drop;
        }
    case kStateRemoved:
        if (directory) return change.path.empty() ? Verdict::Drop : Verdict::Deliver;
        if (change.directory != 0) return Verdict::Drop;
        return probe_.Attributes(change.path) == INVALID_FILE_ATTRIBUTES ? Verdict::Deliver : Verdict::Drop;
    case kStateRenamed:
        return change.path.empty() || change.oldPath.empty() ? Verdict::Drop : Verdict::Deliver;
    default:
        return Verdict::Drop;
    }
}

void PendingChanges::Index(List::iterator slot) {
    Slot& s = *slot;
    if (!s.change.path.empty()) {
        s.key = FoldPath(s.change.path);
        Bucket& bucket = byPath_[s.key];
        s.inBucket = bucket.insert(bucket.end(), slot);
    }
    s.awaitsName = s.change.state == kStateRenamed && s.change.path.empty();
    if (s.awaitsName) s.inAwaiting = awaiting_.insert(awaiting_.end(), slot);
}

void PendingChanges::Unindex(List::iterator slot) {
    Slot& s = *slot;
    if (!s.key.empty()) {
        const auto bucket = byPath_.find(s.key);
        bucket->second.erase(s.inBucket);
        if (bucket->second.empty()) byPath_.erase(bucket);
        s.key.clear();
    }
    if (s.awaitsName) awaiting_.erase(s.inAwaiting);
    s.awaitsName = false;
}

void PendingChanges::Erase(List::iterator slot) {
    Unindex(slot);
    list_.erase(slot);
}

std::vector<PendingChange> PendingChanges::Snapshot() const {
    std::vector<PendingChange> changes;
    changes.reserve(list_.size());
    for (const Slot& slot : list_) changes.push_back(slot.change);
    return changes;
}

}  // namespace tandem
