#include "pull_reader.h"

#include <algorithm>

#include "error.h"

namespace tandem::dshow {

namespace {

constexpr LONGLONG kUnits = 10'000'000;

LONGLONG RoundUp(LONGLONG value, LONG alignment) {
    return alignment > 1 ? (value + alignment - 1) / alignment * alignment : value;
}

}  // namespace

PullReader::PullReader(PullReceiver& receiver) : receiver_(receiver), thread_(this, &PullReader::Loop) {}

PullReader::~PullReader() { Stop(); }

void PullReader::Connect(IUnknown* upstream, const ALLOCATOR_PROPERTIES& request) {
    ComPtr<IUnknown> pin(upstream);
    ComPtr<IAsyncReader> reader;
    CheckHr(pin.as(reader));
    ALLOCATOR_PROPERTIES wanted = request;
    ComPtr<IMemAllocator> allocator;
    CheckHr(reader->RequestAllocator(nullptr, &wanted, allocator.put()));
    ALLOCATOR_PROPERTIES actual{};
    CheckHr(allocator->GetProperties(&actual));
    LONGLONG total = 0;
    LONGLONG available = 0;
    CheckHr(reader->Length(&total, &available));
    reader_ = std::move(reader);
    allocator_ = std::move(allocator);
    properties_ = actual;
    length_ = total;
    start_ = 0;
    stop_ = total;
}

void PullReader::Disconnect() noexcept {
    Stop();
    allocator_.reset();
    reader_.reset();
    properties_ = {};
    length_ = start_ = stop_ = 0;
}

void PullReader::Seek(REFERENCE_TIME start, REFERENCE_TIME stop, const std::function<void()>& reposition) {
    CSyncLockHolder hold(control_);
    const bool wasRunning = running_;
    if (wasRunning) {
        receiver_.OnBeginFlush();
        Halt();
    }
    if (reposition) reposition();
    if (wasRunning) receiver_.OnEndFlush();
    start_ = std::max<LONGLONG>(start / kUnits, 0);
    stop_ = std::min<LONGLONG>(stop / kUnits, length_);
    if (wasRunning) Launch();
}

void PullReader::Start() {
    CSyncLockHolder hold(control_);
    if (!running_) Launch();
}

void PullReader::Stop() noexcept {
    CSyncLockHolder hold(control_);
    Halt();
}

void PullReader::Launch() {
    if (!allocator_) ThrowHr(VFW_E_NOT_CONNECTED);
    CheckHr(allocator_->Commit());
    halting_ = false;
    thread_.Start();
    running_ = true;
}

void PullReader::Halt() noexcept {
    if (!running_) return;
    halting_ = true;
    // Wakes a thread waiting for a free buffer.
    allocator_->Decommit();
    thread_.Wait(INFINITE);
    running_ = false;
}

HRESULT PullReader::ReadNext(IMediaSample* sample, LONGLONG position, LONG& got) {
    const LONGLONG wanted = std::min<LONGLONG>(properties_.cbBuffer, stop_ - position);
    const LONGLONG length = std::min<LONGLONG>(RoundUp(wanted, properties_.cbAlign), properties_.cbBuffer);
    REFERENCE_TIME begin = position * kUnits;
    REFERENCE_TIME end = (position + length) * kUnits;
    HRESULT hr = sample->SetTime(&begin, &end);
    if (SUCCEEDED(hr)) hr = reader_->SyncReadAligned(sample);
    if (FAILED(hr)) return hr;
    got = static_cast<LONG>(std::min<LONGLONG>(sample->GetActualDataLength(), wanted));
    return sample->SetActualDataLength(got);
}

void PullReader::Loop() {
    LONGLONG position = start_;
    while (!halting_) {
        if (position >= stop_) {
            receiver_.OnEndOfData();
            return;
        }
        ComPtr<IMediaSample> sample;
        HRESULT hr = allocator_->GetBuffer(sample.put(), nullptr, nullptr, 0);
        LONG got = 0;
        if (SUCCEEDED(hr)) hr = ReadNext(sample.get(), position, got);
        if (SUCCEEDED(hr) && got == 0) {
            // The data ended before its recorded length: the file shrank.
            receiver_.OnEndOfData();
            return;
        }
        if (SUCCEEDED(hr)) hr = receiver_.Receive(sample.get());
        if (hr != S_OK) {
            if (FAILED(hr) && hr != VFW_E_WRONG_STATE && !halting_) receiver_.OnError(hr);
            return;
        }
        position += got;
    }
}

}  // namespace tandem::dshow
