#pragma once

#include <vector>

#include "byte_source.h"
#include "unique_resource.h"

namespace tandem::riffscan {

// The file being scanned, open for reading with read sharing. The scan reads
// a few bytes per chunk; a window of the file serves those reads in one call.
class FileSource final : public ByteSource {
public:
    // Throws ScanError(kRiffScanOpenFailed).
    explicit FileSource(const wchar_t* path);
    std::size_t ReadAt(std::uint64_t offset, std::span<std::uint8_t> into) override;

private:
    std::size_t ReadFromFile(std::uint64_t offset, std::span<std::uint8_t> into);

    UniqueHandle file_;
    std::vector<std::uint8_t> window_;
    std::uint64_t windowOffset_ = 0;
    std::size_t windowBytes_ = 0;
};

}  // namespace tandem::riffscan
