#pragma once

// Client header of RiffScan.dll: reads the headers of an AVI file (and the
// first frame of DV video) and reports its stream properties.
//
// The interface is a binary contract with clients of any compiler: exactly
// 21 virtual slots in this order, no virtual destructor (compilers disagree
// on how many slots one takes). Release a reader with Destroy().

#include <cstdint>

class IRiffScan {
public:
    virtual void Destroy() = 0;                          //  0
    virtual std::uint32_t HasVideo() = 0;                //  1 always 1
    virtual std::uint32_t HasAudio() = 0;                //  2 an audio stream, or audio decoded from DV
    virtual std::uint32_t MicroSecPerFrame() = 0;        //  3
    virtual std::uint32_t HeaderKind() = 0;              //  4 first stream: 1, or 2 with a super index
    virtual std::uint32_t IsDvAudio() = 0;               //  5 audio values come from the DV stream
    virtual std::uint32_t VideoCodec() = 0;              //  6 four-character code
    virtual std::uint32_t VideoFrameCount() = 0;         //  7
    virtual std::uint32_t Width() = 0;                   //  8
    virtual std::uint32_t Height() = 0;                  //  9
    virtual std::uint32_t VideoQuality() = 0;            // 10
    virtual std::uint32_t AspectNumerator() = 0;         // 11 DV: 16 or 4
    virtual std::uint32_t AspectDenominator() = 0;       // 12 DV: 9 or 3
    virtual std::uint32_t DvFrameMode() = 0;             // 13 DV: 2 both fields form a frame, else 3
    virtual std::uint32_t AudioFormatTag() = 0;          // 14
    virtual std::uint64_t AudioLength() = 0;             // 15
    virtual std::uint32_t Channels() = 0;                // 16
    virtual std::uint32_t SampleRate() = 0;              // 17
    virtual std::uint32_t BitsPerSample() = 0;           // 18
    virtual std::uint32_t ChannelMask() = 0;             // 19
    // Where other compilers' clients expect a deleting destructor; bit 0 of
    // flags frees the memory. Returns the object's address.
    virtual IRiffScan* DeletingDestructor(unsigned int flags) = 0;  // 20

protected:
    ~IRiffScan() = default;
};

// Return codes of CreateRiffScan.
enum RiffScanCode : int {
    kRiffScanOk = 0,
    kRiffScanOutOfMemory = 1,  // also: out is null or *out is not null
    kRiffScanOpenFailed = 2,
    kRiffScanReadFailed = 3,
    kRiffScanFormatError = 4,  // or a layout we do not support
    kRiffScanNotAvi = 5,
};

extern "C" int CreateRiffScan(const wchar_t* path, IRiffScan** out);
