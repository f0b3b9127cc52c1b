#include "pyramid/float_plane.h"

#include <gtest/gtest.h>

#include <cmath>
#include <cstring>
#include <random>
#include <vector>

#include "base/alloc.h"
#include "support/pyramid_ref.h"

namespace {

std::vector<float> Kernel() {
    std::vector<float> k(kKernelTaps);
    PyramidKernel(k.data());
    return k;
}

std::vector<float> RandomPlane(int32_t w, int32_t h, uint32_t seed, float scale = 255.0f) {
    std::mt19937 rng(seed);
    std::uniform_real_distribution<float> d(0.0f, scale);
    std::vector<float> p(static_cast<size_t>(w) * h);
    for (float& v : p)
        v = d(rng);
    return p;
}

float At(const std::vector<float>& p, int32_t w, int32_t x, int32_t y) {
    return p[static_cast<size_t>(y) * w + x];
}

}  // namespace

TEST(FloatPlane, AllocateZeroFillsMovesAndHonoursTheLimit) {
    FloatPlane a;
    EXPECT_TRUE(a.Empty());
    ASSERT_TRUE(a.Allocate(7, 3));
    EXPECT_EQ(a.Width(), 7);
    EXPECT_EQ(a.Height(), 3);
    EXPECT_EQ(a.Count(), 21u);
    for (size_t i = 0; i < a.Count(); i++)
        EXPECT_EQ(a.Data()[i], 0.0f);
    a.Data()[5] = 2.5f;

    FloatPlane b(std::move(a));
    EXPECT_TRUE(a.Empty());
    EXPECT_EQ(a.Width(), 0);
    EXPECT_EQ(b.Data()[5], 2.5f);
    FloatPlane c;
    ASSERT_TRUE(c.Allocate(2, 2));
    c = std::move(b);
    EXPECT_EQ(c.Width(), 7);
    EXPECT_EQ(c.Data()[5], 2.5f);

    SetAllocationLimit(1000);
    FloatPlane big;
    EXPECT_FALSE(big.Allocate(100, 100));
    EXPECT_TRUE(big.Empty());
    EXPECT_EQ(big.Width(), 0);
    EXPECT_FALSE(c.Allocate(1000, 1000));  // a failed reallocation leaves the plane empty
    EXPECT_TRUE(c.Empty());
    SetAllocationLimit(0);
    EXPECT_FALSE(big.Allocate(-1, 5));
    big.Release();
}

TEST(PyramidKernel, OuterProductOfTheFiveWeights) {
    std::vector<float> k = Kernel();
    const float w[5] = {0.05f, 0.25f, 0.4f, 0.25f, 0.05f};
    for (int r = 0; r < 5; r++) {
        for (int c = 0; c < 5; c++)
            EXPECT_EQ(k[r * 5 + c], w[r] * w[c]);
    }
    double sum = 0;
    for (float v : k)
        sum += v;
    EXPECT_NEAR(sum, 1.0, 1e-6);
    EXPECT_EQ(k[0], k[24]);
    EXPECT_EQ(k[1], k[5]);
}

// The fast loops must give the reference bytes for every size and parity.
TEST(Resampling, MatchesReferenceBitForBit) {
    std::vector<float> k = Kernel();
    int mismatches = 0;
    for (int32_t h = 10; h <= 70; h++) {
        for (int32_t w = 10; w <= 70; w++) {
            uint32_t seed = static_cast<uint32_t>(h * 1000 + w);
            std::vector<float> src = RandomPlane(w, h, seed, 65535.0f);
            int32_t dw = w >> 1, dh = h >> 1;
            std::vector<float> got(static_cast<size_t>(dw) * dh, -1.0f), want(got.size(), -2.0f);
            ASSERT_TRUE(ReducePlane(got.data(), src.data(), dw, dh, w, h, k.data()).ok());
            RefReducePlane(want.data(), src.data(), dw, dh, w, h, k.data());
            if (std::memcmp(got.data(), want.data(), got.size() * sizeof(float)) != 0) {
                ADD_FAILURE() << "reduce " << w << " x " << h;
                mismatches++;
            }

            std::vector<float> small = RandomPlane(dw, dh, seed + 7, 255.0f);
            std::vector<float> big(static_cast<size_t>(w) * h, -1.0f), bigRef(big.size(), -2.0f);
            ExpandPlane(big.data(), small.data(), w, h, dw, dh, k.data());
            RefExpandPlane(bigRef.data(), small.data(), w, h, dw, dh, k.data());
            if (std::memcmp(big.data(), bigRef.data(), big.size() * sizeof(float)) != 0) {
                ADD_FAILURE() << "expand " << w << " x " << h;
                mismatches++;
            }
            if (mismatches > 10)
                return;
        }
    }
    // Smallest expand targets (5..9) come from sources of 2..4 samples.
    for (int32_t h = 5; h < 10; h++) {
        for (int32_t w = 5; w < 12; w++) {
            std::vector<float> small = RandomPlane(w >> 1, h >> 1, w * 31 + h);
            std::vector<float> big(static_cast<size_t>(w) * h, -1.0f), bigRef(big.size(), -2.0f);
            ExpandPlane(big.data(), small.data(), w, h, w >> 1, h >> 1, k.data());
            RefExpandPlane(bigRef.data(), small.data(), w, h, w >> 1, h >> 1, k.data());
            EXPECT_EQ(std::memcmp(big.data(), bigRef.data(), big.size() * sizeof(float)), 0) << w << " x " << h;
        }
    }
}

TEST(Resampling, DestinationBelowFiveIsLeftUntouched) {
    std::vector<float> k = Kernel();
    std::vector<float> src = RandomPlane(40, 40, 1);
    for (auto [dw, dh] : {std::pair{4, 20}, std::pair{20, 4}, std::pair{0, 0}, std::pair{4, 4}}) {
        std::vector<float> dst(static_cast<size_t>(20) * 20, 123.0f);
        ASSERT_TRUE(ReducePlane(dst.data(), src.data(), dw, dh, dw * 2, dh * 2, k.data()).ok());
        ExpandPlane(dst.data(), src.data(), dw, dh, dw >> 1, dh >> 1, k.data());
        for (float v : dst)
            EXPECT_EQ(v, 123.0f);
    }
}

TEST(ReducePlane, WindowsAreClampedAtBothEnds) {
    std::vector<float> k = Kernel();
    // 10 x 10 to 5 x 5: outputs 0 and 1 share source rows / columns 0..4; output 4 uses 5..9.
    std::vector<float> src(100, 0.0f);
    src[5 * 10 + 5] = 1000.0f;
    src[0] = 100.0f;
    std::vector<float> dst(25, -1.0f);
    ASSERT_TRUE(ReducePlane(dst.data(), src.data(), 5, 5, 10, 10, k.data()).ok());
    EXPECT_EQ(At(dst, 5, 0, 0), k[0] * 100.0f);
    EXPECT_EQ(At(dst, 5, 1, 1), At(dst, 5, 0, 0));
    EXPECT_EQ(At(dst, 5, 1, 0), At(dst, 5, 0, 0));
    EXPECT_EQ(At(dst, 5, 4, 4), k[0] * 1000.0f);   // clamped window starts on sample 5
    EXPECT_EQ(At(dst, 5, 3, 3), k[6] * 1000.0f);   // centred on 6: sample 5 is tap 1
    EXPECT_EQ(At(dst, 5, 2, 2), k[18] * 1000.0f);  // centred on 4: sample 5 is tap 3

    // 11 wide: the last output column is centred on 10 and needs no clamping (columns 6..10).
    std::vector<float> src11(11 * 10, 0.0f);
    src11[10] = 50.0f;  // row 0, column 10
    std::vector<float> dst11(25, -1.0f);
    ASSERT_TRUE(ReducePlane(dst11.data(), src11.data(), 5, 5, 11, 10, k.data()).ok());
    EXPECT_EQ(At(dst11, 5, 4, 0), k[4] * 50.0f);
    EXPECT_EQ(At(dst11, 5, 4, 1), k[4] * 50.0f);
    EXPECT_EQ(At(dst11, 5, 3, 0), 0.0f);  // window 4..8
}

TEST(ReducePlane, ConstantPlaneStaysConstant) {
    std::vector<float> k = Kernel();
    for (int32_t n : {10, 11, 23, 64}) {
        std::vector<float> src(static_cast<size_t>(n) * n, 200.0f);
        std::vector<float> dst(static_cast<size_t>(n / 2) * (n / 2), 0.0f);
        ASSERT_TRUE(ReducePlane(dst.data(), src.data(), n / 2, n / 2, n, n, k.data()).ok());
        for (float v : dst)
            EXPECT_NEAR(v, 200.0f, 2e-4f);
    }
}

TEST(ExpandPlane, ConstantPlaneEvenAndOddSizes) {
    std::vector<float> k = Kernel();
    const float v = 100.0f;
    // Even: 2 x source everywhere gives v.
    {
        std::vector<float> src(static_cast<size_t>(8) * 6, v), dst(static_cast<size_t>(16) * 12, 0.0f);
        ExpandPlane(dst.data(), src.data(), 16, 12, 8, 6, k.data());
        for (float s : dst)
            EXPECT_NEAR(s, v, 1e-4f);
    }
    // Odd: the last three rows and columns lose the missing grid sample (0.9 v, 0.81 v in the corner).
    {
        const int32_t w = 17, h = 13;
        std::vector<float> src(static_cast<size_t>(8) * 6, v), dst(static_cast<size_t>(w) * h, 0.0f);
        ExpandPlane(dst.data(), src.data(), w, h, 8, 6, k.data());
        for (int32_t y = 0; y < h; y++) {
            for (int32_t x = 0; x < w; x++) {
                float f = (x >= w - 3 ? 0.9f : 1.0f) * (y >= h - 3 ? 0.9f : 1.0f);
                EXPECT_NEAR(At(dst, w, x, y), f * v, 1e-4f) << x << "," << y;
            }
        }
    }
}

TEST(ExpandPlane, FirstAndLastThreeRowsAndColumnsAreEqual) {
    std::vector<float> k = Kernel();
    for (auto [w, h] : {std::pair{20, 14}, std::pair{21, 15}, std::pair{9, 5}}) {
        std::vector<float> src = RandomPlane(w / 2, h / 2, static_cast<uint32_t>(w * h));
        std::vector<float> dst(static_cast<size_t>(w) * h, -1.0f);
        ExpandPlane(dst.data(), src.data(), w, h, w / 2, h / 2, k.data());
        for (int32_t x = 0; x < w; x++) {
            EXPECT_EQ(At(dst, w, x, 1), At(dst, w, x, 0));
            EXPECT_EQ(At(dst, w, x, 2), At(dst, w, x, 0));
            EXPECT_EQ(At(dst, w, x, h - 2), At(dst, w, x, h - 1));
            EXPECT_EQ(At(dst, w, x, h - 3), At(dst, w, x, h - 1));
        }
        for (int32_t y = 0; y < h; y++) {
            EXPECT_EQ(At(dst, w, 1, y), At(dst, w, 0, y));
            EXPECT_EQ(At(dst, w, 2, y), At(dst, w, 0, y));
            EXPECT_EQ(At(dst, w, w - 2, y), At(dst, w, w - 1, y));
            EXPECT_EQ(At(dst, w, w - 3, y), At(dst, w, w - 1, y));
        }
    }
}

TEST(Resampling, LaplacianRoundTripEvenAndOdd) {
    std::vector<float> k = Kernel();
    for (auto [w, h] : {std::pair{64, 48}, std::pair{65, 47}, std::pair{10, 11}, std::pair{33, 20}}) {
        std::vector<float> g0 = RandomPlane(w, h, static_cast<uint32_t>(w + h));
        std::vector<float> g1(static_cast<size_t>(w / 2) * (h / 2)), e(g0.size()), l0(g0.size());
        ASSERT_TRUE(ReducePlane(g1.data(), g0.data(), w / 2, h / 2, w, h, k.data()).ok());
        ExpandPlane(e.data(), g1.data(), w, h, w / 2, h / 2, k.data());
        for (size_t i = 0; i < g0.size(); i++)
            l0[i] = g0[i] - e[i];
        std::vector<float> r(g0.size());
        ExpandPlane(r.data(), g1.data(), w, h, w / 2, h / 2, k.data());
        for (size_t i = 0; i < g0.size(); i++)
            EXPECT_NEAR(r[i] + l0[i], g0[i], 6e-5f) << i;
    }
}
