// Level-0 weights where every guide is a byte: the contrast and tone factors come from the exact tables, so
// a vector pass only has to look them up and do the float arithmetic of the scalar rules in the same order;
// the saturation factor stays with the caller's cache. Same bits as the scalar pixel loop.
#pragma once

#include <cstdint>

#include "fusion/fusion_weights.h"

struct ByteLevelKernels {
    // Columns from xBegin on (centred windows), in whole vectors below xEnd: the table factors and the sums of
    // squared deviations into contrast[x], tone[x] and squares[x]. Stops early at a vector whose sums are
    // not table indices. Returns the first column not done.
    int32_t (*prepare)(const WeightSpanArgs& a,
                       int32_t xBegin,
                       int32_t xEnd,
                       const float* contrastTable,
                       const float* toneTable,
                       float* contrast,
                       float* tone,
                       float* squares);
    // Weights of columns xBegin..xEnd - 1 from the three factors, added to the sums (below the top level).
    void (*finish)(const WeightSpanArgs& a,
                   int32_t xBegin,
                   int32_t xEnd,
                   const float* contrast,
                   const float* saturation,
                   const float* tone);
};

// Null where the processor has no AVX2.
const ByteLevelKernels* Avx2ByteLevelKernels();

// Splits width interleaved 3-byte pixels into three float rows. Null where the processor has no AVX2.
using SplitPixelsFn = void (*)(float* d0, float* d1, float* d2, const uint8_t* pixels, int32_t width);
SplitPixelsFn Avx2SplitPixels();
