#pragma once

// Tessel: a stand-in for the outside DV library. It reads one DV frame
// (IEC 61834 / SMPTE 314M DIF blocks) and describes its picture and audio.
// Two exports, by ordinal only:
//   @11 TesselReadFrame   fills a TesselFrameInfo from a frame buffer
//   @15 TesselWaveFormat  turns the AAUX source pack kept in the record into
//                         a wave format inside the same record
// Callers that know only the ordinals rely on these offsets of the record:
//   30 picture flags, 40 AAUX source pack, 45 display mode, 52 wave format.

#include <cstddef>
#include <cstdint>

namespace tessel {

inline constexpr std::size_t kDifBlockBytes = 80;
inline constexpr std::size_t kBlocksPerSequence = 150;
inline constexpr std::size_t kFrameBytes525 = 10 * kBlocksPerSequence * kDifBlockBytes;  // 120,000
inline constexpr std::size_t kFrameBytes625 = 12 * kBlocksPerSequence * kDifBlockBytes;  // 144,000

// Same field order and offsets as the platform's 18-byte wave format header.
struct WaveFormat {
    std::uint16_t formatTag;
    std::uint16_t channels;
    std::uint32_t samplesPerSec;
    std::uint32_t avgBytesPerSec;
    std::uint16_t blockAlign;
    std::uint16_t bitsPerSample;
    std::uint16_t extraSize;
};

enum PackFound : std::uint8_t {
    kFoundVauxSource = 1 << 0,
    kFoundVauxControl = 1 << 1,
    kFoundAauxSource = 1 << 2,
    kFoundAauxControl = 1 << 3,
};

enum PictureFlag : std::uint8_t {
    kPictureInterlaced = 1 << 0,    // IL
    kPictureChanged = 1 << 1,       // FC: not a repeat of the previous picture
    kPictureField1First = 1 << 2,   // FS
    kPictureFrame = 1 << 3,         // FF: both fields belong to one frame
};

// The result record (128 bytes). Values a frame does not carry stay 0.
struct FrameInfo {
    std::uint32_t size;             //  0 sizeof(FrameInfo)
    std::uint32_t system;           //  4 header DSF: 0 525/60, 1 625/50
    std::uint32_t sequences;        //  8 DIF sequences per frame: 10 or 12
    std::uint32_t frameBytes;       // 12 120,000 or 144,000
    std::uint32_t rateNumerator;    // 16 30000 or 25
    std::uint32_t rateDenominator;  // 20 1001 or 1
    std::uint16_t width;            // 24 720
    std::uint16_t lines;            // 26 480 or 576
    std::uint8_t apt;               // 28 application id of the track
    std::uint8_t packs;             // 29 PackFound bits
    std::uint8_t picture;           // 30 PictureFlag bits, from the VAUX source-control pack
    std::uint8_t copyControl;       // 31 CGMS bits of the VAUX source-control pack
    std::uint8_t vauxSource[5];     // 32 raw VAUX source pack (0x60)
    std::uint8_t reserved1[3];      // 37
    std::uint8_t aauxSource[5];     // 40 raw AAUX source pack (0x50)
    std::uint8_t display;           // 45 DISP: 0 4:3, 1 14:9 letterbox, 2 16:9 letterbox, 7 16:9 full
    std::uint8_t reserved2[2];      // 46
    std::uint32_t audioSamples;     // 48 samples per channel in this frame
    WaveFormat wave;                // 52 filled by TesselWaveFormat
    std::uint8_t aauxControl[5];    // 72 raw AAUX source-control pack (0x51)
    std::uint8_t reserved3[51];     // 77
};
static_assert(sizeof(FrameInfo) == 128);
static_assert(offsetof(FrameInfo, picture) == 30);
static_assert(offsetof(FrameInfo, aauxSource) == 40);
static_assert(offsetof(FrameInfo, display) == 45);
static_assert(offsetof(FrameInfo, wave) == 52);
static_assert(offsetof(FrameInfo, wave.channels) == 54);
static_assert(offsetof(FrameInfo, wave.samplesPerSec) == 56);
static_assert(offsetof(FrameInfo, wave.bitsPerSample) == 66);

enum Result : long {
    kOk = 0,
    kBadArgument = 1,     // a null pointer, or a frame count other than 1
    kNotDv = 2,           // the buffer does not open with a DIF header block
    kNoAudio = 3,         // no AAUX source pack
    kAudioUnsupported = 4 // a sample rate, quantisation or channel layout we do not know
};

}  // namespace tessel

extern "C" {
// frame: one DV frame; frame144000 non-zero: the buffer holds 144,000 bytes,
// zero: 120,000. frames: in, the frames in the buffer (must be 1); out, the
// frames decoded.
long TesselReadFrame(const std::uint8_t* frame, int frame144000, tessel::FrameInfo* info,
                     std::uint32_t* frames);
// aauxSource: a 5-byte AAUX source pack, normally &info->aauxSource.
long TesselWaveFormat(tessel::FrameInfo* info, const std::uint8_t* aauxSource);
}
