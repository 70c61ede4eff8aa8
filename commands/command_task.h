#pragma once

#include <windows.h>

#include <atomic>
#include <string>
#include <type_traits>

#include "cancellation.h"
#include "shared_ptr.h"

namespace tandem {

class CommandThread;
class CommandFuncVisitor;

// The value of GetType; Control tasks are never current, cancelled or journalled.
enum TaskKind : LONG {
    kTaskControl = 0,
    kTaskRegister = 1,
    kTaskUnRegister = 2,
    kTaskDelete = 3,
    kTaskRename = 4,
    kTaskRefresh = 5,
    kTaskUpdate = 6,
};

// One unit of work of a command thread's worker.
class CommandThreadTaskBase {
public:
    CommandThreadTaskBase() = default;
    CommandThreadTaskBase(const CommandThreadTaskBase&) = delete;
    CommandThreadTaskBase& operator=(const CommandThreadTaskBase&) = delete;
    virtual ~CommandThreadTaskBase() = default;

    virtual void Run(CommandThread& thread) = 0;
    virtual LONG GetType() const = 0;
    virtual const std::wstring& GetPath() const = 0;
    virtual bool IsSubTree() const = 0;
    // Hands the task's parameters to the journal writer.
    virtual void Serialize(CommandFuncVisitor& journal) const = 0;

    // Cancelled or not completed; read by posting threads while the worker runs it.
    bool IsInterrupted() const noexcept { return interrupted_.load(); }
    void MarkInterrupted() noexcept { interrupted_.store(true); }

    // What aborts this task's plug-in work, and nothing else's.
    const CancellationPtr& GetCancellation() const noexcept { return cancellation_; }
    // Before it is queued again to run from scratch (a journal it did not
    // reach): not interrupted, not cancelled.
    void Rearm() {
        interrupted_.store(false);
        cancellation_ = MakeShared<Cancellation>();
    }

private:
    std::atomic<bool> interrupted_{false};
    CancellationPtr cancellation_ = MakeShared<Cancellation>();
};

using TaskPtr = SharedPtr<CommandThreadTaskBase>;

// Placeholder for "no current task", and the item that wakes a worker to stop.
class DummyTask final : public CommandThreadTaskBase {
public:
    void Run(CommandThread&) override {}
    LONG GetType() const override { return kTaskControl; }
    const std::wstring& GetPath() const override;
    bool IsSubTree() const override { return false; }
    void Serialize(CommandFuncVisitor& journal) const override;
};

// A task made of a function object (see command_funcs.h). A false result or
// any exception marks it interrupted; nothing escapes to the worker.
template <class Func>
class AsyncFunctionTask final : public CommandThreadTaskBase {
public:
    explicit AsyncFunctionTask(Func func) : func_(std::move(func)) {}

    void Run(CommandThread& thread) override {
        try {
            if constexpr (std::is_void_v<decltype(func_(thread))>) {
                func_(thread);
            } else if (!func_(thread)) {
                MarkInterrupted();
            }
        } catch (...) {
            MarkInterrupted();
        }
    }
    LONG GetType() const override { return Func::kKind; }
    const std::wstring& GetPath() const override { return func_.Path(); }
    bool IsSubTree() const override { return func_.SubTree(); }
    void Serialize(CommandFuncVisitor& journal) const override;

    const Func& Function() const noexcept { return func_; }

private:
    Func func_;
};

template <class Func>
TaskPtr MakeTask(Func func) {
    return MakeShared<AsyncFunctionTask<Func>>(std::move(func));
}

// The task's function object when it is made of a Func, else null.
template <class Func>
const Func* FunctionOf(const CommandThreadTaskBase& task) noexcept {
    const auto* made = dynamic_cast<const AsyncFunctionTask<Func>*>(&task);
    return made ? &made->Function() : nullptr;
}

}  // namespace tandem
