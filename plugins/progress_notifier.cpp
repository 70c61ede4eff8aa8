#include "progress_notifier.h"

#include <cmath>
#include <string>

#include "error.h"
#include "module_path.h"

namespace tandem {

namespace {

constexpr float kImmediateStep = 10.0f;
constexpr float kMinimumStep = 1.0f;
constexpr LONG kSkipsPerCheck = 5;
constexpr ULONGLONG kMinimumInterval = 200;

}  // namespace

TypeLibrary& ProgressNotifierLibrary() {
    static TypeLibrary library(ModuleDirectory(nullptr) + L"TandemPlugin.dll");
    return library;
}

STDMETHODIMP CTandemProgressNotifier::get_Total(LONG* value) {
    if (!value) return E_POINTER;
    CSyncLockHolder hold(lock_);
    *value = total_;
    return S_OK;
}

STDMETHODIMP CTandemProgressNotifier::put_Total(LONG value) {
    return CatchHr([&] {
        Announcement announcement;
        {
            CSyncLockHolder hold(lock_);
            total_ = value;
            announcement = Report(Percentage(progress_ + accumulatedProgress_, value + accumulatedTotal_));
        }
        announcement.Raise();
    });
}

STDMETHODIMP CTandemProgressNotifier::get_Progress(LONG* value) {
    if (!value) return E_POINTER;
    CSyncLockHolder hold(lock_);
    *value = progress_;
    return S_OK;
}

STDMETHODIMP CTandemProgressNotifier::put_Progress(LONG value) {
    return CatchHr([&] {
        Announcement announcement;
        {
            CSyncLockHolder hold(lock_);
            progress_ = value;
            announcement = Report(Percentage(value + accumulatedProgress_, total_ + accumulatedTotal_));
        }
        announcement.Raise();
    });
}

STDMETHODIMP CTandemProgressNotifier::get_Canceled(VARIANT_BOOL* value) {
    if (!value) return E_POINTER;
    *value = IsCanceled() ? VARIANT_TRUE : VARIANT_FALSE;
    return S_OK;
}

void CTandemProgressNotifier::Bind(CancellationPtr cancellation) {
    CSyncLockHolder hold(lock_);
    ResetProgressLocked();
    cancellation_ = std::move(cancellation);
}

void CTandemProgressNotifier::StartOperation(SharedPtr<ProgressEvents> events, TnFolderOperationTypes operation,
                                             LONG steps) {
    Announcement start, abort;
    {
        CSyncLockHolder hold(lock_);
        ResetProgressLocked();
        events_ = std::move(events);
        operation_ = operation;
        steps_ = steps;
        start = {events_, operation_, 0.0f, false};
        if (cancellation_->IsCanceled()) abort = AbortLocked();
    }
    start.Raise();
    abort.Raise();
}

void CTandemProgressNotifier::StepDone() {
    Announcement announcement;
    {
        CSyncLockHolder hold(lock_);
        if (stepsDone_ >= steps_) return;
        accumulatedTotal_ += total_;
        accumulatedProgress_ += progress_;
        ++stepsDone_;
        total_ = progress_ = 0;
        if (stepsDone_ < steps_) return;
        announcement = Fire(100.0f);
        events_.reset();
    }
    announcement.Raise();
}

void CTandemProgressNotifier::Abort() {
    Announcement announcement;
    {
        CSyncLockHolder hold(lock_);
        cancellation_->Cancel();
        announcement = AbortLocked();
    }
    announcement.Raise();
}

void CTandemProgressNotifier::Abort(const CancellationPtr& cancellation) {
    if (!cancellation) return;
    cancellation->Cancel();
    Announcement announcement;
    {
        CSyncLockHolder hold(lock_);
        if (cancellation != cancellation_) return;
        announcement = AbortLocked();
    }
    announcement.Raise();
}

bool CTandemProgressNotifier::IsCanceled() const {
    CSyncLockHolder hold(lock_);
    return cancellation_->IsCanceled();
}

float CTandemProgressNotifier::LastPercentage() const {
    CSyncLockHolder hold(lock_);
    return lastPercentage_;
}

CTandemProgressNotifier::Announcement CTandemProgressNotifier::AbortLocked() {
    if (abortAnnounced_ || !events_) return {};
    abortAnnounced_ = true;
    return {events_, operation_, 0.0f, true};
}

void CTandemProgressNotifier::ResetProgressLocked() {
    events_.reset();
    abortAnnounced_ = false;
    operation_ = tnFolderOperationType_Refresh;
    accumulatedTotal_ = accumulatedProgress_ = total_ = progress_ = 0;
    steps_ = stepsDone_ = 0;
    lastTick_ = GetTickCount64();
    lastPercentage_ = 0.0f;
    skipped_ = 0;
}

// Each finished step scales the progress up to its share of all steps; no
// total yet means nothing to show rather than a division by zero.
float CTandemProgressNotifier::Percentage(LONG progress, LONG total) const noexcept {
    LONGLONG scaled = progress;
    if (steps_ != 0) scaled = scaled * (stepsDone_ + 1) / steps_;
    if (total <= 0) return 0.0f;
    return static_cast<float>(static_cast<double>(scaled) * 100.0 / total);
}

// Large jumps are reported at once; small ones at most every fifth change
// and every 200 ms, so chatty plug-ins do not flood the clients.
CTandemProgressNotifier::Announcement CTandemProgressNotifier::Report(float percentage) {
    float change = std::fabs(lastPercentage_ - percentage);
    if (change >= kImmediateStep) return Fire(percentage);
    if (++skipped_ < kSkipsPerCheck) return {};
    skipped_ = 0;
    if (change >= kMinimumStep && GetTickCount64() - lastTick_ >= kMinimumInterval) return Fire(percentage);
    return {};
}

CTandemProgressNotifier::Announcement CTandemProgressNotifier::Fire(float percentage) {
    lastTick_ = GetTickCount64();
    lastPercentage_ = percentage;
    skipped_ = 0;
    return {events_, operation_, percentage, false};
}

void CTandemProgressNotifier::Announcement::Raise() const {
    if (!events) return;
    if (abort)
        events->OnOperationAbort(operation);
    else
        events->OnOperationProgress(operation, percentage);
}

}  // namespace tandem
