#pragma once

// DV frame decoding behind the Tessel exports: pure functions over the
// frame's bytes, free of any platform call.

#include <cstdint>
#include <span>

#include "tessel.h"

namespace tessel {

// Reads the header block, the VAUX packs and the AAUX packs of a frame
// (or of as much of one as the buffer holds). Packs repeat in every DIF
// sequence; the first of each kind counts.
Result DecodeFrame(std::span<const std::uint8_t> frame, FrameInfo& info);

// The linear PCM a player gets from a frame with this AAUX source pack.
// 12-bit non-linear samples are delivered expanded to 16 bits.
Result DecodeAudioSource(std::span<const std::uint8_t, 5> pack, WaveFormat& wave);

// Samples per channel in one frame: the pack's AF SIZE over the minimum of
// the system and rate; 0 for a rate we do not know.
std::uint32_t AudioSamplesPerFrame(std::span<const std::uint8_t, 5> pack, std::uint32_t system);

}  // namespace tessel
