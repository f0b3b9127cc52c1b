#include "fusion/preview_region.h"

#include <gtest/gtest.h>

namespace {

Region Rounded(const RegionF& r, int32_t w, int32_t h) {
    return RoundClampRegion(r, w, h);
}

TEST(PreviewRegion, SmallPictureIsCoveredWholeWherever) {
    for (double px : {-5000.0, -1.0, 0.0, 150.0, 299.6, 4000.0}) {
        for (double py : {-300.0, 0.0, 100.0, 199.4, 900.0}) {
            const RegionF r = PlacePreviewRegion(px, py, 300, 200);
            EXPECT_EQ(Rounded(r, 300, 200), (Region{0, 0, 300, 200})) << px << "," << py;
        }
    }
}

TEST(PreviewRegion, CentredOnTheMiddleOfALargePicture) {
    const RegionF r = PlacePreviewRegion(1000.0, 750.0, 2000, 1500);
    EXPECT_EQ(r.x0, 800.0);
    EXPECT_EQ(r.y0, 550.0);
    EXPECT_EQ(r.x1, 1200.0);
    EXPECT_EQ(r.y1, 950.0);
    const Region work = GrowClampRegion(Rounded(r, 2000, 1500), kPreviewMargin, 2000, 1500);
    EXPECT_EQ(work, (Region{672, 422, 1328, 1078}));
    // The point is rounded half up before placing.
    EXPECT_EQ(PlacePreviewRegion(1000.49, 749.5, 2000, 1500).x0, 800.0);
    EXPECT_EQ(PlacePreviewRegion(1000.49, 749.5, 2000, 1500).y0, 550.0);
}

TEST(PreviewRegion, KeepsItsSizeAtTheEdges) {
    EXPECT_EQ(Rounded(PlacePreviewRegion(1950, 10, 2000, 1500), 2000, 1500), (Region{1600, 0, 2000, 400}));
    EXPECT_EQ(Rounded(PlacePreviewRegion(-1e300, 1e300, 2000, 1500), 2000, 1500), (Region{0, 1100, 400, 1500}));
    // A picture narrower than the region but taller.
    EXPECT_EQ(Rounded(PlacePreviewRegion(50, 700, 250, 1000), 250, 1000), (Region{0, 500, 250, 900}));
}

TEST(PreviewRegion, WorkRegionIsClampedToThePicture) {
    EXPECT_EQ(GrowClampRegion(Region{0, 0, 300, 200}, kPreviewMargin, 300, 200), (Region{0, 0, 300, 200}));
    EXPECT_EQ(GrowClampRegion(Region{1600, 50, 2000, 450}, kPreviewMargin, 2000, 1500), (Region{1472, 0, 2000, 578}));
}

TEST(PreviewRegion, EdgesRoundHalfUpAndClampOnTheirOwn) {
    EXPECT_EQ(Rounded(RegionF{10.5, 10.49, 20.5, 20.51}, 100, 100), (Region{11, 10, 21, 21}));
    EXPECT_EQ(Rounded(RegionF{-0.6, -100.0, 400.0, 50.0}, 100, 100), (Region{0, 0, 100, 50}));
    // Dragging past the right edge shrinks the clamped region; dragging back restores it.
    RegionF r{1600, 550, 2000, 950};
    r = MoveRegion(r, 80.0, 0.0);
    EXPECT_EQ(Rounded(r, 2000, 1500), (Region{1680, 550, 2000, 950}));
    EXPECT_EQ(r.x1 - r.x0, 400.0);
    r = MoveRegion(r, -80.0, 0.0);
    EXPECT_EQ(Rounded(r, 2000, 1500), (Region{1600, 550, 2000, 950}));
    // Wholly outside: empty.
    EXPECT_TRUE(Rounded(MoveRegion(r, 1000, 0), 2000, 1500).Empty());
}

TEST(PreviewRegion, WindowHitTestIncludesTopLeftOnly) {
    EXPECT_TRUE(PointInWindowRegion(10, 20, 10, 20, 30, 40));
    EXPECT_TRUE(PointInWindowRegion(29, 39, 10, 20, 30, 40));
    EXPECT_FALSE(PointInWindowRegion(30, 25, 10, 20, 30, 40));
    EXPECT_FALSE(PointInWindowRegion(15, 40, 10, 20, 30, 40));
    EXPECT_FALSE(PointInWindowRegion(9, 25, 10, 20, 30, 40));
}

TEST(FusionSliders, StepsOnTopOfTheControlsOwnStep) {
    // Right arrow at 15: the control has moved to 16, the dialog adds one more.
    EXPECT_EQ(SliderTargetValue(kSliderLineDown, 16, static_cast<int16_t>(0)), 17);
    EXPECT_EQ(SliderTargetValue(kSliderLineUp, 14, static_cast<int16_t>(0)), 13);
    // A click beside the thumb: page size 0 leaves the control at 15.
    EXPECT_EQ(SliderTargetValue(kSliderPageDown, 15, static_cast<int16_t>(0)), 16);
    EXPECT_EQ(SliderTargetValue(kSliderPageUp, 15, static_cast<int16_t>(0)), 14);
    EXPECT_EQ(SliderTargetValue(kSliderThumbTrack, 15, static_cast<int16_t>(33)), 33);
    EXPECT_EQ(SliderTargetValue(kSliderThumbPosition, 15, static_cast<int16_t>(0xFFFF)), -1);  // signed 16 bits
    EXPECT_EQ(SliderTargetValue(8 /* end of tracking */, 15, static_cast<int16_t>(99)), 15);
}

TEST(FusionSliders, RecomputeRules) {
    EXPECT_TRUE(SliderNeedsRecompute(kSliderThumbPosition, 15, 15));
    EXPECT_FALSE(SliderNeedsRecompute(kSliderThumbTrack, 15, 20));
    EXPECT_TRUE(SliderNeedsRecompute(kSliderLineDown, 16, 17));
    EXPECT_FALSE(SliderNeedsRecompute(kSliderLineDown, 39, 39));  // at the end of the range
    EXPECT_FALSE(SliderNeedsRecompute(8, 15, 15));
}

TEST(FusionSliders, PreparationPercentages) {
    const int32_t expected[] = {5, 7, 10, 12, 15};
    for (int n = 0; n < 5; ++n)
        EXPECT_EQ(PreparationPercent(n), expected[n]);
    EXPECT_EQ(PreparationPercent(38), 100);
}

}  // namespace
