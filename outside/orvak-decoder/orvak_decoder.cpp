#include "orvak_decoder.h"

#include <cstring>

#include "orvak_guids.h"

namespace tandem::orvak::outside {

namespace {

constexpr GUID kDecoderClsid{0xe52aaa9f, 0x7545, 0x468e, {0x85, 0x99, 0xed, 0xf0, 0x68, 0xc9, 0xf4, 0x83}};

template <class T>
T Read(const BYTE* block, size_t offset) {
    T value;
    std::memcpy(&value, block + offset, sizeof value);
    return value;
}

}  // namespace

COrvakDecoder::COrvakDecoder() : SinkFilter(kDecoderClsid, L"In") {}

HRESULT COrvakDecoder::CheckInputType(const AM_MEDIA_TYPE& mt) {
    if (mt.majortype != MEDIATYPE_Audio || mt.subtype != kOrvakSubtype || mt.formattype != kOrvakFormatType ||
        mt.cbFormat != 52 || !mt.pbFormat) {
        return S_FALSE;
    }
    const BYTE* block = mt.pbFormat;
    if (Read<std::uint16_t>(block, 0) != 0xFFFE || Read<std::uint32_t>(block, 4) != 44100 ||
        Read<GUID>(block, 24) != kOrvakSubFormat) {
        return S_FALSE;
    }
    const auto word = Read<std::uint32_t>(block, 44);
    const unsigned codec = word >> 24;
    if (codec > 1 || (word & 0x3FF) == 0) return S_FALSE;
    frameSize_ = 8 * (word & 0x3FF) + (codec == 1 ? 8 : 0);
    samplesPerFrame_ = codec == 1 ? 2048 : 1024;
    CSyncLockHolder hold(countsLock_);
    counts_ = {};
    counts_.channels = Read<std::uint16_t>(block, 2);
    return S_OK;
}

HRESULT COrvakDecoder::OnSample(IMediaSample* sample) {
    CSyncLockHolder hold(countsLock_);
    counts_.bytes += static_cast<std::uint64_t>(sample->GetActualDataLength());
    counts_.frames = counts_.bytes / frameSize_;
    counts_.samples = counts_.frames * samplesPerFrame_;
    return S_OK;
}

void COrvakDecoder::OnEndOfStream() {
    CSyncLockHolder hold(countsLock_);
    counts_.ended = true;
}

void COrvakDecoder::OnBeginFlush() {
    CSyncLockHolder hold(countsLock_);
    const unsigned channels = counts_.channels;
    counts_ = {};
    counts_.channels = channels;
}

COrvakDecoder::Counts COrvakDecoder::Snapshot() {
    CSyncLockHolder hold(countsLock_);
    return counts_;
}

}  // namespace tandem::orvak::outside
