// The sub-format GUIDs are the platform's published ones, kept apart from the
// portable scan so that it builds where those headers do not exist.
#include <windows.h>

#include <mmreg.h>
#include <ks.h>
#include <ksmedia.h>

#include <cstring>

#include "scan_values.h"

namespace tandem::riffscan {
namespace {

struct SubFormat {
    GUID guid;
    std::uint16_t tag;
};

constexpr SubFormat kSubFormats[] = {
    {{STATIC_KSDATAFORMAT_SUBTYPE_PCM}, WAVE_FORMAT_PCM},
    {{STATIC_KSDATAFORMAT_SUBTYPE_MPEG}, WAVE_FORMAT_MPEG},
    {{STATIC_KSDATAFORMAT_SUBTYPE_IEEE_FLOAT}, WAVE_FORMAT_IEEE_FLOAT},
    {{STATIC_KSDATAFORMAT_SUBTYPE_DRM}, WAVE_FORMAT_DRM},
    {{STATIC_KSDATAFORMAT_SUBTYPE_ALAW}, WAVE_FORMAT_ALAW},
    {{STATIC_KSDATAFORMAT_SUBTYPE_MULAW}, WAVE_FORMAT_MULAW},
    {{STATIC_KSDATAFORMAT_SUBTYPE_ADPCM}, WAVE_FORMAT_ADPCM},
};

}  // namespace

std::uint16_t SubFormatTag(const std::array<std::uint8_t, 16>& subFormat) {
    // The file stores the GUID in its in-memory layout (little-endian fields).
    static_assert(sizeof(GUID) == 16);
    GUID guid;
    std::memcpy(&guid, subFormat.data(), sizeof guid);
    for (const SubFormat& known : kSubFormats)
        if (IsEqualGUID(guid, known.guid)) return known.tag;
    return 0;
}

}  // namespace tandem::riffscan
