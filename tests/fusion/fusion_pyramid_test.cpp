#include "fusion/fusion_pyramid.h"

#include <gtest/gtest.h>

#include "base/alloc.h"

namespace {

SQmPicBuf Shape(int32_t width, int32_t height, int32_t components = 3) {
    return SQmPicBuf{nullptr, 0, width * components, width, height, components, 8};
}

bool AllZero(const FloatPlane& p) {
    for (size_t k = 0; k < p.Count(); ++k)
        if (p.Data()[k] != 0.0f)
            return false;
    return true;
}

}  // namespace

TEST(FusionTopLevel, HalvingsOfTheSmallerSideCappedByFlatness) {
    // 300 halves to 150, 75, 37, 18, 9, 4.
    EXPECT_EQ(FusionTopLevel(400, 300, 7, 100), 6u);
    EXPECT_EQ(FusionTopLevel(400, 300, 7, 3), 3u);
    // 400 halves to 200, 100, 50, 25, 12, 6.
    EXPECT_EQ(FusionTopLevel(400, 400, 7, 100), 6u);
    EXPECT_EQ(FusionTopLevel(656, 656, 3, 100), 8u);
    // Below minSide: a single level.
    EXPECT_EQ(FusionTopLevel(6, 500, 7, 3), 0u);
    EXPECT_EQ(FusionTopLevel(7, 500, 7, 3), 1u);
    EXPECT_EQ(FusionTopLevel(2, 2, 3, 8), 0u);
    // Never more than the level tables hold, whatever the Flatness.
    EXPECT_EQ(FusionTopLevel(1 << 20, 1 << 20, 3, 50), 10u);
    EXPECT_EQ(FusionTopLevel(1 << 20, 1 << 20, 0, 50), 10u);
    EXPECT_EQ(FusionTopLevel(400, 300, 7, -2), 0u);
}

TEST(FusionPyramid, ConstructionSetsGeometryParametersAndZeroPlanes) {
    FusionPyramid p;
    ASSERT_TRUE(InitPyramid(p, Shape(400, 300), 7, 140, 3).ok());
    EXPECT_EQ(p.components, 3u);
    EXPECT_EQ(p.bitsPerComponent, 8);
    EXPECT_EQ(p.width, 400);
    EXPECT_EQ(p.height, 300);
    EXPECT_EQ(p.topLevel, 3u);
    const uint32_t w[] = {400, 200, 100, 50}, h[] = {300, 150, 75, 37};
    for (uint32_t j = 0; j <= 3; ++j) {
        EXPECT_EQ(p.levelWidth[j], w[j]);
        EXPECT_EQ(p.levelHeight[j], h[j]);
        for (uint32_t c = 0; c < 3; ++c) {
            EXPECT_EQ(p.WeightSum(c, j).Width(), static_cast<int32_t>(w[j]));
            EXPECT_EQ(p.WeightedSum(c, j).Height(), static_cast<int32_t>(h[j]));
            EXPECT_TRUE(AllZero(p.WeightSum(c, j)));
            EXPECT_TRUE(AllZero(p.WeightedSum(c, j)));
        }
    }
    EXPECT_TRUE(p.WeightSum(0, 4).Empty());
    EXPECT_EQ(p.midTone, 140);
    EXPECT_EQ(p.contrastParam, 5);
    EXPECT_EQ(p.saturationParam, 5);
    EXPECT_EQ(p.exposednessParam, 5);
    float k[kKernelTaps];
    PyramidKernel(k);
    for (int i = 0; i < kKernelTaps; ++i)
        EXPECT_EQ(p.kernel[i], k[i]);
    EXPECT_EQ(DonePyramid(p), 0);
    EXPECT_EQ(p.planes, nullptr);
}

TEST(FusionPyramid, SmallPictureGetsOneLevelAndCoarseLevelsMayBeTiny) {
    FusionPyramid p;
    ASSERT_TRUE(InitPyramid(p, Shape(6, 40), 7, 128, 3).ok());
    EXPECT_EQ(p.topLevel, 0u);
    EXPECT_EQ(p.levelWidth[0], 6u);
    ASSERT_TRUE(InitPyramid(p, Shape(400, 300), 7, 128, 8).ok());
    EXPECT_EQ(p.topLevel, 6u);
    EXPECT_EQ(p.levelWidth[6], 6u);
    EXPECT_EQ(p.levelHeight[6], 4u);
    DonePyramid(p);
}

TEST(FusionPyramid, AllocationFailureIsReportedAndDoneReleases) {
    FusionPyramid p;
    SetAllocationLimit(400 * 300 * 4 - 1);
    EXPECT_EQ(InitPyramid(p, Shape(400, 300), 7, 128, 3).code(), StatusCode::kOutOfMemory);
    SetAllocationLimit(0);
    EXPECT_NE(p.planes, nullptr);
    EXPECT_EQ(DonePyramid(p), 0);
    EXPECT_EQ(DonePyramid(p), 0);  // twice is harmless
    EXPECT_EQ(InitPyramid(p, Shape(0, 300), 7, 128, 3).code(), StatusCode::kInvalid);
    DonePyramid(p);
}
