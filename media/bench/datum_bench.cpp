// Tokyo-to-WGS84 conversions per second through the exact-code index, the
// index's build time and size, and the same points through a forward scan
// of the table that resumes after its previous hit and wraps around.

#include <windows.h>
#include <psapi.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <random>
#include <vector>

#include "datum_grid.h"
#include "tokyo_datum.h"

namespace {

using Clock = std::chrono::steady_clock;

double SecondsSince(Clock::time_point start) {
    return std::chrono::duration<double>(Clock::now() - start).count();
}

// Lookups over the table as it lies, in its own order.
class ForwardScan {
public:
    explicit ForwardScan(std::span<const std::byte> table)
        : table_(table), count_(tandem::DatumGridRecordCount(table)) {}

    bool Find(std::int32_t code, tandem::DatumGridRecord& record) {
        for (std::size_t step = 0; step < count_; ++step) {
            const std::size_t at = (next_ + step) % count_;
            record = tandem::DatumGridRecordAt(table_, at);
            if (record.code == code) {
                next_ = at;
                return true;
            }
        }
        return false;
    }

private:
    std::span<const std::byte> table_;
    std::size_t count_;
    std::size_t next_ = 0;
};

// The four corner lookups of one conversion, through the scan.
bool ScanCorners(ForwardScan& scan, double latitude, double longitude) {
    const tandem::MeshPosition at = tandem::LocateMesh(latitude, longitude);
    tandem::DatumGridRecord record{};
    return scan.Find(at.code, record) && scan.Find(at.east, record) && scan.Find(at.north, record) &&
           scan.Find(at.northEast, record);
}

std::size_t WorkingSet() {
    PROCESS_MEMORY_COUNTERS counters{};
    counters.cb = sizeof(counters);
    GetProcessMemoryInfo(GetCurrentProcess(), &counters, sizeof(counters));
    return counters.WorkingSetSize;
}

}  // namespace

int main(int argc, char** argv) {
    const std::size_t points = argc > 1 ? std::strtoull(argv[1], nullptr, 10) : 1000000;
    const std::size_t scanned = argc > 2 ? std::strtoull(argv[2], nullptr, 10) : 2000;

    // Points inside Japan: anywhere in meshes of the grid, picked at random.
    const auto table = tandem::DatumGridTable();
    std::mt19937_64 random(2026);
    std::uniform_int_distribution<std::size_t> records(0, tandem::DatumGridRecordCount(table) - 1);
    std::uniform_real_distribution<double> inside(0.0, 1.0);
    std::vector<std::pair<double, double>> decimal;
    std::vector<std::pair<double, double>> packed;
    decimal.reserve(points);
    packed.reserve(points);
    for (std::size_t i = 0; i < points; ++i) {
        const std::int32_t code = tandem::DatumGridRecordAt(table, records(random)).code;
        const int rows = code / 1000000 * 80 + code / 1000 % 10 * 10 + code / 10 % 10;
        const int columns = code / 10000 % 100 * 80 + code / 100 % 10 * 10 + code % 10;
        decimal.emplace_back((rows + inside(random)) / 120.0, 100 + (columns + inside(random)) / 80.0);
        packed.emplace_back(tandem::PackDms(decimal.back().first), tandem::PackDms(decimal.back().second));
    }
    const std::size_t before = WorkingSet();
    auto start = Clock::now();
    const tandem::DatumGridIndex& index = tandem::DatumGridIndex::Shared();
    const double build = SecondsSince(start);
    std::printf("index: %zu records, built in %.1f ms, %.1f MB held, working set +%.1f MB\n", index.size(),
                build * 1e3, index.MemoryBytes() / 1048576.0, (WorkingSet() - before) / 1048576.0);

    std::size_t converted = 0;
    double checksum = 0;
    start = Clock::now();
    for (auto [latitude, longitude] : packed) {
        if (tandem::TokyoToWgs84(latitude, longitude, index)) {
            ++converted;
            checksum += latitude + longitude;
        }
    }
    const double indexed = SecondsSince(start);
    std::printf("indexed: %zu points (%zu converted) in %.3f s: %.0f conversions/s (checksum %.3f)\n", points,
                converted, indexed, points / indexed, checksum);

    ForwardScan scan(table);
    const std::size_t scanPoints = std::min(scanned, points);
    std::size_t found = 0;
    start = Clock::now();
    for (std::size_t i = 0; i < scanPoints; ++i)
        if (ScanCorners(scan, decimal[i].first, decimal[i].second)) ++found;
    const double scanning = SecondsSince(start);
    std::printf("forward scan: first %zu of the same points (%zu with all corners) in %.3f s: %.0f lookups of "
                "four corners/s\n",
                scanPoints, found, scanning, scanPoints / scanning);
    return 0;
}
