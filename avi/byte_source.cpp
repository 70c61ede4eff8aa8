#include "byte_source.h"

#include <algorithm>

#include "scan_error.h"

namespace tandem::riffscan {

void ByteSource::ReadExact(std::uint64_t offset, std::span<std::uint8_t> into) {
    if (ReadAt(offset, into) != into.size()) throw ScanError(kRiffScanReadFailed);
}

std::size_t SpanSource::ReadAt(std::uint64_t offset, std::span<std::uint8_t> into) {
    if (offset >= bytes_.size()) return 0;
    const auto available = bytes_.subspan(static_cast<std::size_t>(offset));
    const std::size_t count = std::min(available.size(), into.size());
    std::copy_n(available.begin(), count, into.begin());
    return count;
}

}  // namespace tandem::riffscan
