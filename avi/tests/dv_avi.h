#pragma once

// AVI files around synthetic DV frames: type 1 (one interleaved "iavs"
// stream) and type 2 ("vids" dvsd plus, optionally, "auds").

#include "dv_frame_writer.h"
#include "riff_writer.h"

namespace tandem::riffscan::test {

constexpr std::uint32_t kDvFrames = 50;

inline Stream DvVideoStream(bool type1) {
    if (type1) return {Strh({.type = FourCc("iavs"), .handler = FourCc("dvsd"), .length = kDvFrames}), DvInfoFormat(), std::nullopt};
    return {Strh({.type = FourCc("vids"), .handler = FourCc("dvsd"), .length = kDvFrames}),
            BitmapInfo(720, 576, FourCc("dvsd")), std::nullopt};
}

inline Stream DvAudioStream() {
    return {Strh({.type = FourCc("auds"), .length = 96000}), Wave(1, 2, 32000, 16), std::nullopt};
}

// Type 1 when !separateAudio and type1; the frame sits in "00__" or "00dc",
// after an audio chunk when there is an "auds" stream.
inline Bytes MakeDvAvi(const Bytes& frame, bool type1, bool separateAudio = false) {
    std::vector<Stream> streams{DvVideoStream(type1)};
    std::vector<std::pair<std::uint32_t, Bytes>> movi;
    if (separateAudio) {
        streams.insert(streams.begin(), DvAudioStream());
        movi.emplace_back(FourCc("00wb"), Bytes(4000, 0));
    }
    const std::uint32_t videoId = separateAudio ? FourCc("01dc") : (type1 ? FourCc("00__") : FourCc("00dc"));
    movi.emplace_back(videoId, frame);
    return MakeAvi(Avih({.microSecPerFrame = 40000, .totalFrames = kDvFrames,
                         .streams = static_cast<std::uint32_t>(streams.size()), .width = 720, .height = 576}),
                   streams, movi);
}

inline Bytes DvFrame(const tessel::testing::DvFrameParams& params) { return tessel::testing::MakeDvFrame(params); }

}  // namespace tandem::riffscan::test
