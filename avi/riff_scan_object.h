#pragma once

#include "riff_scan.h"
#include "scan_values.h"

namespace tandem::riffscan {

// The reader handed to clients: the values of one scanned file. It owns
// itself once handed out and goes with Destroy or the deleting destructor.
class CRiffScan final : public IRiffScan {
public:
    explicit CRiffScan(const ScanValues& values) noexcept : values_(values) {}

    void Destroy() override;
    std::uint32_t HasVideo() override { return values_.hasVideo; }
    std::uint32_t HasAudio() override { return values_.hasAudio; }
    std::uint32_t MicroSecPerFrame() override { return values_.microSecPerFrame; }
    std::uint32_t HeaderKind() override { return values_.headerKind; }
    std::uint32_t IsDvAudio() override { return values_.dvAudio; }
    std::uint32_t VideoCodec() override { return values_.videoCodec; }
    std::uint32_t VideoFrameCount() override { return values_.frameCount; }
    std::uint32_t Width() override { return values_.width; }
    std::uint32_t Height() override { return values_.height; }
    std::uint32_t VideoQuality() override { return values_.videoQuality; }
    std::uint32_t AspectNumerator() override { return values_.aspectNumerator; }
    std::uint32_t AspectDenominator() override { return values_.aspectDenominator; }
    std::uint32_t DvFrameMode() override { return values_.dvFrameMode; }
    std::uint32_t AudioFormatTag() override { return values_.audioFormatTag; }
    std::uint64_t AudioLength() override { return values_.audioLength; }
    std::uint32_t Channels() override { return values_.channels; }
    std::uint32_t SampleRate() override { return values_.sampleRate; }
    std::uint32_t BitsPerSample() override { return values_.bitsPerSample; }
    std::uint32_t ChannelMask() override { return ReportedChannelMask(values_.channelMask, values_.channels); }
    IRiffScan* DeletingDestructor(unsigned int flags) override;

private:
    ScanValues values_;
};

}  // namespace tandem::riffscan
