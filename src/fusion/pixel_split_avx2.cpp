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

// Shuffles that take component c of a 16-pixel block (byte 3k + c for pixel k) from part p of its 48 bytes:
// pixel k to lane k, or by parity, the even pixels to lanes 0 .. 7 and the odd ones to lanes 8 .. 15.
struct ComponentShuffles {
    alignas(16) int8_t lanes[3][3][16];
    constexpr explicit ComponentShuffles(bool byParity) : lanes{} {
        for (int c = 0; c < 3; ++c) {
            for (int p = 0; p < 3; ++p) {
                for (int k = 0; k < 16; ++k) {
                    const int byte = 3 * k + c;
                    const int lane = !byParity ? k : (k & 1) == 0 ? k / 2 : 8 + k / 2;
                    lanes[c][p][lane] = static_cast<int8_t>(byte / 16 == p ? byte % 16 : -1);
                }
            }
        }
    }
};
constexpr ComponentShuffles kNatural(false);
constexpr ComponentShuffles kEvenOdd(true);

// The 16 bytes of each component of the 16 pixels from p on, in the lanes the shuffles give.
inline void ComponentBytes(const uint8_t* p, const ComponentShuffles& shuffles, __m128i out[3]) {
    const __m128i part[3] = {_mm_loadu_si128(reinterpret_cast<const __m128i*>(p)),
                             _mm_loadu_si128(reinterpret_cast<const __m128i*>(p + 16)),
                             _mm_loadu_si128(reinterpret_cast<const __m128i*>(p + 32))};
    for (int c = 0; c < 3; ++c) {
        __m128i v = _mm_setzero_si128();
        for (int q = 0; q < 3; ++q)
            v = _mm_or_si128(
                v, _mm_shuffle_epi8(part[q], _mm_load_si128(reinterpret_cast<const __m128i*>(shuffles.lanes[c][q]))));
        out[c] = v;
    }
}

void SplitPixels(float* d0, float* d1, float* d2, float* sum, const uint8_t* s, int32_t width) {
    float* const dst[3] = {d0, d1, d2};
    int32_t x = 0;
    for (; x + 16 <= width; x += 16) {
        __m128i bytes[3];
        ComponentBytes(s + static_cast<size_t>(x) * 3, kNatural, bytes);
        __m256 total[2] = {_mm256_setzero_ps(), _mm256_setzero_ps()};
        for (int c = 0; c < 3; ++c) {
            const __m256 lo = BytesAsFloats(bytes[c]);
            const __m256 hi = BytesAsFloats(_mm_srli_si128(bytes[c], 8));
            _mm256_storeu_ps(dst[c] + x, lo);
            _mm256_storeu_ps(dst[c] + x + 8, hi);
            // Sums of bytes are exact in float, in any order.
            total[0] = _mm256_add_ps(total[0], lo);
            total[1] = _mm256_add_ps(total[1], hi);
        }
        _mm256_storeu_ps(sum + x, total[0]);
        _mm256_storeu_ps(sum + x + 8, total[1]);
    }
    SplitPixelsScalar(d0 + x, d1 + x, d2 + x, sum + x, s + static_cast<size_t>(x) * 3, width - x);
}

void SplitPixelsEvenOdd(float* const even[3], float* const odd[3], const uint8_t* s, int32_t width) {
    int32_t x = 0;
    for (; x + 16 <= width; x += 16) {
        __m128i bytes[3];
        ComponentBytes(s + static_cast<size_t>(x) * 3, kEvenOdd, bytes);
        for (int c = 0; c < 3; ++c) {
            _mm256_storeu_ps(even[c] + x / 2, BytesAsFloats(bytes[c]));
            _mm256_storeu_ps(odd[c] + x / 2, BytesAsFloats(_mm_srli_si128(bytes[c], 8)));
        }
    }
    // x is even here: the rest starts on an even column.
    float* const evenRest[3] = {even[0] + x / 2, even[1] + x / 2, even[2] + x / 2};
    float* const oddRest[3] = {odd[0] + x / 2, odd[1] + x / 2, odd[2] + x / 2};
    SplitPixelsEvenOddScalar(evenRest, oddRest, s + static_cast<size_t>(x) * 3, width - x);
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
