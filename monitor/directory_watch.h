#pragma once

#include <windows.h>

#include <functional>
#include <string>

#include "unique_resource.h"

namespace tandem {

// One overlapped ReadDirectoryChangesW handle on a directory, with its own
// buffer (64 KiB unless a test provokes overflows, DWORD-aligned, owned by the caller).
class DirectoryWatch {
public:
    static constexpr DWORD kBufferSize = 0x10000;

    DirectoryWatch(UniqueHandle directory, DWORD filter, bool subTree, BYTE* buffer, DWORD size = kBufferSize);
    DirectoryWatch(const DirectoryWatch&) = delete;
    DirectoryWatch& operator=(const DirectoryWatch&) = delete;
    // Cancels a read still pending and waits for it: the buffer and the
    // OVERLAPPED must not be written after they are gone.
    ~DirectoryWatch();

    // The Windows error of issuing the read, ERROR_SUCCESS once it is pending.
    DWORD Issue();
    // Waits for the completed read: its error, and the bytes in the buffer.
    DWORD Complete(DWORD& bytes);

    HANDLE Event() const noexcept { return event_.get(); }
    const BYTE* Buffer() const noexcept { return buffer_; }

private:
    UniqueHandle directory_;
    UniqueHandle event_;
    OVERLAPPED overlapped_{};
    const DWORD filter_;
    const bool subTree_;
    BYTE* const buffer_;
    const DWORD size_;
    bool pending_ = false;
};

// Opens a directory for watching (no delete sharing: the watched folder
// cannot be moved away); the Windows error in error on failure.
UniqueHandle OpenWatchedDirectory(const std::wstring& path, DWORD& error);

}  // namespace tandem
