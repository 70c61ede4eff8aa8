// The pull reader against a reader whose data can shrink, grow or fail
// under it while it streams.

#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <functional>
#include <vector>

#include "com/com_object.h"
#include "common/testing/com_apartment.h"
#include "dshow/pull_reader.h"
#include "error.h"
#include "sync_lock.h"
#include "unique_resource.h"

using namespace tandem;
using namespace tandem::dshow;

namespace {

constexpr LONGLONG kUnits = 10'000'000;

// An IAsyncReader over bytes in memory; Length keeps answering the size
// first given, as a file source that measured the file once would.
class MemoryReader : public ComObjectRoot, public IAsyncReader {
public:
    using Interfaces = InterfaceTable<IAsyncReader>;

    explicit MemoryReader(std::vector<BYTE> data) : data_(std::move(data)), length_(data_.size()) {}

    void Resize(size_t size) {
        CSyncLockHolder hold(lock_);
        data_.resize(size, 0x5A);
    }
    void FailReadsWith(HRESULT hr) {
        CSyncLockHolder hold(lock_);
        failure_ = hr;
    }

    STDMETHODIMP RequestAllocator(IMemAllocator*, ALLOCATOR_PROPERTIES* props, IMemAllocator** out) override {
        ComPtr<IMemAllocator> allocator;
        HRESULT hr = CoCreateInstance(CLSID_MemoryAllocator, nullptr, CLSCTX_INPROC_SERVER, IID_IMemAllocator,
                                      allocator.put_void());
        if (SUCCEEDED(hr)) hr = allocator->SetProperties(props, props);
        if (FAILED(hr)) return hr;
        *out = allocator.detach();
        return S_OK;
    }
    STDMETHODIMP Request(IMediaSample*, DWORD_PTR) override { return E_NOTIMPL; }
    STDMETHODIMP WaitForNext(DWORD, IMediaSample**, DWORD_PTR*) override { return E_NOTIMPL; }
    STDMETHODIMP SyncReadAligned(IMediaSample* sample) override {
        REFERENCE_TIME start = 0;
        REFERENCE_TIME stop = 0;
        sample->GetTime(&start, &stop);
        BYTE* buffer = nullptr;
        sample->GetPointer(&buffer);
        CSyncLockHolder hold(lock_);
        if (FAILED(failure_)) return failure_;
        const size_t from = std::min<size_t>(start / kUnits, data_.size());
        const size_t count = std::min<size_t>((stop - start) / kUnits, data_.size() - from);
        std::memcpy(buffer, data_.data() + from, count);
        sample->SetActualDataLength(static_cast<long>(count));
        return count == static_cast<size_t>((stop - start) / kUnits) ? S_OK : S_FALSE;
    }
    STDMETHODIMP SyncRead(LONGLONG, LONG, BYTE*) override { return E_NOTIMPL; }
    STDMETHODIMP Length(LONGLONG* total, LONGLONG* available) override {
        *total = *available = static_cast<LONGLONG>(length_);
        return S_OK;
    }
    STDMETHODIMP BeginFlush() override { return S_OK; }
    STDMETHODIMP EndFlush() override { return S_OK; }

private:
    CSyncLock lock_;
    std::vector<BYTE> data_;
    const size_t length_;
    HRESULT failure_ = S_OK;
};

class Recorder final : public PullReceiver {
public:
    Recorder() : done_(CreateEventW(nullptr, TRUE, FALSE, nullptr)) {}

    HRESULT Receive(IMediaSample* sample) override {
        BYTE* data = nullptr;
        sample->GetPointer(&data);
        CSyncLockHolder hold(lock_);
        bytes.insert(bytes.end(), data, data + sample->GetActualDataLength());
        if (onFirst) std::exchange(onFirst, nullptr)();
        return S_OK;
    }
    void OnEndOfData() override { Finish(S_OK); }
    void OnError(HRESULT hr) override { Finish(hr); }
    void OnBeginFlush() override {}
    void OnEndFlush() override {}

    bool Wait() { return WaitForSingleObject(done_.get(), 20000) == WAIT_OBJECT_0; }

    std::vector<BYTE> bytes;
    std::function<void()> onFirst;
    HRESULT result = E_PENDING;

private:
    void Finish(HRESULT hr) {
        result = hr;
        SetEvent(done_.get());
    }

    CSyncLock lock_;
    UniqueHandle done_;
};

std::vector<BYTE> Pattern(size_t size) {
    std::vector<BYTE> data(size);
    for (size_t i = 0; i < size; ++i) data[i] = static_cast<BYTE>(i * 7 + (i >> 9));
    return data;
}

class PullReaderTest : public testing::Test {
protected:
    void Stream(const std::vector<BYTE>& data, LONGLONG start = 0) {
        source_ = MakeComObject<MemoryReader>(data);
        reader_.Connect(static_cast<IAsyncReader*>(source_.get()), {2, 4096, 512, 0});
        reader_.Seek(start * kUnits, reader_.Length() * kUnits);
        reader_.Start();
        ASSERT_TRUE(recorder_.Wait());
        reader_.Stop();
    }

    test::ComApartment apartment_;
    Recorder recorder_;
    PullReader reader_{recorder_};
    ComPtr<ComObject<MemoryReader>> source_;
};

}  // namespace

TEST_F(PullReaderTest, DeliversFromTheStartToTheEndInOrder) {
    const auto data = Pattern(4096 * 5 + 100);
    Stream(data, 1024);
    EXPECT_EQ(recorder_.result, S_OK);
    EXPECT_EQ(recorder_.bytes, std::vector<BYTE>(data.begin() + 1024, data.end()));
}

TEST_F(PullReaderTest, FileShrinkingWhileStreamingEndsTheStreamAtTheNewEnd) {
    const auto data = Pattern(4096 * 50);
    recorder_.onFirst = [this] { source_->Resize(4096 * 3 + 10); };
    Stream(data);
    EXPECT_EQ(recorder_.result, S_OK);
    EXPECT_EQ(recorder_.bytes, std::vector<BYTE>(data.begin(), data.begin() + 4096 * 3 + 10));
}

TEST_F(PullReaderTest, FileGrowingWhileStreamingStopsAtTheMeasuredLength) {
    const auto data = Pattern(4096 * 4);
    recorder_.onFirst = [this] { source_->Resize(4096 * 40); };
    Stream(data);
    EXPECT_EQ(recorder_.result, S_OK);
    EXPECT_EQ(recorder_.bytes, data);
}

TEST_F(PullReaderTest, ReadFailureIsReportedAndEndsTheLoop) {
    recorder_.onFirst = [this] { source_->FailReadsWith(HRESULT_FROM_WIN32(ERROR_READ_FAULT)); };
    Stream(Pattern(4096 * 10));
    EXPECT_EQ(recorder_.result, HRESULT_FROM_WIN32(ERROR_READ_FAULT));
    EXPECT_EQ(recorder_.bytes.size(), 4096u);
}
