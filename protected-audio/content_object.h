#pragma once

#include <windows.h>

#include <optional>
#include <utility>
#include <vector>

#include "VltLib.h"
#include "ZephCs.h"
#include "bstr.h"
#include "class_context.h"
#include "com/com_object.h"
#include "sync_lock.h"
#include "variant.h"

namespace tandem::protected_audio {

// One protected file: its metadata as framework properties, read and
// written through the library's tag handler for the file.
class ZephCsVltFileObject : public ComObjectRoot, public IZephCsObject, public IZephCsObjectProperties {
public:
    using Interfaces = InterfaceTable<IZephCsObject, IZephCsObjectProperties>;

    // Takes a copy of the class's context and creates the file's handler.
    HRESULT Initialize(const ClassContext& context, IZephCsMedia* source) noexcept;

    STDMETHODIMP SetObjectCsManager(REFIID iid, IUnknown* manager) override;
    STDMETHODIMP SetObjectSource(REFIID iid, IZephCsMedia* source) override;
    STDMETHODIMP OpenObject(LONG mode) override;
    STDMETHODIMP CloseObject() override;

    STDMETHODIMP GetProperty(LONG id, VARIANT* value) override;
    STDMETHODIMP GetAllProperties(LONG* count, LONG** ids, VARIANT** values) override;
    STDMETHODIMP PutProperty(LONG id, VARIANT value) override;
    STDMETHODIMP GetPropertyInfo(LONG id, LONG* info) override;
    STDMETHODIMP GetMedia(REFIID iid, void** out) override;

private:
    using Values = std::vector<Variant>;
    using Listing = std::vector<std::pair<LONG, Variant>>;

    IVltTagHandler& Handler() const;
    // The tag's values; nothing when the read fails or yields none.
    std::optional<Values> TryReadTag(IVltTagHandler& handler, LONG tag) const;
    Values ReadTag(LONG tag) const;

    Variant Derived(LONG id) const;
    Variant RecordingKind() const;
    Variant MediaKind() const;
    Variant FromTagOrRecord(LONG tag, size_t offset) const;
    Variant TableProperty(LONG id) const;
    void ProbeWritable() const;
    Listing List() const;
    void AppendPictureFallbacks(Listing& listing, const std::optional<Values>& cover,
                                const std::optional<Values>& front, bool hasFirst) const;

    mutable CSyncLock lock_;
    ComPtr<IZephCsManager> manager_;
    Bstr path_;
    ComPtr<IVltTagHandler> handler_;
    bool opened_ = false;
    ClassContext context_;
};

}  // namespace tandem::protected_audio
