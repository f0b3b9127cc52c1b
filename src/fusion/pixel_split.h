// Interleaved 3-byte pixels split into three float rows, the level-0 rows of a rendering: a scalar version and
// an AVX2 one that give the same floats, chosen at run time.
#pragma once

#include <cstdint>

// d0[x], d1[x], d2[x] = pixels[3x], pixels[3x + 1], pixels[3x + 2] as floats, and sum[x] = d0[x] + d1[x] +
// d2[x] (exact), for x < width.
using SplitPixelsFn = void (*)(float* d0, float* d1, float* d2, float* sum, const uint8_t* pixels, int32_t width);
void SplitPixelsScalar(float* d0, float* d1, float* d2, float* sum, const uint8_t* pixels, int32_t width);
// Null where the processor has no AVX2.
SplitPixelsFn Avx2SplitPixels();
// The AVX2 splitter where the processor has it and the vector paths are on (see SetPyramidSimd), else the
// scalar one.
SplitPixelsFn ActiveSplitPixels();

// The same bytes split by column parity as well: even[c][i] = pixels[6i + c] and odd[c][i] = pixels[6i + 3 + c]
// as floats, the rows a reduce reads, for the (width + 1) / 2 even and width / 2 odd columns.
using SplitPixelsEvenOddFn = void (*)(float* const even[3], float* const odd[3], const uint8_t* pixels, int32_t width);
void SplitPixelsEvenOddScalar(float* const even[3], float* const odd[3], const uint8_t* pixels, int32_t width);
SplitPixelsEvenOddFn Avx2SplitPixelsEvenOdd();
SplitPixelsEvenOddFn ActiveSplitPixelsEvenOdd();
