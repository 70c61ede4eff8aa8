#pragma once

#include <windows.h>

#include <vector>

#include "VltLib.h"
#include "com/com_object.h"
#include "sync_lock.h"

namespace tandem::vlt {

// The library's main object: its settings, the handler classes registered
// with it, and playback objects for protected files.
class Library : public ComObjectRoot, public IVltLibrary, public IVltPlaybackFactory {
public:
    using Interfaces = InterfaceTable<IVltLibrary, IVltPlaybackFactory>;

    STDMETHODIMP Initialize(LONG applicationId, LONG loadMode, LONG reserved1, LONG reserved2) override;
    STDMETHODIMP RegisterHandlerClass(REFCLSID clsid) override;

    STDMETHODIMP SetOwner(LONG owner) override;
    STDMETHODIMP CreatePlayback(BSTR path, REFIID iid, void** out, USHORT* status) override;

private:
    CSyncLock lock_;
    bool initialized_ = false;
    LONG applicationId_ = 0;
    LONG loadMode_ = 0;
    LONG owner_ = -1;
    std::vector<CLSID> handlerClasses_;
};

}  // namespace tandem::vlt
