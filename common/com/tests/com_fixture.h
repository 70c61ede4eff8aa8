#pragma once

#include <gtest/gtest.h>

#include <objbase.h>

#include "com/module_lock.h"
#include "error.h"
#include "test_objects.h"

namespace tandem::test {

// The multithreaded apartment, as the service's threads join it.
class ComApartment {
public:
    ComApartment() { CheckHr(CoInitializeEx(nullptr, COINIT_MULTITHREADED)); }
    ComApartment(const ComApartment&) = delete;
    ComApartment& operator=(const ComApartment&) = delete;
    ~ComApartment() { CoUninitialize(); }
};

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
