#include "change_notificator.h"

#include <memory>
#include <optional>

#include "error.h"
#include "notify_buffer.h"

namespace tandem {
namespace {

UniqueHandle ManualResetEvent() {
    UniqueHandle event(CreateEventW(nullptr, TRUE, FALSE, nullptr));
    if (!event) ThrowLastError();
    return event;
}

}  // namespace

CChangeNotificator::CChangeNotificator(std::vector<IChangeNotifiable*> listeners, Options options)
    : thread_(this, &CChangeNotificator::Run),
      stop_(ManualResetEvent()),
      data_(ManualResetEvent()),
      options_(options),
      pending_(*options.probe),
      listeners_(std::move(listeners)) {}

CChangeNotificator::~CChangeNotificator() { Stop(); }

void CChangeNotificator::AddRecords(LONG directory, const BYTE* buffer, DWORD length, const std::wstring& root,
                                    const SharedPtr<TandemPlugin>& plugins) {
    std::vector<ChangeEntry> entries;
    ParseNotifyBuffer(buffer, length, root, directory, plugins, entries);
    AddEntries(std::move(entries));
}

void CChangeNotificator::AddEntries(std::vector<ChangeEntry> entries) {
    if (entries.empty()) return;
    {
        CSyncLockHolder hold(lock_);
        if (incoming_.empty())
            incoming_ = std::move(entries);
        else
            incoming_.insert(incoming_.end(), std::make_move_iterator(entries.begin()),
                             std::make_move_iterator(entries.end()));
    }
    SetEvent(data_.get());
}

void CChangeNotificator::Start() {
    ResetEvent(stop_.get());
    thread_.Start();
}

void CChangeNotificator::Stop() {
    SetEvent(stop_.get());
    thread_.Wait(INFINITE);
}

void CChangeNotificator::Run() {
    std::optional<ConsoleUserImpersonation> user;
    if (options_.impersonate) user.emplace(*options_.impersonate);
    const HANDLE events[] = {stop_.get(), data_.get()};
    DWORD wait = INFINITE;
    for (;;) {
        switch (WaitForMultipleObjects(2, events, FALSE, wait)) {
        case WAIT_OBJECT_0: return;
        case WAIT_OBJECT_0 + 1: wait = MergeBatch(); break;
        case WAIT_TIMEOUT:
            wait = pending_.DeliverSettled(GetTickCount(), options_.settle,
                                           [this](const PendingChange& change) { DeliverOne(change); });
            break;
        default: break;
        }
    }
}

DWORD CChangeNotificator::MergeBatch() {
    std::vector<ChangeEntry> batch;
    {
        CSyncLockHolder hold(lock_);
        batch.swap(incoming_);
        ResetEvent(data_.get());
    }
    const DWORD now = GetTickCount();
    for (ChangeEntry& entry : batch) pending_.Merge(std::move(entry), now);
    return pending_.DeliverSettled(GetTickCount(), options_.settle,
                                   [this](const PendingChange& change) { DeliverOne(change); });
}

// One listener's failure costs that change only: ending the thread would
// leave the storage unwatched until it reconnects.
void CChangeNotificator::DeliverOne(const PendingChange& change) noexcept {
    for (IChangeNotifiable* listener : listeners_) CatchHr([&] { listener->OnChange(change); });
}

}  // namespace tandem
