#include "fusion/fusion_weights.h"

#include <gtest/gtest.h>
#include <math.h>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <random>
#include <type_traits>
#include <vector>

#include "fusion/row_bands.h"
#include "support/fusion_ref.h"

namespace {

using Plane = std::vector<float>;
using Kernel = Status (*)(float*,
                          float*,
                          float*,
                          float*,
                          const float*,
                          const float*,
                          const float*,
                          const float*,
                          const float*,
                          const float*,
                          int32_t,
                          int32_t,
                          int32_t,
                          int32_t,
                          int32_t,
                          int32_t);

// Guides on the byte scale (integral at level 0, fractional above), bands around zero, sums already partly filled.
struct Level {
    int32_t w, h;
    Plane guide[3], value[3], weighted[3], weightSum;

    Level(int32_t width, int32_t height, uint32_t seed, bool integral) : w(width), h(height) {
        std::mt19937 rng(seed);
        std::uniform_real_distribution<float> byte(0.0f, 255.0f), band(-40.0f, 40.0f), sum(0.0f, 3.0f);
        const size_t n = static_cast<size_t>(w) * h;
        for (int c = 0; c < 3; ++c) {
            guide[c].resize(n);
            value[c].resize(n);
            weighted[c].resize(n);
            for (size_t k = 0; k < n; ++k) {
                guide[c][k] = integral ? std::floor(byte(rng)) : byte(rng);
                value[c][k] = band(rng);
                weighted[c][k] = sum(rng);
            }
        }
        weightSum.resize(n);
        for (float& v : weightSum)
            v = sum(rng);
    }

    // The kernel under test, or the plain reference (which cannot fail).
    // params: contrast, saturation and exposedness (the program's are all 5).
    template <class K>
    void Run(K kernel, int32_t midTone, const int32_t (&params)[3] = {5, 5, 5}) {
        auto call = [&] {
            return kernel(weighted[0].data(), weighted[1].data(), weighted[2].data(), weightSum.data(), value[0].data(),
                          value[1].data(), value[2].data(), guide[0].data(), guide[1].data(), guide[2].data(), w, h,
                          midTone, params[0], params[1], params[2]);
        };
        if constexpr (std::is_void_v<decltype(call())>)
            call();
        else
            EXPECT_TRUE(call().ok());
    }
    size_t At(int32_t x, int32_t y) const { return static_cast<size_t>(y) * w + x; }
};

bool SameBits(const Plane& a, const Plane& b) {
    return a.size() == b.size() && std::memcmp(a.data(), b.data(), a.size() * sizeof(float)) == 0;
}

void ExpectSameSums(const Level& a, const Level& b, const char* what) {
    EXPECT_TRUE(SameBits(a.weightSum, b.weightSum)) << what << " " << a.w << "x" << a.h;
    for (int c = 0; c < 3; ++c)
        EXPECT_TRUE(SameBits(a.weighted[c], b.weighted[c])) << what << " component " << c;
}

// Weight of a flat patch from the rules, with e given directly.
float FlatLevelWeight(float sat, float e) {
    const float ec = FusionWeightExponent(5);
    const float product = sqrtf(powf(0.0f + 1e-5f, ec)) * powf(sat + 1e-5f, ec) * powf(e + 1e-5f, ec);
    return static_cast<float>(static_cast<double>(product) + 1e-5);
}

// Within one unit in the last place (exp and pow may come from another math library than the test's).
void ExpectWithinUlp(float actual, float expected) {
    EXPECT_LE(std::fabs(actual - expected), std::nextafter(std::fabs(expected), INFINITY) - std::fabs(expected))
        << actual << " vs " << expected;
}

}  // namespace

TEST(FusionWeights, ExponentOfTheConstructedParameter) {
    EXPECT_EQ(static_cast<double>(FusionWeightExponent(5)), 0.16699999570846558);
}

TEST(FusionWeights, MatchReferenceBitForBit) {
    UseWeightSpanKernels(nullptr, true);
    struct Size {
        int32_t w, h;
    };
    // Small odd sizes, tiny levels (untouched) and levels big enough for the factor tables.
    const Size sizes[] = {{5, 5}, {6, 5}, {7, 11}, {13, 8}, {31, 17}, {40, 40}, {4, 9}, {9, 3}, {241, 163}};
    const int32_t threads[] = {1, 3};
    uint32_t seed = 1;
    for (const Size& s : sizes) {
        for (bool integral : {true, false}) {
            for (int32_t t : threads) {
                SetFusionThreadCount(t);
                SetFusionMinBandPixels(t == 1 ? 0 : 20);
                for (int32_t midTone : {64, 128, 164}) {
                    Level fast(s.w, s.h, seed, integral), ref(s.w, s.h, seed, integral);
                    fast.Run(WeightColourLevel8, midTone);
                    ref.Run(RefWeightColourLevel8, midTone);
                    ExpectSameSums(fast, ref, "level");
                    Level fastTop(s.w, s.h, seed + 1, integral), refTop(s.w, s.h, seed + 1, integral);
                    fastTop.Run(WeightColourTop8, midTone);
                    refTop.Run(RefWeightColourTop8, midTone);
                    ExpectSameSums(fastTop, refTop, "top");
                    ++seed;
                }
            }
        }
    }
    SetFusionThreadCount(0);
    SetFusionMinBandPixels(0);
    UseWeightSpanKernels(nullptr);
}

namespace {

// Units in the last place between two floats of the same sign.
int64_t UlpDistance(float a, float b) {
    int32_t ia, ib;
    std::memcpy(&ia, &a, sizeof ia);
    std::memcpy(&ib, &b, sizeof ib);
    return std::llabs(static_cast<int64_t>(ia) - ib);
}

// The sums of the vector kernels stay within a few units in the last place of the reference: their exp and
// pow are polynomials of their own, and the wide sets work in single precision.
void ExpectCloseSums(const Level& a, const Level& b, const char* what, int64_t& exact, int64_t& total) {
    const Plane* pa[4] = {&a.weightSum, &a.weighted[0], &a.weighted[1], &a.weighted[2]};
    const Plane* pb[4] = {&b.weightSum, &b.weighted[0], &b.weighted[1], &b.weighted[2]};
    for (int p = 0; p < 4; ++p) {
        int64_t worst = 0;
        float maxAbs = 0.0f;
        for (size_t k = 0; k < pa[p]->size(); ++k) {
            const float x = (*pa[p])[k], y = (*pb[p])[k];
            // A weighted sum may cancel (bands of both signs), so its error is measured against the magnitude of
            // the band times the weight (bands reach 40, sums reach about 100): a few float units of that scale.
            const int64_t d = p == 0 ? UlpDistance(x, y) : (x == y ? 0 : std::fabs(x - y) <= 1e-4f ? 1 : 99);
            worst = std::max(worst, d);
            if (p > 0)
                maxAbs = std::max(maxAbs, std::fabs(x - y));
            exact += d == 0;
            ++total;
        }
        EXPECT_LE(worst, 8) << what << " plane " << p << " " << a.w << "x" << a.h << " " << maxAbs;
    }
}

}  // namespace

TEST(FusionWeights, VectorKernelsStayWithinAFewUlpOfTheReference) {
    const WeightSpanKernels* sets[] = {Sse2WeightSpanKernels(), Avx2WeightSpanKernels(), Avx512WeightSpanKernels()};
    const char* names[] = {"sse2", "avx2", "avx512"};
    struct Size {
        int32_t w, h;
    };
    const Size sizes[] = {{5, 5}, {6, 7}, {10, 13}, {17, 9}, {33, 21}, {70, 64}, {241, 163}};
    for (int k = 0; k < 3; ++k) {
        if (!sets[k]) {
            std::printf("%s weight kernels not available here\n", names[k]);
            continue;
        }
        UseWeightSpanKernels(sets[k]);
        EXPECT_STREQ(ActiveWeightSpanKernelsName(), names[k]);
        int64_t exact = 0, total = 0;
        uint32_t seed = 50;
        for (const Size& s : sizes) {
            for (bool integral : {true, false}) {
                for (int32_t midTone : {64, 128, 164}) {
                    // The program's one exponent for all three factors (raised as one product), and three others.
                    const int32_t params[2][3] = {{5, 5, 5}, {2, 9, 13}};
                    const int32_t(&p)[3] = params[midTone == 128 ? 1 : 0];
                    Level fast(s.w, s.h, seed, integral), ref(s.w, s.h, seed, integral);
                    fast.Run(WeightColourLevel8, midTone, p);
                    ref.Run(RefWeightColourLevel8, midTone, p);
                    ExpectCloseSums(fast, ref, names[k], exact, total);
                    Level fastTop(s.w, s.h, seed + 1, integral), refTop(s.w, s.h, seed + 1, integral);
                    fastTop.Run(WeightColourTop8, midTone, p);
                    refTop.Run(RefWeightColourTop8, midTone, p);
                    ExpectCloseSums(fastTop, refTop, names[k], exact, total);
                    ++seed;
                }
            }
        }
        // The double-precision kernels (SSE2) round each factor as the scalar code does and nearly always keep
        // the very bits; the single-precision ones (AVX2 with FMA, AVX-512) raise the three factors in one
        // exponentiation and differ by a unit or two more often.
        const double share = k == 0 ? 0.99 : 0.8;
        EXPECT_GT(static_cast<double>(exact), share * static_cast<double>(total)) << names[k];
        std::printf("%s weights: %.2f %% of the sums exact\n", names[k],
                    100.0 * static_cast<double>(exact) / static_cast<double>(total));
    }
    UseWeightSpanKernels(nullptr);
}

TEST(FusionWeights, LevelBelowFiveIsUntouched) {
    for (Kernel k : {WeightColourLevel8, WeightColourTop8}) {
        Level a(4, 20, 5, true);
        const Level before = a;
        a.Run(k, 128);
        ExpectSameSums(a, before, "tiny");
    }
}

TEST(FusionWeights, BorderPixelsUseTheNearestInteriorTap) {
    for (Kernel k : {WeightColourLevel8, WeightColourTop8}) {
        Level a(9, 7, 11, true);
        // Same guides at the corner and one pixel inside, so only the contrast tap could tell them apart.
        for (int c = 0; c < 3; ++c) {
            a.guide[c][a.At(0, 0)] = a.guide[c][a.At(1, 1)];
            a.guide[c][a.At(8, 6)] = a.guide[c][a.At(7, 5)];
        }
        std::fill(a.weightSum.begin(), a.weightSum.end(), 0.0f);
        a.Run(k, 128);
        EXPECT_EQ(a.weightSum[a.At(0, 0)], a.weightSum[a.At(1, 1)]);
        EXPECT_EQ(a.weightSum[a.At(8, 6)], a.weightSum[a.At(7, 5)]);
    }
}

TEST(FusionWeights, FlatGreyTopGetsExactlyTheFloorAndLevelsSlightlyMore) {
    Level top(8, 6, 3, true);
    for (int c = 0; c < 3; ++c) {
        std::fill(top.guide[c].begin(), top.guide[c].end(), 90.0f);
        std::fill(top.value[c].begin(), top.value[c].end(), 90.0f);
        std::fill(top.weighted[c].begin(), top.weighted[c].end(), 0.0f);
    }
    std::fill(top.weightSum.begin(), top.weightSum.end(), 0.0f);
    Level level = top;
    top.Run(WeightColourTop8, 128);
    for (float w : top.weightSum)
        EXPECT_EQ(w, 1e-5f);
    for (float v : top.weighted[1])
        EXPECT_EQ(v, 1e-5f * 90.0f);

    level.Run(WeightColourLevel8, 128);
    const float e = static_cast<float>(std::exp(-1444.0f / 100.0));  // (90 - 128)^2
    for (float w : level.weightSum) {
        EXPECT_GT(w, 1e-5f);
        ExpectWithinUlp(w, FlatLevelWeight(0.0f, e));
    }
}

TEST(FusionWeights, ToneIsOneAtTheMiddleToneAndExpMinusOneTenAway) {
    // Flat patches of equal saturation whose means are midTone and midTone + 10.
    const int32_t midTone = 100;
    const float spreads[3] = {-12.0f, 3.0f, 9.0f};
    float sats[2], weights[2];
    for (int t = 0; t < 2; ++t) {
        Level a(6, 6, 1, true);
        const float mean = static_cast<float>(midTone + 10 * t);
        for (int c = 0; c < 3; ++c)
            std::fill(a.guide[c].begin(), a.guide[c].end(), mean + spreads[c]);
        std::fill(a.weightSum.begin(), a.weightSum.end(), 0.0f);
        a.Run(WeightColourLevel8, midTone);
        weights[t] = a.weightSum[a.At(3, 2)];
        // sat from its definition: mean of the guides is exact here.
        const float d0 = spreads[0], d1 = spreads[1], d2 = spreads[2];
        sats[t] = static_cast<float>(std::sqrt((d0 * d0 + d1 * d1 + d2 * d2) / 3.0));
    }
    ExpectWithinUlp(weights[0], FlatLevelWeight(sats[0], 1.0f));
    ExpectWithinUlp(weights[1], FlatLevelWeight(sats[1], static_cast<float>(std::exp(-1.0))));
}

// Byte guides (level 0) on the vector paths: the table factors in vectors must give the scalar bits exactly,
// for widths that leave every remainder of a vector and with sums already partly filled.
// Level 0 with byte guides: table factors and a vector saturation factor, within a few units of the oracle
// for every kernel set, also on flat and extreme patches (zero contrast, zero saturation, both table ends).
TEST(FusionWeights, ByteLevelVectorPassStaysWithinAFewUlp) {
    const WeightSpanKernels* sets[] = {Sse2WeightSpanKernels(), Avx2WeightSpanKernels(), Avx512WeightSpanKernels()};
    const int32_t widths[] = {5, 9, 10, 17, 23, 64, 203};
    for (const WeightSpanKernels* set : sets) {
        if (!set)
            continue;
        UseWeightSpanKernels(set);
        int64_t exact = 0, total = 0;
        uint32_t seed = 900;
        for (int32_t w : widths) {
            for (int32_t midTone : {64, 128, 164}) {
                Level fast(w, 13, seed, true), ref(w, 13, seed, true);
                fast.Run(WeightColourLevel8, midTone);
                ref.Run(RefWeightColourLevel8, midTone);
                ExpectCloseSums(fast, ref, ActiveWeightSpanKernelsName(), exact, total);
                ++seed;
            }
        }
        Level flat(40, 9, 7, true), flatRef(40, 9, 7, true);
        for (Level* l : {&flat, &flatRef})
            for (int c = 0; c < 3; ++c)
                for (size_t k = 0; k < l->guide[c].size(); ++k)
                    l->guide[c][k] = (k / 5) % 3 == 0 ? 255.0f : ((k / 7) % 2 ? 0.0f : 128.0f);
        flat.Run(WeightColourLevel8, 128);
        flatRef.Run(RefWeightColourLevel8, 128);
        ExpectCloseSums(flat, flatRef, "flat and extreme", exact, total);
        EXPECT_GT(static_cast<double>(exact), 0.8 * static_cast<double>(total)) << ActiveWeightSpanKernelsName();
    }
    UseWeightSpanKernels(nullptr);
}
