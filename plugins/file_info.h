#pragma once

#include <windows.h>

#include <string>

#include "content_source.h"
#include "shared_ptr.h"
#include "sync_lock.h"

namespace tandem {

// A file time as local DATE in whole seconds; invalid when it could not be converted.
struct LocalTime {
    DATE value = 0;
    bool valid = false;
};

LocalTime ToLocalTime(const FILETIME& time) noexcept;

struct FileTimes {
    LocalTime creation;
    LocalTime lastAccess;
    LocalTime lastWrite;
};

FileTimes ToFileTimes(const FILETIME& creation, const FILETIME& lastAccess, const FILETIME& lastWrite) noexcept;

// Hidden and system entries count as hidden.
inline bool HasHiddenAttributes(DWORD attributes) noexcept {
    return (attributes & (FILE_ATTRIBUTE_HIDDEN | FILE_ATTRIBUTE_SYSTEM)) != 0;
}

// What is known of one file or folder: shared by the caches and the objects
// handed to plug-ins. Folder names end with a backslash; the top of a chain
// carries the storage root as its name.
class TandemFileInfo {
public:
    TandemFileInfo(SharedPtr<TandemFileInfo> parent, std::wstring name, const FileTimes& times, bool hidden);
    TandemFileInfo(const TandemFileInfo&) = delete;
    TandemFileInfo& operator=(const TandemFileInfo&) = delete;
    virtual ~TandemFileInfo() = default;

    const SharedPtr<TandemFileInfo>& Parent() const noexcept { return parent_; }
    const std::wstring& Name() const noexcept { return name_; }
    std::wstring FullPath() const;

    FileTimes Times() const;
    bool HiddenMark() const;
    // Its own mark or that of any ancestor.
    bool IsHidden() const;
    // A listing saw the entry again.
    void Update(const FileTimes& times, bool hidden);

private:
    const SharedPtr<TandemFileInfo> parent_;
    const std::wstring name_;
    mutable CSyncLock lock_;
    FileTimes times_;
    bool hidden_;
};

// A file as the content source describes it, with its properties read once.
class TandemContentInfo : public TandemFileInfo {
public:
    TandemContentInfo(SharedPtr<TandemFileInfo> parent, std::wstring name, const FileTimes& times, bool hidden,
                      ContentMediaPtr media, LONG category, ULONGLONG size);

    const ContentMedia& Media() const noexcept { return *media_; }
    LONG Category() const noexcept { return category_; }
    ULONGLONG Size() const noexcept { return size_; }
    // Every property of the file, read from source on the first call only.
    PropertyList Properties(ContentSource& source);

private:
    const ContentMediaPtr media_;
    const LONG category_;
    const ULONGLONG size_;
    CSyncLock cacheLock_;
    bool cached_ = false;
    PropertyList cache_;
};

using FileInfoPtr = SharedPtr<TandemFileInfo>;
using ContentInfoPtr = SharedPtr<TandemContentInfo>;

}  // namespace tandem
