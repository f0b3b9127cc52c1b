// Slider stepping and picture checks of the Smart Contrast dialog.
#include "contrast/contrast_dialog.h"

#include <gtest/gtest.h>

namespace {

// One notification as the dialog sees it: the control has applied its own step (line 1, page 0)
// and clamped; the dialog sets its value, the control clamps again.
struct Outcome {
    int32_t value;
    bool recompute;
};
Outcome Notify(int32_t code, int32_t before, int16_t thumb = 0) {
    int32_t controlStep = 0;
    if (code == kSliderLineDown)
        controlStep = 1;
    if (code == kSliderLineUp)
        controlStep = -1;
    int32_t p = ClampToSlider(before + controlStep);
    if (code == kSliderTop)
        p = kLodMin;
    if (code == kSliderBottom)
        p = kLodMax;
    const int32_t q = ClampToSlider(SliderTargetValue(code, p, thumb));
    return {q, SliderNeedsRecompute(code, before, q)};
}

TEST(ContrastSlider, ArrowKeysMoveByTwoAndStopAtTheEnds) {
    Outcome right = Notify(kSliderLineDown, 10);
    EXPECT_EQ(right.value, 12);
    EXPECT_TRUE(right.recompute);
    Outcome left = Notify(kSliderLineUp, 10);
    EXPECT_EQ(left.value, 8);
    EXPECT_TRUE(left.recompute);

    Outcome atTop = Notify(kSliderLineDown, 30);
    EXPECT_EQ(atTop.value, 30);
    EXPECT_FALSE(atTop.recompute);
    Outcome nearTop = Notify(kSliderLineDown, 29);
    EXPECT_EQ(nearTop.value, 30);
    EXPECT_TRUE(nearTop.recompute);
    Outcome atBottom = Notify(kSliderLineUp, 0);
    EXPECT_EQ(atBottom.value, 0);
    EXPECT_FALSE(atBottom.recompute);
}

TEST(ContrastSlider, PageStepsMoveByOne) {
    EXPECT_EQ(Notify(kSliderPageDown, 10).value, 11);
    EXPECT_EQ(Notify(kSliderPageUp, 10).value, 9);
    EXPECT_FALSE(Notify(kSliderPageDown, 30).recompute);
}

TEST(ContrastSlider, DragShowsValueButRecomputesOnlyOnRelease) {
    Outcome track = Notify(kSliderThumbTrack, 10, 25);
    EXPECT_EQ(track.value, 25);
    EXPECT_FALSE(track.recompute);
    Outcome release = Notify(kSliderThumbPosition, 25, 25);
    EXPECT_EQ(release.value, 25);
    EXPECT_TRUE(release.recompute);  // even when the value did not change since the last track
    Outcome endTrack = Notify(kSliderEndTrack, 25);
    EXPECT_EQ(endTrack.value, 25);
    EXPECT_FALSE(endTrack.recompute);
    // The notification carries a signed 16-bit position; the control clamps what it is given.
    EXPECT_EQ(Notify(kSliderThumbTrack, 10, -3).value, 0);
    EXPECT_EQ(Notify(kSliderThumbTrack, 10, 300).value, 30);
}

TEST(ContrastSlider, HomeAndEndKeys) {
    Outcome home = Notify(kSliderTop, 17);
    EXPECT_EQ(home.value, 0);
    EXPECT_TRUE(home.recompute);
    EXPECT_FALSE(Notify(kSliderTop, 0).recompute);
    EXPECT_EQ(Notify(kSliderBottom, 17).value, 30);
}

TEST(ContrastSlider, AStoredValueAboveTheRangeCountsAsAChange) {
    // A stored "100" stands at 30; a notification that leaves the thumb there still replaces 100.
    Outcome end = Notify(kSliderEndTrack, 100);
    EXPECT_EQ(end.value, 30);
    EXPECT_TRUE(end.recompute);
}

SQmPicBuf Picture(int32_t w, int32_t h, int32_t components, int32_t bits) {
    static uint8_t pixel;
    return SQmPicBuf{&pixel, 1, w * components * bits / 8, w, h, components, bits};
}

TEST(ContrastOpeningCheck, ClassifiesPictures) {
    EXPECT_EQ(ClassifyContrastSource(SQmPicBuf{}), ContrastOpening::Empty);
    SQmPicBuf noPixels = Picture(100, 100, 3, 8);
    noPixels.data = nullptr;
    EXPECT_EQ(ClassifyContrastSource(noPixels), ContrastOpening::Empty);
    EXPECT_EQ(ClassifyContrastSource(Picture(100, 100, 0, 8)), ContrastOpening::Empty);
    EXPECT_EQ(ClassifyContrastSource(Picture(100, 100, 4, 8)), ContrastOpening::Unsupported);
    EXPECT_EQ(ClassifyContrastSource(Picture(100, 100, 3, 12)), ContrastOpening::Unsupported);
    EXPECT_EQ(ClassifyContrastSource(Picture(9, 500, 3, 8)), ContrastOpening::TooSmall);
    EXPECT_EQ(ClassifyContrastSource(Picture(500, 9, 1, 16)), ContrastOpening::TooSmall);
    EXPECT_EQ(ClassifyContrastSource(Picture(10, 10, 1, 8)), ContrastOpening::Ready);
    EXPECT_EQ(ClassifyContrastSource(Picture(1000, 700, 3, 16)), ContrastOpening::Ready);
}

}  // namespace
