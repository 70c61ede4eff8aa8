#pragma once

#include <windows.h>

#include <map>

#include "ZephCs.h"
#include "com/com_object.h"
#include "sync_lock.h"
#include "variant.h"

namespace tandem::zephcs {

// A property bag standing for one file or one conversion request.
class Media : public ComObjectRoot, public IZephCsMedia {
public:
    using Interfaces = InterfaceTable<IZephCsMedia>;

    void Set(LONG id, Variant value);

    STDMETHODIMP GetProperty(LONG id, VARIANT* value) override;
    STDMETHODIMP GetAllProperties(LONG* count, LONG** ids, VARIANT** values) override;
    STDMETHODIMP PutProperty(LONG id, VARIANT value) override;
    STDMETHODIMP Clone(REFIID iid, void** out) override;
    STDMETHODIMP ClearProperties() override;
    STDMETHODIMP CopyFrom(REFIID iid, IZephCsMedia* source) override;

private:
    std::map<LONG, Variant> Snapshot();

    CSyncLock lock_;
    std::map<LONG, Variant> properties_;
};

// The media of an existing file: its path, its category (3 for a picture
// file by extension, 1 otherwise), carrier 2, and for a picture file the
// picture itself as property 11182.
ComPtr<IZephCsMedia> MakeFileMedia(const std::wstring& path);

}  // namespace tandem::zephcs
