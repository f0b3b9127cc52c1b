// SSE2 row kernels (always available on x86-64).
#include <cstddef>
#include <cstdint>

#include "pyramid/row_kernels.h"

#if defined(__x86_64__) || defined(_M_X64)

#include <emmintrin.h>

#include "pyramid/row_kernels_vector.h"

namespace {

struct Sse2 {
    using T = __m128;
    static constexpr int32_t N = 4;
    static T Load(const float* p) { return _mm_loadu_ps(p); }
    static void Store(float* p, T v) { _mm_storeu_ps(p, v); }
    static T Set1(float v) { return _mm_set1_ps(v); }
    static T Zero() { return _mm_setzero_ps(); }
    static T Add(T a, T b) { return _mm_add_ps(a, b); }
    static T Sub(T a, T b) { return _mm_sub_ps(a, b); }
    static T Mul(T a, T b) { return _mm_mul_ps(a, b); }
    // Second operand for NaN, as the clamp relies on.
    static T Max(T a, T b) { return _mm_max_ps(a, b); }
    static T Min(T a, T b) { return _mm_min_ps(a, b); }
    // lo = e0 o0 e1 o1, hi = e2 o2 e3 o3.
    static void Interleave(T even, T odd, T& lo, T& hi) {
        lo = _mm_unpacklo_ps(even, odd);
        hi = _mm_unpackhi_ps(even, odd);
    }
    // s[0], s[2], s[4], s[6] and s[1], s[3], s[5], s[7].
    static void Deinterleave(const float* s, T& even, T& odd) {
        const T a = _mm_loadu_ps(s);
        const T b = _mm_loadu_ps(s + 4);
        even = _mm_shuffle_ps(a, b, _MM_SHUFFLE(2, 0, 2, 0));
        odd = _mm_shuffle_ps(a, b, _MM_SHUFFLE(3, 1, 3, 1));
    }
    // Two clamped vectors (0 .. 255) truncated into 8 bytes.
    static void StoreU8x2(uint8_t* out, T a, T b) {
        const __m128i ab = _mm_packs_epi32(_mm_cvttps_epi32(a), _mm_cvttps_epi32(b));
        _mm_storel_epi64(reinterpret_cast<__m128i*>(out), _mm_packus_epi16(ab, ab));
    }
    // Two clamped vectors (0 .. 65535) truncated into 8 unsigned 16-bit values; SSE2 packs only signed.
    static void StoreU16x2(uint16_t* out, T a, T b) {
        const __m128i bias = _mm_set1_epi32(32768);
        const __m128i ia = _mm_sub_epi32(_mm_cvttps_epi32(a), bias);
        const __m128i ib = _mm_sub_epi32(_mm_cvttps_epi32(b), bias);
        const __m128i packed = _mm_xor_si128(_mm_packs_epi32(ia, ib), _mm_set1_epi16(static_cast<int16_t>(0x8000)));
        _mm_storeu_si128(reinterpret_cast<__m128i*>(out), packed);
    }
};

void Interleave3U8Sse2(uint8_t* out, const uint8_t* a, const uint8_t* b, const uint8_t* c, int32_t n) {
    rowscalar::Interleave3U8(out, a, b, c, 0, n);
}

}  // namespace

const RowKernels* Sse2RowKernels() {
    static const RowKernels kernels = [] {
        RowKernels k = rowvector::MakeRowKernels<Sse2>();
        k.interleave3U8 = Interleave3U8Sse2;
        return k;
    }();
    return &kernels;
}

#else

const RowKernels* Sse2RowKernels() {
    return nullptr;
}

#endif
