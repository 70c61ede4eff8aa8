#pragma once

#include <gtest/gtest.h>

#include <objbase.h>

#include "com/module_lock.h"
#include "error.h"
#include "test_objects.h"
#include "testing/com_apartment.h"

namespace tandem::test {

// Every test starts and must end with no object and no module lock alive.
class ComTest : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_EQ(ModuleLockCount(), 0);
        ASSERT_EQ(LiveTestObjects(), 0);
    }
    void TearDown() override {
        EXPECT_EQ(ModuleLockCount(), 0);
        EXPECT_EQ(LiveTestObjects(), 0);
    }

    ComApartment apartment_;
};

}  // namespace tandem::test
