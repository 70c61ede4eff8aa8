#include "file_info.h"

#include "gps_properties.h"

namespace tandem {

LocalTime ToLocalTime(const FILETIME& time) noexcept {
    FILETIME local;
    SYSTEMTIME calendar;
    LocalTime result;
    if (!FileTimeToLocalFileTime(&time, &local) || !FileTimeToSystemTime(&local, &calendar)) return result;
    calendar.wMilliseconds = 0;
    result.valid = SystemTimeToVariantTime(&calendar, &result.value) != FALSE;
    return result;
}

FileTimes ToFileTimes(const FILETIME& creation, const FILETIME& lastAccess, const FILETIME& lastWrite) noexcept {
    return {ToLocalTime(creation), ToLocalTime(lastAccess), ToLocalTime(lastWrite)};
}

TandemFileInfo::TandemFileInfo(SharedPtr<TandemFileInfo> parent, std::wstring name, const FileTimes& times,
                               bool hidden)
    : parent_(std::move(parent)), name_(std::move(name)), times_(times), hidden_(hidden) {}

std::wstring TandemFileInfo::FullPath() const { return parent_ ? parent_->FullPath() + name_ : name_; }

FileTimes TandemFileInfo::Times() const {
    CSyncLockHolder hold(lock_);
    return times_;
}

bool TandemFileInfo::HiddenMark() const {
    CSyncLockHolder hold(lock_);
    return hidden_;
}

bool TandemFileInfo::IsHidden() const {
    for (const TandemFileInfo* info = this; info; info = info->parent_.get())
        if (info->HiddenMark()) return true;
    return false;
}

void TandemFileInfo::Update(const FileTimes& times, bool hidden) {
    CSyncLockHolder hold(lock_);
    times_ = times;
    hidden_ = hidden;
}

TandemContentInfo::TandemContentInfo(SharedPtr<TandemFileInfo> parent, std::wstring name, const FileTimes& times,
                                     bool hidden, ContentMediaPtr media, LONG category, ULONGLONG size)
    : TandemFileInfo(std::move(parent), std::move(name), times, hidden),
      media_(std::move(media)),
      category_(category),
      size_(size) {}

// A failed read leaves the cache empty and unfilled, so the next call tries
// again. Photographs add their GPS position after what the source reports.
PropertyList TandemContentInfo::Properties(ContentSource& source) {
    CSyncLockHolder hold(cacheLock_);
    if (!cached_) {
        PropertyList properties = source.ReadAllProperties(*media_);
        GpsReader gps;
        if (gps.ReadGps(FullPath())) CollectGpsProperties(gps, properties);
        cache_ = std::move(properties);
        cached_ = true;
    }
    return cache_;
}

}  // namespace tandem
