#include "event_delivery.h"

#include <objbase.h>

#include <chrono>
#include <condition_variable>
#include <deque>
#include <mutex>
#include <system_error>
#include <thread>

#include "error.h"

namespace tandem {

namespace {

// A sink stuck in its handler must not hold a process that ends.
constexpr DWORD kFinalStopMilliseconds = 5000;

}  // namespace

struct EventDelivery::State {
    std::mutex mutex;
    std::condition_variable wake;
    std::condition_variable progress;
    std::deque<Call> queue;
    unsigned long long posted = 0;
    unsigned long long delivered = 0;
    bool running = false;
    bool quit = false;
    DWORD threadId = 0;
};

EventDelivery& EventDelivery::Instance() {
    static EventDelivery delivery;
    return delivery;
}

EventDelivery::EventDelivery() : state_(MakeShared<State>()) {}

EventDelivery::~EventDelivery() { Stop(kFinalStopMilliseconds); }

void EventDelivery::Post(Call call) {
    std::lock_guard lock(state_->mutex);
    if (!state_->running) {
        try {
            std::thread([state = state_] { Run(state); }).detach();
        } catch (const std::system_error&) {
            ThrowHr(E_OUTOFMEMORY);
        }
        state_->running = true;
        state_->quit = false;
    }
    state_->queue.push_back(std::move(call));
    ++state_->posted;
    state_->wake.notify_one();
}

bool EventDelivery::Flush(DWORD milliseconds) const {
    std::unique_lock lock(state_->mutex);
    if (state_->threadId == GetCurrentThreadId()) return false;
    const unsigned long long target = state_->posted;
    return state_->progress.wait_for(lock, std::chrono::milliseconds(milliseconds),
                                     [&] { return state_->delivered >= target; });
}

bool EventDelivery::Stop(DWORD milliseconds) {
    std::unique_lock lock(state_->mutex);
    if (state_->threadId == GetCurrentThreadId()) return false;
    state_->quit = true;
    state_->wake.notify_one();
    return state_->progress.wait_for(lock, std::chrono::milliseconds(milliseconds),
                                     [&] { return !state_->running; });
}

void EventDelivery::Run(const SharedPtr<State>& state) noexcept {
    const HRESULT init = CoInitializeEx(nullptr, COINIT_MULTITHREADED);
    {
        std::unique_lock lock(state->mutex);
        state->threadId = GetCurrentThreadId();
        for (;;) {
            state->wake.wait(lock, [&] { return !state->queue.empty() || state->quit; });
            if (state->queue.empty()) break;
            Call call = std::move(state->queue.front());
            state->queue.pop_front();
            lock.unlock();
            CatchHr(call);
            // The arguments are released here, not under the lock.
            call = nullptr;
            lock.lock();
            ++state->delivered;
            state->progress.notify_all();
        }
        state->running = false;
        state->threadId = 0;
        state->progress.notify_all();
    }
    if (SUCCEEDED(init)) CoUninitialize();
}

}  // namespace tandem
