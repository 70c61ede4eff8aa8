#include "directory_watch.h"

#include "error.h"

namespace tandem {

DirectoryWatch::DirectoryWatch(UniqueHandle directory, DWORD filter, bool subTree, BYTE* buffer, DWORD size)
    : directory_(std::move(directory)),
      event_(CreateEventW(nullptr, TRUE, FALSE, nullptr)),
      filter_(filter),
      subTree_(subTree),
      buffer_(buffer),
      size_(size) {
    if (!event_) ThrowLastError();
    overlapped_.hEvent = event_.get();
}

DirectoryWatch::~DirectoryWatch() {
    if (!pending_) return;
    CancelIo(directory_.get());
    DWORD bytes = 0;
    GetOverlappedResult(directory_.get(), &overlapped_, &bytes, TRUE);
}

DWORD DirectoryWatch::Issue() {
    if (!ReadDirectoryChangesW(directory_.get(), buffer_, size_, subTree_ ? TRUE : FALSE, filter_, nullptr,
                               &overlapped_, nullptr))
        return GetLastError();
    pending_ = true;
    return ERROR_SUCCESS;
}

DWORD DirectoryWatch::Complete(DWORD& bytes) {
    bytes = 0;
    const BOOL done = GetOverlappedResult(directory_.get(), &overlapped_, &bytes, TRUE);
    pending_ = false;
    return done ? ERROR_SUCCESS : GetLastError();
}

UniqueHandle OpenWatchedDirectory(const std::wstring& path, DWORD& error) {
    UniqueHandle handle(CreateFileW(path.c_str(), FILE_LIST_DIRECTORY, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                                    OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS | FILE_FLAG_OVERLAPPED, nullptr));
    error = handle ? ERROR_SUCCESS : GetLastError();
    return handle;
}

}  // namespace tandem
