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
//
// While the worker's journal holds tasks that are not queued (it was saved,
// or not read yet), removals are also remembered and applied to those tasks
// when they are merged back: a registration posted before the journal is
// read still drops a journalled unregistration of its path.
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
    // Keeps the order of the others. The predicate is kept for the journal's
    // tasks while they are not merged, so it must not refer to the caller's
    // locals.
    void RemoveIf(Predicate remove);
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
    // From now on the journal holds tasks that are not queued.
    std::vector<TaskPtr> TakePending();
    // True while the journal holds tasks that are not queued.
    bool JournalUnmerged() const;
    // Puts the journal's tasks (read, or not saved after all) in front of
    // the queue, less what was removed since they left it, and counts them.
    void MergeJournal(std::vector<TaskPtr> tasks);

private:
    TaskPtr TryPopFront();

    mutable CSyncLock lock_;
    std::deque<TaskPtr> tasks_;
    bool journalUnmerged_ = true;
    std::vector<Predicate> journalRemovals_;
    TaskPtr placeholder_;
    TaskPtr current_;
    UniqueHandle semaphore_;
};

}  // namespace tandem
