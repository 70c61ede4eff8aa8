#pragma once

#include "byte_source.h"
#include "unique_resource.h"

namespace tandem::riffscan {

// The file being scanned, open for reading with read sharing.
class FileSource final : public ByteSource {
public:
    // Throws ScanError(kRiffScanOpenFailed).
    explicit FileSource(const wchar_t* path);
    std::size_t ReadAt(std::uint64_t offset, std::span<std::uint8_t> into) override;

private:
    UniqueHandle file_;
};

}  // namespace tandem::riffscan
