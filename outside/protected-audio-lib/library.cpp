#include "library.h"

#include "error.h"
#include "playback.h"
#include "tag_handler.h"

namespace tandem::vlt {

STDMETHODIMP Library::Initialize(LONG applicationId, LONG loadMode, LONG, LONG) {
    if (loadMode != 1 && loadMode != 2) return E_INVALIDARG;
    CSyncLockHolder hold(lock_);
    initialized_ = true;
    applicationId_ = applicationId;
    loadMode_ = loadMode;
    return S_OK;
}

STDMETHODIMP Library::RegisterHandlerClass(REFCLSID clsid) {
    return CatchHr([&] {
        CSyncLockHolder hold(lock_);
        handlerClasses_.push_back(clsid);
    });
}

STDMETHODIMP Library::SetOwner(LONG owner) {
    CSyncLockHolder hold(lock_);
    owner_ = owner;
    return S_OK;
}

STDMETHODIMP Library::CreatePlayback(BSTR path, REFIID iid, void** out, USHORT* status) {
    if (!out || !status) return E_POINTER;
    *out = nullptr;
    *status = 0;
    if (!path || !*path) return E_INVALIDARG;
    return CatchHr([&] {
        *status = ProbeFile(path);
        if (*status & VLT_PROBE_FAILED) return VLT_E_BAD_BLOCK;
        return MakeComObject<Playback>()->QueryInterface(iid, out);
    });
}

}  // namespace tandem::vlt
