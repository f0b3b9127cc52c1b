// AVX-512 VBMI table lookups, chosen at run time when the processor has them. The file is compiled for
// AVX-512 by the pragma below; nothing in it may run before that check.
#include "fusion/lut_bytes.h"
#include "pyramid/row_kernels.h"

#if (defined(__x86_64__) || defined(_M_X64)) && defined(__GNUC__)

#pragma GCC push_options
#pragma GCC target("avx512f,avx512bw,avx512vbmi")
#include <immintrin.h>

namespace {

void LutBytesVbmi(uint8_t* dst, const uint8_t* src, size_t count, const uint8_t* lut) {
    // The table as four 64-byte parts: one permute looks up the low half (index bit 6 picks the part), one
    // the high half, and index bit 7 chooses between them.
    const __m512i t0 = _mm512_loadu_si512(lut);
    const __m512i t1 = _mm512_loadu_si512(lut + 64);
    const __m512i t2 = _mm512_loadu_si512(lut + 128);
    const __m512i t3 = _mm512_loadu_si512(lut + 192);
    size_t k = 0;
    for (; k + 64 <= count; k += 64) {
        const __m512i v = _mm512_loadu_si512(src + k);
        const __m512i low = _mm512_permutex2var_epi8(t0, v, t1);
        const __m512i high = _mm512_permutex2var_epi8(t2, v, t3);
        _mm512_storeu_si512(dst + k, _mm512_mask_blend_epi8(_mm512_movepi8_mask(v), low, high));
    }
    if (k < count) {
        const __mmask64 tail = _cvtu64_mask64(~uint64_t{0} >> (64 - (count - k)));
        const __m512i v = _mm512_maskz_loadu_epi8(tail, src + k);
        const __m512i low = _mm512_permutex2var_epi8(t0, v, t1);
        const __m512i high = _mm512_permutex2var_epi8(t2, v, t3);
        _mm512_mask_storeu_epi8(dst + k, tail, _mm512_mask_blend_epi8(_mm512_movepi8_mask(v), low, high));
    }
}

}  // namespace

#pragma GCC pop_options

LutBytesFn Avx512VbmiLutBytes() {
    if (!Avx512Allowed())
        return nullptr;
    __builtin_cpu_init();
    if (!__builtin_cpu_supports("avx512f") || !__builtin_cpu_supports("avx512bw") ||
        !__builtin_cpu_supports("avx512vbmi"))
        return nullptr;
    return LutBytesVbmi;
}

#else

LutBytesFn Avx512VbmiLutBytes() {
    return nullptr;
}

#endif
