#include <windows.h>
#include <ocidl.h>

#include <gtest/gtest.h>

#include <thread>

#include "automation_fixture.h"
#include "error.h"
#include "event_sink.h"
#include "tn_storage_manager.h"

using namespace tandem;
using test::Call;
using test::RecordingSink;

namespace {

class ConnectionPoints : public ::testing::Test {
protected:
    ComPtr<ITnStorageManager> NewManager() {
        return ComPtr<ITnStorageManager>(MakeComObject<CTnStorageManager>(*context_).get());
    }
    static ComPtr<IConnectionPoint> PointOf(const ComPtr<ITnStorageManager>& manager) {
        ComPtr<IConnectionPointContainer> container;
        CheckHr(manager.as(container));
        ComPtr<IConnectionPoint> point;
        CheckHr(container->FindConnectionPoint(DIID__ITnStorageManagerEvents, point.put()));
        return point;
    }
    static DWORD Advise(const ComPtr<IConnectionPoint>& point, const ComPtr<IUnknown>& sink) {
        DWORD cookie = 0;
        CheckHr(point->Advise(sink.get(), &cookie));
        return cookie;
    }
    void Fire(LONG value) {
        listeners().Fire(1, {Variant::FromLong(value), Variant::FromString(L"second")});
    }
    EventListenerManager& listeners() { return context_->StorageManagerEvents(); }

    test::AutomationRegistry registry_;
    std::unique_ptr<test::TestContext> context_ = std::make_unique<test::TestContext>();
};

}  // namespace

TEST_F(ConnectionPoints, AdviseRefusesNullsAndSinksWithoutTheEventInterface) {
    auto point = PointOf(NewManager());
    DWORD cookie = 7;
    ComPtr<IUnknown> sink = test::NewSink(DIID__ITnStorageManagerEvents);
    EXPECT_EQ(point->Advise(nullptr, &cookie), E_POINTER);
    EXPECT_EQ(point->Advise(sink.get(), nullptr), E_POINTER);
    ComPtr<IUnknown> other = test::NewSink(DIID__IFolderWatcherEvents);
    EXPECT_EQ(point->Advise(other.get(), &cookie), CONNECT_E_CANNOTCONNECT);
    EXPECT_EQ(listeners().Count(), 0u);
    EXPECT_EQ(point->Unadvise(12345), CONNECT_E_NOCONNECTION);
    IID iid{};
    EXPECT_EQ(point->GetConnectionInterface(nullptr), E_POINTER);
    EXPECT_EQ(point->GetConnectionInterface(&iid), S_OK);
    EXPECT_TRUE(IsEqualIID(iid, DIID__ITnStorageManagerEvents));
}

TEST_F(ConnectionPoints, ContainerFindsAndEnumeratesItsPointWhichLeadsBack) {
    auto manager = NewManager();
    ComPtr<IConnectionPointContainer> container;
    CheckHr(manager.as(container));
    ComPtr<IConnectionPoint> point;
    EXPECT_EQ(container->FindConnectionPoint(DIID__IFolderWatcherEvents, point.put()), CONNECT_E_NOCONNECTION);
    EXPECT_EQ(container->FindConnectionPoint(DIID__ITnStorageManagerEvents, nullptr), E_POINTER);

    ComPtr<IEnumConnectionPoints> points;
    CheckHr(container->EnumConnectionPoints(points.put()));
    IConnectionPoint* found[2] = {};
    ULONG fetched = 0;
    EXPECT_EQ(points->Next(2, found, &fetched), S_FALSE);
    ASSERT_EQ(fetched, 1u);
    point.attach(found[0]);
    ComPtr<IConnectionPointContainer> back;
    CheckHr(point->GetConnectionPointContainer(back.put()));
    EXPECT_EQ(back, container);
    ComPtr<IUnknown> pointIdentity, managerIdentity;
    CheckHr(point.as(pointIdentity));
    CheckHr(manager.as(managerIdentity));
    EXPECT_NE(pointIdentity, managerIdentity);
}

TEST_F(ConnectionPoints, SinksOnEveryObjectHearEveryEventUntilTheyUnadvise) {
    auto first = NewManager(), second = NewManager();
    ComPtr<ComObject<RecordingSink>> a, b;
    auto pointA = PointOf(first), pointB = PointOf(second);
    DWORD cookieA = Advise(pointA, test::NewSink(DIID__ITnStorageManagerEvents, &a));
    DWORD cookieB = Advise(pointB, test::NewSink(DIID__ITnStorageManagerEvents, &b));
    EXPECT_NE(cookieA, cookieB);

    Fire(5);
    ASSERT_EQ(a->Calls().size(), 1u);
    ASSERT_EQ(b->Calls().size(), 1u);
    const Call call = a->Calls()[0];
    EXPECT_EQ(call.member, 1);
    ASSERT_EQ(call.arguments.size(), 2u);
    EXPECT_EQ(V_I4(&call.arguments[0].get()), 5);
    EXPECT_STREQ(V_BSTR(&call.arguments[1].get()), L"second");

    // A cookie belongs to the point that advised it.
    EXPECT_EQ(pointA->Unadvise(cookieB), CONNECT_E_NOCONNECTION);
    EXPECT_EQ(pointB->Unadvise(cookieB), S_OK);
    EXPECT_EQ(pointB->Unadvise(cookieB), CONNECT_E_NOCONNECTION);
    Fire(6);
    EXPECT_EQ(a->Calls().size(), 2u);
    EXPECT_EQ(b->Calls().size(), 1u);
}

TEST_F(ConnectionPoints, EnumConnectionsListsTheSinksOfThisPointOnly) {
    auto point = PointOf(NewManager());
    auto other = PointOf(NewManager());
    ComPtr<IUnknown> sink = test::NewSink(DIID__ITnStorageManagerEvents);
    DWORD cookie = Advise(point, sink);
    Advise(other, test::NewSink(DIID__ITnStorageManagerEvents));

    EXPECT_EQ(point->EnumConnections(nullptr), E_POINTER);
    ComPtr<IEnumConnections> connections;
    CheckHr(point->EnumConnections(connections.put()));
    CONNECTDATA data[2] = {};
    ULONG fetched = 0;
    EXPECT_EQ(connections->Next(2, data, &fetched), S_FALSE);
    ASSERT_EQ(fetched, 1u);
    ComPtr<IUnknown> got;
    got.attach(data[0].pUnk);
    EXPECT_EQ(data[0].dwCookie, cookie);
    ComPtr<IUnknown> identity, sinkIdentity;
    CheckHr(got.as(identity));
    CheckHr(sink.as(sinkIdentity));
    EXPECT_EQ(identity, sinkIdentity);

    ComPtr<IEnumConnections> clone;
    CheckHr(connections->Reset());
    CheckHr(connections->Clone(clone.put()));
    EXPECT_EQ(clone->Skip(1), S_OK);
    EXPECT_EQ(clone->Skip(1), S_FALSE);
    EXPECT_EQ(connections->Next(1, data, nullptr), S_OK);
    ComPtr<IUnknown>().attach(data[0].pUnk);
}

TEST_F(ConnectionPoints, ASinkMayUnadviseInItsHandlerAndAFailingSinkStopsNobody) {
    auto point = PointOf(NewManager());
    ComPtr<ComObject<RecordingSink>> leaving, failing, last;
    DWORD leavingCookie = Advise(point, test::NewSink(DIID__ITnStorageManagerEvents, &leaving));
    Advise(point, test::NewSink(DIID__ITnStorageManagerEvents, &failing));
    Advise(point, test::NewSink(DIID__ITnStorageManagerEvents, &last));
    HRESULT unadvised = E_FAIL;
    leaving->handler = [&](const Call&) { return unadvised = point->Unadvise(leavingCookie); };
    failing->handler = [](const Call&) -> HRESULT { return E_FAIL; };

    Fire(1);
    // Reading the calls waits for the delivery, which makes the handler's result visible.
    EXPECT_EQ(last->Calls().size(), 1u);
    EXPECT_EQ(unadvised, S_OK);
    Fire(2);
    EXPECT_EQ(leaving->Calls().size(), 1u);
    EXPECT_EQ(failing->Calls().size(), 2u);
    EXPECT_EQ(last->Calls().size(), 2u);
}

TEST_F(ConnectionPoints, DestroyingTheAdvisingObjectWithdrawsItsCookies) {
    auto kept = NewManager();
    Advise(PointOf(kept), test::NewSink(DIID__ITnStorageManagerEvents));
    {
        auto dropped = NewManager();
        auto point = PointOf(dropped);
        Advise(point, test::NewSink(DIID__ITnStorageManagerEvents));
        Advise(point, test::NewSink(DIID__ITnStorageManagerEvents));
        EXPECT_EQ(listeners().Count(), 3u);
    }
    EXPECT_EQ(listeners().Count(), 1u);
}

TEST_F(ConnectionPoints, EventsFromOtherThreadsReachTheSink) {
    auto point = PointOf(NewManager());
    ComPtr<ComObject<RecordingSink>> sink;
    Advise(point, test::NewSink(DIID__ITnStorageManagerEvents, &sink));
    std::thread firing([this] {
        test::ComApartment apartment;
        Fire(9);
    });
    EXPECT_TRUE(sink->WaitForCalls(1));
    firing.join();
}
