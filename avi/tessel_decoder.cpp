#include "tessel_decoder.h"

#include <windows.h>

#include <memory>
#include <string>

#include "module_path.h"
#include "unique_resource.h"

extern "C" IMAGE_DOS_HEADER __ImageBase;

namespace tandem::riffscan {
namespace {

// The library exports by ordinal only.
constexpr WORD kReadFrameOrdinal = 11;
constexpr WORD kWaveFormatOrdinal = 15;

using ReadFrameFunction = long (*)(const std::uint8_t* frame, int frame144000, std::uint8_t* record,
                                   std::uint32_t* frames);
using WaveFormatFunction = long (*)(std::uint8_t* record, const std::uint8_t* aauxSource);

struct TesselLibrary {
    UniqueModule module;
    ReadFrameFunction readFrame;
    WaveFormatFunction waveFormat;
};

template <class Function>
Function Export(HMODULE module, WORD ordinal) {
    return reinterpret_cast<Function>(reinterpret_cast<void*>(GetProcAddress(module, MAKEINTRESOURCEA(ordinal))));
}

// Only from our own folder: a library of that name elsewhere on the search
// path is not the one we were shipped with.
std::unique_ptr<TesselLibrary> LoadTessel() noexcept {
    try {
        const std::wstring path = ModuleDirectory(reinterpret_cast<HMODULE>(&__ImageBase)) + L"Tessel.dll";
        UniqueModule module(LoadLibraryExW(path.c_str(), nullptr, LOAD_WITH_ALTERED_SEARCH_PATH));
        if (!module) return nullptr;
        const auto readFrame = Export<ReadFrameFunction>(module.get(), kReadFrameOrdinal);
        const auto waveFormat = Export<WaveFormatFunction>(module.get(), kWaveFormatOrdinal);
        if (readFrame == nullptr || waveFormat == nullptr) return nullptr;
        return std::make_unique<TesselLibrary>(TesselLibrary{std::move(module), readFrame, waveFormat});
    } catch (...) {
        return nullptr;
    }
}

const TesselLibrary* Tessel() {
    static const std::unique_ptr<TesselLibrary> library = LoadTessel();
    return library.get();
}

}  // namespace

bool TesselDecoder::ReadFrame(std::span<const std::uint8_t> frame, bool frame144000,
                              std::span<std::uint8_t, kDvRecordBytes> record) {
    const TesselLibrary* library = Tessel();
    if (library == nullptr || frame.size() < kDvFrameBytes625) return false;
    std::uint32_t frames = 1;
    return library->readFrame(frame.data(), frame144000 ? 1 : 0, record.data(), &frames) == 0;
}

bool TesselDecoder::WaveFormat(std::span<std::uint8_t, kDvRecordBytes> record) {
    const TesselLibrary* library = Tessel();
    constexpr std::size_t kAauxSourceOffset = 40;
    return library != nullptr && library->waveFormat(record.data(), record.data() + kAauxSourceOffset) == 0;
}

}  // namespace tandem::riffscan
