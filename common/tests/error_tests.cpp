#include <gtest/gtest.h>

#include <new>
#include <stdexcept>
#include <thread>

#include "error.h"
#include "strings.h"
#include "sync_lock.h"

using namespace tandem;

TEST(CatchHr, TurnsEachKindOfFailureIntoItsHresult) {
    EXPECT_EQ(CatchHr([] { ThrowHr(E_ACCESSDENIED); }), E_ACCESSDENIED);
    EXPECT_EQ(CatchHr([] { ThrowWin32(ERROR_WRITE_FAULT); }), HRESULT_FROM_WIN32(ERROR_WRITE_FAULT));
    EXPECT_EQ(CatchHr([] { throw std::bad_alloc(); }), E_OUTOFMEMORY);
    EXPECT_EQ(CatchHr([] { throw std::runtime_error("x"); }), E_UNEXPECTED);
    EXPECT_EQ(CatchHr([] { throw 42; }), E_UNEXPECTED);
    EXPECT_EQ(CatchHr([] {}), S_OK);
    EXPECT_EQ(CatchHr([] { return S_FALSE; }), S_FALSE);
}

TEST(CatchHr, LastErrorOfZeroIsStillAFailure) {
    SetLastError(0);
    EXPECT_EQ(CatchHr([] { ThrowLastError(); }), E_FAIL);
    SetLastError(ERROR_SHARING_VIOLATION);
    EXPECT_EQ(CatchHr([] { ThrowLastError(); }), HRESULT_FROM_WIN32(ERROR_SHARING_VIOLATION));
}

TEST(CheckHelpers, PassSuccessesAndRaiseFailures) {
    EXPECT_NO_THROW(CheckHr(S_FALSE));
    EXPECT_NO_THROW(CheckWin32(ERROR_SUCCESS));
    try {
        CheckWin32(ERROR_INVALID_DATA);
        FAIL() << "no exception";
    } catch (const HResultError& e) {
        EXPECT_EQ(e.hr(), static_cast<HRESULT>(0x8007000D));
    }
}

TEST(CSyncLock, ExcludesOtherThreadsWhileHeld) {
    CSyncLock lock;
    bool acquired = true;
    {
        CSyncLockHolder holder(lock);
        std::thread([&] {
            acquired = lock.try_lock();
            if (acquired) lock.unlock();
        }).join();
    }
    EXPECT_FALSE(acquired);
    std::thread([&] {
        acquired = lock.try_lock();
        if (acquired) lock.unlock();
    }).join();
    EXPECT_TRUE(acquired);
}

TEST(Strings, CompareIgnoringCaseOrdinally) {
    EXPECT_TRUE(EqualsNoCase(L"C:\\Music\\", L"c:\\MUSIC\\"));
    EXPECT_FALSE(EqualsNoCase(L"C:\\Music", L"C:\\Music\\"));
    EXPECT_LT(CompareNoCase(L"abc", L"ABD"), 0);
    EXPECT_GT(CompareNoCase(L"b", L"A"), 0);
    EXPECT_TRUE(LessNoCase()(L"alpha", L"Beta"));
}

TEST(Strings, GuidIdIsThirtyTwoUpperCaseDigits) {
    const GUID guid = {0x0123abcd, 0x45ef, 0x6789, {0xab, 0xcd, 0xef, 0x01, 0x23, 0x45, 0x67, 0x89}};
    EXPECT_EQ(GuidToId(guid), L"0123ABCD45EF6789ABCDEF0123456789");
    std::wstring id = NewGuidId();
    ASSERT_EQ(id.size(), 32u);
    EXPECT_EQ(id.find_first_not_of(L"0123456789ABCDEF"), std::wstring::npos);
    EXPECT_NE(id, NewGuidId());
}
