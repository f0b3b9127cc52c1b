// Vector bodies of the row kernels, written once over a small vector type V (SSE2 or AVX2) and included
// by the file of each instruction set. Lanes run the scalar operation order exactly; tails call the scalar
// bodies.
#pragma once

#include <cstdint>

#include "pyramid/row_kernels.h"
#include "pyramid/row_kernels_scalar.h"

namespace rowvector {
namespace {

// Detail rows stream from memory once per render: ask for them this many floats ahead.
constexpr int32_t kPrefetchAhead = 512;

// Sinks take 2N consecutive expanded samples (lo = x .. x + N - 1, hi = the next N) or one sample.
template <class V>
struct StoreSink {
    float* out;
    void Vector(int32_t x, typename V::T lo, typename V::T hi) const {
        V::Store(out + x, lo);
        V::Store(out + x + V::N, hi);
    }
};

template <class V>
struct GainAddSink {
    float* out;
    const float* d;
    typename V::T gain;
    void Vector(int32_t x, typename V::T lo, typename V::T hi) const {
        __builtin_prefetch(d + x + kPrefetchAhead);
        V::Store(out + x, V::Add(lo, V::Mul(gain, V::Load(d + x))));
        V::Store(out + x + V::N, V::Add(hi, V::Mul(gain, V::Load(d + x + V::N))));
    }
};

template <class V>
struct SubtractSink {
    float* out;
    const float* d;
    void Vector(int32_t x, typename V::T lo, typename V::T hi) const {
        __builtin_prefetch(d + x + kPrefetchAhead);
        V::Store(out + x, V::Sub(V::Load(d + x), lo));
        V::Store(out + x + V::N, V::Sub(V::Load(d + x + V::N), hi));
    }
};

// e + gain * d clamped to 0 .. max; max(v, 0) gives 0 for NaN as the scalar store does.
template <class V>
inline typename V::T Clamped(typename V::T e, const float* d, typename V::T gain, typename V::T hi) {
    const typename V::T v = V::Add(e, V::Mul(gain, V::Load(d)));
    return V::Min(V::Max(v, V::Zero()), hi);
}

template <class V>
struct U8Sink {
    uint8_t* out;
    const float* d;
    typename V::T gain;
    typename V::T hi;
    void Vector(int32_t x, typename V::T lo, typename V::T up) const {
        __builtin_prefetch(d + x + kPrefetchAhead);
        V::StoreU8x2(out + x, Clamped<V>(lo, d + x, gain, hi), Clamped<V>(up, d + x + V::N, gain, hi));
    }
};

template <class V>
struct U16Sink {
    uint16_t* out;
    const float* d;
    typename V::T gain;
    typename V::T hi;
    void Vector(int32_t x, typename V::T lo, typename V::T up) const {
        __builtin_prefetch(d + x + kPrefetchAhead);
        V::StoreU16x2(out + x, Clamped<V>(lo, d + x, gain, hi), Clamped<V>(up, d + x + V::N, gain, hi));
    }
};

// Expand columns of whole vector blocks: x even, outputs x .. x + 2N - 1 from source index x / 2 on. The taps
// are taken times four: scaling by a power of two is exact, so each sum is the scalar sum times four to the bit
// (pyramid values never come near the subnormal range, where products would round differently).
template <class V, int NRows, class Sink>
inline void ExpandBlocks(const Sink& sink,
                         const float* const* rows,
                         const float* const* krows,
                         int32_t& x,
                         int32_t xEnd) {
    using T = typename V::T;
    T k[NRows][5];
    for (int n = 0; n < NRows; n++) {
        for (int c = 0; c < 5; c++)
            k[n][c] = V::Set1(krows[n][c] * 4.0f);
    }
    // Two blocks per step: four independent accumulation chains keep the adders busy.
    for (; x + 4 * V::N <= xEnd; x += 4 * V::N) {
        const int32_t i = x / 2;
        T even0 = V::Zero(), odd0 = V::Zero(), even1 = V::Zero(), odd1 = V::Zero();
        for (int n = 0; n < NRows; n++) {
            const float* r = rows[n] + i;
            const T left0 = V::Load(r - 1), centre0 = V::Load(r), right0 = V::Load(r + 1);
            const T left1 = V::Load(r + V::N - 1), centre1 = V::Load(r + V::N), right1 = V::Load(r + V::N + 1);
            even0 = V::Add(V::Mul(left0, k[n][0]), even0);
            even1 = V::Add(V::Mul(left1, k[n][0]), even1);
            odd0 = V::Add(V::Mul(centre0, k[n][1]), odd0);
            odd1 = V::Add(V::Mul(centre1, k[n][1]), odd1);
            even0 = V::Add(V::Mul(centre0, k[n][2]), even0);
            even1 = V::Add(V::Mul(centre1, k[n][2]), even1);
            odd0 = V::Add(V::Mul(right0, k[n][3]), odd0);
            odd1 = V::Add(V::Mul(right1, k[n][3]), odd1);
            even0 = V::Add(V::Mul(right0, k[n][4]), even0);
            even1 = V::Add(V::Mul(right1, k[n][4]), even1);
        }
        T lo, hi;
        V::Interleave(even0, odd0, lo, hi);
        sink.Vector(x, lo, hi);
        V::Interleave(even1, odd1, lo, hi);
        sink.Vector(x + 2 * V::N, lo, hi);
    }
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
        T lo, hi;
        V::Interleave(even, odd, lo, hi);
        sink.Vector(x, lo, hi);
    }
}

template <class V, class Sink>
void ExpandInteriorWith(const Sink& sink,
                        const ExpandTarget& t,
                        const float* const* rows,
                        const float* const* krows,
                        int32_t nRows,
                        int32_t xBegin,
                        int32_t xEnd) {
    int32_t x = xBegin;
    if (x < xEnd && (x & 1) != 0) {
        rowscalar::SinkSample(t, x, rowscalar::ExpandInteriorSample(rows, krows, nRows, x));
        x++;
    }
    if (nRows != 2 && nRows != 3) {
        rowscalar::ExpandInterior(t, rows, krows, nRows, x, xEnd);
        return;
    }
    const int32_t first = x;
    if (nRows == 3)
        ExpandBlocks<V, 3>(sink, rows, krows, x, xEnd);
    else
        ExpandBlocks<V, 2>(sink, rows, krows, x, xEnd);
    // The columns short of a whole block: one more block ending there does some columns again, with the same
    // values, unless the sink reads the row it writes.
    const int32_t back = (xEnd - 2 * V::N) & ~1;
    if (x < xEnd - 1 && back >= first && t.out != t.detail) {
        x = back;
        if (nRows == 3)
            ExpandBlocks<V, 3>(sink, rows, krows, x, back + 2 * V::N);
        else
            ExpandBlocks<V, 2>(sink, rows, krows, x, back + 2 * V::N);
    }
    rowscalar::ExpandInterior(t, rows, krows, nRows, x, xEnd);
}

template <class V>
void ExpandInterior(const ExpandTarget& t,
                    const float* const* rows,
                    const float* const* krows,
                    int32_t nRows,
                    int32_t xBegin,
                    int32_t xEnd) {
    const typename V::T gain = V::Set1(t.gain);
    switch (t.sink) {
        case ExpandSink::kStore:
            ExpandInteriorWith<V>(StoreSink<V>{static_cast<float*>(t.out)}, t, rows, krows, nRows, xBegin, xEnd);
            break;
        case ExpandSink::kGainAdd:
            ExpandInteriorWith<V>(GainAddSink<V>{static_cast<float*>(t.out), t.detail, gain}, t, rows, krows, nRows,
                                  xBegin, xEnd);
            break;
        case ExpandSink::kSubtract:
            ExpandInteriorWith<V>(SubtractSink<V>{static_cast<float*>(t.out), t.detail}, t, rows, krows, nRows, xBegin,
                                  xEnd);
            break;
        case ExpandSink::kGainAddU8:
            ExpandInteriorWith<V>(U8Sink<V>{static_cast<uint8_t*>(t.out), t.detail, gain, V::Set1(255.0f)}, t, rows,
                                  krows, nRows, xBegin, xEnd);
            break;
        case ExpandSink::kGainAddU16:
            ExpandInteriorWith<V>(U16Sink<V>{static_cast<uint16_t*>(t.out), t.detail, gain, V::Set1(65535.0f)}, t, rows,
                                  krows, nRows, xBegin, xEnd);
            break;
    }
}

template <class V>
void ReduceInteriorSplit(float* out,
                         const float* const* even,
                         const float* const* odd,
                         const float* kernel,
                         int32_t xBegin,
                         int32_t xEnd) {
    using T = typename V::T;
    int32_t x = xBegin;
    // Column 2x - 2 + c of a row is even[x - 1 + c / 2] or odd[x - 1 + c / 2]: five loads per row and block.
    // The blocks' loads reach even[xEnd], which exists for every interior column.
    constexpr int32_t B = 8;
    for (; x + B * V::N <= xEnd; x += B * V::N) {
        T acc[B];
        for (int b = 0; b < B; b++)
            acc[b] = V::Zero();
        for (int r = 0; r < 5; r++) {
            const float* k = kernel + r * 5;
            const T k0 = V::Set1(k[0]), k1 = V::Set1(k[1]), k2 = V::Set1(k[2]), k3 = V::Set1(k[3]), k4 = V::Set1(k[4]);
            const float* e = even[r] + x - 1;
            const float* o = odd[r] + x - 1;
            for (int b = 0; b < B; b++) {
                const int32_t i = b * V::N;
                acc[b] = V::Add(V::Mul(k0, V::Load(e + i)), acc[b]);
                acc[b] = V::Add(V::Mul(k1, V::Load(o + i)), acc[b]);
                acc[b] = V::Add(V::Mul(k2, V::Load(e + i + 1)), acc[b]);
                acc[b] = V::Add(V::Mul(k3, V::Load(o + i + 1)), acc[b]);
                acc[b] = V::Add(V::Mul(k4, V::Load(e + i + 2)), acc[b]);
            }
        }
        for (int b = 0; b < B; b++)
            V::Store(out + x + b * V::N, acc[b]);
    }
    auto one = [&](int32_t at) {
        T acc = V::Zero();
        for (int r = 0; r < 5; r++) {
            const float* k = kernel + r * 5;
            const float* e = even[r] + at - 1;
            const float* o = odd[r] + at - 1;
            acc = V::Add(V::Mul(V::Set1(k[0]), V::Load(e)), acc);
            acc = V::Add(V::Mul(V::Set1(k[1]), V::Load(o)), acc);
            acc = V::Add(V::Mul(V::Set1(k[2]), V::Load(e + 1)), acc);
            acc = V::Add(V::Mul(V::Set1(k[3]), V::Load(o + 1)), acc);
            acc = V::Add(V::Mul(V::Set1(k[4]), V::Load(e + 2)), acc);
        }
        V::Store(out + at, acc);
    };
    for (; x + V::N <= xEnd; x += V::N)
        one(x);
    // The columns short of a whole vector: one more vector ending at xEnd stores some columns again.
    if (x < xEnd && xEnd - V::N >= xBegin) {
        one(xEnd - V::N);
        x = xEnd;
    }
    rowscalar::ReduceInteriorSplit(out, even, odd, kernel, x, xEnd);
}

template <class V>
void SplitEvenOdd(float* even, float* odd, const float* src, int32_t n) {
    int32_t i = 0;
    for (; 2 * (i + V::N) <= n; i += V::N) {
        typename V::T e, o;
        V::Deinterleave(src + 2 * i, e, o);
        V::Store(even + i, e);
        V::Store(odd + i, o);
    }
    rowscalar::SplitEvenOdd(even, odd, src, i, n);
}

template <class V>
RowKernels MakeRowKernels() {
    RowKernels k{};
    k.expandInterior = ExpandInterior<V>;
    k.reduceInteriorSplit = ReduceInteriorSplit<V>;
    k.splitEvenOdd = SplitEvenOdd<V>;
    return k;
}

}  // namespace
}  // namespace rowvector
