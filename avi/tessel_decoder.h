#pragma once

#include "dv_probe.h"

namespace tandem::riffscan {

// The outside DV library "Tessel.dll", loaded from this module's folder on
// first use and kept until the module unloads. Every call fails when the
// library is not there.
class TesselDecoder final : public DvDecoder {
public:
    bool ReadFrame(std::span<const std::uint8_t> frame, bool frame144000,
                   std::span<std::uint8_t, kDvRecordBytes> record) override;
    bool WaveFormat(std::span<std::uint8_t, kDvRecordBytes> record) override;
};

}  // namespace tandem::riffscan
