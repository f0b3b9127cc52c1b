// Level-0 rows of a rendering: its interleaved bytes as float rows, in vectors.
#pragma once

#include <cstdint>

// Splits width interleaved 3-byte pixels into three float rows. Null where the processor has no AVX2.
using SplitPixelsFn = void (*)(float* d0, float* d1, float* d2, const uint8_t* pixels, int32_t width);
SplitPixelsFn Avx2SplitPixels();
