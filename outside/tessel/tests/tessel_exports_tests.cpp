#include <windows.h>

#include <gtest/gtest.h>

#include <cstring>

#include "dv_frame_writer.h"
#include "tessel.h"
#include "unique_resource.h"

using namespace tessel;
using tessel::testing::DvAudio;
using tessel::testing::MakeDvFrame;

namespace {

using ReadFrameFn = long (*)(const std::uint8_t*, int, void*, std::uint32_t*);
using WaveFormatFn = long (*)(void*, const std::uint8_t*);

class TesselModule : public ::testing::Test {
protected:
    void SetUp() override {
        module_.reset(LoadLibraryW(L"Tessel.dll"));
        ASSERT_TRUE(module_);
        readFrame_ = Ordinal<ReadFrameFn>(11);
        waveFormat_ = Ordinal<WaveFormatFn>(15);
        ASSERT_NE(readFrame_, nullptr);
        ASSERT_NE(waveFormat_, nullptr);
    }

    template <class Fn>
    Fn Ordinal(WORD ordinal) const {
        return reinterpret_cast<Fn>(reinterpret_cast<void*>(GetProcAddress(module_.get(), MAKEINTRESOURCEA(ordinal))));
    }

    tandem::UniqueModule module_;
    ReadFrameFn readFrame_ = nullptr;
    WaveFormatFn waveFormat_ = nullptr;
};

template <class T>
T At(const std::uint8_t* record, std::size_t offset) {
    T value;
    std::memcpy(&value, record + offset, sizeof value);
    return value;
}

}  // namespace

TEST_F(TesselModule, ExportsOnlyOrdinals) {
    EXPECT_EQ(GetProcAddress(module_.get(), "TesselReadFrame"), nullptr);
    EXPECT_EQ(GetProcAddress(module_.get(), "TesselWaveFormat"), nullptr);
}

// Read as a caller that knows nothing but the offsets of the record would.
TEST_F(TesselModule, RecordOffsetsSeenThroughTheOrdinals) {
    const auto frame = MakeDvFrame({.is625 = true, .display = 2, .audio = DvAudio{.rate = 44100}});
    std::uint8_t record[sizeof(FrameInfo)] = {};
    std::uint32_t frames = 1;
    ASSERT_EQ(readFrame_(frame.data(), 1, record, &frames), kOk);
    EXPECT_EQ(frames, 1u);
    EXPECT_EQ(record[45] & 0x07, 2);
    EXPECT_TRUE(record[30] & 0x08);

    ASSERT_EQ(waveFormat_(record, record + 40), kOk);
    EXPECT_EQ(At<std::uint16_t>(record, 52), 1);
    EXPECT_EQ(At<std::uint16_t>(record, 54), 2);
    EXPECT_EQ(At<std::uint32_t>(record, 56), 44100u);
    EXPECT_EQ(At<std::uint16_t>(record, 66), 16);
}

TEST_F(TesselModule, FrameSizeFlagBoundsTheRead) {
    // A 525-line frame is exactly the 120,000 bytes that flag 0 promises.
    const auto frame = MakeDvFrame({.is625 = false});
    ASSERT_EQ(frame.size(), kFrameBytes525);
    FrameInfo info{};
    std::uint32_t frames = 1;
    ASSERT_EQ(readFrame_(frame.data(), 0, &info, &frames), kOk);
    EXPECT_EQ(info.system, 0u);
}

TEST_F(TesselModule, BadArgumentsAndForeignBytes) {
    const auto frame = MakeDvFrame({});
    FrameInfo info{};
    std::uint32_t frames = 2;
    EXPECT_EQ(readFrame_(frame.data(), 1, &info, &frames), kBadArgument);
    frames = 1;
    EXPECT_EQ(readFrame_(nullptr, 1, &info, &frames), kBadArgument);
    EXPECT_EQ(readFrame_(frame.data(), 1, nullptr, &frames), kBadArgument);
    EXPECT_EQ(readFrame_(frame.data(), 1, &info, nullptr), kBadArgument);
    EXPECT_EQ(waveFormat_(&info, nullptr), kBadArgument);

    const std::vector<std::uint8_t> zeros(kFrameBytes625, 0x96);
    frames = 1;
    EXPECT_EQ(readFrame_(zeros.data(), 1, &info, &frames), kNotDv);
    EXPECT_EQ(frames, 0u);
}
