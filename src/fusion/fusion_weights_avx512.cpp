// AVX-512 fusion weights, chosen at run time when the processor has AVX-512 F and DQ: eight pixels per step.
// The file is compiled for AVX-512 by the pragma below; nothing in it may run before that check.
#include "fusion/fusion_weights.h"

#if (defined(__x86_64__) || defined(_M_X64)) && defined(__GNUC__)

// FMA stays off (the build never contracts) so every product is rounded before its addition.
#pragma GCC push_options
#pragma GCC target("avx512f,avx512dq")
#include <immintrin.h>

#include "fusion/fusion_weights_vector.h"

namespace {

struct Avx512D {
    using D = __m512d;
    static constexpr int32_t N = 8;
    static D Set1(double v) { return _mm512_set1_pd(v); }
    static D Add(D a, D b) { return _mm512_add_pd(a, b); }
    static D Sub(D a, D b) { return _mm512_sub_pd(a, b); }
    static D Mul(D a, D b) { return _mm512_mul_pd(a, b); }
    static D Div(D a, D b) { return _mm512_div_pd(a, b); }
    static D Sqrt(D a) { return _mm512_sqrt_pd(a); }
    static D Max(D a, D b) { return _mm512_max_pd(a, b); }
    static D Abs(D a) { return _mm512_andnot_pd(_mm512_set1_pd(-0.0), a); }
    // Masks travel as all-ones lanes, like the narrower sets.
    static D GreaterThan(D a, D b) {
        return _mm512_castsi512_pd(_mm512_movm_epi64(_mm512_cmp_pd_mask(a, b, _CMP_GT_OQ)));
    }
    static D Select(D mask, D a, D b) {
        return _mm512_mask_blend_pd(_mm512_movepi64_mask(_mm512_castpd_si512(mask)), b, a);
    }
    static D LoadF(const float* p) { return _mm512_cvtps_pd(_mm256_loadu_ps(p)); }
    static void StoreF(float* p, D v) { _mm256_storeu_ps(p, _mm512_cvtpd_ps(v)); }
    static D RoundF(D v) { return _mm512_cvtps_pd(_mm512_cvtpd_ps(v)); }
    static D AddToExponent(D p, D shifted) {
        const __m512i k =
            _mm512_sub_epi64(_mm512_castpd_si512(shifted), _mm512_castpd_si512(_mm512_set1_pd(6755399441055744.0)));
        return _mm512_castsi512_pd(_mm512_add_epi64(_mm512_castpd_si512(p), _mm512_slli_epi64(k, 52)));
    }
    static void SplitExponent(D x, D& e, D& m) {
        const __m512i bits = _mm512_castpd_si512(x);
        const __m512i two52 = _mm512_castpd_si512(_mm512_set1_pd(4503599627370496.0));
        e = _mm512_sub_pd(_mm512_castsi512_pd(_mm512_or_si512(_mm512_srli_epi64(bits, 52), two52)),
                          _mm512_set1_pd(4503599627370496.0 + 1023.0));
        const __m512i mantissa = _mm512_and_si512(bits, _mm512_set1_epi64(0x000FFFFFFFFFFFFFll));
        m = _mm512_castsi512_pd(_mm512_or_si512(mantissa, _mm512_set1_epi64(0x3FF0000000000000ll)));
    }
};

}  // namespace

#pragma GCC pop_options

const WeightSpanKernels* Avx512WeightSpanKernels() {
    __builtin_cpu_init();
    if (!__builtin_cpu_supports("avx512f") || !__builtin_cpu_supports("avx512dq"))
        return nullptr;
    static const WeightSpanKernels kernels = fusionvec::MakeWeightSpanKernels<Avx512D>();
    return &kernels;
}

#else

const WeightSpanKernels* Avx512WeightSpanKernels() {
    return nullptr;
}

#endif
