// The scalar pixel splitter and the choice of the splitter in use.
#include "fusion/pixel_split.h"

#include <cstddef>

#include "pyramid/row_kernels.h"

namespace {

// Every byte as a float: a load instead of a conversion in the strided loop below.
struct ByteFloats {
    float v[256];
    ByteFloats() {
        for (int i = 0; i < 256; ++i)
            v[i] = static_cast<float>(i);
    }
};
const ByteFloats kByteFloats;

}  // namespace

void SplitPixelsScalar(float* d0, float* d1, float* d2, float* sum, const uint8_t* s, int32_t width) {
    const float* f = kByteFloats.v;
    for (int32_t x = 0; x < width; ++x) {
        d0[x] = f[s[3 * x]];
        d1[x] = f[s[3 * x + 1]];
        d2[x] = f[s[3 * x + 2]];
        sum[x] = d0[x] + d1[x] + d2[x];
    }
}

void SplitPixelsEvenOddScalar(float* const even[3], float* const odd[3], const uint8_t* s, int32_t width) {
    const float* f = kByteFloats.v;
    for (int32_t x = 0; x < width; ++x) {
        float* const* dst = (x & 1) == 0 ? even : odd;
        for (int c = 0; c < 3; ++c)
            dst[c][x / 2] = f[s[3 * x + c]];
    }
}

SplitPixelsEvenOddFn ActiveSplitPixelsEvenOdd() {
    static const SplitPixelsEvenOddFn vector = Avx2SplitPixelsEvenOdd();
    return vector && PyramidSimdEnabled() ? vector : SplitPixelsEvenOddScalar;
}

SplitPixelsFn ActiveSplitPixels() {
    static const SplitPixelsFn vector = Avx2SplitPixels();
    return vector && PyramidSimdEnabled() ? vector : SplitPixelsScalar;
}
