#include <gtest/gtest.h>

#include <cstring>
#include <vector>

#include "imaging/pic_buf.h"
#include "imaging/pic_ref.h"

namespace {

using TransformFn = void (*)(SQmPicBuf&, const SQmPicBuf&, const CQmPicMap&);
using RefFn = void (*)(SQmPicBuf&, const SQmPicBuf&, const CQmPicMap&);

struct Kernel {
    const char* name;
    TransformFn fast;
    RefFn ref;
};

const Kernel kKernels[] = {
    {"nearest", CQmPicBufAPI::TransformConstantFast, RefTransformNearest},
    {"bilinear", CQmPicBufAPI::TransformBilinearFast, RefTransformBilinear},
    {"bicubic", CQmPicBufAPI::TransformBicubicFast, RefTransformBicubic},
};

}  // namespace

TEST(PicTransform, FastMatchesReferenceBitForBit) {
    struct Case {
        int32_t sw, sh, dw, dh;
        double dcx, dcy, scx, scy, scale;
    } cases[] = {
        {40, 30, 40, 30, 20.0, 15.0, 20.0, 15.0, 1.0},     // identity
        {40, 30, 64, 48, 32.0, 24.0, 20.0, 15.0, 1.6},     // zoom in, picture larger than dst
        {40, 30, 64, 48, 32.0, 24.0, 20.0, 15.0, 0.37},    // zoom out, grey border all round
        {37, 23, 29, 31, 3.3, 28.7, 30.1, 2.2, 2.75},      // off-centre, partly outside
        {13, 11, 100, 90, 50.0, 45.0, 6.5, 5.5, 7.3},      // strong zoom, edge taps clamp
        {200, 150, 33, 21, 16.5, 10.5, 100.0, 75.0, 0.1},  // strong reduction
        {1, 1, 9, 9, 4.5, 4.5, 0.5, 0.5, 3.0},             // single source pixel
        {5, 4, 17, 13, 8.0, 6.0, 2.5, 2.0, 1.0 / 3.0},
        {300, 7, 257, 5, 128.5, 2.5, 150.0, 3.5, 0.8333333333333334},  // long rows: vector body and tail
        {300, 40, 100, 20, 50.0, 10.0, 170.3, 20.7, 0.6},              // reduction from the middle of the source
        {700, 500, 900, 640, 450.0, 320.0, 350.0, 250.0, 1.7},         // large enough to split into bands
        {1600, 1200, 800, 640, 400.0, 320.0, 800.0, 600.0, 0.45},
    };
    for (bool simd : {true, false}) {
        SetPicTransformSimd(simd);
        int caseNo = 0;
        for (const Case& c : cases) {
            for (int comps : {3, 1}) {
                ScopedPic src(c.sw, c.sh, comps, 8);
                FillRandom(src.buf, 100 + caseNo);
                CQmPicMap map(c.dcx, c.dcy, c.scx, c.scy, 0.0, c.scale);
                for (const Kernel& k : kKernels) {
                    ScopedPic fast(c.dw, c.dh, comps, 8), ref(c.dw, c.dh, comps, 8);
                    std::memset(fast.buf.data, 190, static_cast<size_t>(fast.buf.size));
                    std::memset(ref.buf.data, 190, static_cast<size_t>(ref.buf.size));
                    k.fast(fast.buf, src.buf, map);
                    k.ref(ref.buf, src.buf, map);
                    EXPECT_EQ(std::memcmp(fast.buf.data, ref.buf.data, static_cast<size_t>(ref.buf.size)), 0)
                        << k.name << " case " << caseNo << " comps " << comps << " simd " << simd;
                }
            }
            ++caseNo;
        }
    }
    SetPicTransformSimd(true);
}

TEST(PicTransform, ScaleOneWithIntegerOffsetIsExactCopy) {
    ScopedPic src(31, 17, 3, 8);
    FillRandom(src.buf, 9);
    for (const Kernel& k : kKernels) {
        ScopedPic dst(31, 17, 3, 8);
        std::memset(dst.buf.data, 0, static_cast<size_t>(dst.buf.size));
        k.fast(dst.buf, src.buf, CQmPicMap(15.5, 8.5, 15.5, 8.5, 0.0, 1.0));
        EXPECT_EQ(dst.Bytes(), src.Bytes()) << k.name;
        // Shifted by (3, -2): dst (x, y) shows src (x - 3, y + 2).
        std::memset(dst.buf.data, 0, static_cast<size_t>(dst.buf.size));
        k.fast(dst.buf, src.buf, CQmPicMap(18.5, 6.5, 15.5, 8.5, 0.0, 1.0));
        for (int32_t y = 0; y < 17; ++y) {
            for (int32_t x = 0; x < 31; ++x) {
                bool in = x >= 3 && y + 2 < 17;
                for (int32_t c = 0; c < 3; ++c) {
                    EXPECT_EQ(RefPixel(dst.buf, x, y, c), in ? RefPixel(src.buf, x - 3, y + 2, c) : 0) << k.name;
                }
            }
        }
    }
}

TEST(PicTransform, SourceEntirelyOutsideChangesNothing) {
    ScopedPic src(20, 20, 3, 8);
    FillRandom(src.buf, 10);
    const CQmPicMap maps[] = {
        CQmPicMap(-100.0, 10.0, 10.0, 10.0, 0.0, 1.0),  // left of the window
        CQmPicMap(10.0, 500.0, 10.0, 10.0, 0.0, 2.0),   // below
        CQmPicMap(30.5, 30.5, 0.0, 0.0, 0.0, 1.0),      // picture corner at the far corner
    };
    for (const Kernel& k : kKernels) {
        for (const CQmPicMap& m : maps) {
            ScopedPic dst(30, 30, 3, 8);
            std::memset(dst.buf.data, 190, static_cast<size_t>(dst.buf.size));
            k.fast(dst.buf, src.buf, m);
            EXPECT_EQ(dst.Bytes(), std::vector<uint8_t>(dst.buf.size, 190)) << k.name;
        }
    }
}

TEST(PicTransform, FitZoomCoversExactlyThePictureExtent) {
    // 100 x 50 picture shown at 0.5 centred in a 60 x 40 window: covers [5, 55) x [7.5, 32.5).
    ScopedPic src(100, 50, 3, 8);
    std::memset(src.buf.data, 0, static_cast<size_t>(src.buf.size));
    ScopedPic dst(60, 40, 3, 8);
    std::memset(dst.buf.data, 190, static_cast<size_t>(dst.buf.size));
    CQmPicMap m(30.0, 20.0, 50.0, 25.0, 0.0, 0.5);
    CQmPicBufAPI::TransformBilinearFast(dst.buf, src.buf, m);
    for (int32_t y = 0; y < 40; ++y) {
        for (int32_t x = 0; x < 60; ++x) {
            bool in = x >= 5 && x < 55 && y >= 7 && y < 32;  // centres y + 0.5 in [7.5, 32.5)
            EXPECT_EQ(RefPixel(dst.buf, x, y, 0), in ? 0 : 190) << x << "," << y;
        }
    }
    int32_t x0, y0, x1, y1;
    m.MapPointSrcToDst(x0, y0, 0.0, 0.0);
    m.MapPointSrcToDst(x1, y1, 100.0, 50.0);
    EXPECT_EQ(x0, 5);
    EXPECT_EQ(x1, 55);
}

TEST(PicTransform, RefusesWhatItCannotSample) {
    ScopedPic src(10, 10, 3, 8), grey(10, 10, 1, 8), deep(10, 10, 3, 16), empty;
    FillRandom(src.buf, 11);
    ScopedPic dst(10, 10, 3, 8);
    std::memset(dst.buf.data, 190, static_cast<size_t>(dst.buf.size));
    std::vector<uint8_t> before = dst.Bytes();
    CQmPicMap id(5.0, 5.0, 5.0, 5.0, 0.0, 1.0);
    for (const Kernel& k : kKernels) {
        k.fast(dst.buf, grey.buf, id);  // component mismatch
        k.fast(dst.buf, deep.buf, id);  // 16-bit
        k.fast(dst.buf, empty.buf, id);
        k.fast(empty.buf, src.buf, id);
        k.fast(dst.buf, dst.buf, id);  // one block both ways
        k.fast(dst.buf, src.buf, CQmPicMap(5.0, 5.0, 5.0, 5.0, 0.0, 0.0));
        k.fast(dst.buf, src.buf, CQmPicMap(5.0, 5.0, 5.0, 5.0, 0.0, -1.0));
        k.fast(dst.buf, src.buf, CQmPicMap(NAN, 5.0, 5.0, 5.0, 0.0, 1.0));
        EXPECT_EQ(dst.Bytes(), before) << k.name;
    }
}

TEST(PicTransform, WritesThroughForeignStrideOnly) {
    // The view resamples into a window-sized record whose rows lie inside a wider surface.
    std::vector<uint8_t> surface(50 * 8, 0x11);
    SQmPicBuf view{surface.data(), static_cast<int32_t>(surface.size()), 50, 10, 8, 3, 8};
    ScopedPic src(10, 8, 3, 8);
    FillRandom(src.buf, 12);
    CQmPicBufAPI::TransformBilinearFast(view, src.buf, CQmPicMap(5.0, 4.0, 5.0, 4.0, 0.0, 1.0));
    for (int32_t y = 0; y < 8; ++y) {
        EXPECT_EQ(std::memcmp(&surface[50 * y], src.buf.data + 30 * y, 30), 0);
        for (int i = 30; i < 50; ++i)
            EXPECT_EQ(surface[50 * y + i], 0x11);
    }
}
