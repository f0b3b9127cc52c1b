// AVX2 row kernels, chosen at run time when the processor has AVX2. The file is compiled for AVX2 by the
// pragma below; nothing in it may run before that check.
#include <cstddef>
#include <cstdint>

#include "pyramid/row_kernels.h"

#if (defined(__x86_64__) || defined(_M_X64)) && defined(__GNUC__)

// AVX2 only: FMA stays off so every product is rounded before its addition.
#pragma GCC push_options
#pragma GCC target("avx2")
#include <immintrin.h>

#include "pyramid/row_kernels_vector.h"

namespace {

struct Avx2 {
    using T = __m256;
    static constexpr int32_t N = 8;
    static T Load(const float* p) { return _mm256_loadu_ps(p); }
    static void Store(float* p, T v) { _mm256_storeu_ps(p, v); }
    static T Set1(float v) { return _mm256_set1_ps(v); }
    static T Zero() { return _mm256_setzero_ps(); }
    static T Add(T a, T b) { return _mm256_add_ps(a, b); }
    static T Sub(T a, T b) { return _mm256_sub_ps(a, b); }
    static T Mul(T a, T b) { return _mm256_mul_ps(a, b); }
    static T Max(T a, T b) { return _mm256_max_ps(a, b); }
    static T Min(T a, T b) { return _mm256_min_ps(a, b); }
    static void Interleave(T even, T odd, T& lo, T& hi) {
        const T a = _mm256_unpacklo_ps(even, odd);  // e0 o0 e1 o1 | e4 o4 e5 o5
        const T b = _mm256_unpackhi_ps(even, odd);  // e2 o2 e3 o3 | e6 o6 e7 o7
        lo = _mm256_permute2f128_ps(a, b, 0x20);
        hi = _mm256_permute2f128_ps(a, b, 0x31);
    }
    static void Deinterleave(const float* s, T& even, T& odd) {
        const T a = _mm256_loadu_ps(s);
        const T b = _mm256_loadu_ps(s + 8);
        // Per 128-bit lane, then the 64-bit pairs back into order.
        const T e = _mm256_shuffle_ps(a, b, _MM_SHUFFLE(2, 0, 2, 0));
        const T o = _mm256_shuffle_ps(a, b, _MM_SHUFFLE(3, 1, 3, 1));
        even = _mm256_castpd_ps(_mm256_permute4x64_pd(_mm256_castps_pd(e), _MM_SHUFFLE(3, 1, 2, 0)));
        odd = _mm256_castpd_ps(_mm256_permute4x64_pd(_mm256_castps_pd(o), _MM_SHUFFLE(3, 1, 2, 0)));
    }
    static __m128i Pack32To16(T v) {
        const __m256i i = _mm256_cvttps_epi32(v);
        return _mm_packs_epi32(_mm256_castsi256_si128(i), _mm256_extracti128_si256(i, 1));
    }
    static void StoreU8x2(uint8_t* out, T a, T b) {
        _mm_storeu_si128(reinterpret_cast<__m128i*>(out), _mm_packus_epi16(Pack32To16(a), Pack32To16(b)));
    }
    static __m128i PackU16(T v) {
        const __m256i i = _mm256_cvttps_epi32(v);
        return _mm_packus_epi32(_mm256_castsi256_si128(i), _mm256_extracti128_si256(i, 1));
    }
    static void StoreU16x2(uint16_t* out, T a, T b) {
        _mm_storeu_si128(reinterpret_cast<__m128i*>(out), PackU16(a));
        _mm_storeu_si128(reinterpret_cast<__m128i*>(out + 8), PackU16(b));
    }
};

// Byte shuffles that take 16 samples of each of three planes into 48 interleaved bytes: output block r,
// byte j holds sample (16 r + j) / 3 of plane (16 r + j) % 3.
struct InterleaveMasks {
    alignas(16) int8_t m[3][3][16];
    constexpr InterleaveMasks() : m{} {
        for (int r = 0; r < 3; r++) {
            for (int j = 0; j < 16; j++) {
                const int g = 16 * r + j;
                for (int p = 0; p < 3; p++)
                    m[r][p][j] = g % 3 == p ? static_cast<int8_t>(g / 3) : static_cast<int8_t>(-128);
            }
        }
    }
};
constexpr InterleaveMasks kMasks;

void Interleave3U8Avx2(uint8_t* out, const uint8_t* a, const uint8_t* b, const uint8_t* c, int32_t n) {
    __m128i mask[3][3];
    for (int r = 0; r < 3; r++) {
        for (int p = 0; p < 3; p++)
            mask[r][p] = _mm_load_si128(reinterpret_cast<const __m128i*>(kMasks.m[r][p]));
    }
    int32_t i = 0;
    for (; i + 16 <= n; i += 16) {
        const __m128i va = _mm_loadu_si128(reinterpret_cast<const __m128i*>(a + i));
        const __m128i vb = _mm_loadu_si128(reinterpret_cast<const __m128i*>(b + i));
        const __m128i vc = _mm_loadu_si128(reinterpret_cast<const __m128i*>(c + i));
        for (int r = 0; r < 3; r++) {
            const __m128i v =
                _mm_or_si128(_mm_or_si128(_mm_shuffle_epi8(va, mask[r][0]), _mm_shuffle_epi8(vb, mask[r][1])),
                             _mm_shuffle_epi8(vc, mask[r][2]));
            _mm_storeu_si128(reinterpret_cast<__m128i*>(out + 3 * i + 16 * r), v);
        }
    }
    rowscalar::Interleave3U8(out, a, b, c, i, n);
}

const __m128i* Masks(int r, int p) {
    return reinterpret_cast<const __m128i*>(kMasks.m[r][p]);
}

// Sixteen expanded, clamped and truncated samples of one component from x (even) on. k holds the taps times
// four: scaling by a power of two is exact, so the sums come out as the expansion's times four to the bit (in
// the normal range; a subnormal difference cannot move a stored byte).
template <int NRows>
inline __m128i ExpandGainU8(const float* const* rows, const __m256 (&k)[3][5], const float* d, __m256 gain, int32_t x) {
    const int32_t i = x / 2;
    __m256 even = _mm256_setzero_ps();
    __m256 odd = _mm256_setzero_ps();
    for (int n = 0; n < NRows; n++) {
        const float* r = rows[n] + i;
        const __m256 left = _mm256_loadu_ps(r - 1);
        const __m256 centre = _mm256_loadu_ps(r);
        const __m256 right = _mm256_loadu_ps(r + 1);
        even = _mm256_add_ps(_mm256_mul_ps(left, k[n][0]), even);
        even = _mm256_add_ps(_mm256_mul_ps(centre, k[n][2]), even);
        even = _mm256_add_ps(_mm256_mul_ps(right, k[n][4]), even);
        odd = _mm256_add_ps(_mm256_mul_ps(centre, k[n][1]), odd);
        odd = _mm256_add_ps(_mm256_mul_ps(right, k[n][3]), odd);
    }
    __m256 lo, hi;
    Avx2::Interleave(even, odd, lo, hi);
    __builtin_prefetch(d + x + 512);
    // Only the top is clamped here: truncation then saturation to bytes takes what lies below 0 to 0, and
    // min(255, NaN) keeps the NaN, whose conversion saturates to 0 as well.
    const __m256 top = _mm256_set1_ps(255.0f);
    const __m256 a = _mm256_min_ps(top, _mm256_add_ps(lo, _mm256_mul_ps(gain, _mm256_loadu_ps(d + x))));
    const __m256 b = _mm256_min_ps(top, _mm256_add_ps(hi, _mm256_mul_ps(gain, _mm256_loadu_ps(d + x + 8))));
    return _mm_packus_epi16(Avx2::Pack32To16(a), Avx2::Pack32To16(b));
}

template <int NRows>
void ExpandBlocks3U8(uint8_t* out,
                     const float* const* const* rows,
                     const float* const* krows,
                     const float* const* d,
                     float gain,
                     int32_t& x,
                     int32_t xEnd) {
    __m256 k[3][5];
    for (int n = 0; n < NRows; n++) {
        for (int c = 0; c < 5; c++)
            k[n][c] = _mm256_set1_ps(krows[n][c] * 4.0f);
    }
    const __m256 g = _mm256_set1_ps(gain);
    for (; x + 16 <= xEnd; x += 16) {
        const __m128i va = ExpandGainU8<NRows>(rows[0], k, d[0], g, x);
        const __m128i vb = ExpandGainU8<NRows>(rows[1], k, d[1], g, x);
        const __m128i vc = ExpandGainU8<NRows>(rows[2], k, d[2], g, x);
        for (int r = 0; r < 3; r++) {
            const __m128i v = _mm_or_si128(_mm_or_si128(_mm_shuffle_epi8(va, _mm_load_si128(Masks(r, 0))),
                                                        _mm_shuffle_epi8(vb, _mm_load_si128(Masks(r, 1)))),
                                           _mm_shuffle_epi8(vc, _mm_load_si128(Masks(r, 2))));
            _mm_storeu_si128(reinterpret_cast<__m128i*>(out + 3 * x + 16 * r), v);
        }
    }
}

void ExpandInterior3U8Avx2(uint8_t* out,
                           const float* const* const* rows,
                           const float* const* krows,
                           int32_t nRows,
                           const float* const* d,
                           float gain,
                           int32_t xBegin,
                           int32_t xEnd) {
    int32_t x = xBegin;
    if (x < xEnd && (x & 1) != 0) {
        rowscalar::ExpandInterior3U8(out, rows, krows, nRows, d, gain, x, x + 1);
        x++;
    }
    if (nRows == 3) {
        ExpandBlocks3U8<3>(out, rows, krows, d, gain, x, xEnd);
    } else if (nRows == 2) {
        ExpandBlocks3U8<2>(out, rows, krows, d, gain, x, xEnd);
    }
    rowscalar::ExpandInterior3U8(out, rows, krows, nRows, d, gain, x, xEnd);
}

}  // namespace

#pragma GCC pop_options

const RowKernels* Avx2RowKernels() {
    __builtin_cpu_init();
    if (!__builtin_cpu_supports("avx2"))
        return nullptr;
    static const RowKernels kernels = [] {
        RowKernels k = rowvector::MakeRowKernels<Avx2>();
        k.interleave3U8 = Interleave3U8Avx2;
        k.expandInterior3U8 = ExpandInterior3U8Avx2;
        return k;
    }();
    return &kernels;
}

#else

const RowKernels* Avx2RowKernels() {
    return nullptr;
}

#endif
