#include <windows.h>

#include <atomic>
#include <cstring>
#include <memory>
#include <span>

#include "exif_gps.h"
#include "unique_resource.h"

namespace kelp {

namespace {

struct MappedViewTraits {
    using type = const void*;
    static type invalid() noexcept { return nullptr; }
    static bool valid(type view) noexcept { return view != nullptr; }
    static void close(type view) noexcept { UnmapViewOfFile(view); }
};
using UniqueMappedView = tandem::UniqueResource<MappedViewTraits>;

std::int32_t LastErrorResult() {
    const DWORD error = GetLastError();
    return HRESULT_FROM_WIN32(error ? error : ERROR_GEN_FAILURE);
}

// The file is mapped rather than read, so a huge file costs only the pages
// the structure visits; an empty file cannot be mapped and has no GPS data.
std::int32_t ReadFileGps(const wchar_t* path, ExifGps& gps) {
    const tandem::UniqueHandle file(CreateFileW(path, GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                                                nullptr, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr));
    if (!file) return LastErrorResult();
    LARGE_INTEGER size{};
    if (!GetFileSizeEx(file.get(), &size)) return LastErrorResult();
    if (size.QuadPart == 0) return 0;
    const tandem::UniqueHandle mapping(CreateFileMappingW(file.get(), nullptr, PAGE_READONLY, 0, 0, nullptr));
    if (!mapping) return LastErrorResult();
    const UniqueMappedView view(MapViewOfFile(mapping.get(), FILE_MAP_READ, 0, 0, 0));
    if (!view) return LastErrorResult();
    gps = ReadExifGps({static_cast<const std::byte*>(view.get()), static_cast<std::size_t>(size.QuadPart)});
    return 0;
}

// Holds what the file said when it was opened; it owns itself and goes
// away on its last release.
class MediaObjectImpl final : public MediaObject {
public:
    explicit MediaObjectImpl(const ExifGps& gps) : gps_(gps) {}

    std::int32_t AddRef() override { return ++references_; }
    std::int32_t Release() override {
        const std::int32_t left = --references_;
        if (left == 0) std::default_delete<MediaObjectImpl>{}(this);
        return left;
    }
    std::int32_t Reserved3() override { return kNotImplemented; }
    std::int32_t Reserved4() override { return kNotImplemented; }
    std::int32_t MediaType() override { return gps_.mediaType; }
    std::int32_t Reserved6() override { return kNotImplemented; }
    std::int32_t Reserved7() override { return kNotImplemented; }
    std::int32_t Reserved8() override { return kNotImplemented; }
    std::int32_t Reserved9() override { return kNotImplemented; }
    std::int32_t Reserved10() override { return kNotImplemented; }
    std::int32_t Reserved11() override { return kNotImplemented; }
    std::int32_t Reserved12() override { return kNotImplemented; }
    std::int32_t Reserved13() override { return kNotImplemented; }
    std::int32_t Reserved14() override { return kNotImplemented; }
    std::int32_t Reserved15() override { return kNotImplemented; }
    std::int32_t Reserved16() override { return kNotImplemented; }
    std::int32_t Reserved17() override { return kNotImplemented; }
    std::int32_t Reserved18() override { return kNotImplemented; }
    std::int32_t Reserved19() override { return kNotImplemented; }
    std::int32_t Reserved20() override { return kNotImplemented; }
    std::int32_t Reserved21() override { return kNotImplemented; }
    std::int32_t GetInformation(std::uintptr_t, std::uintptr_t, std::uintptr_t, std::uintptr_t, std::uintptr_t,
                                std::byte* information) override {
        if (!information) return E_POINTER;
        information[kHasGpsOffset] = std::byte{gps_.hasGps};
        std::memcpy(information + kGpsBlockOffset, gps_.block.data(), gps_.block.size());
        return 0;
    }

private:
    const ExifGps gps_;
    std::atomic<std::int32_t> references_{1};
};

}  // namespace

}  // namespace kelp

extern "C" std::int32_t KelpCreateMediaObjectW(const wchar_t* path, kelp::MediaObject** object, std::uintptr_t,
                                               std::uintptr_t, std::uintptr_t) {
    if (!object) return E_POINTER;
    *object = nullptr;
    if (!path) return E_INVALIDARG;
    try {
        kelp::ExifGps gps;
        const std::int32_t result = kelp::ReadFileGps(path, gps);
        if (result != 0) return result;
        *object = std::make_unique<kelp::MediaObjectImpl>(gps).release();
        return 0;
    } catch (const std::bad_alloc&) {
        return E_OUTOFMEMORY;
    }
}
