#include "database_service.h"

#include <gtest/gtest.h>

namespace tandem::cdbctrl {
namespace {

TEST(DatabaseServiceState, EachStateGivesItsResult) {
    EXPECT_EQ(ResultForServiceState(SERVICE_STOPPED), static_cast<HRESULT>(0x80042203));
    EXPECT_EQ(ResultForServiceState(SERVICE_START_PENDING), static_cast<HRESULT>(0x80042201));
    EXPECT_EQ(ResultForServiceState(SERVICE_STOP_PENDING), static_cast<HRESULT>(0x80042202));
    EXPECT_EQ(ResultForServiceState(SERVICE_RUNNING), S_OK);
    for (DWORD other : {0ul, 5ul, 6ul, 7ul, 8ul}) EXPECT_EQ(ResultForServiceState(other), E_FAIL) << other;
}

TEST(DatabaseServiceState, TwoServiceResultsAreTranslatedTheRestPassed) {
    EXPECT_EQ(TranslateCommandResult(static_cast<HRESULT>(0x8004201C)), static_cast<HRESULT>(0x80042201));
    EXPECT_EQ(TranslateCommandResult(static_cast<HRESULT>(0x80042104)), static_cast<HRESULT>(0x80042202));
    for (HRESULT other : {S_OK, S_FALSE, E_FAIL, static_cast<HRESULT>(0x80042201)})
        EXPECT_EQ(TranslateCommandResult(other), other);
}

}  // namespace
}  // namespace tandem::cdbctrl
