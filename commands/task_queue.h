#pragma once

#include <windows.h>

#include <deque>
#include <functional>
#include <vector>

#include "command_task.h"
#include "sync_lock.h"
#include "unique_resource.h"

namespace tandem {

// A worker's FIFO queue, its current task and the semaphore counting what
// was queued. Every member takes the lock (it is re-entrant), so WithLock
// makes a sequence of them atomic.
class TaskQueue {
public:
    using Predicate = std::function<bool(const CommandThreadTaskBase&)>;

    // Raises the last error when the semaphore cannot be made.
    TaskQueue();
    TaskQueue(const TaskQueue&) = delete;
    TaskQueue& operator=(const TaskQueue&) = delete;

    template <class F>
    decltype(auto) WithLock(F&& f) {
        CSyncLockHolder hold(lock_);
        return f();
    }

    // Appends and counts it; a failed count is raised with the task queued.
    void Append(TaskPtr task);
    // Keeps the order of the others.
    void RemoveIf(const Predicate& remove);
    bool AnyOf(const Predicate& test) const;
    size_t Size() const;
    std::vector<TaskPtr> Snapshot() const;

    // The placeholder DummyTask when no folder task is current.
    TaskPtr Current() const;
    void ResetCurrent();

    // Blocks until a task is queued; a folder task becomes the current one.
    TaskPtr Dequeue();

    // Removes and returns what the journal keeps: an interrupted current
    // task first, then the queued folder tasks. Control tasks stay queued.
    std::vector<TaskPtr> TakePending();
    // Puts back at the front what TakePending returned (a failed save).
    void RestorePending(const std::vector<TaskPtr>& tasks);

private:
    TaskPtr TryPopFront();

    mutable CSyncLock lock_;
    std::deque<TaskPtr> tasks_;
    TaskPtr placeholder_;
    TaskPtr current_;
    UniqueHandle semaphore_;
};

}  // namespace tandem
