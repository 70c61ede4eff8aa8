#include <gtest/gtest.h>

#include <atomic>
#include <memory>
#include <thread>
#include <utility>
#include <vector>

#include "progress_notifier.h"
#include "unique_resource.h"
#include "variant.h"

namespace tandem {
namespace {

struct Event {
    bool abort;
    TnFolderOperationTypes operation;
    float percentage;
    bool operator==(const Event&) const = default;
};

class RecordingEvents : public ProgressEvents {
public:
    void OnOperationProgress(TnFolderOperationTypes operation, float percentage) override {
        events.push_back({false, operation, percentage});
    }
    void OnOperationAbort(TnFolderOperationTypes operation) override { events.push_back({true, operation, 0.0f}); }
    std::vector<Event> events;
};

class ProgressNotifierTest : public ::testing::Test {
protected:
    LONG Total() {
        LONG value = -1;
        EXPECT_EQ(notifier->get_Total(&value), S_OK);
        return value;
    }
    LONG Progress() {
        LONG value = -1;
        EXPECT_EQ(notifier->get_Progress(&value), S_OK);
        return value;
    }
    VARIANT_BOOL Canceled() {
        VARIANT_BOOL value = 42;
        EXPECT_EQ(notifier->get_Canceled(&value), S_OK);
        return value;
    }

    ComPtr<ComObject<CTandemProgressNotifier>> notifier = MakeComObject<CTandemProgressNotifier>();
    SharedPtr<RecordingEvents> sink = MakeShared<RecordingEvents>();
};

TEST_F(ProgressNotifierTest, PropertiesRoundTripAndNullOutPointersAreRejected) {
    EXPECT_EQ(notifier->put_Total(200), S_OK);
    EXPECT_EQ(notifier->put_Progress(50), S_OK);
    EXPECT_EQ(Total(), 200);
    EXPECT_EQ(Progress(), 50);
    EXPECT_EQ(Canceled(), VARIANT_FALSE);
    EXPECT_EQ(notifier->get_Total(nullptr), E_POINTER);
    EXPECT_EQ(notifier->get_Progress(nullptr), E_POINTER);
    EXPECT_EQ(notifier->get_Canceled(nullptr), E_POINTER);
}

TEST_F(ProgressNotifierTest, AbortCancelsOnceAndLastsUntilTheNextCommand) {
    notifier->StartOperation(sink, tnFolderOperationType_Delete, 1);
    notifier->Abort();
    notifier->Abort();
    EXPECT_EQ(Canceled(), VARIANT_TRUE);
    EXPECT_EQ(sink->events, (std::vector<Event>{{false, tnFolderOperationType_Delete, 0.0f},
                                                {true, tnFolderOperationType_Delete, 0.0f}}));
    notifier->Reset();
    EXPECT_EQ(Canceled(), VARIANT_FALSE);

    // Aborted before its operation starts, the command stays canceled and
    // the start announces it.
    notifier->Abort();
    notifier->StartOperation(sink, tnFolderOperationType_Refresh, 1);
    EXPECT_EQ(Canceled(), VARIANT_TRUE);
    EXPECT_EQ(Total(), 0);
    EXPECT_EQ(sink->events.size(), 4u);
    EXPECT_EQ(sink->events.back(), (Event{true, tnFolderOperationType_Refresh, 0.0f}));
}

TEST_F(ProgressNotifierTest, AnAbortMeantForAnEarlierCommandLeavesTheBoundOneAlone) {
    const CancellationPtr earlier = MakeShared<Cancellation>();
    notifier->Bind(earlier);
    notifier->StartOperation(sink, tnFolderOperationType_Refresh, 1);
    notifier->StepDone();
    const CancellationPtr next = MakeShared<Cancellation>();
    notifier->Bind(next);
    notifier->Abort(earlier);
    EXPECT_TRUE(earlier->IsCanceled());
    notifier->StartOperation(sink, tnFolderOperationType_Update, 1);
    EXPECT_EQ(Canceled(), VARIANT_FALSE);
    notifier->Abort(next);
    EXPECT_EQ(Canceled(), VARIANT_TRUE);
    EXPECT_EQ(sink->events, (std::vector<Event>{{false, tnFolderOperationType_Refresh, 0.0f},
                                                {false, tnFolderOperationType_Refresh, 100.0f},
                                                {false, tnFolderOperationType_Update, 0.0f},
                                                {true, tnFolderOperationType_Update, 0.0f}}));
}

// A client's handler runs while the plug-in's put_Progress is in progress;
// an abort it has made on another thread must get through.
class CallingBack : public ProgressEvents {
public:
    explicit CallingBack(ComPtr<ComObject<CTandemProgressNotifier>> notifier) : notifier_(std::move(notifier)) {}
    void OnOperationProgress(TnFolderOperationTypes, float percentage) override {
        if (percentage < 50.0f) return;
        // The thread owns what it touches, so a hang here fails the test
        // without leaving it anything freed.
        auto done = std::make_shared<UniqueHandle>(CreateEventW(nullptr, TRUE, FALSE, nullptr));
        std::thread abort([notifier = notifier_, done] {
            notifier->Abort();
            SetEvent(done->get());
        });
        abortReturned = WaitForSingleObject(done->get(), 10000) == WAIT_OBJECT_0;
        if (abortReturned)
            abort.join();
        else
            abort.detach();
    }
    void OnOperationAbort(TnFolderOperationTypes) override { ++aborts; }
    bool abortReturned = false;
    std::atomic<int> aborts{0};

private:
    ComPtr<ComObject<CTandemProgressNotifier>> notifier_;
};

TEST_F(ProgressNotifierTest, HandlersRunWithoutTheNotifierLock) {
    auto handler = MakeShared<CallingBack>(notifier);
    notifier->StartOperation(handler, tnFolderOperationType_Refresh, 1);
    notifier->put_Total(100);
    EXPECT_EQ(notifier->put_Progress(50), S_OK);
    EXPECT_TRUE(handler->abortReturned);
    EXPECT_EQ(handler->aborts, 1);
    EXPECT_EQ(Canceled(), VARIANT_TRUE);
}

TEST_F(ProgressNotifierTest, ProgressIsReportedInLargeStepsAndEndsAtTheLastStep) {
    notifier->StartOperation(sink, tnFolderOperationType_Refresh, 2);
    notifier->put_Total(100);
    notifier->put_Progress(3);    // small changes wait for the throttle
    notifier->put_Progress(100);  // first of two steps: half of it counts
    notifier->StepDone();
    EXPECT_EQ(Total(), 0);
    EXPECT_EQ(Progress(), 0);
    notifier->put_Total(100);
    notifier->put_Progress(100);
    notifier->StepDone();
    notifier->put_Progress(10);  // after the last step nobody listens
    EXPECT_EQ(sink->events, (std::vector<Event>{{false, tnFolderOperationType_Refresh, 0.0f},
                                                {false, tnFolderOperationType_Refresh, 50.0f},
                                                {false, tnFolderOperationType_Refresh, 100.0f},
                                                {false, tnFolderOperationType_Refresh, 100.0f}}));
    notifier->StepDone();
    EXPECT_EQ(sink->events.size(), 4u);
}

TEST_F(ProgressNotifierTest, NoTotalYetReportsNothingInsteadOfDividingByZero) {
    notifier->StartOperation(sink, tnFolderOperationType_Update, 0);
    for (int i = 0; i < 10; ++i) EXPECT_EQ(notifier->put_Progress(50), S_OK);
    EXPECT_EQ(notifier->LastPercentage(), 0.0f);
    EXPECT_EQ(sink->events.size(), 1u);
}

TEST_F(ProgressNotifierTest, IsAgileAndLateBoundThroughIDispatch) {
    ComPtr<IMarshal> marshal;
    EXPECT_EQ(notifier.as(marshal), S_OK);

    ComPtr<IDispatch> dispatch;
    ASSERT_EQ(notifier.as(dispatch), S_OK);
    auto id = [&](const wchar_t* name) {
        DISPID member = DISPID_UNKNOWN;
        LPOLESTR names[] = {const_cast<LPOLESTR>(name)};
        EXPECT_EQ(dispatch->GetIDsOfNames(IID_NULL, names, 1, LOCALE_USER_DEFAULT, &member), S_OK);
        return member;
    };

    Variant value;
    V_VT(value.ptr()) = VT_I4;
    V_I4(value.ptr()) = 7;
    DISPID named = DISPID_PROPERTYPUT;
    DISPPARAMS put{value.ptr(), &named, 1, 1};
    ASSERT_EQ(dispatch->Invoke(id(L"Progress"), IID_NULL, LOCALE_USER_DEFAULT, DISPATCH_PROPERTYPUT, &put, nullptr,
                               nullptr, nullptr),
              S_OK);
    EXPECT_EQ(Progress(), 7);

    notifier->Abort();
    DISPPARAMS none{};
    Variant canceled;
    ASSERT_EQ(dispatch->Invoke(id(L"Canceled"), IID_NULL, LOCALE_USER_DEFAULT, DISPATCH_PROPERTYGET, &none,
                               canceled.ptr(), nullptr, nullptr),
              S_OK);
    EXPECT_EQ(canceled.type(), VT_BOOL);
    EXPECT_EQ(V_BOOL(&canceled.get()), VARIANT_TRUE);
}

}  // namespace
}  // namespace tandem
