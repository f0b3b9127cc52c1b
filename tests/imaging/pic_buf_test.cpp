#include "imaging/pic_buf.h"

#include <gtest/gtest.h>

#include <cstring>
#include <vector>

#include "base/alloc.h"
#include "base/thread_pool.h"
#include "imaging/pic_ref.h"

namespace {

void ExpectEmpty(const SQmPicBuf& b) {
    EXPECT_EQ(b.data, nullptr);
    EXPECT_EQ(b.size, 0);
    EXPECT_EQ(b.stride, 0);
    EXPECT_EQ(b.width, 0);
    EXPECT_EQ(b.height, 0);
    EXPECT_EQ(b.components, 0);
    EXPECT_EQ(b.bitsPerComponent, 0);
}

// Restores the allocation limit however the test ends.
struct LimitGuard {
    explicit LimitGuard(uint64_t bytes) { SetAllocationLimit(bytes); }
    ~LimitGuard() { SetAllocationLimit(0); }
};

}  // namespace

TEST(PicBuf, ReinitHeapGivesTightlyPackedBlock) {
    ScopedPic p(5, 4, 3, 8);
    ASSERT_NE(p.buf.data, nullptr);
    EXPECT_EQ(p.buf.stride, 15);  // no row padding
    EXPECT_EQ(p.buf.size, 60);
    EXPECT_EQ(p.buf.width, 5);
    EXPECT_EQ(p.buf.height, 4);
    EXPECT_EQ(p.buf.components, 3);
    EXPECT_EQ(p.buf.bitsPerComponent, 8);
    std::memset(p.buf.data, 7, static_cast<size_t>(p.buf.size));  // whole block writable (ASan)

    ScopedPic g(3, 2, 1, 16);
    EXPECT_EQ(g.buf.stride, 6);
    EXPECT_EQ(g.buf.size, 12);
}

TEST(PicBuf, ReinitHeapOnHeldBlockReplacesItAndDoneHeapEmpties) {
    // Under ASan a leaked old block fails the run.
    SQmPicBuf b;
    CQmPicBufAPI::Init(b);
    ExpectEmpty(b);
    EXPECT_EQ(CQmPicBufAPI::ReinitHeap(b, 10, 10, 3, 8), 0);
    EXPECT_EQ(CQmPicBufAPI::ReinitHeap(b, 7, 3, 1, 16), 0);
    EXPECT_EQ(b.size, 42);
    CQmPicBufAPI::DoneHeap(b);
    ExpectEmpty(b);
    CQmPicBufAPI::DoneHeap(b);  // empty record: nothing happens
    ExpectEmpty(b);
}

TEST(PicBuf, ReinitHeapLikeTakesGeometryNotPixels) {
    ScopedPic src(9, 4, 3, 16);
    ScopedPic dst(1, 1, 1, 8);
    EXPECT_EQ(CQmPicBufAPI::ReinitHeap(dst.buf, src.buf), 0);
    EXPECT_EQ(dst.buf.width, 9);
    EXPECT_EQ(dst.buf.height, 4);
    EXPECT_EQ(dst.buf.components, 3);
    EXPECT_EQ(dst.buf.bitsPerComponent, 16);
    EXPECT_EQ(dst.buf.size, src.buf.size);
    EXPECT_NE(dst.buf.data, src.buf.data);
    // Like itself: a fresh block of the same geometry.
    EXPECT_EQ(CQmPicBufAPI::ReinitHeap(dst.buf, dst.buf), 0);
    EXPECT_EQ(dst.buf.size, src.buf.size);
    // Like an empty record: refused, left empty.
    ScopedPic empty;
    EXPECT_EQ(CQmPicBufAPI::ReinitHeap(dst.buf, empty.buf), 1);
    ExpectEmpty(dst.buf);
}

TEST(PicBuf, ReinitHeapRefusesInvalidGeometryAndLeavesRecordEmpty) {
    struct Case {
        int32_t w, h, c, bpc;
    } cases[] = {
        {0, 5, 3, 8},
        {5, 0, 3, 8},
        {-1, 5, 3, 8},
        {5, 5, 2, 8},
        {5, 5, 4, 8},
        {5, 5, 0, 8},
        {5, 5, 3, 12},
        {5, 5, 3, 32},
        {5, 5, 1, 0},
        {50000, 50000, 3, 8},   // 7.5e9 bytes: beyond the size
                                // field
        {INT32_MAX, 1, 3, 16},  // the stride alone overflows
        {46341, 46341, 1, 8},   // just above 2^31 - 1 bytes
    };
    for (const Case& c : cases) {
        ScopedPic p(4, 4, 3, 8);
        EXPECT_EQ(CQmPicBufAPI::ReinitHeap(p.buf, c.w, c.h, c.c, c.bpc), 1)
            << c.w << "x" << c.h << "x" << c.c << "x" << c.bpc;
        ExpectEmpty(p.buf);
    }
}

TEST(PicBuf, ReinitHeapFailsCleanlyUnderAllocationLimit) {
    LimitGuard limit(1000);
    ScopedPic p(10, 10, 1, 8);
    EXPECT_NE(p.buf.data, nullptr);
    EXPECT_EQ(CQmPicBufAPI::ReinitHeap(p.buf, 20, 20, 3, 8), 1);
    ExpectEmpty(p.buf);
    // Exactly at the limit is allowed.
    EXPECT_EQ(CQmPicBufAPI::ReinitHeap(p.buf, 10, 100, 1, 8), 0);
    EXPECT_EQ(p.buf.size, 1000);
}

TEST(PicBuf, CopyWholeNeedsSameGeometry) {
    ScopedPic a(6, 5, 3, 8), b(6, 5, 3, 8), c(5, 6, 3, 8), d(6, 5, 1, 8);
    FillRandom(a.buf, 1);
    std::memset(b.buf.data, 0, static_cast<size_t>(b.buf.size));
    CQmPicBufAPI::Copy(b.buf, a.buf);
    EXPECT_EQ(a.Bytes(), b.Bytes());

    std::memset(c.buf.data, 9, static_cast<size_t>(c.buf.size));
    std::vector<uint8_t> before = c.Bytes();
    CQmPicBufAPI::Copy(c.buf, a.buf);  // same byte count, other shape: refused
    EXPECT_EQ(c.Bytes(), before);
    before = d.Bytes();
    CQmPicBufAPI::Copy(d.buf, a.buf);
    EXPECT_EQ(d.Bytes(), before);

    ScopedPic empty;
    CQmPicBufAPI::Copy(empty.buf, a.buf);
    CQmPicBufAPI::Copy(a.buf, empty.buf);
    EXPECT_EQ(empty.buf.data, nullptr);

    // Large enough to go in pieces over the pool, the last one short.
    ScopedPic big(1021, 1031, 3, 8), copy(1021, 1031, 3, 8);
    FillRandom(big.buf, 3);
    SetParallelRowsGrain(1);
    CQmPicBufAPI::Copy(copy.buf, big.buf);
    SetParallelRowsGrain(0);
    EXPECT_EQ(copy.Bytes(), big.Bytes());
}

TEST(PicBuf, CopyWholeHonoursForeignStride) {
    // A record over a larger block with padded rows, like the view over the display surface.
    std::vector<uint8_t> block(20 * 6, 0xEE);
    SQmPicBuf view{block.data(), static_cast<int32_t>(block.size()), 20, 4, 6, 3, 8};
    ScopedPic src(4, 6, 3, 8);
    FillRandom(src.buf, 2);
    CQmPicBufAPI::Copy(view, src.buf);
    for (int y = 0; y < 6; ++y) {
        EXPECT_EQ(std::memcmp(&block[20 * y], src.buf.data + 12 * y, 12), 0);
        for (int i = 12; i < 20; ++i)
            EXPECT_EQ(block[20 * y + i], 0xEE);
    }
}

TEST(PicBuf, CopyRectangleClipsToBothBuffers) {
    // Window-sized view into a larger surface and back, with rectangles that overhang.
    ScopedPic small(7, 5, 3, 8), large(12, 9, 3, 8);
    FillRandom(small.buf, 3);
    std::memset(large.buf.data, 0, static_cast<size_t>(large.buf.size));
    CQmPicBufAPI::Copy(large.buf, small.buf, CQmRect<int>{0, 0, 100, 100});
    for (int y = 0; y < 9; ++y) {
        for (int x = 0; x < 12; ++x) {
            for (int c = 0; c < 3; ++c) {
                uint8_t want = (x < 7 && y < 5) ? RefPixel(small.buf, x, y, c) : 0;
                EXPECT_EQ(RefPixel(large.buf, x, y, c), want) << x << "," << y;
            }
        }
    }
    // Inner rectangle with a negative corner: only [0,3) x [0,2) copied.
    ScopedPic target(7, 5, 3, 8);
    std::memset(target.buf.data, 1, static_cast<size_t>(target.buf.size));
    CQmPicBufAPI::Copy(target.buf, small.buf, CQmRect<int>{-4, -4, 3, 2});
    for (int y = 0; y < 5; ++y) {
        for (int x = 0; x < 7; ++x) {
            uint8_t want = (x < 3 && y < 2) ? RefPixel(small.buf, x, y, 0) : 1;
            EXPECT_EQ(RefPixel(target.buf, x, y, 0), want);
        }
    }
    // Different formats: nothing.
    ScopedPic grey(7, 5, 1, 8);
    std::memset(grey.buf.data, 4, static_cast<size_t>(grey.buf.size));
    CQmPicBufAPI::Copy(grey.buf, small.buf, CQmRect<int>{0, 0, 7, 5});
    EXPECT_EQ(grey.Bytes(), std::vector<uint8_t>(35, 4));
}

TEST(PicBuf, CopyRectMovesBlockAndClips) {
    ScopedPic src(10, 8, 1, 16), dst(6, 6, 1, 16);
    FillRandom(src.buf, 4);
    std::memset(dst.buf.data, 0, static_cast<size_t>(dst.buf.size));
    auto at16 = [](const SQmPicBuf& b, int x, int y) {
        uint16_t v;
        std::memcpy(&v, b.data + y * b.stride + 2 * x, 2);
        return v;
    };
    CQmPicBufAPI::CopyRect(dst.buf, src.buf, CQmPoint<int>{2, 1}, CQmPoint<int>{5, 3}, CQmSize<int>{3, 2});
    for (int y = 0; y < 6; ++y) {
        for (int x = 0; x < 6; ++x) {
            bool in = x >= 2 && x < 5 && y >= 1 && y < 3;
            EXPECT_EQ(at16(dst.buf, x, y), in ? at16(src.buf, x + 3, y + 2) : 0) << x << "," << y;
        }
    }
    // Overhanging on every side: only the part inside both buffers moves, dst (0..2, 5) <- src (7..9, 0).
    std::vector<uint8_t> before(dst.buf.data, dst.buf.data + dst.buf.size);
    CQmPicBufAPI::CopyRect(dst.buf, src.buf, CQmPoint<int>{-2, 4}, CQmPoint<int>{5, -1}, CQmSize<int>{50, 50});
    for (int y = 0; y < 6; ++y) {
        for (int x = 0; x < 6; ++x) {
            uint16_t old;
            std::memcpy(&old, &before[y * 12 + 2 * x], 2);
            EXPECT_EQ(at16(dst.buf, x, y), (y == 5 && x < 3) ? at16(src.buf, x + 7, 0) : old) << x << "," << y;
        }
    }
}

TEST(PicBuf, CopyRectWithinOneBufferOverlapping) {
    ScopedPic p(8, 8, 1, 8);
    for (int i = 0; i < 64; ++i)
        p.buf.data[i] = static_cast<uint8_t>(i);
    std::vector<uint8_t> orig = p.Bytes();
    CQmPicBufAPI::CopyRect(p.buf, p.buf, CQmPoint<int>{1, 2}, CQmPoint<int>{0, 0}, CQmSize<int>{6, 5});
    for (int y = 0; y < 5; ++y) {
        for (int x = 0; x < 6; ++x)
            EXPECT_EQ(p.buf.data[(y + 2) * 8 + x + 1], orig[y * 8 + x]);
    }
}

TEST(PicBuf, SetConstFillsClippedRectangle) {
    ScopedPic p(6, 4, 3, 8);
    std::memset(p.buf.data, 0, static_cast<size_t>(p.buf.size));
    CQmPicBufAPI::SetConst(p.buf, CQmRect<int>{0, 0, 3, 2}, 190);
    for (int y = 0; y < 4; ++y) {
        for (int x = 0; x < 6; ++x) {
            for (int c = 0; c < 3; ++c)
                EXPECT_EQ(RefPixel(p.buf, x, y, c), (x < 3 && y < 2) ? 190 : 0);
        }
    }
    CQmPicBufAPI::SetConst(p.buf, CQmRect<int>{-10, 3, 1000, 1000}, 5);  // bottom row only
    for (int x = 0; x < 6; ++x)
        EXPECT_EQ(RefPixel(p.buf, x, 3, 2), 5);
    EXPECT_EQ(RefPixel(p.buf, 5, 2, 0), 0);
    CQmPicBufAPI::SetConst(p.buf, CQmRect<int>{4, 0, 2, 4}, 77);  // inverted: nothing
    EXPECT_EQ(RefPixel(p.buf, 4, 0, 0), 0);

    // A window-sized record over a wider block: fills only its own columns.
    std::vector<uint8_t> block(30 * 3, 0);
    SQmPicBuf view{block.data(), 90, 30, 4, 3, 3, 8};
    CQmPicBufAPI::SetConst(view, CQmRect<int>{0, 0, 4000, 3000}, 190);
    for (int y = 0; y < 3; ++y) {
        for (int i = 0; i < 30; ++i)
            EXPECT_EQ(block[30 * y + i], i < 12 ? 190 : 0);
    }
    ScopedPic empty;
    CQmPicBufAPI::SetConst(empty.buf, CQmRect<int>{0, 0, 10, 10}, 1);
}

TEST(PicBuf, RecordsThatDoNotFitTheirBlockAreRefused) {
    std::vector<uint8_t> block(40, 3);
    SQmPicBuf tooSmall{block.data(), 40, 15, 5, 4, 3, 8};  // needs 60 bytes
    SQmPicBuf shortStride{block.data(), 40, 10, 5, 2, 3, 8};
    SQmPicBuf ok{block.data(), 40, 15, 5, 2, 3, 8};
    EXPECT_FALSE(IsUsablePicBuf(tooSmall));
    EXPECT_FALSE(IsUsablePicBuf(shortStride));
    EXPECT_TRUE(IsUsablePicBuf(ok));
    CQmPicBufAPI::SetConst(tooSmall, CQmRect<int>{0, 0, 5, 4}, 0);
    EXPECT_EQ(block, std::vector<uint8_t>(40, 3));
}
