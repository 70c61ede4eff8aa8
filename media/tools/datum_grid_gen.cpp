// Build-time tool, compiled for the build machine: turns the correction grid
// text ("meshcode dB dL" per line, seconds with five decimals) into the
// service's table of 12-byte little-endian records. The conversion to units
// of 100 / 2^30 seconds is exact integer arithmetic, so every build gives the
// same bytes.

#include <cstdint>
#include <cstdio>
#include <fstream>
#include <iostream>
#include <string>
#include <vector>

namespace {

// The record the parameter file begins with; the table keeps it first.
constexpr std::int32_t kFirstMesh = 46303582;

struct Record {
    std::int32_t code;
    std::int32_t latitude;
    std::int32_t longitude;
};

// "-12.34567" to -1234567; false unless it has exactly five decimals.
bool ParseHundredThousandths(const std::string& text, std::int64_t& value) {
    std::size_t pos = 0;
    const bool negative = !text.empty() && text[0] == '-';
    if (negative) ++pos;
    const std::size_t dot = text.find('.', pos);
    if (dot == std::string::npos || dot == pos || text.size() - dot - 1 != 5) return false;
    std::int64_t result = 0;
    for (std::size_t i = pos; i < text.size(); ++i) {
        if (i == dot) continue;
        if (text[i] < '0' || text[i] > '9' || result > 100000000000) return false;
        result = result * 10 + (text[i] - '0');
    }
    value = negative ? -result : result;
    return true;
}

// round(n * 2^30 / 10^7), halves away from zero (there are none: 5^7 is odd).
std::int32_t ToUnits(std::int64_t hundredThousandths) {
    const std::int64_t magnitude = hundredThousandths < 0 ? -hundredThousandths : hundredThousandths;
    const std::int64_t rounded = (magnitude * (std::int64_t{1} << 31) + 10000000) / 20000000;
    return static_cast<std::int32_t>(hundredThousandths < 0 ? -rounded : rounded);
}

bool ParseLine(const std::string& line, Record& record) {
    const std::size_t first = line.find(' ');
    const std::size_t second = first == std::string::npos ? first : line.find(' ', first + 1);
    if (second == std::string::npos || first != 8 || line.find(' ', second + 1) != std::string::npos) return false;
    std::int64_t code = 0;
    for (std::size_t i = 0; i < first; ++i) {
        if (line[i] < '0' || line[i] > '9') return false;
        code = code * 10 + (line[i] - '0');
    }
    std::int64_t latitude = 0;
    std::int64_t longitude = 0;
    if (!ParseHundredThousandths(line.substr(first + 1, second - first - 1), latitude) ||
        !ParseHundredThousandths(line.substr(second + 1), longitude))
        return false;
    record = {static_cast<std::int32_t>(code), ToUnits(latitude), ToUnits(longitude)};
    return true;
}

void PutLittleEndian(std::ofstream& out, std::int32_t value) {
    const auto bits = static_cast<std::uint32_t>(value);
    const char bytes[4] = {static_cast<char>(bits), static_cast<char>(bits >> 8), static_cast<char>(bits >> 16),
                           static_cast<char>(bits >> 24)};
    out.write(bytes, 4);
}

}  // namespace

int main(int argc, char** argv) {
    if (argc != 3) {
        std::cerr << "usage: datum_grid_gen <grid text> <table out>\n";
        return 2;
    }
    std::ifstream in(argv[1]);
    if (!in) {
        std::cerr << argv[1] << ": cannot open\n";
        return 1;
    }
    std::vector<Record> records;
    std::string line;
    for (std::size_t number = 1; std::getline(in, line); ++number) {
        Record record{};
        if (!ParseLine(line, record)) {
            std::cerr << argv[1] << ":" << number << ": not a grid record\n";
            return 1;
        }
        if (record.code == kFirstMesh)
            records.insert(records.begin(), record);
        else
            records.push_back(record);
    }
    if (records.empty() || records.front().code != kFirstMesh) {
        std::cerr << argv[1] << ": mesh " << kFirstMesh << " is missing\n";
        return 1;
    }
    std::ofstream out(argv[2], std::ios::binary | std::ios::trunc);
    for (const Record& record : records) {
        PutLittleEndian(out, record.code);
        PutLittleEndian(out, record.latitude);
        PutLittleEndian(out, record.longitude);
    }
    out.close();
    if (!out) {
        std::cerr << argv[2] << ": cannot write\n";
        return 1;
    }
    return 0;
}
