// Scalar bodies of the row kernels, shared by the scalar set and by the tails of the vector sets so that a
// tail sample is computed exactly like a vector lane.
#pragma once

#include <cstdint>

#include "pyramid/row_kernels.h"
#include "pyramid/sample_store.h"

// Internal linkage on purpose: the vector files are compiled for other instruction sets, and a shared
// out-of-line copy could otherwise end up in code that runs on any processor.
namespace rowscalar {
namespace {

inline float ExpandInteriorSample(const float* const* rows, const float* const* krows, int32_t nRows, int32_t x) {
    float acc = 0.0f;
    if ((x & 1) == 0) {
        // Grid columns x - 2, x, x + 2: kernel columns 0, 2, 4.
        const int32_t s = x / 2 - 1;
        for (int32_t n = 0; n < nRows; n++) {
            const float* r = rows[n] + s;
            const float* k = krows[n];
            acc = r[0] * k[0] + acc;
            acc = r[1] * k[2] + acc;
            acc = r[2] * k[4] + acc;
        }
    } else {
        // Grid columns x - 1, x + 1: kernel columns 1, 3.
        const int32_t s = (x - 1) / 2;
        for (int32_t n = 0; n < nRows; n++) {
            const float* r = rows[n] + s;
            const float* k = krows[n];
            acc = r[0] * k[1] + acc;
            acc = r[1] * k[3] + acc;
        }
    }
    return acc * 4.0f;
}

using samplestore::StoreU16;
using samplestore::StoreU8;

// One expanded sample into its target.
inline void SinkSample(const ExpandTarget& t, int32_t x, float e) {
    switch (t.sink) {
        case ExpandSink::kStore:
            static_cast<float*>(t.out)[x] = e;
            break;
        case ExpandSink::kGainAdd:
            static_cast<float*>(t.out)[x] = e + t.gain * t.detail[x];
            break;
        case ExpandSink::kSubtract:
            static_cast<float*>(t.out)[x] = t.detail[x] - e;
            break;
        case ExpandSink::kGainAddU8:
            static_cast<uint8_t*>(t.out)[x] = StoreU8(e + t.gain * t.detail[x]);
            break;
        case ExpandSink::kGainAddU16:
            static_cast<uint16_t*>(t.out)[x] = StoreU16(e + t.gain * t.detail[x]);
            break;
    }
}

inline void ExpandInterior(const ExpandTarget& t,
                           const float* const* rows,
                           const float* const* krows,
                           int32_t nRows,
                           int32_t xBegin,
                           int32_t xEnd) {
    for (int32_t x = xBegin; x < xEnd; x++)
        SinkSample(t, x, ExpandInteriorSample(rows, krows, nRows, x));
}

inline void ExpandInterior3U8(uint8_t* out,
                              const float* const* const* rows,
                              const float* const* krows,
                              int32_t nRows,
                              const float* const* d,
                              float gain,
                              int32_t xBegin,
                              int32_t xEnd) {
    for (int32_t x = xBegin; x < xEnd; x++) {
        for (int c = 0; c < 3; c++)
            out[3 * x + c] = StoreU8(ExpandInteriorSample(rows[c], krows, nRows, x) + gain * d[c][x]);
    }
}

// One reduce sample from the 5 x 5 window at column sx (any column of the row) of rows split into even and
// odd columns, accumulated tap by tap in row order.
inline float ReduceSampleSplit(const float* const* even, const float* const* odd, int32_t sx, const float* kernel) {
    float acc = 0.0f;
    for (int r = 0; r < 5; r++) {
        const float* k = kernel + r * 5;
        for (int c = 0; c < 5; c++) {
            const int32_t col = sx + c;
            const float s = (col & 1) != 0 ? odd[r][col >> 1] : even[r][col >> 1];
            acc = k[c] * s + acc;
        }
    }
    return acc;
}

inline void ReduceInteriorSplit(float* out,
                                const float* const* even,
                                const float* const* odd,
                                const float* kernel,
                                int32_t xBegin,
                                int32_t xEnd) {
    for (int32_t x = xBegin; x < xEnd; x++)
        out[x] = ReduceSampleSplit(even, odd, 2 * x - 2, kernel);
}

inline void SplitEvenOdd(float* even, float* odd, const float* src, int32_t i, int32_t n) {
    for (; 2 * i + 1 < n; i++) {
        even[i] = src[2 * i];
        odd[i] = src[2 * i + 1];
    }
    if (2 * i < n)
        even[i] = src[2 * i];
}

inline void Interleave3U8(uint8_t* out, const uint8_t* a, const uint8_t* b, const uint8_t* c, int32_t i, int32_t n) {
    for (; i < n; i++) {
        out[3 * i] = a[i];
        out[3 * i + 1] = b[i];
        out[3 * i + 2] = c[i];
    }
}

}  // namespace
}  // namespace rowscalar
