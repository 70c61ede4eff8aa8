#pragma once

#include <cstddef>
#include <cstdint>
#include <span>

namespace tandem::riffscan {

// Positioned reads of the bytes being scanned. A read past the end returns
// fewer bytes; a failing device throws ScanError(kRiffScanReadFailed).
class ByteSource {
public:
    virtual std::size_t ReadAt(std::uint64_t offset, std::span<std::uint8_t> into) = 0;

    // All of into, or ScanError(kRiffScanReadFailed).
    void ReadExact(std::uint64_t offset, std::span<std::uint8_t> into);

protected:
    ~ByteSource() = default;
};

// Bytes already in memory: what the scan runs over when it is fuzzed.
class SpanSource final : public ByteSource {
public:
    explicit SpanSource(std::span<const std::uint8_t> bytes) noexcept : bytes_(bytes) {}
    std::size_t ReadAt(std::uint64_t offset, std::span<std::uint8_t> into) override;

private:
    std::span<const std::uint8_t> bytes_;
};

}  // namespace tandem::riffscan
