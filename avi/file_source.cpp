#include "file_source.h"

#include <algorithm>
#include <cstring>

#include "scan_error.h"

namespace tandem::riffscan {
namespace {

constexpr std::size_t kWindowBytes = 4096;

}  // namespace

FileSource::FileSource(const wchar_t* path) {
    if (path == nullptr || *path == L'\0') throw ScanError(kRiffScanOpenFailed);
    file_.reset(CreateFileW(path, GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr));
    if (!file_) throw ScanError(kRiffScanOpenFailed);
}

std::size_t FileSource::ReadAt(std::uint64_t offset, std::span<std::uint8_t> into) {
    if (into.size() > kWindowBytes) return ReadFromFile(offset, into);
    const bool inWindow = offset >= windowOffset_ && offset + into.size() <= windowOffset_ + windowBytes_;
    if (!inWindow) {
        window_.resize(kWindowBytes);
        windowOffset_ = offset;
        windowBytes_ = 0;  // stays empty should the read throw
        windowBytes_ = ReadFromFile(offset, window_);
    }
    const std::uint64_t skip = offset - windowOffset_;
    const std::size_t count = skip < windowBytes_ ? std::min(into.size(), windowBytes_ - static_cast<std::size_t>(skip)) : 0;
    if (count > 0) std::memcpy(into.data(), window_.data() + skip, count);
    return count;
}

std::size_t FileSource::ReadFromFile(std::uint64_t offset, std::span<std::uint8_t> into) {
    std::size_t done = 0;
    while (done < into.size()) {
        const std::uint64_t at = offset + done;
        OVERLAPPED position{};
        position.Offset = static_cast<DWORD>(at);
        position.OffsetHigh = static_cast<DWORD>(at >> 32);
        const auto wanted = static_cast<DWORD>(std::min<std::size_t>(into.size() - done, 1u << 30));
        DWORD read = 0;
        if (!ReadFile(file_.get(), into.data() + done, wanted, &read, &position)) {
            if (GetLastError() == ERROR_HANDLE_EOF) break;
            throw ScanError(kRiffScanReadFailed);
        }
        if (read == 0) break;
        done += read;
    }
    return done;
}

}  // namespace tandem::riffscan
