#pragma once

#include <windows.h>

#include <string>
#include <utility>
#include <vector>

#include "shared_ptr.h"
#include "variant.h"

namespace tandem {

// Numbered property values in order, as media objects and TandemProperty
// arrays carry them.
using PropertyList = std::vector<std::pair<LONG, Variant>>;

// A file as the content-source framework describes it (its class object,
// media object and source media). Opaque to everything but the source.
class ContentMedia {
public:
    virtual ~ContentMedia() = default;
};
using ContentMediaPtr = SharedPtr<ContentMedia>;

// What file information and plug-in objects need of the content-source
// framework.
class ContentSource {
public:
    virtual ~ContentSource() = default;

    // Raises when the framework cannot describe the file.
    virtual ContentMediaPtr OpenMedia(const std::wstring& path) = 0;
    // Property 11110; E_UNEXPECTED unless it is a VT_I4.
    virtual LONG ObjectCategory(const ContentMedia& media) = 0;
    // One property as plug-ins see it: picture identifiers translated and
    // pictures turned into thumbnail files reported by path. VT_EMPTY when
    // the file has no such property.
    virtual Variant ReadProperty(const ContentMedia& media, LONG id, const PropertyList& converterParams) = 0;
    // Every property, each read as ReadProperty reads it.
    virtual PropertyList ReadAllProperties(const ContentMedia& media) = 0;

    // Keeps the protected-audio content source registered with the framework
    // while imports, renames and refreshes run; failures are not reported.
    virtual void AcquireProtectedAudio() noexcept = 0;
    virtual void ReleaseProtectedAudio() noexcept = 0;
};

}  // namespace tandem
