#pragma once

// The media-object library's calls as the service makes them: an object
// whose slots are fixed by position, and one creation export.

#include <cstddef>
#include <cstdint>

namespace kelp {

// Media types the object reports (slot 5).
enum MediaType : std::int32_t {
    kMediaUnknown = 0,
    kMediaJpeg = 1,
    kMediaTiff = 2,
};

// The information record filled by slot 22, zero-filled by the caller.
inline constexpr std::size_t kInformationSize = 348;
inline constexpr std::size_t kHasGpsOffset = 188;
inline constexpr std::size_t kGpsBlockOffset = 192;
inline constexpr std::size_t kGpsBlockSize = 156;

// Offsets inside the GPS block. Rationals are numerator and denominator,
// unsigned 32-bit each; a numerator of kAbsent marks a value the file lacks.
// Texts are zero-terminated where they fit their field.
inline constexpr std::size_t kLatitudeRefOffset = 4;
inline constexpr std::size_t kLatitudeOffset = 8;
inline constexpr std::size_t kLongitudeRefOffset = 32;
inline constexpr std::size_t kLongitudeOffset = 36;
inline constexpr std::size_t kAltitudeRefOffset = 60;
inline constexpr std::size_t kAltitudeOffset = 64;
inline constexpr std::size_t kMapDatumOffset = 144;
inline constexpr std::size_t kReferenceSize = 4;
inline constexpr std::uint32_t kAbsent = 0xFFFFFFFFu;

// Only slots 1, 2, 5 and 22 do anything; the others keep the positions and
// return kNotImplemented.
class MediaObject {
public:
    virtual std::int32_t AddRef() = 0;                                     // 1
    virtual std::int32_t Release() = 0;                                    // 2
    virtual std::int32_t Reserved3() = 0;
    virtual std::int32_t Reserved4() = 0;
    virtual std::int32_t MediaType() = 0;                                  // 5
    virtual std::int32_t Reserved6() = 0;
    virtual std::int32_t Reserved7() = 0;
    virtual std::int32_t Reserved8() = 0;
    virtual std::int32_t Reserved9() = 0;
    virtual std::int32_t Reserved10() = 0;
    virtual std::int32_t Reserved11() = 0;
    virtual std::int32_t Reserved12() = 0;
    virtual std::int32_t Reserved13() = 0;
    virtual std::int32_t Reserved14() = 0;
    virtual std::int32_t Reserved15() = 0;
    virtual std::int32_t Reserved16() = 0;
    virtual std::int32_t Reserved17() = 0;
    virtual std::int32_t Reserved18() = 0;
    virtual std::int32_t Reserved19() = 0;
    virtual std::int32_t Reserved20() = 0;
    virtual std::int32_t Reserved21() = 0;
    // Five zero arguments, then the record.                                  22
    virtual std::int32_t GetInformation(std::uintptr_t, std::uintptr_t, std::uintptr_t, std::uintptr_t,
                                        std::uintptr_t, std::byte* information) = 0;

protected:
    ~MediaObject() = default;
};

inline constexpr std::int32_t kNotImplemented = static_cast<std::int32_t>(0x80004001);

// 0 and an object holding one reference, or an error and no object.
using CreateMediaObjectFunction = std::int32_t (*)(const wchar_t* path, MediaObject** object, std::uintptr_t,
                                                   std::uintptr_t, std::uintptr_t);
inline constexpr char kCreateMediaObjectExport[] = "KelpCreateMediaObjectW";
inline constexpr wchar_t kModuleName[] = L"KelpMediaObject.dll";

}  // namespace kelp
