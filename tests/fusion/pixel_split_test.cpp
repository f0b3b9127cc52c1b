// Interleaved pixels split into float rows, and into their even and odd columns: the AVX2 splitters against
// the scalar ones.
#include "fusion/pixel_split.h"

#include <gtest/gtest.h>

#include <cstring>
#include <random>
#include <vector>

namespace {

TEST(PixelSplit, Avx2GivesTheScalarFloatsForEveryWidthAndOffset) {
    const SplitPixelsFn avx2 = Avx2SplitPixels();
    if (!avx2)
        GTEST_SKIP() << "no AVX2 on this processor";
    std::mt19937 rng(5);
    std::vector<uint8_t> pixels(3 * 200 + 16);
    for (uint8_t& b : pixels)
        b = static_cast<uint8_t>(rng());
    // Widths around the 16-pixel blocks, and rows that start off any alignment.
    for (int32_t width = 0; width <= 70; ++width) {
        for (size_t offset : {size_t{0}, size_t{1}, size_t{7}}) {
            const uint8_t* s = pixels.data() + offset;
            std::vector<float> want(4 * static_cast<size_t>(width) + 4, -1.0f), got(want);
            SplitPixelsScalar(want.data(), want.data() + width + 1, want.data() + 2 * width + 2,
                              want.data() + 3 * width + 3, s, width);
            avx2(got.data(), got.data() + width + 1, got.data() + 2 * width + 2, got.data() + 3 * width + 3, s, width);
            ASSERT_EQ(std::memcmp(want.data(), got.data(), want.size() * sizeof(float)), 0)
                << "width " << width << ", offset " << offset;
            for (int32_t x = 0; x < width; ++x) {
                ASSERT_EQ(want[static_cast<size_t>(2 * width + 2 + x)], static_cast<float>(s[3 * x + 2])) << x;
                ASSERT_EQ(want[static_cast<size_t>(3 * width + 3 + x)], s[3 * x] + s[3 * x + 1] + s[3 * x + 2]) << x;
            }

            // Split by column parity too: the natural rows' even and odd columns, and the AVX2 split the same.
            const size_t half = static_cast<size_t>(width) / 2 + 2;
            std::vector<float> wantEo(6 * half, -1.0f), gotEo(wantEo);
            auto rows = [&](std::vector<float>& v, float* even[3], float* odd[3]) {
                for (size_t c = 0; c < 3; ++c) {
                    even[c] = v.data() + 2 * c * half;
                    odd[c] = even[c] + half;
                }
            };
            float *even[3], *odd[3], *gotEven[3], *gotOdd[3];
            rows(wantEo, even, odd);
            rows(gotEo, gotEven, gotOdd);
            SplitPixelsEvenOddScalar(even, odd, s, width);
            Avx2SplitPixelsEvenOdd()(gotEven, gotOdd, s, width);
            ASSERT_EQ(wantEo, gotEo) << "width " << width << ", offset " << offset;
            for (size_t c = 0; c < 3; ++c) {
                const float* natural = want.data() + c * (static_cast<size_t>(width) + 1);
                for (int32_t x = 0; x < width; ++x)
                    ASSERT_EQ(((x & 1) == 0 ? even : odd)[c][x / 2], natural[x]) << "width " << width << ", x " << x;
                // Nothing past the row's columns is written.
                ASSERT_EQ(even[c][(width + 1) / 2], -1.0f);
                ASSERT_EQ(odd[c][width / 2], -1.0f);
            }
        }
    }
}

}  // namespace
