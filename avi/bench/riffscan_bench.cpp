// Headers read per second by RiffScan over a folder of generated AVI files,
// against merely opening each file and reading its first 4 KiB in the same
// run. Prints figures; it does not judge them.
#include <windows.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

#include "riff_scan.h"
#include "riff_writer.h"
#include "temp_folder.h"
#include "unique_resource.h"

using namespace tandem;
using namespace tandem::riffscan;
using namespace tandem::riffscan::test;

namespace {

using Clock = std::chrono::steady_clock;

Bytes SampleFile(std::size_t i) {
    StreamFields video;
    video.handler = FourCc("XVID");
    video.length = static_cast<std::uint32_t>(100 + i);
    StreamFields audio;
    audio.type = FourCc("auds");
    audio.length = 44100;
    MainFields main;
    main.streams = 2;
    std::vector<std::pair<std::uint32_t, Bytes>> movi{{FourCc("00dc"), Bytes(8000, 0)}, {FourCc("01wb"), Bytes(4000, 0)}};
    return MakeAvi(Avih(main),
                   {{Strh(video), BitmapInfo(320, 240, FourCc("XVID")), SuperIndex({50, 50})},
                    {Strh(audio), Wave(1, 2, 44100, 16), std::nullopt}},
                   movi);
}

double ScanAll(const std::vector<std::wstring>& files, std::size_t& failures) {
    const auto start = Clock::now();
    for (const std::wstring& file : files) {
        IRiffScan* reader = nullptr;
        if (CreateRiffScan(file.c_str(), &reader) != kRiffScanOk) {
            ++failures;
            continue;
        }
        reader->Destroy();
    }
    return std::chrono::duration<double>(Clock::now() - start).count();
}

double ReadHeadsOfAll(const std::vector<std::wstring>& files, std::size_t& failures) {
    std::vector<char> buffer(4096);
    const auto start = Clock::now();
    for (const std::wstring& file : files) {
        UniqueHandle handle(CreateFileW(file.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING, 0, nullptr));
        DWORD read = 0;
        if (!handle || !ReadFile(handle.get(), buffer.data(), static_cast<DWORD>(buffer.size()), &read, nullptr))
            ++failures;
    }
    return std::chrono::duration<double>(Clock::now() - start).count();
}

}  // namespace

int main(int argc, char** argv) {
    const std::size_t count = argc > 1 ? std::strtoul(argv[1], nullptr, 10) : 10'000;
    TempFolder folder;
    std::vector<std::wstring> files;
    files.reserve(count);
    for (std::size_t i = 0; i < count; ++i)
        files.push_back(folder.Write(L"clip" + std::to_wstring(i) + L".avi", SampleFile(i)));

    std::size_t failures = 0;
    // Warm the cache for both passes alike.
    ReadHeadsOfAll(files, failures);
    const double read = ReadHeadsOfAll(files, failures);
    const double scan = ScanAll(files, failures);
    std::printf("files:                    %zu\n", count);
    std::printf("open + read 4 KiB:        %.0f files/s (%.3f s)\n", count / read, read);
    std::printf("RiffScan headers:         %.0f files/s (%.3f s)\n", count / scan, scan);
    std::printf("scan time / read time:    %.2f\n", scan / read);
    std::printf("failures:                 %zu\n", failures);
    return 0;
}
