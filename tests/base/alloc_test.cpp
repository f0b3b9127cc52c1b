#include "base/alloc.h"
#include "base/page_alloc.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdint>
#include <cstring>

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

// Page blocks (mappings on Linux, committed virtual memory on Windows) come zeroed and writable, heed the limit,
// and can be had again once released.
// A freed block comes back (cleared) for the same size only; any other size gives the kept blocks back first.
TEST(Alloc, PageBlocksAreZeroedReusedOnlyForTheirSizeAndHeedTheLimit) {
    const size_t bytes = (size_t{9} << 20) + 12345;
    void* first = nullptr;
    for (int round = 0; round < 2; ++round) {
        auto* p = static_cast<unsigned char*>(AllocZeroPages(bytes));
        ASSERT_NE(p, nullptr);
        if (round == 0)
            first = p;
        // Every byte, as a kept block is cleared in pieces over the pool.
        EXPECT_TRUE(std::all_of(p, p + bytes, [](unsigned char c) { return c == 0; })) << "round " << round;
        std::memset(p, 0xA5, bytes);
        FreePages(p, bytes);
    }
#ifndef __SANITIZE_ADDRESS__
    EXPECT_EQ(KeptPageBytes(), bytes);
    void* again = AllocZeroPages(bytes);
    EXPECT_EQ(again, first) << "the kept block is handed out again";
    EXPECT_EQ(KeptPageBytes(), 0u);
    FreePages(again, bytes);
    void* other = AllocZeroPages(bytes + 4096);
    ASSERT_NE(other, nullptr);
    EXPECT_EQ(KeptPageBytes(), 0u) << "a request of another size gives the kept blocks back";
    FreePages(other, bytes + 4096);
    ReleaseKeptPages();
    EXPECT_EQ(KeptPageBytes(), 0u);
#else
    static_cast<void>(first);  // the sanitizer's heap keeps no blocks
#endif
    SetAllocationLimit(bytes - 1);
    EXPECT_EQ(AllocZeroPages(bytes), nullptr);
    SetAllocationLimit(0);
    EXPECT_EQ(AllocZeroPages(SIZE_MAX), nullptr);
}
