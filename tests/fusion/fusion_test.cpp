#include "fusion/fusion.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <vector>

#include "base/alloc.h"
#include "fusion/fusion_test_pictures.h"
#include "fusion/fusion_weights.h"
#include "fusion/row_bands.h"
#include "support/fusion_ref.h"

namespace {

// Interleaved bytes of a picture without its row padding.
std::vector<uint8_t> Packed(const TestPicture& p) {
    std::vector<uint8_t> out;
    const size_t row = static_cast<size_t>(p.buf.width) * p.buf.components;
    for (int32_t y = 0; y < p.buf.height; ++y) {
        const uint8_t* r = p.bytes.data() + static_cast<size_t>(y) * p.buf.stride;
        out.insert(out.end(), r, r + row);
    }
    return out;
}

int MaxDifference(const std::vector<uint8_t>& a, const std::vector<uint8_t>& b) {
    int d = 0;
    for (size_t k = 0; k < a.size(); ++k)
        d = std::max(d, std::abs(a[k] - b[k]));
    return d;
}

std::vector<uint8_t> WritePlane(const std::vector<float>& plane, int32_t width, bool stretch) {
    const int32_t height = static_cast<int32_t>(plane.size()) / width;
    TestPicture t(width, height, 1, 3, 0xAB);
    WriteFusedPlane8(t.buf, plane.data(), stretch);
    for (int32_t y = 0; y < height; ++y)
        for (int32_t p = 0; p < 3; ++p)
            EXPECT_EQ(t.bytes[static_cast<size_t>(y) * t.buf.stride + width + p], 0xAB);
    return Packed(t);
}

FusionRunParams Params(int32_t count, uint32_t minSide, int32_t flatness, bool stretch, int32_t midTone = 128) {
    FusionRunParams p;
    p.count = count;
    p.minSide = minSide;
    p.flatness = flatness;
    p.stretch = stretch;
    p.midTone = midTone;
    return p;
}

}  // namespace

TEST(WriteFusedPlane, ClampsAndTruncates) {
    const std::vector<float> plane = {255.7f, -3.0f, 128.99f, 254.9f, 0.5f, 255.0f, 0.0f, 17.0f};
    const std::vector<uint8_t> expected = {255, 0, 128, 254, 0, 255, 0, 17};
    EXPECT_EQ(WritePlane(plane, 4, false), expected);
    EXPECT_EQ(RefWriteFusedPlane8(plane, 4, 2, false), expected);
}

TEST(WriteFusedPlane, StretchOnlyCompressesAnOvershootingRange) {
    // -20..300 maps onto 0..255.
    std::vector<float> wide = {-20.0f, 300.0f, 140.0f, 0.0f};
    std::vector<uint8_t> out = WritePlane(wide, 2, true);
    EXPECT_EQ(out[0], 0);
    EXPECT_EQ(out[1], 255);
    EXPECT_EQ(out[2], 127);  // 160 * 255 / 320
    EXPECT_EQ(out, RefWriteFusedPlane8(wide, 2, 2, true));
    // 10..300: the low end stays at 10, the high end lands on 255.
    std::vector<float> high = {10.0f, 300.0f, 100.0f, 200.0f};
    out = WritePlane(high, 2, true);
    EXPECT_EQ(out[0], 10);
    EXPECT_EQ(out[1], 255);
    EXPECT_EQ(out, RefWriteFusedPlane8(high, 2, 2, true));
    // 10..200 stays as it is.
    std::vector<float> inside = {10.0f, 200.0f, 99.5f, 37.25f};
    EXPECT_EQ(WritePlane(inside, 2, true), WritePlane(inside, 2, false));
    // A flat plane is written the same with and without the stretch.
    std::vector<float> flat(12, 77.7f);
    EXPECT_EQ(WritePlane(flat, 4, true), WritePlane(flat, 4, false));
    std::vector<float> flatHigh(12, 400.0f);
    EXPECT_EQ(WritePlane(flatHigh, 4, true), WritePlane(flatHigh, 4, false));
}

TEST(Fusion, RunMatchesReferenceBitForBit) {
    // The vector weights may differ from the reference in the last bits; the scalar path may not.
    UseWeightSpanKernels(nullptr, true);
    struct Case {
        int32_t w, h, n;
        uint32_t minSide;
        int32_t flatness;
        bool stretch, up;
        int32_t midTone;
    };
    const Case cases[] = {
        {61, 47, 5, 7, 3, false, true, 128}, {61, 47, 4, 3, 8, true, false, 90},
        {40, 40, 3, 7, 2, false, true, 164}, {6, 33, 3, 7, 3, false, true, 128},  // below minSide: L = 0
        {19, 131, 6, 3, 8, true, true, 64},  {200, 150, 2, 7, 3, true, false, 128},
    };
    uint32_t seed = 2;
    for (const Case& c : cases) {
        const TestPicture source = PhotoLike(c.w, c.h, seed++, 2);
        const std::vector<TestPicture> renderings = SortedRenderings(source, c.up, c.n);
        TestPicture target(c.w, c.h, 3, 1);
        ASSERT_EQ(RunFusion(target.buf, Records(renderings), Params(c.n, c.minSide, c.flatness, c.stretch, c.midTone)),
                  FusionStatus::kDone);
        const std::vector<uint8_t> ref =
            RefFusePictures(Records(renderings), c.n, c.minSide, c.midTone, c.flatness, c.stretch);
        EXPECT_EQ(Packed(target), ref) << c.w << "x" << c.h << " n " << c.n;
    }
    UseWeightSpanKernels(nullptr);
}

// With the vector weights, the fused bytes agree with the scalar oracle on at least 99.99 % of the samples and
// never by more than 1, for every kernel set, size and thread count.
TEST(Fusion, VectorWeightsKeepTheFusedBytes) {
    struct Case {
        int32_t w, h, n;
        uint32_t minSide;
        int32_t flatness;
        bool stretch, up;
    };
    const Case cases[] = {
        {10, 10, 3, 3, 3, false, true},    {11, 37, 4, 3, 8, true, false},     {24, 17, 5, 7, 3, false, true},
        {45, 70, 6, 3, 3, false, false},   {64, 63, 4, 7, 8, true, true},      {69, 52, 3, 3, 2, false, true},
        {601, 443, 15, 7, 3, false, true}, {656, 656, 15, 3, 3, false, false},
    };
    const WeightSpanKernels* sets[] = {Sse2WeightSpanKernels(), Avx2WeightSpanKernels(), Avx512WeightSpanKernels()};
    int64_t differing = 0, total = 0;
    uint32_t seed = 40;
    for (const Case& c : cases) {
        const TestPicture source = PhotoLike(c.w, c.h, seed++, 1);
        const std::vector<TestPicture> renderings = SortedRenderings(source, c.up, c.n);
        const std::vector<uint8_t> ref =
            RefFusePictures(Records(renderings), c.n, c.minSide, 128, c.flatness, c.stretch);
        for (const WeightSpanKernels* set : sets) {
            if (!set)
                continue;
            UseWeightSpanKernels(set);
            SetFusionMinBandPixels(300);
            for (int32_t threads : {1, 2, 3}) {
                SetFusionThreadCount(threads);
                TestPicture target(c.w, c.h, 3, 3);
                ASSERT_EQ(RunFusion(target.buf, Records(renderings), Params(c.n, c.minSide, c.flatness, c.stretch)),
                          FusionStatus::kDone);
                const std::vector<uint8_t> out = Packed(target);
                EXPECT_LE(MaxDifference(out, ref), 1) << c.w << "x" << c.h << " " << ActiveWeightSpanKernelsName();
                for (size_t k = 0; k < out.size(); ++k)
                    differing += out[k] != ref[k];
                total += static_cast<int64_t>(out.size());
            }
        }
    }
    SetFusionThreadCount(0);
    SetFusionMinBandPixels(0);
    UseWeightSpanKernels(nullptr);
    EXPECT_LE(static_cast<double>(differing), 1e-4 * static_cast<double>(total)) << differing << " of " << total;
    std::printf("vector weights: %lld of %lld fused samples differ from the oracle\n",
                static_cast<long long>(differing), static_cast<long long>(total));
}

TEST(Fusion, RunEqualsStepByStepCallsAndIgnoresThreadCount) {
    const TestPicture source = PhotoLike(150, 90, 21, 0);
    const std::vector<TestPicture> renderings = SortedRenderings(source, true, 4);

    FusionPyramid pyramid;
    ASSERT_TRUE(InitPyramid(pyramid, renderings[0].buf, 7, 128, 3).ok());
    for (const TestPicture& r : renderings)
        ASSERT_TRUE(AddExposure(pyramid, r.buf).ok());
    // Every component block carries the same weights.
    for (uint32_t j = 0; j <= pyramid.topLevel; ++j) {
        const size_t bytes = pyramid.WeightSum(0, j).Count() * sizeof(float);
        EXPECT_EQ(std::memcmp(pyramid.WeightSum(0, j).Data(), pyramid.WeightSum(2, j).Data(), bytes), 0);
    }
    TestPicture stepwise(150, 90);
    ASSERT_TRUE(RenderFusion(stepwise.buf, pyramid, false).ok());
    DonePyramid(pyramid);

    // With the weight sums kept in block 0 only, the other blocks have none and the result is the same.
    ASSERT_TRUE(InitPyramid(pyramid, renderings[0].buf, 7, 128, 3, true).ok());
    EXPECT_TRUE(pyramid.WeightSum(1, 0).Empty());
    for (const TestPicture& r : renderings)
        ASSERT_TRUE(AddExposure(pyramid, r.buf).ok());
    TestPicture shared(150, 90);
    ASSERT_TRUE(RenderFusion(shared.buf, pyramid, false).ok());
    EXPECT_EQ(Packed(shared), Packed(stepwise));
    TestPicture component(150, 90, 1);
    ASSERT_TRUE(CollapseComponent(component.buf, pyramid.Block(2), pyramid, false).ok());
    const std::vector<uint8_t> one = Packed(component), all = Packed(stepwise);
    for (size_t k = 0; k < one.size(); ++k)
        ASSERT_EQ(one[k], all[k * 3 + 2]) << k;
    DonePyramid(pyramid);

    SetFusionMinBandPixels(500);
    for (int32_t threads : {1, 2, 5}) {
        SetFusionThreadCount(threads);
        TestPicture run(150, 90, 3, 4);
        ASSERT_EQ(RunFusion(run.buf, Records(renderings), Params(4, 7, 3, false)), FusionStatus::kDone);
        EXPECT_EQ(Packed(run), Packed(stepwise)) << threads << " threads";
    }
    SetFusionThreadCount(0);
    SetFusionMinBandPixels(0);
}

// Planes made ahead of a run, whole or stopped part way, at the deepest top level, give the run's bytes at any
// flatness; planes for another shape or another minSide are given up, and the run makes its own.
TEST(Fusion, PreparedPlanesGiveTheSameBytes) {
    const TestPicture source = PhotoLike(150, 90, 21, 0);
    const std::vector<TestPicture> renderings = SortedRenderings(source, true, 4);
    auto records = [&](int32_t i) { return &renderings[static_cast<size_t>(i)].buf; };
    for (int32_t flatness : {0, 1, 3}) {
        TestPicture plain(150, 90);
        ASSERT_EQ(RunFusion(plain.buf, Records(renderings), Params(4, 7, flatness, true)), FusionStatus::kDone);
        for (int planesMade : {1000, 5, 0}) {
            FusionPyramid prepared;
            int asked = 0;
            const Status made = PrepareFusionRun(prepared, source.buf, 7, [&] { return asked++ < planesMade; });
            EXPECT_EQ(made.code(), planesMade == 1000 ? StatusCode::kOk : StatusCode::kCancelled);
            ASSERT_NE(prepared.planes, nullptr);
            EXPECT_GT(prepared.topLevel, 3u);
            TestPicture run(150, 90);
            // A whole preparation leaves the run no level-0 plane to allocate.
            if (planesMade == 1000)
                SetAllocationLimit(150 * 90 * 4 - 1);
            ASSERT_EQ(RunFusion(run.buf, 4, records, Params(4, 7, flatness, true), &prepared), FusionStatus::kDone);
            SetAllocationLimit(0);
            EXPECT_EQ(Packed(run), Packed(plain)) << flatness << " flatness, " << planesMade << " planes";
            EXPECT_EQ(prepared.planes, nullptr);
        }
    }
    const TestPicture other = PhotoLike(140, 90, 21, 0);
    TestPicture plain(150, 90);
    ASSERT_EQ(RunFusion(plain.buf, Records(renderings), Params(4, 3, 5, false)), FusionStatus::kDone);
    for (const SQmPicBuf* like : {&other.buf, &source.buf}) {
        FusionPyramid prepared;
        ASSERT_TRUE(PrepareFusionRun(prepared, *like, 7).ok());
        TestPicture run(150, 90);
        // minSide 3 reaches a level the planes for minSide 7 do not have.
        ASSERT_EQ(RunFusion(run.buf, 4, records, Params(4, 3, 5, false), &prepared), FusionStatus::kDone);
        EXPECT_EQ(Packed(run), Packed(plain));
        EXPECT_EQ(prepared.planes, nullptr);
    }
}

TEST(Fusion, SingleRenderingIsReproducedAndRepeatsChangeNothing) {
    const TestPicture source = PhotoLike(97, 71, 5, 0);
    TestPicture one(97, 71);
    ASSERT_EQ(RunFusion(one.buf, std::vector<SQmPicBuf>{source.buf}, Params(1, 7, 3, false)), FusionStatus::kDone);
    EXPECT_LE(MaxDifference(Packed(one), Packed(source)), 1);

    // Single-level pyramid too.
    TestPicture flatOne(97, 71);
    ASSERT_EQ(RunFusion(flatOne.buf, std::vector<SQmPicBuf>{source.buf}, Params(1, 7, 0, false)), FusionStatus::kDone);
    EXPECT_LE(MaxDifference(Packed(flatOne), Packed(source)), 1);

    const std::vector<SQmPicBuf> same(5, source.buf);
    TestPicture five(97, 71);
    ASSERT_EQ(RunFusion(five.buf, same, Params(5, 7, 3, false)), FusionStatus::kDone);
    EXPECT_LE(MaxDifference(Packed(five), Packed(one)), 1);
}

TEST(Fusion, CountIsLimitedToTheAvailableRenderings) {
    const TestPicture source = PhotoLike(30, 30, 8, 0);
    const std::vector<TestPicture> renderings = SortedRenderings(source, false, 3);
    TestPicture all(30, 30), many(30, 30), none(30, 30), first(30, 30);
    int32_t highest = -1;
    auto counting = [&](int32_t i) {
        highest = std::max(highest, i);
        return &renderings[static_cast<size_t>(i)].buf;
    };
    ASSERT_EQ(RunFusion(all.buf, 3, counting, Params(3, 3, 3, false)), FusionStatus::kDone);
    ASSERT_EQ(RunFusion(many.buf, 3, counting, Params(39, 3, 3, false)), FusionStatus::kDone);
    EXPECT_EQ(highest, 2);
    EXPECT_EQ(Packed(many), Packed(all));
    ASSERT_EQ(RunFusion(none.buf, 3, counting, Params(0, 3, 3, false)), FusionStatus::kDone);
    ASSERT_EQ(RunFusion(first.buf, 1, counting, Params(1, 3, 3, false)), FusionStatus::kDone);
    EXPECT_EQ(Packed(none), Packed(first));
    EXPECT_EQ(RunFusion(none.buf, std::vector<SQmPicBuf>{}, Params(3, 3, 3, false)), FusionStatus::kNoPictures);
}

TEST(Fusion, FailedRunsLeaveTheTargetUnchanged) {
    const TestPicture a = PhotoLike(64, 48, 1, 0), b = PhotoLike(64, 48, 2, 0);
    const TestPicture wider = PhotoLike(65, 48, 3, 0);
    TestPicture grey(64, 48, 1);
    TestPicture target(64, 48, 3, 0, 0x5A);
    const std::vector<uint8_t> before = Packed(target);

    EXPECT_EQ(RunFusion(target.buf, std::vector<SQmPicBuf>{a.buf, wider.buf}, Params(2, 7, 3, false)),
              FusionStatus::kShapeMismatch);
    EXPECT_EQ(RunFusion(target.buf, std::vector<SQmPicBuf>{grey.buf}, Params(1, 7, 3, false)),
              FusionStatus::kShapeMismatch);
    EXPECT_EQ(RunFusion(target.buf, std::vector<SQmPicBuf>{wider.buf}, Params(1, 7, 3, false)),
              FusionStatus::kShapeMismatch);
    EXPECT_EQ(RunFusion(
                  target.buf, 2, [&](int32_t i) { return i == 0 ? &a.buf : nullptr; }, Params(2, 7, 3, false)),
              FusionStatus::kPictureUnavailable);
    // Room for the pictures but not for a level-0 float plane.
    SetAllocationLimit(64 * 48 * 4 - 1);
    EXPECT_EQ(RunFusion(target.buf, std::vector<SQmPicBuf>{a.buf, b.buf}, Params(2, 7, 3, true)),
              FusionStatus::kAllocationFailed);
    SetAllocationLimit(0);
    EXPECT_EQ(Packed(target), before);

    TestPicture tiny(4, 30, 3, 0, 0x33);
    const TestPicture tinySource = PhotoLike(4, 30, 4, 0);
    EXPECT_EQ(RunFusion(tiny.buf, std::vector<SQmPicBuf>{tinySource.buf}, Params(1, 3, 3, false)),
              FusionStatus::kTooSmall);
    EXPECT_EQ(tiny.bytes[0], 0x33);
}

TEST(Fusion, StepFunctionsRefuseOtherShapes) {
    const TestPicture a = PhotoLike(32, 24, 1, 0), other = PhotoLike(33, 24, 2, 0);
    FusionPyramid pyramid;
    EXPECT_EQ(AddExposure(pyramid, a.buf).code(), StatusCode::kInvalid);  // not constructed
    ASSERT_TRUE(InitPyramid(pyramid, a.buf, 7, 128, 3).ok());
    EXPECT_EQ(AddExposure(pyramid, other.buf).code(), StatusCode::kInvalid);
    TestPicture grey(32, 24, 1);
    EXPECT_EQ(AddExposure(pyramid, grey.buf).code(), StatusCode::kInvalid);
    for (uint32_t j = 0; j <= pyramid.topLevel; ++j)
        for (size_t k = 0; k < pyramid.WeightSum(0, j).Count(); ++k)
            ASSERT_EQ(pyramid.WeightSum(0, j).Data()[k], 0.f);

    ASSERT_TRUE(AddExposure(pyramid, a.buf).ok());
    TestPicture wrong(33, 24, 3, 0, 9);
    EXPECT_EQ(RenderFusion(wrong.buf, pyramid, false).code(), StatusCode::kInvalid);
    EXPECT_EQ(wrong.bytes[0], 9);
    TestPicture plane(32, 24, 1);
    EXPECT_EQ(CollapseComponent(wrong.buf, pyramid.Block(0), pyramid, false).code(), StatusCode::kInvalid);
    EXPECT_TRUE(CollapseComponent(plane.buf, pyramid.Block(1), pyramid, false).ok());

    // Allocation failure inside a collapse is reported (level 0 is made row by row; level 1 needs a plane).
    SetAllocationLimit(16 * 12 * 4 - 1);
    EXPECT_EQ(CollapseComponent(plane.buf, pyramid.Block(1), pyramid, false).code(), StatusCode::kOutOfMemory);
    // Later additions reuse the planes the first one made: nothing left to allocate.
    EXPECT_TRUE(AddExposure(pyramid, a.buf).ok());
    // A first addition that cannot have its planes adds nothing.
    SetAllocationLimit(0);
    FusionPyramid fresh;
    ASSERT_TRUE(InitPyramid(fresh, a.buf, 7, 128, 3).ok());
    SetAllocationLimit(16 * 12 * 4 - 1);
    EXPECT_EQ(AddExposure(fresh, a.buf).code(), StatusCode::kOutOfMemory);
    SetAllocationLimit(0);
    for (uint32_t j = 0; j <= fresh.topLevel; ++j)
        for (size_t k = 0; k < fresh.WeightSum(0, j).Count(); ++k)
            ASSERT_EQ(fresh.WeightSum(0, j).Data()[k], 0.f);
    EXPECT_TRUE(AddExposure(fresh, a.buf).ok());
    DonePyramid(fresh);
    EXPECT_FALSE(fresh.gaussians);
    DonePyramid(pyramid);
}

TEST(Fusion, ConstantComponentStillGetsSharedWeights) {
    TestPicture p = PhotoLike(40, 30, 9, 0);
    for (int32_t y = 0; y < 30; ++y)
        for (int32_t x = 0; x < 40; ++x)
            p.At(x, y, 1) = 100;
    FusionPyramid pyramid;
    ASSERT_TRUE(InitPyramid(pyramid, p.buf, 7, 128, 3).ok());
    ASSERT_TRUE(AddExposure(pyramid, p.buf).ok());
    const FloatPlane& w1 = pyramid.WeightSum(1, 0);
    EXPECT_EQ(std::memcmp(w1.Data(), pyramid.WeightSum(0, 0).Data(), w1.Count() * sizeof(float)), 0);
    TestPicture out(40, 30);
    ASSERT_TRUE(RenderFusion(out.buf, pyramid, false).ok());
    EXPECT_LE(MaxDifference(Packed(out), Packed(p)), 1);
    DonePyramid(pyramid);
}
