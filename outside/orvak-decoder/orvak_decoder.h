#pragma once

#include <windows.h>
#include <dshow.h>

#include <cstdint>

#include "dshow/sink_filter.h"
#include "sync_lock.h"

namespace tandem::orvak::outside {

// Stands in for the codec's decoder behind the parse filter: it agrees on the
// media type only as the real decoder would (subtype, format type, a 52-byte
// extensible block with the codec's sub-format and the codec word) and
// "decodes" by cutting the stream into frames of the size the codec word
// gives, counting frames and samples.
class COrvakDecoder : public dshow::SinkFilter {
public:
    COrvakDecoder();

    struct Counts {
        std::uint64_t frames = 0;
        std::uint64_t samples = 0;
        std::uint64_t bytes = 0;
        unsigned channels = 0;
        bool ended = false;
    };
    Counts Snapshot();

private:
    HRESULT CheckInputType(const AM_MEDIA_TYPE& mt) override;
    HRESULT OnSample(IMediaSample* sample) override;
    void OnEndOfStream() override;
    void OnBeginFlush() override;

    CSyncLock countsLock_;
    Counts counts_;
    std::uint32_t frameSize_ = 0;
    std::uint32_t samplesPerFrame_ = 0;
};

}  // namespace tandem::orvak::outside
