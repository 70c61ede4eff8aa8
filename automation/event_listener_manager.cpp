#include "event_listener_manager.h"

#include <objidl.h>

#include <algorithm>

#include "error.h"
#include "event_delivery.h"

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

void EventListenerManager::Clear() noexcept {
    std::map<DWORD, SharedPtr<DispEventListener>> removed;
    CSyncLockHolder hold(lock_);
    removed.swap(listeners_);
}

std::vector<SharedPtr<DispEventListener>> EventListenerManager::Snapshot() const {
    CSyncLockHolder hold(lock_);
    std::vector<SharedPtr<DispEventListener>> listeners;
    listeners.reserve(listeners_.size());
    for (const auto& [cookie, listener] : listeners_) listeners.push_back(listener);
    return listeners;
}

void EventListenerManager::Fire(DISPID member, std::vector<Variant> arguments) const {
    auto listeners = Snapshot();
    if (listeners.empty()) return;
    std::reverse(arguments.begin(), arguments.end());
    auto event = MakeShared<PendingEvent>(PendingEvent{std::move(listeners), member, std::move(arguments)});
    EventDelivery::Instance().Post([event] { Deliver(*event); });
}

void EventListenerManager::Deliver(PendingEvent& event) noexcept {
    // Variant wraps exactly one VARIANT, so the vector is the argument array.
    static_assert(sizeof(Variant) == sizeof(VARIANT));
    DISPPARAMS params{event.arguments.empty() ? nullptr : event.arguments.front().ptr(), nullptr,
                      static_cast<UINT>(event.arguments.size()), 0};
    for (const auto& listener : event.listeners) {
        CatchHr([&] {
            Variant result;
            return listener->Sink()->Invoke(event.member, IID_NULL, LOCALE_USER_DEFAULT, DISPATCH_METHOD, &params,
                                            result.ptr(), nullptr, nullptr);
        });
    }
}

}  // namespace tandem
