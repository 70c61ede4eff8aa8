#pragma once

#include <windows.h>

#include "MarloZephFw.h"
#include "cancellation.h"
#include "TandemPlugin.h"
#include "com/com_object.h"
#include "com/dispatch.h"
#include "com/free_threaded_marshaler.h"
#include "com/type_library.h"
#include "shared_ptr.h"
#include "sync_lock.h"

namespace tandem {

// The plug-in type library, from TandemPlugin.dll beside the running program.
TypeLibrary& ProgressNotifierLibrary();

// Where a folder operation's progress and abort are announced to clients.
class ProgressEvents {
public:
    virtual ~ProgressEvents() = default;
    virtual void OnOperationProgress(TnFolderOperationTypes operation, float percentage) = 0;
    virtual void OnOperationAbort(TnFolderOperationTypes operation) = 0;
};

// Progress of one folder operation over its steps (one per plug-in), and
// the cancellation of the command it belongs to. Plug-ins set Total and
// Progress of the current step and poll Canceled. Events are raised with no
// lock held: a handler may call back into the notifier or the service.
class CTandemProgressNotifier : public ComObjectRoot,
                                public DispatchImpl<ITandemProgressNotifier, ProgressNotifierLibrary>,
                                public FreeThreadedMarshaler {
public:
    using Interfaces = InterfaceTable<ITandemProgressNotifier, Via<IDispatch, ITandemProgressNotifier>,
                                      FreeThreadedMarshaler>;
    // Owned by the command threads for their whole life: a server whose
    // storages are connected must still go idle when its clients leave.
    static constexpr bool kLocksModule = false;

    STDMETHODIMP get_Total(LONG* value) override;
    STDMETHODIMP put_Total(LONG value) override;
    STDMETHODIMP get_Progress(LONG* value) override;
    STDMETHODIMP put_Progress(LONG value) override;
    STDMETHODIMP get_Canceled(VARIANT_BOOL* value) override;

    // Back to the idle state for a new command: its operations are canceled
    // by cancellation alone.
    void Bind(CancellationPtr cancellation);
    // Resets the progress for a new operation of steps steps; events (may be
    // null) receive its progress until the last step is done. A command
    // canceled before its operation started has the abort announced at once.
    void StartOperation(SharedPtr<ProgressEvents> events, TnFolderOperationTypes operation, LONG steps);
    void StepDone();
    // Cancels the bound command; only the first call announces it.
    void Abort();
    // Cancels that command, announced only while it is the bound one.
    void Abort(const CancellationPtr& cancellation);
    // Back to the idle state, no events, not canceled.
    void Reset() { Bind(MakeShared<Cancellation>()); }

    bool IsCanceled() const;
    float LastPercentage() const;

private:
    // What to raise once the lock is released; empty events raise nothing.
    struct Announcement {
        SharedPtr<ProgressEvents> events;
        TnFolderOperationTypes operation = tnFolderOperationType_Refresh;
        float percentage = 0.0f;
        bool abort = false;
        void Raise() const;
    };

    void ResetProgressLocked();
    float Percentage(LONG progress, LONG total) const noexcept;
    Announcement Report(float percentage);
    Announcement Fire(float percentage);
    Announcement AbortLocked();

    mutable CSyncLock lock_;
    CancellationPtr cancellation_ = MakeShared<Cancellation>();
    bool abortAnnounced_ = false;
    SharedPtr<ProgressEvents> events_;
    TnFolderOperationTypes operation_ = tnFolderOperationType_Refresh;
    LONG accumulatedTotal_ = 0;
    LONG accumulatedProgress_ = 0;
    LONG total_ = 0;
    LONG progress_ = 0;
    LONG steps_ = 0;
    LONG stepsDone_ = 0;
    ULONGLONG lastTick_ = 0;
    LONG skipped_ = 0;
    float lastPercentage_ = 0.0f;
};

}  // namespace tandem
