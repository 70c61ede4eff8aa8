#include "datum_grid.h"

extern "C" const std::byte tandem_datum_grid[];
extern "C" const std::byte tandem_datum_grid_end[];

namespace tandem {

namespace {

std::int32_t LittleEndian32(const std::byte* bytes) noexcept {
    std::uint32_t value = 0;
    for (int i = 3; i >= 0; --i) value = (value << 8) | std::to_integer<std::uint32_t>(bytes[i]);
    return static_cast<std::int32_t>(value);
}

}  // namespace

std::span<const std::byte> DatumGridTable() noexcept {
    return {tandem_datum_grid, static_cast<std::size_t>(tandem_datum_grid_end - tandem_datum_grid)};
}

std::size_t DatumGridRecordCount(std::span<const std::byte> table) noexcept {
    return table.size() / kDatumGridRecordSize;
}

DatumGridRecord DatumGridRecordAt(std::span<const std::byte> table, std::size_t index) noexcept {
    const std::byte* record = table.data() + index * kDatumGridRecordSize;
    return {LittleEndian32(record), LittleEndian32(record + 4), LittleEndian32(record + 8)};
}

DatumGridIndex::DatumGridIndex(std::span<const std::byte> table) : table_(table), blocks_(kSplit, -1) {
    const std::size_t count = DatumGridRecordCount(table);
    for (std::size_t i = 0; i < count; ++i) {
        const std::int32_t code = DatumGridRecordAt(table, i).code;
        if (code < 0 || code >= kSplit * kSplit) continue;
        std::int32_t& block = blocks_[code / kSplit];
        if (block < 0) {
            block = static_cast<std::int32_t>(cells_.size() / kSplit);
            cells_.resize(cells_.size() + kSplit);
        }
        std::uint32_t& cell = cells_[static_cast<std::size_t>(block) * kSplit + code % kSplit];
        if (cell != 0) continue;
        cell = static_cast<std::uint32_t>(i + 1);
        ++indexed_;
    }
    cells_.shrink_to_fit();
}

const DatumGridIndex& DatumGridIndex::Shared() {
    static const DatumGridIndex index(DatumGridTable());
    return index;
}

std::optional<DatumGridRecord> DatumGridIndex::Find(std::int32_t code) const noexcept {
    if (code < 0 || code >= kSplit * kSplit) return std::nullopt;
    const std::int32_t block = blocks_[code / kSplit];
    if (block < 0) return std::nullopt;
    const std::uint32_t cell = cells_[static_cast<std::size_t>(block) * kSplit + code % kSplit];
    if (cell == 0) return std::nullopt;
    return DatumGridRecordAt(table_, cell - 1);
}

}  // namespace tandem
