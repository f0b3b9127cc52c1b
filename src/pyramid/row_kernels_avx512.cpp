// AVX-512 row kernels, chosen at run time when the processor has AVX-512 F and BW: sixteen samples per step,
// with the even/odd splits and merges done by one two-register permute each. The three-component byte
// store stays with the AVX2 kernel. The file is compiled for AVX-512 by the pragma below; nothing in it may
// run before that check.
#include <cstddef>
#include <cstdint>

#include "pyramid/row_kernels.h"

#if (defined(__x86_64__) || defined(_M_X64)) && defined(__GNUC__)

// FMA stays off: every product is rounded before its addition.
#pragma GCC push_options
#pragma GCC target("avx512f,avx512bw")
// GCC 12's AVX-512 casts start from an undefined register and warn about it.
#pragma GCC diagnostic ignored "-Wmaybe-uninitialized"
#include <immintrin.h>

#include "pyramid/row_kernels_vector.h"

namespace {

struct Avx512 {
    using T = __m512;
    static constexpr int32_t N = 16;
    static T Load(const float* p) { return _mm512_loadu_ps(p); }
    static void Store(float* p, T v) { _mm512_storeu_ps(p, v); }
    static T Set1(float v) { return _mm512_set1_ps(v); }
    static T Zero() { return _mm512_setzero_ps(); }
    static T Add(T a, T b) { return _mm512_add_ps(a, b); }
    static T Sub(T a, T b) { return _mm512_sub_ps(a, b); }
    static T Mul(T a, T b) { return _mm512_mul_ps(a, b); }
    // NaN in a gives b, as with the narrower sets.
    static T Max(T a, T b) { return _mm512_max_ps(a, b); }
    static T Min(T a, T b) { return _mm512_min_ps(a, b); }
    static void Interleave(T even, T odd, T& lo, T& hi) {
        const __m512i first = _mm512_setr_epi32(0, 16, 1, 17, 2, 18, 3, 19, 4, 20, 5, 21, 6, 22, 7, 23);
        const __m512i second = _mm512_setr_epi32(8, 24, 9, 25, 10, 26, 11, 27, 12, 28, 13, 29, 14, 30, 15, 31);
        lo = _mm512_permutex2var_ps(even, first, odd);
        hi = _mm512_permutex2var_ps(even, second, odd);
    }
    static void Deinterleave(const float* s, T& even, T& odd) {
        const T a = _mm512_loadu_ps(s);
        const T b = _mm512_loadu_ps(s + 16);
        const __m512i evens = _mm512_setr_epi32(0, 2, 4, 6, 8, 10, 12, 14, 16, 18, 20, 22, 24, 26, 28, 30);
        const __m512i odds = _mm512_setr_epi32(1, 3, 5, 7, 9, 11, 13, 15, 17, 19, 21, 23, 25, 27, 29, 31);
        even = _mm512_permutex2var_ps(a, evens, b);
        odd = _mm512_permutex2var_ps(a, odds, b);
    }
    // The values are already clamped to the target's range, so plain narrowing equals saturation.
    static void StoreU8x2(uint8_t* out, T a, T b) {
        _mm_storeu_si128(reinterpret_cast<__m128i*>(out), _mm512_cvtepi32_epi8(_mm512_cvttps_epi32(a)));
        _mm_storeu_si128(reinterpret_cast<__m128i*>(out + 16), _mm512_cvtepi32_epi8(_mm512_cvttps_epi32(b)));
    }
    static void StoreU16x2(uint16_t* out, T a, T b) {
        _mm256_storeu_si256(reinterpret_cast<__m256i*>(out), _mm512_cvtepi32_epi16(_mm512_cvttps_epi32(a)));
        _mm256_storeu_si256(reinterpret_cast<__m256i*>(out + 16), _mm512_cvtepi32_epi16(_mm512_cvttps_epi32(b)));
    }
};

}  // namespace

#pragma GCC pop_options

const RowKernels* Avx512RowKernels() {
    if (!Avx512Allowed())
        return nullptr;
    __builtin_cpu_init();
    if (!__builtin_cpu_supports("avx512f") || !__builtin_cpu_supports("avx512bw"))
        return nullptr;
    const RowKernels* avx2 = Avx2RowKernels();
    if (!avx2)
        return nullptr;
    static const RowKernels kernels = [avx2] {
        RowKernels k = rowvector::MakeRowKernels<Avx512>();
        k.interleave3U8 = avx2->interleave3U8;
        k.expandInterior3U8 = avx2->expandInterior3U8;
        return k;
    }();
    return &kernels;
}

#else

const RowKernels* Avx512RowKernels() {
    return nullptr;
}

#endif
