// AVX2 fusion weights, chosen at run time when the processor has AVX2 and FMA: eight pixels per step in
// single precision. The file is compiled for those sets by the pragma below; nothing in it may run before the
// check.
#include "fusion/fusion_weights.h"

#if (defined(__x86_64__) || defined(_M_X64)) && defined(__GNUC__)

#pragma GCC push_options
#pragma GCC target("avx2,fma")
#include <immintrin.h>

#include "fusion/fusion_weights_float.h"
#include "fusion/fusion_weights_pair.h"

namespace {

struct Avx2F {
    using F = __m256;
    using D = __m256d;
    using I = __m256i;
    using Mask = __m256;
    static constexpr int32_t N = 8;
    static F Set1(float v) { return _mm256_set1_ps(v); }
    static F Load(const float* p) { return _mm256_loadu_ps(p); }
    static void Store(float* p, F v) { _mm256_storeu_ps(p, v); }
    static F Add(F a, F b) { return _mm256_add_ps(a, b); }
    static F Sub(F a, F b) { return _mm256_sub_ps(a, b); }
    static F Mul(F a, F b) { return _mm256_mul_ps(a, b); }
    static F Div(F a, F b) { return _mm256_div_ps(a, b); }
    static F Fma(F a, F b, F c) { return _mm256_fmadd_ps(a, b, c); }
    static F Neg(F a) { return _mm256_xor_ps(a, _mm256_set1_ps(-0.0f)); }
    static F Sqrt(F a) { return _mm256_sqrt_ps(a); }
    static F Abs(F a) { return _mm256_andnot_ps(_mm256_set1_ps(-0.0f), a); }
    static F RoundInt(F a) { return _mm256_round_ps(a, _MM_FROUND_TO_NEAREST_INT | _MM_FROUND_NO_EXC); }
    static Mask Greater(F a, F b) { return _mm256_cmp_ps(a, b, _CMP_GT_OQ); }
    static F Select(Mask m, F a, F b) { return _mm256_blendv_ps(b, a, m); }
    static I AsInt(F a) { return _mm256_castps_si256(a); }
    static F AsFloat(I a) { return _mm256_castsi256_ps(a); }
    static I Set1Int(int32_t v) { return _mm256_set1_epi32(v); }
    static I SubInt(I a, I b) { return _mm256_sub_epi32(a, b); }
    static I ShiftRightArith23(I a) { return _mm256_srai_epi32(a, 23); }
    static I ShiftLeft23(I a) { return _mm256_slli_epi32(a, 23); }
    static F IntToFloat(I a) { return _mm256_cvtepi32_ps(a); }
    static bool AllLess(F a, F b) { return _mm256_movemask_ps(_mm256_cmp_ps(a, b, _CMP_LT_OQ)) == 0xFF; }
    // table[i] for lanes holding whole numbers i.
    static F Gather(const float* table, F i) { return _mm256_i32gather_ps(table, _mm256_cvttps_epi32(i), 4); }
    // p * 2^n for integral n and p in [0.5, 2]: the exponent field takes at most 2^-100, a product does the rest
    // so that tiny results round to denormals as the hardware does them.
    static F Scale(F p, F n) {
        const F small = _mm256_cmp_ps(n, _mm256_set1_ps(-100.0f), _CMP_LT_OQ);
        const F bounded = _mm256_max_ps(n, _mm256_set1_ps(-200.0f));
        const F k = _mm256_add_ps(bounded, _mm256_and_ps(small, _mm256_set1_ps(100.0f)));
        const __m256i shift = _mm256_slli_epi32(_mm256_cvtps_epi32(k), 23);
        const F scaled = _mm256_castsi256_ps(_mm256_add_epi32(_mm256_castps_si256(p), shift));
        return _mm256_mul_ps(scaled, _mm256_blendv_ps(_mm256_set1_ps(1.0f), _mm256_set1_ps(7.88860905e-31f), small));
    }

    // p * 2^n for integral n where the product stays a normal float: n added to the exponent field.
    static F ScaleNormal(F p, F n) {
        return _mm256_castsi256_ps(
            _mm256_add_epi32(_mm256_castps_si256(p), _mm256_slli_epi32(_mm256_cvtps_epi32(n), 23)));
    }

    static D Set1D(double v) { return _mm256_set1_pd(v); }
    static D AddD(D a, D b) { return _mm256_add_pd(a, b); }
    static D SubD(D a, D b) { return _mm256_sub_pd(a, b); }
    static D MulD(D a, D b) { return _mm256_mul_pd(a, b); }
    static D Half(F v, int h) {
        return _mm256_cvtps_pd(h == 0 ? _mm256_castps256_ps128(v) : _mm256_extractf128_ps(v, 1));
    }
    static F Join(D lo, D hi) {
        return _mm256_insertf128_ps(_mm256_castps128_ps256(_mm256_cvtpd_ps(lo)), _mm256_cvtpd_ps(hi), 1);
    }
};

}  // namespace

#pragma GCC pop_options

const WeightSpanKernels* Avx2WeightSpanKernels() {
    __builtin_cpu_init();
    if (!__builtin_cpu_supports("avx2") || !__builtin_cpu_supports("fma"))
        return nullptr;
    static const WeightSpanKernels kernels = fusionflt::MakeWeightSpanKernels<fusionflt::Pair<Avx2F>>();
    return &kernels;
}

#else

const WeightSpanKernels* Avx2WeightSpanKernels() {
    return nullptr;
}

#endif
