#pragma once

#include <windows.h>
#include <oaidl.h>

#include <functional>
#include <vector>

#include "com/com_object.h"
#include "com/free_threaded_marshaler.h"
#include "error.h"
#include "event_delivery.h"
#include "sync_lock.h"
#include "unique_resource.h"
#include "variant.h"

namespace tandem::test {

// One call a sink received: its dispid and arguments in declaration order.
struct Call {
    DISPID member;
    std::vector<Variant> arguments;
};

// An event sink of the test's own: answers one event interface with its
// IDispatch, records the calls and signals each one.
class RecordingSink : public ComObjectRoot, public IDispatch, public FreeThreadedMarshaler {
public:
    using IsInterfaceEntry = void;
    using Interfaces = InterfaceTable<IDispatch, RecordingSink, FreeThreadedMarshaler>;

    explicit RecordingSink(REFIID eventIid)
        : eventIid_(eventIid), signal_(CreateEventW(nullptr, FALSE, FALSE, nullptr)) {
        if (!signal_) ThrowLastError();
    }

    // The event interface answered with the IDispatch.
    static bool QueryEntry(RecordingSink& sink, REFIID iid, void** out) noexcept {
        if (!IsEqualIID(iid, sink.eventIid_)) return false;
        sink.AddRef();
        *out = static_cast<IDispatch*>(&sink);
        return true;
    }

    STDMETHODIMP GetTypeInfoCount(UINT* count) override {
        *count = 0;
        return S_OK;
    }
    STDMETHODIMP GetTypeInfo(UINT, LCID, ITypeInfo**) override { return E_NOTIMPL; }
    STDMETHODIMP GetIDsOfNames(REFIID, LPOLESTR*, UINT, LCID, DISPID*) override { return E_NOTIMPL; }
    STDMETHODIMP Invoke(DISPID member, REFIID, LCID, WORD flags, DISPPARAMS* params, VARIANT*, EXCEPINFO*,
                        UINT*) override {
        if (flags != DISPATCH_METHOD || params->cNamedArgs != 0) return DISP_E_MEMBERNOTFOUND;
        Call call{member, {}};
        for (UINT i = params->cArgs; i > 0; --i) call.arguments.push_back(Variant::Copy(params->rgvarg[i - 1]));
        {
            CSyncLockHolder hold(lock_);
            calls_.push_back(call);
        }
        HRESULT hr = handler ? handler(call) : S_OK;
        SetEvent(signal_.get());
        return hr;
    }

    // Waits for the calls to number at least count.
    bool WaitForCalls(size_t count, DWORD milliseconds = 10000) {
        for (;;) {
            if (Calls().size() >= count) return true;
            if (WaitForSingleObject(signal_.get(), milliseconds) != WAIT_OBJECT_0) return Calls().size() >= count;
        }
    }
    // What the sink received of the events raised so far.
    std::vector<Call> Calls() const {
        EventDelivery::Instance().Flush(10000);
        CSyncLockHolder hold(lock_);
        return calls_;
    }

    // Runs inside Invoke, after the call is recorded; its result is returned.
    std::function<HRESULT(const Call&)> handler;

private:
    const IID eventIid_;
    const UniqueHandle signal_;
    mutable CSyncLock lock_;
    std::vector<Call> calls_;
};

inline ComPtr<IUnknown> NewSink(REFIID eventIid, ComPtr<ComObject<RecordingSink>>* object = nullptr) {
    auto sink = MakeComObject<RecordingSink>(eventIid);
    if (object) *object = sink;
    return ComPtr<IUnknown>(static_cast<IDispatch*>(sink.get()));
}

}  // namespace tandem::test
