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
        CSyncLockHolder hold(lock_);
        total_ = value;
        Report(Percentage(progress_ + accumulatedProgress_, value + accumulatedTotal_));
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
        CSyncLockHolder hold(lock_);
        progress_ = value;
        Report(Percentage(value + accumulatedProgress_, total_ + accumulatedTotal_));
    });
}

STDMETHODIMP CTandemProgressNotifier::get_Canceled(VARIANT_BOOL* value) {
    if (!value) return E_POINTER;
    *value = IsCanceled() ? VARIANT_TRUE : VARIANT_FALSE;
    return S_OK;
}

void CTandemProgressNotifier::StartOperation(SharedPtr<ProgressEvents> events, TnFolderOperationTypes operation,
                                             LONG steps) {
    CSyncLockHolder hold(lock_);
    ResetLocked();
    events_ = std::move(events);
    operation_ = operation;
    steps_ = steps;
    if (events_) events_->OnOperationProgress(operation_, 0.0f);
}

void CTandemProgressNotifier::StepDone() {
    CSyncLockHolder hold(lock_);
    if (stepsDone_ >= steps_) return;
    accumulatedTotal_ += total_;
    accumulatedProgress_ += progress_;
    ++stepsDone_;
    total_ = progress_ = 0;
    if (stepsDone_ < steps_) return;
    Fire(100.0f);
    events_.reset();
}

void CTandemProgressNotifier::Abort() {
    CSyncLockHolder hold(lock_);
    if (InterlockedCompareExchange(&canceled_, 1, 0) != 0) return;
    if (events_) events_->OnOperationAbort(operation_);
}

void CTandemProgressNotifier::Reset() {
    CSyncLockHolder hold(lock_);
    ResetLocked();
}

float CTandemProgressNotifier::LastPercentage() const {
    CSyncLockHolder hold(lock_);
    return lastPercentage_;
}

void CTandemProgressNotifier::ResetLocked() {
    events_.reset();
    operation_ = tnFolderOperationType_Refresh;
    accumulatedTotal_ = accumulatedProgress_ = total_ = progress_ = 0;
    steps_ = stepsDone_ = 0;
    InterlockedExchange(&canceled_, 0);
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
void CTandemProgressNotifier::Report(float percentage) {
    float change = std::fabs(lastPercentage_ - percentage);
    if (change >= kImmediateStep) return Fire(percentage);
    if (++skipped_ < kSkipsPerCheck) return;
    skipped_ = 0;
    if (change >= kMinimumStep && GetTickCount64() - lastTick_ >= kMinimumInterval) Fire(percentage);
}

void CTandemProgressNotifier::Fire(float percentage) {
    lastTick_ = GetTickCount64();
    lastPercentage_ = percentage;
    skipped_ = 0;
    if (events_) events_->OnOperationProgress(operation_, percentage);
}

}  // namespace tandem
