#include "error_translation.h"

#include <utility>

namespace tandem::protected_audio {

namespace {

constexpr std::pair<ULONG, ULONG> kResults[] = {
    {0x80040A05, 0x80040400}, {0x8004040F, 0x80040401}, {0x80040412, 0x80040402}, {0x8004040E, 0x80040403},
    {0x80040A08, 0x80040404}, {0x80040413, 0x80040405}, {0x80040A04, 0x80040408}, {0x80040A09, 0x80040409},
    {0x80040814, 0x8004040A}, {0x80040A02, 0x80041400}, {0x8004090A, 0x80041401},
};

constexpr std::pair<USHORT, ULONG> kProbeFlags[] = {
    {0x9003, 0x80040403}, {0xD003, 0x80040403}, {0xA005, 0x80041400}, {0xE005, 0x80041400}, {0xE006, 0x80040402},
};

}  // namespace

HRESULT TranslateLibraryResult(HRESULT hr) noexcept {
    auto code = static_cast<ULONG>(hr);
    for (auto [library, framework] : kResults)
        if (code == library) return static_cast<HRESULT>(framework);
    if ((code >= 0x80040802 && code <= 0x80040813) || code == 0x80040815) return static_cast<HRESULT>(0x8004040B);
    return hr;
}

HRESULT TranslateProbeFlags(USHORT flags) noexcept {
    if (!(flags & kProbeFailedBit)) return S_OK;
    for (auto [word, framework] : kProbeFlags)
        if (flags == word) return static_cast<HRESULT>(framework);
    return E_FAIL;
}

}  // namespace tandem::protected_audio
