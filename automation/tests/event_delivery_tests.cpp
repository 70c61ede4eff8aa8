#include <windows.h>

#include <gtest/gtest.h>

#include <atomic>
#include <thread>
#include <vector>

#include "MarloZephFw.h"
#include "event_delivery.h"
#include "event_listener_manager.h"
#include "event_sink.h"
#include "testing/com_apartment.h"
#include "unique_resource.h"

using namespace tandem;

namespace {

constexpr DWORD kDeadline = 10000;

UniqueHandle NewEvent() {
    UniqueHandle event(CreateEventW(nullptr, TRUE, FALSE, nullptr));
    if (!event) ThrowLastError();
    return event;
}

}  // namespace

TEST(EventDelivery, CallsRunInPostingOrderAndFlushWaitsForThem) {
    EventDelivery delivery;
    std::vector<int> order;
    for (int i = 0; i < 50; ++i) delivery.Post([&order, i] { order.push_back(i); });
    ASSERT_TRUE(delivery.Flush(kDeadline));
    std::vector<int> expected;
    for (int i = 0; i < 50; ++i) expected.push_back(i);
    EXPECT_EQ(order, expected);
}

TEST(EventDelivery, AStoppedDeliveryDeliversWhatWasQueuedAndStartsAgain) {
    EventDelivery delivery;
    const UniqueHandle release = NewEvent();
    std::atomic<int> delivered{0};
    delivery.Post([&] {
        WaitForSingleObject(release.get(), kDeadline);
        ++delivered;
    });
    delivery.Post([&] { ++delivered; });
    EXPECT_FALSE(delivery.Stop(50)) << "a sink holds the thread";
    SetEvent(release.get());
    EXPECT_TRUE(delivery.Stop(kDeadline));
    EXPECT_EQ(delivered, 2);
    delivery.Post([&] { ++delivered; });
    EXPECT_TRUE(delivery.Flush(kDeadline));
    EXPECT_EQ(delivered, 3);
}

TEST(EventDelivery, ACallThatFlushesOrStopsItsOwnDeliveryDoesNotWaitForItself) {
    EventDelivery delivery;
    bool flushed = true, stopped = true;
    delivery.Post([&] {
        flushed = delivery.Flush(kDeadline);
        stopped = delivery.Stop(kDeadline);
    });
    ASSERT_TRUE(delivery.Flush(kDeadline));
    EXPECT_FALSE(flushed);
    EXPECT_FALSE(stopped);
}

TEST(EventDelivery, AFailingCallDoesNotEndTheDelivery) {
    EventDelivery delivery;
    bool later = false;
    delivery.Post([] { ThrowHr(E_FAIL); });
    delivery.Post([&] { later = true; });
    ASSERT_TRUE(delivery.Flush(kDeadline));
    EXPECT_TRUE(later);
}

// A sink's handler that waits for the thread that raised the event (as
// stopping a monitor thread does) once waited for ever.
TEST(EventDelivery, AHandlerMayWaitForTheThreadThatFiredTheEvent) {
    test::ComApartment apartment;
    EventListenerManager listeners(DIID__IFolderWatcherEvents);
    ComPtr<ComObject<test::RecordingSink>> sink;
    listeners.Add(test::NewSink(DIID__IFolderWatcherEvents, &sink).get());
    const UniqueHandle firerEnded = NewEvent();
    DWORD waited = WAIT_FAILED;
    sink->handler = [&](const test::Call&) {
        waited = WaitForSingleObject(firerEnded.get(), kDeadline);
        return S_OK;
    };
    std::thread firer([&] {
        listeners.Fire(2, {Variant::FromString(L"D:\\Music"), Variant::FromLong(0), Variant::FromLong(7)});
        SetEvent(firerEnded.get());
    });
    firer.join();
    ASSERT_TRUE(sink->WaitForCalls(1, kDeadline));
    EXPECT_EQ(waited, static_cast<DWORD>(WAIT_OBJECT_0));
    const auto calls = sink->Calls();
    ASSERT_EQ(calls.size(), 1u);
    EXPECT_EQ(calls[0].member, 2);
    EXPECT_EQ(V_I4(&calls[0].arguments[2].get()), 7);
}
