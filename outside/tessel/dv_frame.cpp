#include "dv_frame.h"

#include <algorithm>
#include <array>

namespace tessel {
namespace {

enum Section : std::uint8_t { kHeader = 0, kSubcode = 1, kVaux = 2, kAudio = 3, kVideo = 4 };

enum PackId : std::uint8_t {
    kAauxSourcePack = 0x50,
    kAauxControlPack = 0x51,
    kVauxSourcePack = 0x60,
    kVauxControlPack = 0x61,
};

constexpr std::size_t kPackBytes = 5;
constexpr std::size_t kPacksPerVauxBlock = 15;
constexpr std::size_t kPayloadOffset = 3;

using Pack = std::span<const std::uint8_t, kPackBytes>;

Section SectionOf(std::span<const std::uint8_t> block) { return static_cast<Section>(block[0] >> 5); }

unsigned SampleRateCode(Pack pack) { return (pack[4] >> 3) & 0x07; }

void Keep(Pack pack, std::uint8_t* target, PackFound found, FrameInfo& info) {
    if (info.packs & found) return;
    std::copy(pack.begin(), pack.end(), target);
    info.packs |= found;
}

void TakeVauxControl(Pack pack, FrameInfo& info) {
    if (info.packs & kFoundVauxControl) return;
    info.packs |= kFoundVauxControl;
    info.copyControl = pack[1] >> 6;
    info.display = pack[2] & 0x07;
    const std::uint8_t flags = pack[3];
    info.picture = static_cast<std::uint8_t>(((flags & 0x80) ? kPictureFrame : 0) |
                                             ((flags & 0x40) ? kPictureField1First : 0) |
                                             ((flags & 0x20) ? kPictureChanged : 0) |
                                             ((flags & 0x10) ? kPictureInterlaced : 0));
}

void TakePack(Pack pack, FrameInfo& info) {
    switch (pack[0]) {
    case kVauxSourcePack: Keep(pack, info.vauxSource, kFoundVauxSource, info); break;
    case kVauxControlPack: TakeVauxControl(pack, info); break;
    case kAauxSourcePack: Keep(pack, info.aauxSource, kFoundAauxSource, info); break;
    case kAauxControlPack: Keep(pack, info.aauxControl, kFoundAauxControl, info); break;
    default: break;
    }
}

void TakeBlockPacks(std::span<const std::uint8_t> block, FrameInfo& info) {
    switch (SectionOf(block)) {
    case kVaux:
        for (std::size_t i = 0; i < kPacksPerVauxBlock; ++i)
            TakePack(Pack(block.subspan(kPayloadOffset + i * kPackBytes, kPackBytes)), info);
        break;
    case kAudio: TakePack(Pack(block.subspan(kPayloadOffset, kPackBytes)), info); break;
    default: break;
    }
}

void DescribeSystem(bool is625, FrameInfo& info) {
    info.system = is625 ? 1 : 0;
    info.sequences = is625 ? 12 : 10;
    info.frameBytes = static_cast<std::uint32_t>(is625 ? kFrameBytes625 : kFrameBytes525);
    info.rateNumerator = is625 ? 25 : 30000;
    info.rateDenominator = is625 ? 1 : 1001;
    info.width = 720;
    info.lines = is625 ? 576 : 480;
}

bool IsFirstHeaderBlock(std::span<const std::uint8_t> block) {
    const unsigned sequence = block[1] >> 4;
    return SectionOf(block) == kHeader && sequence == 0 && block[2] == 0;
}

}  // namespace

Result DecodeFrame(std::span<const std::uint8_t> frame, FrameInfo& info) {
    info = FrameInfo{};
    info.size = sizeof(FrameInfo);
    if (frame.size() < kDifBlockBytes || !IsFirstHeaderBlock(frame.first(kDifBlockBytes)))
        return kNotDv;
    DescribeSystem((frame[3] & 0x80) != 0, info);
    info.apt = frame[4] & 0x07;
    for (std::size_t offset = 0; offset + kDifBlockBytes <= frame.size(); offset += kDifBlockBytes)
        TakeBlockPacks(frame.subspan(offset, kDifBlockBytes), info);
    if (info.packs & kFoundAauxSource)
        info.audioSamples = AudioSamplesPerFrame(Pack(info.aauxSource), info.system);
    return kOk;
}

std::uint32_t AudioSamplesPerFrame(Pack pack, std::uint32_t system) {
    // Minimum samples per frame, by rate code (48, 44.1, 32 kHz).
    constexpr std::array<std::uint32_t, 3> kMinimum525{1580, 1452, 1053};
    constexpr std::array<std::uint32_t, 3> kMinimum625{1896, 1742, 1264};
    const unsigned rate = SampleRateCode(pack);
    if (rate >= kMinimum525.size()) return 0;
    return (system ? kMinimum625 : kMinimum525)[rate] + (pack[1] & 0x3F);
}

Result DecodeAudioSource(Pack pack, WaveFormat& wave) {
    if (pack[0] != kAauxSourcePack) return kNoAudio;
    constexpr std::array<std::uint32_t, 3> kRates{48000, 44100, 32000};
    const unsigned rate = SampleRateCode(pack);
    const unsigned quantisation = pack[4] & 0x07;
    const unsigned streamType = pack[3] & 0x1F;
    const unsigned channelsPerBlock = (pack[2] >> 5) & 0x03;
    if (rate >= kRates.size() || quantisation > 1) return kAudioUnsupported;

    std::uint16_t channels = 0;
    switch (streamType) {
    case 0:
        // Four channels only in the 32 kHz 12-bit mode, as two stereo pairs.
        channels = (channelsPerBlock == 1 && quantisation == 1 && kRates[rate] == 32000) ? 4 : 2;
        break;
    case 2: channels = 4; break;
    case 3: channels = 8; break;
    default: return kAudioUnsupported;
    }

    wave = WaveFormat{};
    wave.formatTag = 1;  // linear PCM
    wave.channels = channels;
    wave.samplesPerSec = kRates[rate];
    wave.bitsPerSample = 16;
    wave.blockAlign = static_cast<std::uint16_t>(channels * wave.bitsPerSample / 8);
    wave.avgBytesPerSec = wave.samplesPerSec * wave.blockAlign;
    return kOk;
}

}  // namespace tessel
