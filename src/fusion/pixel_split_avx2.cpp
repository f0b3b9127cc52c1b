// AVX2 pixel splitter, chosen at run time when the processor has AVX2. The file is compiled for AVX2 by the
// pragma below; nothing in it may run before the check.
#include "fusion/pixel_split.h"

#include <cstddef>

#if (defined(__x86_64__) || defined(_M_X64)) && defined(__GNUC__)

#pragma GCC push_options
#pragma GCC target("avx2")
#include <immintrin.h>

namespace {

// Eight bytes to eight floats.
inline __m256 BytesAsFloats(__m128i bytes) {
    return _mm256_cvtepi32_ps(_mm256_cvtepu8_epi32(bytes));
}
inline void StoreBytesAsFloats(float* dst, __m128i bytes) {
    _mm256_storeu_ps(dst, BytesAsFloats(bytes));
}

void SplitPixels(float* d0, float* d1, float* d2, float* sum, const uint8_t* s, int32_t width) {
    // Byte k of component c in a block of 16 pixels comes from lane 3k + c of the block's three 16-byte parts.
    alignas(16) static const int8_t kShuffle[3][3][16] = {
        {{0, 3, 6, 9, 12, 15, -1, -1, -1, -1, -1, -1, -1, -1, -1, -1},
         {-1, -1, -1, -1, -1, -1, 2, 5, 8, 11, 14, -1, -1, -1, -1, -1},
         {-1, -1, -1, -1, -1, -1, -1, -1, -1, -1, -1, 1, 4, 7, 10, 13}},
        {{1, 4, 7, 10, 13, -1, -1, -1, -1, -1, -1, -1, -1, -1, -1, -1},
         {-1, -1, -1, -1, -1, 0, 3, 6, 9, 12, 15, -1, -1, -1, -1, -1},
         {-1, -1, -1, -1, -1, -1, -1, -1, -1, -1, -1, 2, 5, 8, 11, 14}},
        {{2, 5, 8, 11, 14, -1, -1, -1, -1, -1, -1, -1, -1, -1, -1, -1},
         {-1, -1, -1, -1, -1, 1, 4, 7, 10, 13, -1, -1, -1, -1, -1, -1},
         {-1, -1, -1, -1, -1, -1, -1, -1, -1, -1, 0, 3, 6, 9, 12, 15}},
    };
    float* const dst[3] = {d0, d1, d2};
    int32_t x = 0;
    for (; x + 16 <= width; x += 16) {
        const uint8_t* p = s + static_cast<size_t>(x) * 3;
        const __m128i part[3] = {_mm_loadu_si128(reinterpret_cast<const __m128i*>(p)),
                                 _mm_loadu_si128(reinterpret_cast<const __m128i*>(p + 16)),
                                 _mm_loadu_si128(reinterpret_cast<const __m128i*>(p + 32))};
        __m256 total[2] = {_mm256_setzero_ps(), _mm256_setzero_ps()};
        for (int c = 0; c < 3; ++c) {
            __m128i v = _mm_shuffle_epi8(part[0], _mm_load_si128(reinterpret_cast<const __m128i*>(kShuffle[c][0])));
            v = _mm_or_si128(
                v, _mm_shuffle_epi8(part[1], _mm_load_si128(reinterpret_cast<const __m128i*>(kShuffle[c][1]))));
            v = _mm_or_si128(
                v, _mm_shuffle_epi8(part[2], _mm_load_si128(reinterpret_cast<const __m128i*>(kShuffle[c][2]))));
            const __m256 lo = BytesAsFloats(v);
            const __m256 hi = BytesAsFloats(_mm_srli_si128(v, 8));
            _mm256_storeu_ps(dst[c] + x, lo);
            _mm256_storeu_ps(dst[c] + x + 8, hi);
            // Sums of bytes are exact in float, in any order.
            total[0] = _mm256_add_ps(total[0], lo);
            total[1] = _mm256_add_ps(total[1], hi);
        }
        _mm256_storeu_ps(sum + x, total[0]);
        _mm256_storeu_ps(sum + x + 8, total[1]);
    }
    for (; x < width; ++x) {
        d0[x] = static_cast<float>(s[3 * x]);
        d1[x] = static_cast<float>(s[3 * x + 1]);
        d2[x] = static_cast<float>(s[3 * x + 2]);
        sum[x] = d0[x] + d1[x] + d2[x];
    }
}

// Shuffles that take component c of a 16-pixel block from part p of its 48 bytes: the even pixels to lanes
// 0 .. 7, the odd ones to lanes 8 .. 15.
struct EvenOddShuffles {
    alignas(16) int8_t lanes[3][3][16];
    constexpr EvenOddShuffles() : lanes{} {
        for (int c = 0; c < 3; ++c) {
            for (int p = 0; p < 3; ++p) {
                for (int k = 0; k < 16; ++k) {
                    const int byte = 3 * k + c;
                    const int lane = (k & 1) == 0 ? k / 2 : 8 + k / 2;
                    lanes[c][p][lane] = static_cast<int8_t>(byte / 16 == p ? byte % 16 : -1);
                }
            }
        }
    }
};
constexpr EvenOddShuffles kEvenOdd;

void SplitPixelsEvenOdd(float* const even[3], float* const odd[3], const uint8_t* s, int32_t width) {
    int32_t x = 0;
    for (; x + 16 <= width; x += 16) {
        const uint8_t* p = s + static_cast<size_t>(x) * 3;
        const __m128i part[3] = {_mm_loadu_si128(reinterpret_cast<const __m128i*>(p)),
                                 _mm_loadu_si128(reinterpret_cast<const __m128i*>(p + 16)),
                                 _mm_loadu_si128(reinterpret_cast<const __m128i*>(p + 32))};
        for (int c = 0; c < 3; ++c) {
            __m128i v = _mm_setzero_si128();
            for (int q = 0; q < 3; ++q)
                v = _mm_or_si128(
                    v,
                    _mm_shuffle_epi8(part[q], _mm_load_si128(reinterpret_cast<const __m128i*>(kEvenOdd.lanes[c][q]))));
            StoreBytesAsFloats(even[c] + x / 2, v);
            StoreBytesAsFloats(odd[c] + x / 2, _mm_srli_si128(v, 8));
        }
    }
    for (; x < width; ++x) {
        float* const* dst = (x & 1) == 0 ? even : odd;
        for (int c = 0; c < 3; ++c)
            dst[c][x / 2] = static_cast<float>(s[3 * x + c]);
    }
}

}  // namespace

#pragma GCC pop_options

SplitPixelsFn Avx2SplitPixels() {
    __builtin_cpu_init();
    return __builtin_cpu_supports("avx2") ? SplitPixels : nullptr;
}

SplitPixelsEvenOddFn Avx2SplitPixelsEvenOdd() {
    __builtin_cpu_init();
    return __builtin_cpu_supports("avx2") ? SplitPixelsEvenOdd : nullptr;
}

#else

SplitPixelsFn Avx2SplitPixels() {
    return nullptr;
}

SplitPixelsEvenOddFn Avx2SplitPixelsEvenOdd() {
    return nullptr;
}

#endif
