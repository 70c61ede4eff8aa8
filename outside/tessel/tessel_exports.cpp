#include <span>

#include "dv_frame.h"
#include "tessel.h"

using namespace tessel;

extern "C" long TesselReadFrame(const std::uint8_t* frame, int frame144000, FrameInfo* info,
                                std::uint32_t* frames) {
    if (frame == nullptr || info == nullptr || frames == nullptr || *frames != 1) return kBadArgument;
    const std::size_t bytes = frame144000 ? kFrameBytes625 : kFrameBytes525;
    const Result result = DecodeFrame(std::span(frame, bytes), *info);
    *frames = result == kOk ? 1 : 0;
    return result;
}

extern "C" long TesselWaveFormat(FrameInfo* info, const std::uint8_t* aauxSource) {
    if (info == nullptr || aauxSource == nullptr) return kBadArgument;
    return DecodeAudioSource(std::span<const std::uint8_t, 5>(aauxSource, 5), info->wave);
}
