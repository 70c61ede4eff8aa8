#include "notify_buffer.h"

#include <cstddef>
#include <cstring>

#include "paths.h"

namespace tandem {
namespace {

constexpr DWORD kHeaderSize = offsetof(FILE_NOTIFY_INFORMATION, FileName);

// The buffer comes from the file system but is parsed defensively: fields
// are copied out, never read in place, so alignment does not matter either.
DWORD ReadDword(const BYTE* at) {
    DWORD value;
    std::memcpy(&value, at, sizeof value);
    return value;
}

}  // namespace

void ParseNotifyBuffer(const BYTE* buffer, DWORD length, const std::wstring& root, LONG directory,
                       const SharedPtr<TandemPlugin>& plugins, std::vector<ChangeEntry>& out) {
    if (!buffer) return;
    const std::wstring prefix = WithTrailingBackslash(root);
    DWORD offset = 0;
    while (length >= kHeaderSize && offset <= length - kHeaderSize) {
        const BYTE* record = buffer + offset;
        const DWORD next = ReadDword(record + offsetof(FILE_NOTIFY_INFORMATION, NextEntryOffset));
        const DWORD nameBytes = ReadDword(record + offsetof(FILE_NOTIFY_INFORMATION, FileNameLength));
        if (nameBytes > length - offset - kHeaderSize) return;
        if (const DWORD units = nameBytes / sizeof(wchar_t)) {
            std::wstring path = prefix;
            const size_t start = path.size();
            path.resize(start + units);
            std::memcpy(path.data() + start, record + kHeaderSize, units * sizeof(wchar_t));
            const LONG action = static_cast<LONG>(ReadDword(record + offsetof(FILE_NOTIFY_INFORMATION, Action)));
            out.push_back(ChangeEntry{directory, action, std::move(path), plugins});
        }
        if (next == 0 || next > length - offset) return;
        offset += next;
    }
}

}  // namespace tandem
