// AVX-512 fusion weights, chosen at run time when the processor has AVX-512 F and DQ: sixteen pixels per step
// in single precision. The file is compiled for AVX-512 by the pragma below; nothing in it may run before
// that check.
#include "fusion/fusion_weights.h"
#include "pyramid/row_kernels.h"

#if (defined(__x86_64__) || defined(_M_X64)) && defined(__GNUC__)

#pragma GCC push_options
#pragma GCC target("avx512f,avx512dq")
// GCC 12's AVX-512 casts and inserts start from an undefined register and warn about it.
#pragma GCC diagnostic ignored "-Wmaybe-uninitialized"
#include <immintrin.h>

#include "fusion/fusion_weights_float.h"

namespace {

struct Avx512F {
    using F = __m512;
    using D = __m512d;
    using I = __m512i;
    using Mask = __mmask16;
    static constexpr int32_t N = 16;
    static F Set1(float v) { return _mm512_set1_ps(v); }
    static F Load(const float* p) { return _mm512_loadu_ps(p); }
    static void Store(float* p, F v) { _mm512_storeu_ps(p, v); }
    static F Add(F a, F b) { return _mm512_add_ps(a, b); }
    static F Sub(F a, F b) { return _mm512_sub_ps(a, b); }
    static F Mul(F a, F b) { return _mm512_mul_ps(a, b); }
    static F Div(F a, F b) { return _mm512_div_ps(a, b); }
    static F Fma(F a, F b, F c) { return _mm512_fmadd_ps(a, b, c); }
    static F Neg(F a) {
        return _mm512_castsi512_ps(_mm512_xor_si512(_mm512_castps_si512(a), _mm512_set1_epi32(INT32_MIN)));
    }
    static F Sqrt(F a) { return _mm512_sqrt_ps(a); }
    static F Abs(F a) {
        return _mm512_castsi512_ps(_mm512_and_si512(_mm512_castps_si512(a), _mm512_set1_epi32(INT32_MAX)));
    }
    static F RoundInt(F a) { return _mm512_roundscale_ps(a, _MM_FROUND_TO_NEAREST_INT | _MM_FROUND_NO_EXC); }
    static Mask Greater(F a, F b) { return _mm512_cmp_ps_mask(a, b, _CMP_GT_OQ); }
    static F Select(Mask m, F a, F b) { return _mm512_mask_blend_ps(m, b, a); }
    static I AsInt(F a) { return _mm512_castps_si512(a); }
    static F AsFloat(I a) { return _mm512_castsi512_ps(a); }
    static I Set1Int(int32_t v) { return _mm512_set1_epi32(v); }
    static I SubInt(I a, I b) { return _mm512_sub_epi32(a, b); }
    static I ShiftRightArith23(I a) { return _mm512_srai_epi32(a, 23); }
    static I ShiftLeft23(I a) { return _mm512_slli_epi32(a, 23); }
    static F IntToFloat(I a) { return _mm512_cvtepi32_ps(a); }
    static bool AllLess(F a, F b) { return _mm512_cmp_ps_mask(a, b, _CMP_LT_OQ) == 0xFFFF; }
    // table[i] for lanes holding whole numbers i.
    static F Gather(const float* table, F i) { return _mm512_i32gather_ps(_mm512_cvttps_epi32(i), table, 4); }
    // p * 2^n for integral n, with underflow to zero and denormals as the hardware does them.
    static F Scale(F p, F n) { return _mm512_scalef_ps(p, n); }
    static F ScaleNormal(F p, F n) { return _mm512_scalef_ps(p, n); }

    static D Set1D(double v) { return _mm512_set1_pd(v); }
    static D AddD(D a, D b) { return _mm512_add_pd(a, b); }
    static D SubD(D a, D b) { return _mm512_sub_pd(a, b); }
    static D MulD(D a, D b) { return _mm512_mul_pd(a, b); }
    // Lanes 0..7 (h = 0) or 8..15 (h = 1) in double, and back to float.
    static D Half(F v, int h) {
        return _mm512_cvtps_pd(h == 0 ? _mm512_castps512_ps256(v) : _mm512_extractf32x8_ps(v, 1));
    }
    static F Join(D lo, D hi) {
        return _mm512_insertf32x8(_mm512_castps256_ps512(_mm512_cvtpd_ps(lo)), _mm512_cvtpd_ps(hi), 1);
    }
};

}  // namespace

#pragma GCC pop_options

const WeightSpanKernels* Avx512WeightSpanKernels() {
    if (!Avx512Allowed())
        return nullptr;
    __builtin_cpu_init();
    if (!__builtin_cpu_supports("avx512f") || !__builtin_cpu_supports("avx512dq"))
        return nullptr;
    static const WeightSpanKernels kernels = fusionflt::MakeWeightSpanKernels<Avx512F>();
    return &kernels;
}

#else

const WeightSpanKernels* Avx512WeightSpanKernels() {
    return nullptr;
}

#endif
