#include "output_pin.h"

#include "error.h"

namespace tandem::dshow {

void OutputPin::CheckConnect(IPin* peer) {
    Pin::CheckConnect(peer);
    ComPtr<IPin> pin(peer);
    CheckHr(pin.as(input_));
}

void OutputPin::CompleteConnect(IPin*) {
    ComPtr<IMemAllocator> offered;
    if (SUCCEEDED(input_->GetAllocator(offered.put())) && offered && TryAllocator(offered.get())) return;
    ComPtr<IMemAllocator> own;
    CheckHr(CoCreateInstance(CLSID_MemoryAllocator, nullptr, CLSCTX_INPROC_SERVER, IID_IMemAllocator, own.put_void()));
    if (!TryAllocator(own.get())) ThrowHr(VFW_E_NO_ALLOCATOR);
}

bool OutputPin::TryAllocator(IMemAllocator* allocator) {
    ALLOCATOR_PROPERTIES request{};
    input_->GetAllocatorRequirements(&request);
    DecideBufferSize(request);
    ALLOCATOR_PROPERTIES actual{};
    if (FAILED(allocator->SetProperties(&request, &actual)) || actual.cbBuffer < request.cbBuffer) return false;
    if (FAILED(input_->NotifyAllocator(allocator, FALSE))) return false;
    allocator_ = ComPtr<IMemAllocator>(allocator);
    return true;
}

void OutputPin::BreakConnect() {
    allocator_.reset();
    input_.reset();
}

void OutputPin::Active() {
    if (allocator_) CheckHr(allocator_->Commit());
}

void OutputPin::Inactive() noexcept {
    if (allocator_) allocator_->Decommit();
}

ComPtr<IMediaSample> OutputPin::GetDeliveryBuffer() {
    if (!allocator_) ThrowHr(VFW_E_NO_ALLOCATOR);
    ComPtr<IMediaSample> sample;
    CheckHr(allocator_->GetBuffer(sample.put(), nullptr, nullptr, 0));
    return sample;
}

HRESULT OutputPin::Deliver(IMediaSample* sample) { return input_ ? input_->Receive(sample) : VFW_E_NOT_CONNECTED; }

HRESULT OutputPin::DeliverEndOfStream() { return Peer() ? Peer()->EndOfStream() : VFW_E_NOT_CONNECTED; }
HRESULT OutputPin::DeliverBeginFlush() { return Peer() ? Peer()->BeginFlush() : VFW_E_NOT_CONNECTED; }
HRESULT OutputPin::DeliverEndFlush() { return Peer() ? Peer()->EndFlush() : VFW_E_NOT_CONNECTED; }

HRESULT OutputPin::DeliverNewSegment(REFERENCE_TIME start, REFERENCE_TIME stop, double rate) {
    return Peer() ? Peer()->NewSegment(start, stop, rate) : VFW_E_NOT_CONNECTED;
}

}  // namespace tandem::dshow
