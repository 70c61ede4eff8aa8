#pragma once

#include <windows.h>
#include <dshow.h>

#include <atomic>
#include <functional>

#include "com_ptr.h"
#include "sync_lock.h"
#include "thread.h"

namespace tandem::dshow {

// What the pull reader's thread feeds.
class PullReceiver {
public:
    // Anything but S_OK ends the loop; a failure is also reported to OnError.
    virtual HRESULT Receive(IMediaSample* sample) = 0;
    // The loop reached the stop position or the end of the data.
    virtual void OnEndOfData() = 0;
    virtual void OnError(HRESULT hr) = 0;
    // Around a restart while running.
    virtual void OnBeginFlush() = 0;
    virtual void OnEndFlush() = 0;

protected:
    ~PullReceiver() = default;
};

// Pulls an IAsyncReader synchronously on a thread of its own, in buffers of
// its allocator's size, starting at an aligned byte position.
class PullReader {
public:
    explicit PullReader(PullReceiver& receiver);
    PullReader(const PullReader&) = delete;
    PullReader& operator=(const PullReader&) = delete;
    ~PullReader();

    // Takes the upstream pin's reader and an allocator of the requested
    // properties from it; the stop position becomes the stream length.
    void Connect(IUnknown* upstream, const ALLOCATOR_PROPERTIES& request);
    void Disconnect() noexcept;

    IAsyncReader* Reader() const noexcept { return reader_.get(); }
    const ALLOCATOR_PROPERTIES& Properties() const noexcept { return properties_; }
    LONGLONG Length() const noexcept { return length_; }

    // Positions in bytes × 10,000,000. Restarts a running loop from start,
    // flushing the receiver around the restart; reposition runs while no
    // loop runs.
    void Seek(REFERENCE_TIME start, REFERENCE_TIME stop, const std::function<void()>& reposition = {});
    void Start();
    void Stop() noexcept;
    bool IsRunning() const noexcept { return running_; }

private:
    void Loop();
    HRESULT ReadNext(IMediaSample* sample, LONGLONG position, LONG& got);
    void Halt() noexcept;
    void Launch();

    PullReceiver& receiver_;
    ComPtr<IAsyncReader> reader_;
    ComPtr<IMemAllocator> allocator_;
    ALLOCATOR_PROPERTIES properties_{};
    LONGLONG length_ = 0;
    LONGLONG start_ = 0;  // bytes
    LONGLONG stop_ = 0;   // bytes
    CSyncLock control_;   // seeks, starts and stops
    bool running_ = false;
    std::atomic<bool> halting_ = false;
    Thread thread_;
};

}  // namespace tandem::dshow
