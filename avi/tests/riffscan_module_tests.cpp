#include <windows.h>

#include <gtest/gtest.h>

#include <map>
#include <sstream>
#include <string>

#include "dv_avi.h"
#include "module_path.h"
#include "riff_scan.h"
#include "scan_fixtures.h"
#include "temp_folder.h"
#include "unique_resource.h"

using namespace tandem;
using namespace tandem::riffscan;
using namespace tandem::riffscan::test;
using tessel::testing::DvAudio;

namespace {

struct ReaderDeleter {
    void operator()(IRiffScan* reader) const noexcept { reader->Destroy(); }
};
using Reader = std::unique_ptr<IRiffScan, ReaderDeleter>;

Reader Open(const std::wstring& path, int expected = kRiffScanOk) {
    IRiffScan* reader = nullptr;
    EXPECT_EQ(CreateRiffScan(path.c_str(), &reader), expected);
    return Reader(reader);
}

// A file whose every value differs from the others.
Bytes DistinctValues() {
    const Stream video{Strh({.type = FourCc("vids"), .handler = FourCc("XVID"), .length = 1234, .quality = 9000}),
                       BitmapInfo(352, 288, 0), SuperIndex({600, 634})};
    const Stream audio{Strh({.type = FourCc("auds"), .length = 5'000'000'000u & 0xFFFF'FFFF}),
                       Extensible(1, 22050, 8, 0, GuidBytes(GUID{STATIC_KSDATAFORMAT_SUBTYPE_IEEE_FLOAT})),
                       SuperIndex({0xFFFF'FFFF, 0xFFFF'FFFF, 0xFFFF'FFFF})};
    return MakeAvi(Avih({.microSecPerFrame = 41708, .streams = 2, .width = 704, .height = 576}), {video, audio});
}

class RiffScanModule : public ::testing::Test {
protected:
    TempFolder folder_;
};

}  // namespace

TEST_F(RiffScanModule, FactoryReturnCodes) {
    const std::wstring avi = folder_.Write(L"a.avi", MakeAvi(Avih({}), {VideoStream()}));
    EXPECT_TRUE(Open(avi));
    Open(folder_.Write(L"audio.avi", MakeAvi(Avih({}), {AudioStream()})), kRiffScanFormatError);
    Open(folder_.Write(L"three.avi", MakeAvi(Avih({.streams = 3}), {VideoStream()})), kRiffScanFormatError);
    Open(folder_.Write(L"wave.wav", RiffWriter().Chunk(FourCc("fmt "), Wave16(2, 44100, 16)).Form("WAVE")),
         kRiffScanNotAvi);
    Bytes cut = MakeAvi(Avih({}), {VideoStream()});
    cut.resize(40);
    Open(folder_.Write(L"cut.avi", cut), kRiffScanReadFailed);
    Open(folder_.Path() + L"\\missing.avi", kRiffScanOpenFailed);
    Open(folder_.Path(), kRiffScanOpenFailed);
    Open(L"", kRiffScanOpenFailed);

    EXPECT_EQ(CreateRiffScan(avi.c_str(), nullptr), kRiffScanOutOfMemory);
    IRiffScan* const taken = reinterpret_cast<IRiffScan*>(&folder_);
    IRiffScan* out = taken;
    EXPECT_EQ(CreateRiffScan(avi.c_str(), &out), kRiffScanOutOfMemory);
    EXPECT_EQ(out, taken);
}

TEST_F(RiffScanModule, FilesOthersHoldCannotBeScanned) {
    const std::wstring path = folder_.Write(L"held.avi", MakeAvi(Avih({}), {VideoStream()}));
    {
        UniqueHandle exclusive(CreateFileW(path.c_str(), GENERIC_READ, 0, nullptr, OPEN_EXISTING, 0, nullptr));
        ASSERT_TRUE(exclusive);
        Open(path, kRiffScanOpenFailed);
    }
    {
        // Another reader that shares reading does not stand in the way.
        UniqueHandle shared(CreateFileW(path.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING, 0, nullptr));
        ASSERT_TRUE(shared);
        EXPECT_TRUE(Open(path));
    }
}

TEST_F(RiffScanModule, LockedRangeIsAReadFailure) {
    const std::wstring path = folder_.Write(L"locked.avi", MakeAvi(Avih({}), {VideoStream()}));
    UniqueHandle locker(CreateFileW(path.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING, 0, nullptr));
    ASSERT_TRUE(locker);
    OVERLAPPED range{};
    ASSERT_TRUE(LockFileEx(locker.get(), LOCKFILE_EXCLUSIVE_LOCK | LOCKFILE_FAIL_IMMEDIATELY, 0, 4096, 0, &range));
    {
        // Wine does not refuse reads of a range another handle locked.
        UniqueHandle probe(CreateFileW(path.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING, 0, nullptr));
        char byte;
        DWORD read = 0;
        if (ReadFile(probe.get(), &byte, 1, &read, nullptr)) {
            UnlockFileEx(locker.get(), 0, 4096, 0, &range);
            GTEST_SKIP() << "byte-range locks are not enforced on reads here";
        }
    }
    Open(path, kRiffScanReadFailed);
    UnlockFileEx(locker.get(), 0, 4096, 0, &range);
}

TEST_F(RiffScanModule, ValuesOfEverySlot) {
    const Reader reader = Open(folder_.Write(L"values.avi", DistinctValues()));
    ASSERT_TRUE(reader);
    EXPECT_EQ(reader->HasVideo(), 1u);
    EXPECT_EQ(reader->HasAudio(), 1u);
    EXPECT_EQ(reader->MicroSecPerFrame(), 41708u);
    EXPECT_EQ(reader->HeaderKind(), 2u);
    EXPECT_EQ(reader->IsDvAudio(), 0u);
    EXPECT_EQ(reader->VideoCodec(), FourCc("XVID"));
    EXPECT_EQ(reader->VideoFrameCount(), 1234u);
    EXPECT_EQ(reader->Width(), 704u);
    EXPECT_EQ(reader->Height(), 576u);
    EXPECT_EQ(reader->VideoQuality(), 9000u);
    EXPECT_EQ(reader->AspectNumerator(), 0u);
    EXPECT_EQ(reader->AspectDenominator(), 0u);
    EXPECT_EQ(reader->DvFrameMode(), 0u);
    EXPECT_EQ(reader->AudioFormatTag(), 3u);
    EXPECT_EQ(reader->AudioLength(), 3ull * 0xFFFF'FFFF);
    EXPECT_EQ(reader->Channels(), 1u);
    EXPECT_EQ(reader->SampleRate(), 22050u);
    EXPECT_EQ(reader->BitsPerSample(), 8u);
    EXPECT_EQ(reader->ChannelMask(), 1u);
}

TEST_F(RiffScanModule, DvFilesThroughTheDvLibrary) {
    const Reader type1 = Open(folder_.Write(L"t1.avi", MakeDvAvi(DvFrame({.is625 = true, .display = 2, .audio = DvAudio{}}), true)));
    ASSERT_TRUE(type1);
    EXPECT_EQ(type1->VideoCodec(), FourCc("dvsd"));
    EXPECT_EQ(type1->AspectNumerator(), 16u);
    EXPECT_EQ(type1->AspectDenominator(), 9u);
    EXPECT_EQ(type1->DvFrameMode(), 2u);
    EXPECT_EQ(type1->HasAudio(), 1u);
    EXPECT_EQ(type1->IsDvAudio(), 1u);
    EXPECT_EQ(type1->SampleRate(), 48000u);
    EXPECT_EQ(type1->ChannelMask(), 3u);
    EXPECT_EQ(type1->AudioLength(), 96000u);

    const Reader type2 = Open(folder_.Write(L"t2.avi", MakeDvAvi(DvFrame({.is625 = false, .display = 0, .frameFlag = false, .audio = DvAudio{}}), false, true)));
    ASSERT_TRUE(type2);
    EXPECT_EQ(type2->AspectNumerator(), 4u);
    EXPECT_EQ(type2->AspectDenominator(), 3u);
    EXPECT_EQ(type2->DvFrameMode(), 3u);
    EXPECT_EQ(type2->IsDvAudio(), 0u);
    EXPECT_EQ(type2->SampleRate(), 32000u);

    const Reader silent = Open(folder_.Write(L"t3.avi", MakeDvAvi(DvFrame({.is625 = false}), true)));
    ASSERT_TRUE(silent);
    EXPECT_EQ(silent->AspectNumerator(), 4u);
    EXPECT_EQ(silent->HasAudio(), 0u);
    EXPECT_EQ(silent->ChannelMask(), 0u);
}

// A copy of the module in a folder without the DV library still reads the
// headers; with the library beside it, it finds that one.
TEST_F(RiffScanModule, DvLibraryIsTakenFromTheModulesFolderOnly) {
    const std::wstring bin = ModuleDirectory(nullptr);
    ASSERT_TRUE(CopyFileW((bin + L"RiffScan.dll").c_str(), (folder_.Path() + L"\\RiffScanCopy.dll").c_str(), FALSE));
    const std::wstring dv = folder_.Write(L"dv.avi", MakeDvAvi(DvFrame({.display = 2, .audio = DvAudio{}}), true));
    auto scan = [&](std::uint32_t& aspect, std::uint32_t& dvAudio) {
        UniqueModule copy(LoadLibraryExW((folder_.Path() + L"\\RiffScanCopy.dll").c_str(), nullptr, LOAD_WITH_ALTERED_SEARCH_PATH));
        ASSERT_TRUE(copy);
        using Create = int (*)(const wchar_t*, IRiffScan**);
        const auto create = reinterpret_cast<Create>(reinterpret_cast<void*>(GetProcAddress(copy.get(), "CreateRiffScan")));
        ASSERT_NE(create, nullptr);
        IRiffScan* raw = nullptr;
        ASSERT_EQ(create(dv.c_str(), &raw), kRiffScanOk);
        const Reader reader(raw);
        EXPECT_EQ(reader->VideoCodec(), FourCc("dvsd"));
        aspect = reader->AspectNumerator();
        dvAudio = reader->IsDvAudio();
    };
    std::uint32_t aspect = 1, dvAudio = 1;
    scan(aspect, dvAudio);
    EXPECT_EQ(aspect, 0u);
    EXPECT_EQ(dvAudio, 0u);

    ASSERT_TRUE(CopyFileW((bin + L"Tessel.dll").c_str(), (folder_.Path() + L"\\Tessel.dll").c_str(), FALSE));
    scan(aspect, dvAudio);
    EXPECT_EQ(aspect, 16u);
    EXPECT_EQ(dvAudio, 1u);
}
