#pragma once

// The DV library stand-in's decoder behind the scan's DvDecoder, recording
// what the scan handed it.

#include <cstring>
#include <vector>

#include "dv_frame.h"
#include "dv_probe.h"

namespace tandem::riffscan::test {

class RecordingDvDecoder final : public DvDecoder {
public:
    bool ReadFrame(std::span<const std::uint8_t> frame, bool frame144000,
                   std::span<std::uint8_t, kDvRecordBytes> record) override {
        ++readFrameCalls;
        lastFlag = frame144000;
        frameBytes = frame.size();
        lastFrame.assign(frame.begin(), frame.end());
        if (failReadFrame) return false;
        tessel::FrameInfo info{};
        const auto result = tessel::DecodeFrame(frame.first(frame144000 ? 144'000 : 120'000), info);
        std::memcpy(record.data(), &info, sizeof info);
        return result == tessel::kOk;
    }

    bool WaveFormat(std::span<std::uint8_t, kDvRecordBytes> record) override {
        ++waveFormatCalls;
        tessel::FrameInfo info{};
        std::memcpy(&info, record.data(), sizeof info);
        const auto result = tessel::DecodeAudioSource(std::span<const std::uint8_t, 5>(info.aauxSource), info.wave);
        std::memcpy(record.data(), &info, sizeof info);
        return result == tessel::kOk;
    }

    bool failReadFrame = false;
    int readFrameCalls = 0;
    int waveFormatCalls = 0;
    bool lastFlag = false;
    std::size_t frameBytes = 0;
    std::vector<std::uint8_t> lastFrame;
};

static_assert(sizeof(tessel::FrameInfo) == kDvRecordBytes);

}  // namespace tandem::riffscan::test
