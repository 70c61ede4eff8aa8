#include "scan_values.h"

#include <cstdlib>

#include "byte_order.h"
#include "scan_error.h"

namespace tandem::riffscan {
namespace {

constexpr std::uint32_t kVids = FourCc("vids");
constexpr std::uint32_t kAuds = FourCc("auds");
constexpr std::uint32_t kIavs = FourCc("iavs");
constexpr std::uint32_t kDvsd = FourCc("dvsd");
constexpr std::uint32_t kDsvd = FourCc("dsvd");
constexpr std::uint16_t kWaveFormatExtensible = 0xFFFE;

std::uint32_t VideoCodecOf(const StreamRecord& video) {
    std::uint32_t codec = video.header.handler;
    if (codec == 0 && video.header.type == kVids) codec = video.bitmap.compression;
    if (video.header.type == kIavs) codec = kDvsd;
    return codec == kDsvd ? kDvsd : codec;
}

void DeriveVideo(const AviHeaders& headers, const StreamRecord& video, ScanValues& values) {
    values.hasVideo = 1;
    values.videoCodec = VideoCodecOf(video);
    values.frameCount = static_cast<std::uint32_t>(StreamLength(video));
    values.videoQuality = video.header.quality;
    values.width = headers.main.width;
    values.height = headers.main.height;
    if ((values.width == 0 || values.height == 0) && video.header.type == kVids) {
        // A bottom-up bitmap has a positive height, a top-down one a negative.
        values.width = static_cast<std::uint32_t>(std::abs(static_cast<std::int64_t>(video.bitmap.width)));
        values.height = static_cast<std::uint32_t>(std::abs(static_cast<std::int64_t>(video.bitmap.height)));
    }
}

void DeriveAudio(const StreamRecord& audio, ScanValues& values) {
    const WaveFormat& wave = audio.wave;
    values.hasAudio = 1;
    values.audioFormatTag = wave.formatTag == kWaveFormatExtensible ? SubFormatTag(wave.subFormat) : wave.formatTag;
    values.audioLength = StreamLength(audio);
    values.channels = wave.channels;
    values.sampleRate = wave.samplesPerSec;
    values.bitsPerSample = wave.bitsPerSample;
    values.channelMask = wave.channelMask;
}

}  // namespace

StreamChoice ChooseStreams(const AviHeaders& headers) {
    StreamChoice choice;
    for (std::size_t i = 0; i < headers.streams.size(); ++i) {
        const std::uint32_t type = headers.streams[i].header.type;
        if (type == kVids || type == kIavs) choice.video = static_cast<int>(i);
        if (type == kAuds) choice.audio = static_cast<int>(i);
    }
    return choice;
}

std::uint64_t StreamLength(const StreamRecord& stream) {
    return stream.kind == HeaderKind::kSuperIndex ? stream.superIndexDuration : stream.header.length;
}

ScanValues DeriveValues(const AviHeaders& headers, const StreamChoice& choice) {
    if (choice.video < 0) throw ScanError(kRiffScanFormatError);
    ScanValues values;
    values.microSecPerFrame = headers.main.microSecPerFrame;
    values.headerKind = static_cast<std::uint32_t>(headers.streams.front().kind);
    DeriveVideo(headers, headers.streams[static_cast<std::size_t>(choice.video)], values);
    if (choice.audio >= 0) DeriveAudio(headers.streams[static_cast<std::size_t>(choice.audio)], values);
    return values;
}

std::uint32_t ReportedChannelMask(std::uint32_t mask, std::uint32_t channels) {
    if (mask != 0) return mask;
    if (channels == 1) return 1;
    if (channels == 2) return 3;
    return 0;
}

}  // namespace tandem::riffscan
