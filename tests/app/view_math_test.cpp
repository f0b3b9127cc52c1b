#include "app/view_math.h"
#include "app/dpi_scale.h"

#include <gtest/gtest.h>

#include <climits>
#include <cstdint>
#include <set>
#include <utility>
#include <vector>

TEST(ZoomText, FormatsOneDecimalSpacePercent) {
    EXPECT_EQ(FormatZoomText(1.0), "100.0 %");
    EXPECT_EQ(FormatZoomText(0.523), "52.3 %");
    EXPECT_EQ(FormatZoomText(1.2), "120.0 %");
    EXPECT_EQ(FormatZoomText(0.8333333333333334), "83.3 %");
    double z = 1.0;
    for (int i = 0; i < 5; ++i)
        z *= kZoomInFactor;
    EXPECT_EQ(FormatZoomText(z), "248.8 %");
}

TEST(ZoomText, ScannerClampsAndRejects) {
    struct Case {
        const char* text;
        bool ok;
        double percent;
    };
    const Case cases[] = {
        {"5", true, 10},       {"1500", true, 800},    {"75.5%", true, 75.5}, {"150,5", true, 150.5}, {"", true, 10},
        {"2000 %", true, 800}, {"100.0 %", true, 100}, {"12a", false, 0},     {"abc", false, 0},      {"10", true, 10},
        {"800", true, 800},    {"33.33", true, 33.33}, {"1.2.3", true, 10},   {"50 junk", true, 50},
    };
    for (const Case& c : cases) {
        const ZoomTextResult r = ParseZoomText(std::string(c.text));
        EXPECT_EQ(r.ok, c.ok) << c.text;
        if (c.ok) {
            EXPECT_DOUBLE_EQ(r.percent, c.percent) << c.text;
        }
    }
    // Only the first 9 characters count: the tenth would be invalid.
    EXPECT_TRUE(ParseZoomText(std::u16string(u"123456789x")).ok);
    EXPECT_FALSE(ParseZoomText(std::u16string(u"12345678x")).ok);
    EXPECT_DOUBLE_EQ(ParseZoomText(std::u16string(u"75.5%")).percent, 75.5);
}

TEST(ZoomList, EntriesAndDefault) {
    EXPECT_EQ(ZoomForListEntry(0), 0.1);
    EXPECT_EQ(ZoomForListEntry(7), 8.0);
    EXPECT_EQ(ZoomForListEntry(-1), 1.0);
    for (int i = 0; i < kZoomListCount; ++i)
        EXPECT_EQ(FormatZoomText(ZoomForListEntry(i)), kZoomListTexts[i]);
}

TEST(ViewPlacementMath, FitTouchesTheBandAndCentres) {
    // 4000 x 3000 into a 1000 x 700 client with the toolbar ending at 30.
    ViewPlacement p;
    CentreAnchors(p, 4000, 3000);
    const FitBand band = FitBandFor(30, 700);
    FitPlacement(p, 1000, band);
    EXPECT_EQ(band.top, 32);
    EXPECT_EQ(band.bottom, 680);
    EXPECT_DOUBLE_EQ(p.zoom, 324.0 / 1500.0);  // height limits: 648 / 3000
    EXPECT_DOUBLE_EQ(p.anchorWinX, 500.0);
    EXPECT_DOUBLE_EQ(p.anchorWinY, 324.0 + 32.0);
    // A wide picture is limited by the width.
    CentreAnchors(p, 4000, 500);
    FitPlacement(p, 1000, band);
    EXPECT_DOUBLE_EQ(p.zoom, 0.25);
    // Small pictures are enlarged without a limit.
    CentreAnchors(p, 10, 10);
    FitPlacement(p, 1000, band);
    EXPECT_DOUBLE_EQ(p.zoom, 64.8);
}

TEST(ViewPlacementMath, HundredPercentKeepsThePictureAnchor) {
    ViewPlacement p{0.3, 10, 20, 123.5, 77.25};
    HundredPercentPlacement(p, 800, FitBandFor(28, 600));
    EXPECT_EQ(p.zoom, 1.0);
    EXPECT_EQ(p.anchorWinX, 400.0);
    EXPECT_EQ(p.anchorWinY, 275.0 + 30.0);
    EXPECT_EQ(p.anchorImgX, 123.5);
    EXPECT_EQ(p.anchorImgY, 77.25);
}

TEST(ViewPlacementMath, WheelStaysBetweenHundredPixelsAndEightHundredPercent) {
    ViewPlacement p{1.0, 500, 350, 2000, 1500};
    for (int i = 0; i < 60; ++i) {
        int cx = 500, cy = 350;
        WheelPlacement(p, cx, cy, false, 4000, 3000, 4000, 3000);
        EXPECT_GE(p.zoom, 0.025);
    }
    EXPECT_DOUBLE_EQ(p.zoom, 0.025);
    EXPECT_EQ(FormatZoomText(p.zoom), "2.5 %");
    for (int i = 0; i < 60; ++i) {
        int cx = 500, cy = 350;
        WheelPlacement(p, cx, cy, true, 4000, 3000, 4000, 3000);
        EXPECT_LE(p.zoom, 8.0);
    }
    EXPECT_EQ(p.zoom, 8.0);
}

TEST(ViewPlacementMath, WheelKeepsThePointUnderTheCursorAndClampsToThePicture) {
    ViewPlacement p{0.5, 400, 300, 500, 400};  // picture 1000 x 800 spans window x 150..650, y 100..500
    int cx = 200, cy = 150;
    double ix, iy;
    ViewMap(p).MapPointDstToSrc(ix, iy, cx, cy);
    WheelPlacement(p, cx, cy, true, 1000, 800, 1000, 800);
    EXPECT_EQ(cx, 200);
    EXPECT_DOUBLE_EQ(p.anchorImgX, ix);
    EXPECT_DOUBLE_EQ(p.anchorImgY, iy);
    EXPECT_DOUBLE_EQ(p.zoom, 0.6);
    int x, y;
    ViewMap(p).MapPointSrcToDst(x, y, ix, iy);
    EXPECT_EQ(x, 200);
    EXPECT_EQ(y, 150);
    // Outside the picture the nearest picture point is used.
    p = ViewPlacement{0.5, 400, 300, 500, 400};
    cx = 5;
    cy = 900;
    WheelPlacement(p, cx, cy, false, 1000, 800, 1000, 800);
    EXPECT_EQ(cx, 150);
    EXPECT_EQ(cy, 500);
}

TEST(ViewPlacementMath, PanFollowsTheMouseOneToOne) {
    ViewPlacement p{2.5, 300, 200, 100, 80};
    int x0, y0;
    ViewMap(p).MapPointSrcToDst(x0, y0, 40, 30);
    PanPlacement(p, 100, 100, 137, 81);
    int x1, y1;
    ViewMap(p).MapPointSrcToDst(x1, y1, 40, 30);
    EXPECT_EQ(x1 - x0, 37);
    EXPECT_EQ(y1 - y0, -19);
}

TEST(Outline, EveryPixelOnceAndCutToTheWindow) {
    std::vector<std::pair<int, int>> hits;
    ForEachOutlinePixel(10, 20, 30, 35, 100, 100, [&](int x, int y) { hits.push_back({x, y}); });
    std::set<std::pair<int, int>> unique(hits.begin(), hits.end());
    EXPECT_EQ(unique.size(), hits.size());
    // Two-pixel frame of a 21 x 16 rectangle.
    EXPECT_EQ(hits.size(), static_cast<size_t>(21 * 16 - 17 * 12));
    for (auto [x, y] : hits) {
        const bool edge = x <= 11 || x >= 29 || y <= 21 || y >= 34;
        EXPECT_TRUE(edge) << x << "," << y;
    }
    // Partly outside: only window pixels, still once each.
    hits.clear();
    ForEachOutlinePixel(-5000, -7, 50, 1 << 29, 40, 30, [&](int x, int y) { hits.push_back({x, y}); });
    unique = std::set<std::pair<int, int>>(hits.begin(), hits.end());
    EXPECT_EQ(unique.size(), hits.size());
    for (auto [x, y] : hits) {
        EXPECT_TRUE(x >= 0 && x < 40 && y >= 0 && y < 30);
    }
    EXPECT_TRUE(hits.empty());  // every edge lies outside a 40 x 30 window
    // Corners at the ends of the int range (extreme zoom) do not overflow.
    hits.clear();
    ForEachOutlinePixel(INT32_MIN, INT32_MIN, INT32_MAX, INT32_MAX, 40, 30, [&](int x, int y) {
        hits.push_back({x, y});
    });
    EXPECT_TRUE(hits.empty());
    ForEachOutlinePixel(INT32_MAX, INT32_MAX, INT32_MAX, INT32_MAX, 40, 30, [&](int x, int y) {
        hits.push_back({x, y});
    });
    EXPECT_TRUE(hits.empty());
}

TEST(DpiScale, SizesAndStripsFollowTheScreen) {
    EXPECT_EQ(ScaleToDpi(23, 96), 23);
    EXPECT_EQ(ScaleToDpi(23, 144), 35);  // 34.5 rounds up
    EXPECT_EQ(ScaleToDpi(16, 192), 32);
    EXPECT_EQ(ScaleToDpi(85, 120), 106);
    EXPECT_EQ(ScaleToDpi(7, 0), 7);
    EXPECT_EQ(ToolbarStripPercent(96), 100);
    EXPECT_EQ(ToolbarStripPercent(120), 100);
    EXPECT_EQ(ToolbarStripPercent(144), 150);
    EXPECT_EQ(ToolbarStripPercent(192), 200);
    EXPECT_EQ(ToolbarStripPercent(288), 200);
}
