#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <span>
#include <vector>

namespace tandem {

// One mesh of the Tokyo datum correction grid: the code of its south-west
// corner and the corrections there, in units of 100 / 2^30 seconds.
struct DatumGridRecord {
    std::int32_t code;
    std::int32_t latitude;
    std::int32_t longitude;
};

inline constexpr std::size_t kDatumGridRecordSize = 12;
// Units per arc-second of a correction.
inline constexpr double kDatumGridUnitsPerSecond = 10737418.24;

// The table linked into the program: 12-byte little-endian records.
std::span<const std::byte> DatumGridTable() noexcept;

std::size_t DatumGridRecordCount(std::span<const std::byte> table) noexcept;
// Record index of table; index must be below the record count.
DatumGridRecord DatumGridRecordAt(std::span<const std::byte> table, std::size_t index) noexcept;

// Exact-code lookups over a table, which must outlive the index. Codes are
// split into their first-order mesh (the upper four digits) and the place
// inside it (the lower four): one table of first-order meshes, and a dense
// block of record numbers for each first-order mesh the grid covers. Values
// that are not eight-digit codes are not indexed; the first of two equal
// codes wins.
class DatumGridIndex {
public:
    explicit DatumGridIndex(std::span<const std::byte> table);

    // The index of the linked table, built on first use; safe from any thread.
    static const DatumGridIndex& Shared();

    std::optional<DatumGridRecord> Find(std::int32_t code) const noexcept;
    std::size_t size() const noexcept { return indexed_; }
    std::size_t MemoryBytes() const noexcept { return sizeof(*this) + cells_.capacity() * sizeof(std::uint32_t); }

private:
    static constexpr std::int32_t kSplit = 10000;

    std::span<const std::byte> table_;
    std::vector<std::int32_t> blocks_;   // first-order mesh -> block number, -1 when absent
    std::vector<std::uint32_t> cells_;   // record number + 1, 0 when absent
    std::size_t indexed_ = 0;
};

}  // namespace tandem
