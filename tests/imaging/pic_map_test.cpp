#include <gtest/gtest.h>

#include <cmath>
#include <cstdint>

#include "imaging/pic_buf.h"

TEST(PicMap, MapsCentreToCentreAndScalesDistances) {
    CQmPicMap m(400.0, 300.0, 1000.0, 500.0, 0.0, 0.25);
    int32_t x, y;
    m.MapPointSrcToDst(x, y, 1000.0, 500.0);
    EXPECT_EQ(x, 400);
    EXPECT_EQ(y, 300);
    m.MapPointSrcToDst(x, y, 1400.0, 100.0);
    EXPECT_EQ(x, 500);
    EXPECT_EQ(y, 200);
    double sx, sy;
    m.MapPointDstToSrc(sx, sy, 500, 200);
    EXPECT_DOUBLE_EQ(sx, 1400.0);
    EXPECT_DOUBLE_EQ(sy, 100.0);
    // Compute rebuilds an existing map.
    m.Compute(0.0, 0.0, 0.0, 0.0, 0.0, 2.0);
    m.MapPointSrcToDst(x, y, 3.0, -4.0);
    EXPECT_EQ(x, 6);
    EXPECT_EQ(y, -8);
}

TEST(PicMap, SrcToDstRoundsToNearest) {
    CQmPicMap m(0.0, 0.0, 0.0, 0.0, 0.0, 1.0);
    int32_t x, y;
    m.MapPointSrcToDst(x, y, 2.49, -2.49);
    EXPECT_EQ(x, 2);
    EXPECT_EQ(y, -2);
    m.MapPointSrcToDst(x, y, 2.5, -2.51);
    EXPECT_EQ(x, 3);
    EXPECT_EQ(y, -3);
    m.MapPointSrcToDst(x, y, 1e300, -1e300);  // saturates instead of overflowing
    EXPECT_EQ(x, INT32_MAX);
    EXPECT_EQ(y, INT32_MIN);
    m.MapPointSrcToDst(x, y, NAN, 0.0);
    EXPECT_EQ(x, 0);
}

TEST(PicMap, WindowPixelToPictureAndBackIsTheSamePixel) {
    // Zooms of the view: fit values, the wheel steps, typed percentages.
    const double scales[] = {0.1, 0.1234567, 1.0 / 3.0, 0.5, 0.8333333333333334, 1.0, 1.2, 1.44, 2.0, 7.3, 8.0};
    const double anchors[][4] = {{640.0, 400.0, 3000.0, 2000.0}, {1280.5, 719.5, 17.25, 9.125}, {0.0, 0.0, -3.7, 5e3}};
    for (double s : scales) {
        for (const auto& a : anchors) {
            CQmPicMap m(a[0], a[1], a[2], a[3], 0.0, s);
            for (int32_t px = -50; px < 2600; px += 7) {
                int32_t py = 1440 - px / 2;
                double sx, sy;
                m.MapPointDstToSrc(sx, sy, px, py);
                int32_t bx, by;
                m.MapPointSrcToDst(bx, by, sx, sy);
                EXPECT_EQ(bx, px) << "scale " << s;
                EXPECT_EQ(by, py) << "scale " << s;
            }
        }
    }
}

TEST(PicMap, WheelZoomKeepsPicturePointUnderCursor) {
    // The view re-anchors at the cursor: anchorImg := DstToSrc(cursor), anchorWin := cursor.
    CQmPicMap m(640.0, 400.0, 3000.0, 2000.0, 0.0, 0.3);
    double ix, iy;
    m.MapPointDstToSrc(ix, iy, 123, 456);
    double zoom = 0.3;
    for (int step = 0; step < 20; ++step) {
        zoom *= step < 10 ? 1.2 : 0.8333333333333334;
        CQmPicMap z(123.0, 456.0, ix, iy, 0.0, zoom);
        double jx, jy;
        z.MapPointDstToSrc(jx, jy, 123, 456);
        EXPECT_NEAR(jx, ix, 1e-9);
        EXPECT_NEAR(jy, iy, 1e-9);
    }
}
