#pragma once

#include <cstdint>
#include <cstdio>
#include <optional>
#include <unordered_map>

// The grid as its text file states it, read independently of the table.
namespace tandem::test {

struct TextCorrection {
    double latitude;
    double longitude;
};

class GridText {
public:
    GridText() {
        std::FILE* file = std::fopen(TANDEM_GRID_TEXT, "r");
        if (!file) return;
        long code = 0;
        double latitude = 0;
        double longitude = 0;
        while (std::fscanf(file, "%ld %lf %lf", &code, &latitude, &longitude) == 3) {
            records_[static_cast<std::int32_t>(code)] = {latitude, longitude};
        }
        std::fclose(file);
    }

    std::size_t size() const { return records_.size(); }
    const std::unordered_map<std::int32_t, TextCorrection>& records() const { return records_; }

    std::optional<TextCorrection> Find(std::int32_t code) const {
        const auto found = records_.find(code);
        if (found == records_.end()) return std::nullopt;
        return found->second;
    }

private:
    std::unordered_map<std::int32_t, TextCorrection> records_;
};

// Reads the file once for the whole test program.
inline const GridText& SharedGridText() {
    static const GridText text;
    return text;
}

}  // namespace tandem::test
