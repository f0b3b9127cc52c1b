// AVX2 table lookups, chosen at run time when the processor has AVX2. The file is compiled for AVX2 by the
// pragma below; nothing in it may run before that check.
#include "fusion/lut_bytes.h"

#if (defined(__x86_64__) || defined(_M_X64)) && defined(__GNUC__)

#pragma GCC push_options
#pragma GCC target("avx2")
#include <immintrin.h>

namespace {

// The table as sixteen 16-entry rows, one per high nibble. Each row is looked up by the low nibbles with one
// byte shuffle, and a compare of the high nibbles keeps the row's result where it is the right one. Rows 0-7
// and 8-15 go in two chains; the index's top bit then picks between them.
struct NibbleTables {
    __m256i row[16];
    explicit NibbleTables(const uint8_t* lut) {
        for (int h = 0; h < 16; ++h)
            row[h] = _mm256_broadcastsi128_si256(_mm_loadu_si128(reinterpret_cast<const __m128i*>(lut + 16 * h)));
    }
    __m256i Map(__m256i v) const {
        const __m256i nibble = _mm256_set1_epi8(0x0F);
        const __m256i low = _mm256_and_si256(v, nibble);
        const __m256i high = _mm256_and_si256(_mm256_srli_epi16(v, 4), nibble);
        __m256i a = _mm256_shuffle_epi8(row[0], low);
        __m256i b = _mm256_shuffle_epi8(row[8], low);
        for (int h = 1; h < 8; ++h) {
            a = _mm256_blendv_epi8(a, _mm256_shuffle_epi8(row[h], low),
                                   _mm256_cmpeq_epi8(high, _mm256_set1_epi8(static_cast<char>(h))));
            b = _mm256_blendv_epi8(b, _mm256_shuffle_epi8(row[h + 8], low),
                                   _mm256_cmpeq_epi8(high, _mm256_set1_epi8(static_cast<char>(h + 8))));
        }
        return _mm256_blendv_epi8(a, b, v);
    }
};

void LutBytesAvx2(uint8_t* dst, const uint8_t* src, size_t count, const uint8_t* lut) {
    const NibbleTables tables(lut);
    size_t k = 0;
    for (; k + 32 <= count; k += 32) {
        const __m256i v = _mm256_loadu_si256(reinterpret_cast<const __m256i*>(src + k));
        _mm256_storeu_si256(reinterpret_cast<__m256i*>(dst + k), tables.Map(v));
    }
    if (k < count) {
        // The tail through a block on the stack: nothing outside the run is read or written.
        alignas(32) uint8_t block[32] = {};
        const size_t rest = count - k;
        __builtin_memcpy(block, src + k, rest);
        _mm256_store_si256(reinterpret_cast<__m256i*>(block),
                           tables.Map(_mm256_load_si256(reinterpret_cast<const __m256i*>(block))));
        __builtin_memcpy(dst + k, block, rest);
    }
}

}  // namespace

#pragma GCC pop_options

LutBytesFn Avx2LutBytes() {
    __builtin_cpu_init();
    return __builtin_cpu_supports("avx2") ? LutBytesAvx2 : nullptr;
}

#else

LutBytesFn Avx2LutBytes() {
    return nullptr;
}

#endif
