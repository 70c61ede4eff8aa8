#include "dv_frame_writer.h"

#include <algorithm>
#include <array>
#include <span>

#include "tessel.h"

namespace tessel::testing {
namespace {

constexpr std::uint8_t kHeaderId = 0x1F;
constexpr std::uint8_t kSubcodeId = 0x3F;
constexpr std::uint8_t kVauxId = 0x56;
constexpr std::uint8_t kAudioId = 0x76;
constexpr std::uint8_t kVideoId = 0x96;

using Block = std::span<std::uint8_t, kDifBlockBytes>;
using Pack = std::array<std::uint8_t, 5>;

void WriteId(Block block, std::uint8_t section, std::size_t sequence, std::size_t number) {
    block[0] = section;
    block[1] = static_cast<std::uint8_t>((sequence << 4) | 0x07);
    block[2] = static_cast<std::uint8_t>(number);
}

void WritePack(Block block, std::size_t offset, const Pack& pack) {
    std::copy(pack.begin(), pack.end(), block.begin() + offset);
}

std::uint8_t RateCode(std::uint32_t rate) {
    switch (rate) {
    case 48000: return 0;
    case 44100: return 1;
    case 32000: return 2;
    default: return 7;
    }
}

Pack VauxSource(const DvFrameParams& params) {
    return {0x60, 0xFF, 0xFF, static_cast<std::uint8_t>(params.is625 ? 0x20 : 0x00), 0xFF};
}

Pack VauxControl(const DvFrameParams& params) {
    const auto flags = static_cast<std::uint8_t>((params.frameFlag ? 0x80 : 0) | 0x40 | 0x20 | 0x10 | 0x0C);
    return {0x61, 0x3F, static_cast<std::uint8_t>(0xC8 | (params.display & 0x07)), flags, 0xFF};
}

Pack AauxSource(const DvFrameParams& params, const DvAudio& audio) {
    return {0x50,
            static_cast<std::uint8_t>(0x80 | (audio.extraSamples & 0x3F)),
            static_cast<std::uint8_t>((audio.channelsPerBlock & 0x03) << 5),
            static_cast<std::uint8_t>((params.is625 ? 0x20 : 0x00) | (audio.streamType & 0x1F)),
            static_cast<std::uint8_t>((RateCode(audio.rate) << 3) | (audio.quantisation & 0x07))};
}

void WriteHeader(Block block, const DvFrameParams& params, std::size_t sequence) {
    WriteId(block, kHeaderId, sequence, 0);
    block[3] = static_cast<std::uint8_t>((params.is625 ? 0x80 : 0x00) | 0x3F);
    block[4] = 0x78;
    std::fill(block.begin() + 5, block.end(), 0xFF);
}

void WriteVaux(Block block, const DvFrameParams& params, std::size_t sequence, std::size_t number) {
    WriteId(block, kVauxId, sequence, number);
    std::fill(block.begin() + 3, block.end(), 0xFF);
    if (number != 2) return;
    WritePack(block, 3 + 9 * 5, VauxSource(params));
    if (params.vauxControl) WritePack(block, 3 + 10 * 5, VauxControl(params));
}

void WriteAudio(Block block, const DvFrameParams& params, std::size_t sequence, std::size_t number) {
    WriteId(block, kAudioId, sequence, number);
    WritePack(block, 3, Pack{0xFF, 0xFF, 0xFF, 0xFF, 0xFF});
    if (!params.audio) return;
    if (number == 3) WritePack(block, 3, AauxSource(params, *params.audio));
    if (number == 4) WritePack(block, 3, Pack{0x51, 0x3F, 0xCF, 0xA0, 0xFF});
}

void WriteSequence(std::span<std::uint8_t> sequenceBytes, const DvFrameParams& params, std::size_t sequence) {
    auto block = [&](std::size_t index) { return Block(sequenceBytes.subspan(index * kDifBlockBytes, kDifBlockBytes)); };
    WriteHeader(block(0), params, sequence);
    for (std::size_t i = 0; i < 2; ++i) {
        WriteId(block(1 + i), kSubcodeId, sequence, i);
        std::fill(block(1 + i).begin() + 3, block(1 + i).end(), 0xFF);
    }
    for (std::size_t i = 0; i < 3; ++i) WriteVaux(block(3 + i), params, sequence, i);
    for (std::size_t a = 0; a < 9; ++a) {
        const std::size_t first = 6 + a * 16;
        WriteAudio(block(first), params, sequence, a);
        for (std::size_t v = 0; v < 15; ++v) WriteId(block(first + 1 + v), kVideoId, sequence, a * 15 + v);
    }
}

}  // namespace

std::vector<std::uint8_t> MakeDvFrame(const DvFrameParams& params) {
    const std::size_t sequences = params.sequences ? params.sequences : (params.is625 ? 12 : 10);
    const std::size_t sequenceBytes = kBlocksPerSequence * kDifBlockBytes;
    std::vector<std::uint8_t> frame(sequences * sequenceBytes);
    for (std::size_t s = 0; s < sequences; ++s)
        WriteSequence(std::span(frame).subspan(s * sequenceBytes, sequenceBytes), params, s);
    return frame;
}

}  // namespace tessel::testing
