#pragma once

#include "pin.h"

namespace tandem::dshow {

// An output pin delivering samples to an IMemInputPin, with an allocator
// agreed at connection.
class OutputPin : public Pin {
public:
    void Active() override;
    void Inactive() noexcept override;

    // For the streaming thread while the filter is active.
    ComPtr<IMediaSample> GetDeliveryBuffer();
    HRESULT Deliver(IMediaSample* sample);
    HRESULT DeliverEndOfStream();
    HRESULT DeliverBeginFlush();
    HRESULT DeliverEndFlush();
    HRESULT DeliverNewSegment(REFERENCE_TIME start, REFERENCE_TIME stop, double rate);

protected:
    OutputPin(BaseFilter& filter, std::wstring name) : Pin(filter, std::move(name), PINDIR_OUTPUT) {}

    // Fills in the buffer properties the allocator is asked for.
    virtual void DecideBufferSize(ALLOCATOR_PROPERTIES& request) = 0;

    void CheckConnect(IPin* peer) override;
    void CompleteConnect(IPin* peer) override;
    void BreakConnect() override;

private:
    bool TryAllocator(IMemAllocator* allocator);

    ComPtr<IMemInputPin> input_;
    ComPtr<IMemAllocator> allocator_;
};

}  // namespace tandem::dshow
