#pragma once

// Synthetic DV frames: every DIF block of a frame with its id, the header
// block's system bit, the VAUX source and source-control packs and,
// optionally, the AAUX source and source-control packs. Picture and sample
// data are zero.

#include <cstdint>
#include <optional>
#include <vector>

namespace tessel::testing {

struct DvAudio {
    std::uint32_t rate = 48000;   // 48000, 44100 or 32000; anything else writes rate code 7
    std::uint8_t quantisation = 0;  // QU: 0 16-bit linear, 1 12-bit non-linear
    std::uint8_t streamType = 0;    // STYPE
    std::uint8_t channelsPerBlock = 0;  // CHN
    std::uint8_t extraSamples = 20;  // AF SIZE
};

struct DvFrameParams {
    bool is625 = true;
    std::uint8_t display = 0;     // DISP of the VAUX source-control pack
    bool frameFlag = true;        // FF
    bool vauxControl = true;      // write the VAUX source-control pack at all
    std::optional<DvAudio> audio;
    std::size_t sequences = 0;    // 0: the whole frame (10 or 12)
};

std::vector<std::uint8_t> MakeDvFrame(const DvFrameParams& params);

}  // namespace tessel::testing
