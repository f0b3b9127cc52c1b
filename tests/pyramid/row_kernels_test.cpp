#include "pyramid/row_kernels.h"

#include <gtest/gtest.h>

#include <cmath>
#include <cstdio>
#include <cstring>
#include <random>
#include <string>
#include <vector>

#include "base/thread_pool.h"
#include "pyramid/float_plane.h"
#include "support/pyramid_ref.h"

namespace {

struct KernelSet {
    const RowKernels* kernels;
    std::string name;
};

// Every vector set this processor can run.
std::vector<KernelSet> VectorSets() {
    std::vector<KernelSet> sets;
    if (const RowKernels* k = Sse2RowKernels())
        sets.push_back({k, "sse2"});
    if (const RowKernels* k = Avx2RowKernels())
        sets.push_back({k, "avx2"});
    if (const RowKernels* k = Avx512RowKernels())
        sets.push_back({k, "avx512"});
    return sets;
}

// Awkward values for the stores: out of range both ways, NaN, signed zero, just below integers.
std::vector<float> Values(int32_t n, uint32_t seed, float scale) {
    std::mt19937 rng(seed);
    std::uniform_real_distribution<float> d(-0.2f * scale, 1.2f * scale);
    const float special[] = {NAN, -0.0f, 0.0f, 0.99999994f, 254.99998f, 255.0f, 65534.996f, 65535.0f, 1e30f, -1e30f};
    std::vector<float> v(static_cast<size_t>(n));
    for (int32_t i = 0; i < n; i++)
        v[i] = rng() % 5 == 0 ? special[rng() % 10] : d(rng);
    return v;
}

struct PinKernels {
    explicit PinKernels(const RowKernels* k) { UseRowKernels(k); }
    ~PinKernels() {
        UseRowKernels(nullptr);
        SetWorkerThreadCount(0);
        SetParallelRowsGrain(0);
    }
};

}  // namespace

// Expanded rows into every sink, with awkward detail values, against the scalar set.
TEST(RowKernels, VectorSetsGiveTheScalarBits) {
    const RowKernels& ref = ScalarRowKernels();
    std::vector<float> kernel(kKernelTaps);
    PyramidKernel(kernel.data());
    const ExpandSink sinks[] = {ExpandSink::kStore, ExpandSink::kGainAdd, ExpandSink::kSubtract, ExpandSink::kGainAddU8,
                                ExpandSink::kGainAddU16};
    for (const KernelSet& set : VectorSets()) {
        for (int32_t n = 5; n <= 90; n++) {
            const int32_t h = 5 + n % 4;
            for (float scale : {255.0f, 65535.0f}) {
                const uint32_t seed = static_cast<uint32_t>(n * 3 + (scale > 300.0f));
                std::vector<float> src = Values((n / 2) * (h / 2), seed, scale);
                for (float& v : src) {
                    if (std::isnan(v))
                        v = 1.0f;  // NaN in the source would only test NaN propagation
                }
                const std::vector<float> d = Values(n, seed + 1000, scale / 4);
                const float gain = 0.1f * static_cast<float>(n % 31);
                for (ExpandSink sink : sinks) {
                    for (int32_t y = 0; y < h; y++) {
                        std::vector<float> got(n + 1, 7.0f), want(n + 1, 7.0f);
                        ExpandPlaneRow(ExpandTarget{sink, got.data(), d.data(), gain}, src.data(), y, n, h, n / 2,
                                       h / 2, kernel.data(), *set.kernels);
                        ExpandPlaneRow(ExpandTarget{sink, want.data(), d.data(), gain}, src.data(), y, n, h, n / 2,
                                       h / 2, kernel.data(), ref);
                        EXPECT_EQ(std::memcmp(got.data(), want.data(), got.size() * 4), 0)
                            << set.name << " sink " << static_cast<int>(sink) << " width " << n << " row " << y;
                    }
                }
            }
            std::vector<uint8_t> a(n), b(n), c(n);
            for (int32_t i = 0; i < n; i++) {
                a[i] = static_cast<uint8_t>(i);
                b[i] = static_cast<uint8_t>(100 + i);
                c[i] = static_cast<uint8_t>(200 - i);
            }
            std::vector<uint8_t> got(3 * n + 1, 0xEE), want(3 * n + 1, 0xEE);
            set.kernels->interleave3U8(got.data(), a.data(), b.data(), c.data(), n);
            ref.interleave3U8(want.data(), a.data(), b.data(), c.data(), n);
            EXPECT_EQ(got, want) << set.name << " interleave " << n;
        }
    }
}

TEST(RowKernels, ScalarSwitch) {
    std::printf("vector kernel sets here:%s%s%s\n", Sse2RowKernels() ? " sse2" : "", Avx2RowKernels() ? " avx2" : "",
                Avx512RowKernels() ? " avx512" : "");
    SetPyramidSimd(false);
    EXPECT_STREQ(ActiveRowKernelsName(), "scalar");
    EXPECT_FALSE(PyramidSimdEnabled());
    SetPyramidSimd(true);
    EXPECT_TRUE(PyramidSimdEnabled());
    if (Avx2RowKernels() || Sse2RowKernels()) {
        EXPECT_STRNE(ActiveRowKernelsName(), "scalar");
    }
    {
        PinKernels pin(&ScalarRowKernels());
        EXPECT_STREQ(ActiveRowKernelsName(), "scalar");
    }
}

// Reduce and expand through each kernel set and thread count against the plain loops, over odd and even
// sizes, narrow planes and planes wide enough for several vector blocks and threads.
TEST(RowKernels, ResamplingMatchesReferenceForEverySetAndThreadCount) {
    std::vector<KernelSet> sets = VectorSets();
    sets.push_back({&ScalarRowKernels(), "scalar"});
    std::vector<float> kernel(kKernelTaps);
    PyramidKernel(kernel.data());
    std::vector<std::pair<int32_t, int32_t>> sizes;
    for (int32_t w = 10; w <= 70; w++)
        sizes.push_back({w, 10 + (w * 37) % 61});
    sizes.push_back({1001, 400});
    sizes.push_back({2050, 97});
    int configuration = 0;
    for (auto [w, h] : sizes) {
        const int32_t dw = w >> 1, dh = h >> 1;
        std::mt19937 rng(static_cast<uint32_t>(w * 131 + h));
        std::uniform_real_distribution<float> dist(-300.0f, 65535.0f);
        std::vector<float> big(static_cast<size_t>(w) * h), small(static_cast<size_t>(dw) * dh);
        for (float& v : big)
            v = dist(rng);
        for (float& v : small)
            v = dist(rng);
        std::vector<float> reduceWant(small.size(), -1.0f), expandWant(big.size(), -1.0f);
        RefReducePlane(reduceWant.data(), big.data(), dw, dh, w, h, kernel.data());
        RefExpandPlane(expandWant.data(), small.data(), w, h, dw, dh, kernel.data());
        for (const KernelSet& set : sets) {
            const int32_t threads = 1 + configuration++ % 3;
            PinKernels pin(set.kernels);
            SetWorkerThreadCount(threads);
            SetParallelRowsGrain(1);
            std::vector<float> got(small.size(), -2.0f);
            ASSERT_TRUE(ReducePlane(got.data(), big.data(), dw, dh, w, h, kernel.data()).ok());
            EXPECT_EQ(std::memcmp(got.data(), reduceWant.data(), got.size() * 4), 0)
                << set.name << " reduce " << w << "x" << h << " threads " << threads;
            std::vector<float> up(big.size(), -2.0f);
            ExpandPlane(up.data(), small.data(), w, h, dw, dh, kernel.data());
            EXPECT_EQ(std::memcmp(up.data(), expandWant.data(), up.size() * 4), 0)
                << set.name << " expand " << w << "x" << h << " threads " << threads;
        }
    }
}
