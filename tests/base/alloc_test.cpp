#include "base/alloc.h"

#include <gtest/gtest.h>

#include <cstdint>

TEST(Alloc, LimitRefusesLargerBlocksAndRestores) {
    SetAllocationLimit(1000);
    EXPECT_EQ(AllocBytes(1001), nullptr);
    void* p = AllocZeroBytes(1000);
    ASSERT_NE(p, nullptr);
    EXPECT_EQ(static_cast<unsigned char*>(p)[999], 0);
    FreeBytes(p);
    SetAllocationLimit(0);
    p = AllocBytes(1001);
    EXPECT_NE(p, nullptr);
    FreeBytes(p);
}

TEST(Alloc, CheckedMulDetectsOverflow) {
    EXPECT_EQ(CheckedMul(3, 5, 7), 105u);
    EXPECT_EQ(CheckedMul(SIZE_MAX / 2, 3), SIZE_MAX);
    EXPECT_EQ(AllocBytes(SIZE_MAX), nullptr);
}
