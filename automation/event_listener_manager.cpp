#include "event_listener_manager.h"

#include <objidl.h>

#include <algorithm>

#include "error.h"

namespace tandem {

namespace {

// The table is process-wide and agile: one pointer serves every thread.
IGlobalInterfaceTable& GlobalInterfaceTable() {
    static const ComPtr<IGlobalInterfaceTable> table = [] {
        ComPtr<IGlobalInterfaceTable> made;
        CheckHr(CoCreateInstance(CLSID_StdGlobalInterfaceTable, nullptr, CLSCTX_INPROC_SERVER,
                                 IID_IGlobalInterfaceTable, made.put_void()));
        return made;
    }();
    return *table;
}

}  // namespace

DispEventListener::DispEventListener(IUnknown* sink, REFIID eventIid) : eventIid_(eventIid) {
    CheckHr(GlobalInterfaceTable().RegisterInterfaceInGlobal(sink, eventIid_, &cookie_));
}

DispEventListener::~DispEventListener() { GlobalInterfaceTable().RevokeInterfaceFromGlobal(cookie_); }

ComPtr<IDispatch> DispEventListener::Sink() const {
    ComPtr<IDispatch> sink;
    CheckHr(GlobalInterfaceTable().GetInterfaceFromGlobal(cookie_, eventIid_, sink.put_void()));
    return sink;
}

DWORD EventListenerManager::Add(IUnknown* sink) {
    auto listener = MakeShared<DispEventListener>(sink, eventIid_);
    const DWORD cookie = listener->Cookie();
    CSyncLockHolder hold(lock_);
    listeners_.emplace(cookie, std::move(listener));
    return cookie;
}

bool EventListenerManager::Remove(DWORD cookie) {
    SharedPtr<DispEventListener> removed;
    CSyncLockHolder hold(lock_);
    auto found = listeners_.find(cookie);
    if (found == listeners_.end()) return false;
    removed = std::move(found->second);
    listeners_.erase(found);
    return true;
}

ComPtr<IUnknown> EventListenerManager::SinkOf(DWORD cookie) const {
    SharedPtr<DispEventListener> listener;
    {
        CSyncLockHolder hold(lock_);
        auto found = listeners_.find(cookie);
        if (found == listeners_.end()) return nullptr;
        listener = found->second;
    }
    ComPtr<IUnknown> sink;
    CheckHr(listener->Sink().as(sink));
    return sink;
}

size_t EventListenerManager::Count() const {
    CSyncLockHolder hold(lock_);
    return listeners_.size();
}

std::vector<SharedPtr<DispEventListener>> EventListenerManager::Snapshot() const {
    CSyncLockHolder hold(lock_);
    std::vector<SharedPtr<DispEventListener>> listeners;
    listeners.reserve(listeners_.size());
    for (const auto& [cookie, listener] : listeners_) listeners.push_back(listener);
    return listeners;
}

void EventListenerManager::Fire(DISPID member, std::vector<Variant> arguments) const {
    std::reverse(arguments.begin(), arguments.end());
    // Variant wraps exactly one VARIANT, so the vector is the argument array.
    static_assert(sizeof(Variant) == sizeof(VARIANT));
    DISPPARAMS params{arguments.empty() ? nullptr : arguments.front().ptr(), nullptr,
                      static_cast<UINT>(arguments.size()), 0};
    for (const auto& listener : Snapshot()) {
        CatchHr([&] {
            Variant result;
            return listener->Sink()->Invoke(member, IID_NULL, LOCALE_USER_DEFAULT, DISPATCH_METHOD, &params,
                                            result.ptr(), nullptr, nullptr);
        });
    }
}

}  // namespace tandem
