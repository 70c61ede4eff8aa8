#include <windows.h>

#include <gtest/gtest.h>

#include <memory>
#include <string>
#include <vector>

#include "error.h"
#include "stop_sequence.h"

using namespace tandem;

namespace {

using Log = std::vector<std::wstring>;

class FakeWorker : public StorageWorker {
public:
    FakeWorker(Log& log, std::wstring name, bool fails) : log_(log), name_(std::move(name)), fails_(fails) {}
    void Start() override {}
    void Stop() override {
        log_.push_back(L"stop " + name_);
        if (fails_) ThrowHr(E_FAIL);
    }
    bool IsRunning() const override { return false; }

private:
    Log& log_;
    std::wstring name_;
    bool fails_;
};

SharedPtr<StorageInfo> MakeStorage(Log& log, const std::wstring& name, bool fails) {
    StorageServices services;
    services.workers = [&log, name, fails](StorageInfo&) { return std::make_unique<FakeWorker>(log, name, fails); };
    return MakeShared<StorageInfo>(name + L":\\", name, tnStorageType_Fixed, L"", nullptr, services);
}

StopSteps RecordingSteps(Log& log, std::vector<SharedPtr<StorageInfo>> storages, HRESULT revoke) {
    StopSteps steps;
    steps.reportStopPending = [&log] { log.push_back(L"stop pending"); };
    steps.storages = [storages] { return storages; };
    steps.deliverEvents = [&log] { log.push_back(L"deliver"); };
    steps.revokeClassObjects = [&log, revoke] {
        log.push_back(L"revoke");
        return revoke;
    };
    steps.releaseSingletons = [&log] { log.push_back(L"release"); };
    steps.pause = [&log] { log.push_back(L"pause"); };
    return steps;
}

}  // namespace

TEST(StopSequence, StopsEveryStorageEvenWhenOneFailsThenDeliversRevokesReleasesAndPauses) {
    Log log;
    auto steps = RecordingSteps(log, {MakeStorage(log, L"C", false), MakeStorage(log, L"D", true),
                                      MakeStorage(log, L"E", false)},
                                S_OK);
    EXPECT_EQ(RunStopSequence(steps), S_OK);
    EXPECT_EQ(log, (Log{L"stop pending", L"stop C", L"stop D", L"stop E", L"deliver", L"revoke", L"release", L"pause"}));
}

TEST(StopSequence, TheRevocationsFailureIsTheResultAndNothingIsSkipped) {
    Log log;
    auto steps = RecordingSteps(log, {}, E_ACCESSDENIED);
    steps.storages = []() -> std::vector<SharedPtr<StorageInfo>> { ThrowHr(E_FAIL); };
    steps.releaseSingletons = [&log] {
        log.push_back(L"release");
        ThrowHr(E_OUTOFMEMORY);
    };
    EXPECT_EQ(RunStopSequence(steps), E_ACCESSDENIED);
    EXPECT_EQ(log, (Log{L"stop pending", L"deliver", L"revoke", L"release", L"pause"}));
}
