// Vector bodies of the row kernels, written once over a small vector type V (SSE2 or AVX2) and included
// by the file of each instruction set. Lanes run the scalar operation order exactly; tails call the scalar
// bodies.
#pragma once

#include <cstdint>

#include "pyramid/row_kernels_scalar.h"

namespace rowvector {
namespace {

// Expand columns of a whole vector block: x even, outputs x .. x + 2 N - 1 from source index x / 2 on.
template <class V, int NRows>
inline void ExpandBlocks(float* out, const float* const* rows, const float* const* krows, int32_t& x, int32_t xEnd) {
    using T = typename V::T;
    T k[NRows][5];
    for (int n = 0; n < NRows; n++) {
        for (int c = 0; c < 5; c++)
            k[n][c] = V::Set1(krows[n][c]);
    }
    const T four = V::Set1(4.0f);
    for (; x + 2 * V::N <= xEnd; x += 2 * V::N) {
        const int32_t i = x / 2;
        T even = V::Zero();
        T odd = V::Zero();
        for (int n = 0; n < NRows; n++) {
            const float* r = rows[n] + i;
            const T left = V::Load(r - 1);
            const T centre = V::Load(r);
            const T right = V::Load(r + 1);
            even = V::Add(V::Mul(left, k[n][0]), even);
            even = V::Add(V::Mul(centre, k[n][2]), even);
            even = V::Add(V::Mul(right, k[n][4]), even);
            odd = V::Add(V::Mul(centre, k[n][1]), odd);
            odd = V::Add(V::Mul(right, k[n][3]), odd);
        }
        V::StoreInterleaved(out + x, V::Mul(even, four), V::Mul(odd, four));
    }
}

template <class V>
void ExpandInterior(float* out, const float* const* rows, const float* const* krows, int32_t nRows, int32_t xBegin,
                    int32_t xEnd) {
    int32_t x = xBegin;
    if (x < xEnd && (x & 1) != 0) {
        out[x] = rowscalar::ExpandInteriorSample(rows, krows, nRows, x);
        x++;
    }
    if (nRows == 3) {
        ExpandBlocks<V, 3>(out, rows, krows, x, xEnd);
    } else if (nRows == 2) {
        ExpandBlocks<V, 2>(out, rows, krows, x, xEnd);
    }
    rowscalar::ExpandInterior(out, rows, krows, nRows, x, xEnd);
}

template <class V>
void ReduceInterior(float* out, const float* const* rows, const float* kernel, int32_t xBegin, int32_t xEnd,
                    int32_t srcWidth) {
    using T = typename V::T;
    int32_t x = xBegin;
    // The loads of a block reach source column 2x + 2N + 1.
    for (; x + V::N <= xEnd && 2 * x + 2 * V::N + 2 <= srcWidth; x += V::N) {
        T acc = V::Zero();
        for (int r = 0; r < 5; r++) {
            const float* s = rows[r] + 2 * x - 2;
            const float* k = kernel + r * 5;
            T e0, o0, e2, o2, e4, o4;
            V::Deinterleave(s, e0, o0);
            V::Deinterleave(s + 2, e2, o2);
            V::Deinterleave(s + 4, e4, o4);
            acc = V::Add(V::Mul(V::Set1(k[0]), e0), acc);
            acc = V::Add(V::Mul(V::Set1(k[1]), o0), acc);
            acc = V::Add(V::Mul(V::Set1(k[2]), e2), acc);
            acc = V::Add(V::Mul(V::Set1(k[3]), o2), acc);
            acc = V::Add(V::Mul(V::Set1(k[4]), e4), acc);
        }
        V::Store(out + x, acc);
    }
    rowscalar::ReduceInterior(out, rows, kernel, x, xEnd);
}

template <class V>
void GainAdd(float* out, const float* e, const float* d, float gain, int32_t n) {
    const typename V::T g = V::Set1(gain);
    int32_t i = 0;
    for (; i + V::N <= n; i += V::N)
        V::Store(out + i, V::Add(V::Load(e + i), V::Mul(g, V::Load(d + i))));
    rowscalar::GainAdd(out, e, d, gain, i, n);
}

template <class V>
void Subtract(float* out, const float* g, const float* e, int32_t n) {
    int32_t i = 0;
    for (; i + V::N <= n; i += V::N)
        V::Store(out + i, V::Sub(V::Load(g + i), V::Load(e + i)));
    rowscalar::Subtract(out, g, e, i, n);
}

// e + gain * d clamped to 0 .. max; max(v, 0) returns 0 for NaN as the scalar store does.
template <class V>
inline typename V::T GainAddClamp(const float* e, const float* d, typename V::T g, typename V::T hi) {
    const typename V::T v = V::Add(V::Load(e), V::Mul(g, V::Load(d)));
    return V::Min(V::Max(v, V::Zero()), hi);
}

template <class V>
void GainAddStoreU8(uint8_t* out, const float* e, const float* d, float gain, int32_t n) {
    const typename V::T g = V::Set1(gain);
    const typename V::T hi = V::Set1(255.0f);
    int32_t i = 0;
    for (; i + 4 * V::N <= n; i += 4 * V::N) {
        V::StoreU8x4(out + i, GainAddClamp<V>(e + i, d + i, g, hi), GainAddClamp<V>(e + i + V::N, d + i + V::N, g, hi),
                     GainAddClamp<V>(e + i + 2 * V::N, d + i + 2 * V::N, g, hi),
                     GainAddClamp<V>(e + i + 3 * V::N, d + i + 3 * V::N, g, hi));
    }
    rowscalar::GainAddStoreU8(out, e, d, gain, i, n);
}

template <class V>
void GainAddStoreU16(uint16_t* out, const float* e, const float* d, float gain, int32_t n) {
    const typename V::T g = V::Set1(gain);
    const typename V::T hi = V::Set1(65535.0f);
    int32_t i = 0;
    for (; i + 2 * V::N <= n; i += 2 * V::N) {
        V::StoreU16x2(out + i, GainAddClamp<V>(e + i, d + i, g, hi),
                      GainAddClamp<V>(e + i + V::N, d + i + V::N, g, hi));
    }
    rowscalar::GainAddStoreU16(out, e, d, gain, i, n);
}

template <class V>
RowKernels MakeRowKernels() {
    RowKernels k{};
    k.expandInterior = ExpandInterior<V>;
    k.reduceInterior = ReduceInterior<V>;
    k.gainAdd = GainAdd<V>;
    k.subtract = Subtract<V>;
    k.gainAddStoreU8 = GainAddStoreU8<V>;
    k.gainAddStoreU16 = GainAddStoreU16<V>;
    return k;
}

}  // namespace
}  // namespace rowvector
