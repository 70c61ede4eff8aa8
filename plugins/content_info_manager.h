#pragma once

#include <windows.h>

#include <functional>
#include <optional>
#include <string>

#include "ZephCs.h"
#include "com_ptr.h"
#include "content_source.h"
#include "shared_ptr.h"
#include "sync_lock.h"
#include "unique_resource.h"

namespace tandem {

// A file's media object; keeps the framework library loaded while it lives.
class ZephCsContentMedia final : public ContentMedia {
public:
    ZephCsContentMedia(SharedPtr<const UniqueModule> library, ComPtr<IZephCsMedia> media)
        : library_(std::move(library)), media_(std::move(media)) {}

    IZephCsMedia& Media() const noexcept { return *media_; }

private:
    SharedPtr<const UniqueModule> library_;
    ComPtr<IZephCsMedia> media_;
};

// The service's binding to the content-source framework library.
class ContentInfoManager final : public ContentSource {
public:
    struct Setup {
        std::wstring libraryDirectory;  // holds ZephCs.dll; ends with a backslash
        std::wstring protectedAudioModule;
        CLSID protectedAudioClass;
        // "Pelion Entertainment\<thumbnail folder>", asked for once, at the
        // first thumbnail: a changed setting takes effect after a restart.
        std::function<std::wstring()> thumbnailSubPath;
    };

    // The process's binding, to the library beside the executable; created
    // on first use, failures raised (and retried by the next use).
    static ContentInfoManager& Instance();

    explicit ContentInfoManager(Setup setup);

    ContentMediaPtr OpenMedia(const std::wstring& path) override;
    LONG ObjectCategory(const ContentMedia& media) override;
    Variant ReadProperty(const ContentMedia& media, LONG id, const PropertyList& converterParams) override;
    PropertyList ReadAllProperties(const ContentMedia& media) override;

    void AcquireProtectedAudio() noexcept override;
    void ReleaseProtectedAudio() noexcept override;
    LONG ProtectedAudioUseCount() const noexcept;

private:
    Variant Present(IZephCsMedia& media, LONG frameworkId, Variant value, const PropertyList& converterParams);
    std::wstring ConvertThumbnail(IZephCsMedia& media, LONG frameworkId, const Variant& picture,
                                  const PropertyList& converterParams);
    ComPtr<IZephCsMedia> BlankMedia();
    std::wstring ThumbnailSubPath();

    Setup setup_;
    SharedPtr<const UniqueModule> library_;
    ComPtr<IZephCsManager> manager_;

    CSyncLock thumbnailLock_;
    std::optional<std::wstring> thumbnailSubPath_;

    mutable CSyncLock audioLock_;
    LONG audioUses_ = 0;
    bool audioRegisteredHere_ = false;
};

}  // namespace tandem
