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
inline void StoreBytesAsFloats(float* dst, __m128i bytes) {
    _mm256_storeu_ps(dst, _mm256_cvtepi32_ps(_mm256_cvtepu8_epi32(bytes)));
}

void SplitPixels(float* d0, float* d1, float* d2, const uint8_t* s, int32_t width) {
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
        for (int c = 0; c < 3; ++c) {
            __m128i v = _mm_shuffle_epi8(part[0], _mm_load_si128(reinterpret_cast<const __m128i*>(kShuffle[c][0])));
            v = _mm_or_si128(
                v, _mm_shuffle_epi8(part[1], _mm_load_si128(reinterpret_cast<const __m128i*>(kShuffle[c][1]))));
            v = _mm_or_si128(
                v, _mm_shuffle_epi8(part[2], _mm_load_si128(reinterpret_cast<const __m128i*>(kShuffle[c][2]))));
            StoreBytesAsFloats(dst[c] + x, v);
            StoreBytesAsFloats(dst[c] + x + 8, _mm_srli_si128(v, 8));
        }
    }
    for (; x < width; ++x) {
        d0[x] = static_cast<float>(s[3 * x]);
        d1[x] = static_cast<float>(s[3 * x + 1]);
        d2[x] = static_cast<float>(s[3 * x + 2]);
    }
}

}  // namespace

#pragma GCC pop_options

SplitPixelsFn Avx2SplitPixels() {
    __builtin_cpu_init();
    return __builtin_cpu_supports("avx2") ? SplitPixels : nullptr;
}

#else

SplitPixelsFn Avx2SplitPixels() {
    return nullptr;
}

#endif
