#include "task_queue.h"

#include <algorithm>
#include <iterator>

#include "error.h"

namespace tandem {

namespace {

constexpr LONG kMaxQueued = 0x7FFFFFFF;

void ReleaseOne(HANDLE semaphore) {
    if (!ReleaseSemaphore(semaphore, 1, nullptr)) ThrowLastError();
}

}  // namespace

TaskQueue::TaskQueue()
    : placeholder_(MakeShared<DummyTask>()),
      current_(placeholder_),
      semaphore_(CreateSemaphoreW(nullptr, 0, kMaxQueued, nullptr)) {
    if (!semaphore_) ThrowLastError();
}

void TaskQueue::Append(TaskPtr task) {
    CSyncLockHolder hold(lock_);
    tasks_.push_back(std::move(task));
    ReleaseOne(semaphore_.get());
}

void TaskQueue::RemoveIf(Predicate remove) {
    CSyncLockHolder hold(lock_);
    std::erase_if(tasks_, [&](const TaskPtr& task) { return remove(*task); });
    if (journalUnmerged_) journalRemovals_.push_back(std::move(remove));
}

bool TaskQueue::AnyOf(const Predicate& test) const {
    CSyncLockHolder hold(lock_);
    return std::any_of(tasks_.begin(), tasks_.end(), [&](const TaskPtr& task) { return test(*task); });
}

size_t TaskQueue::Size() const {
    CSyncLockHolder hold(lock_);
    return tasks_.size();
}

std::vector<TaskPtr> TaskQueue::Snapshot() const {
    CSyncLockHolder hold(lock_);
    return {tasks_.begin(), tasks_.end()};
}

TaskPtr TaskQueue::Current() const {
    CSyncLockHolder hold(lock_);
    return current_;
}

void TaskQueue::ResetCurrent() {
    CSyncLockHolder hold(lock_);
    current_ = placeholder_;
}

// Removals by the posting rules leave counts behind; an empty queue after a
// successful wait is such a surplus count and is waited through.
TaskPtr TaskQueue::Dequeue() {
    for (;;) {
        DWORD wait = WaitForSingleObject(semaphore_.get(), INFINITE);
        if (wait == WAIT_FAILED) ThrowLastError();
        if (wait != WAIT_OBJECT_0) continue;
        if (TaskPtr task = TryPopFront()) return task;
    }
}

TaskPtr TaskQueue::TryPopFront() {
    CSyncLockHolder hold(lock_);
    if (tasks_.empty()) return nullptr;
    TaskPtr task = std::move(tasks_.front());
    tasks_.pop_front();
    if (task->GetType() != kTaskControl) current_ = task;
    return task;
}

std::vector<TaskPtr> TaskQueue::TakePending() {
    CSyncLockHolder hold(lock_);
    std::vector<TaskPtr> pending;
    if (current_->GetType() != kTaskControl && current_->IsInterrupted()) pending.push_back(current_);
    current_ = placeholder_;
    auto control = std::stable_partition(tasks_.begin(), tasks_.end(),
                                         [](const TaskPtr& task) { return task->GetType() == kTaskControl; });
    std::move(control, tasks_.end(), std::back_inserter(pending));
    tasks_.erase(control, tasks_.end());
    journalUnmerged_ = true;
    journalRemovals_.clear();
    return pending;
}

bool TaskQueue::JournalUnmerged() const {
    CSyncLockHolder hold(lock_);
    return journalUnmerged_;
}

void TaskQueue::MergeJournal(std::vector<TaskPtr> tasks) {
    CSyncLockHolder hold(lock_);
    for (const Predicate& remove : journalRemovals_)
        std::erase_if(tasks, [&](const TaskPtr& task) { return remove(*task); });
    journalRemovals_.clear();
    journalUnmerged_ = false;
    for (const TaskPtr& task : tasks) task->Rearm();
    tasks_.insert(tasks_.begin(), tasks.begin(), tasks.end());
    for (size_t i = 0; i < tasks.size(); ++i) ReleaseOne(semaphore_.get());
}

}  // namespace tandem
