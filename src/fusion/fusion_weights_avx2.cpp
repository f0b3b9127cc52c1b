// AVX2 fusion weights, chosen at run time when the processor has AVX2: four pixels per step. The file is
// compiled for AVX2 by the pragma below; nothing in it may run before that check.
#include "fusion/fusion_weights.h"

#if (defined(__x86_64__) || defined(_M_X64)) && defined(__GNUC__)

// AVX2 only: FMA stays off so every product is rounded before its addition.
#pragma GCC push_options
#pragma GCC target("avx2")
#include <immintrin.h>

#include "fusion/fusion_weights_vector.h"

namespace {

struct Avx2D {
    using D = __m256d;
    static constexpr int32_t N = 4;
    static D Set1(double v) { return _mm256_set1_pd(v); }
    static D Add(D a, D b) { return _mm256_add_pd(a, b); }
    static D Sub(D a, D b) { return _mm256_sub_pd(a, b); }
    static D Mul(D a, D b) { return _mm256_mul_pd(a, b); }
    static D Div(D a, D b) { return _mm256_div_pd(a, b); }
    static D Sqrt(D a) { return _mm256_sqrt_pd(a); }
    static D Max(D a, D b) { return _mm256_max_pd(a, b); }
    static D Abs(D a) { return _mm256_andnot_pd(_mm256_set1_pd(-0.0), a); }
    static D GreaterThan(D a, D b) { return _mm256_cmp_pd(a, b, _CMP_GT_OQ); }
    static D Select(D mask, D a, D b) { return _mm256_blendv_pd(b, a, mask); }
    static D LoadF(const float* p) { return _mm256_cvtps_pd(_mm_loadu_ps(p)); }
    static void StoreF(float* p, D v) { _mm_storeu_ps(p, _mm256_cvtpd_ps(v)); }
    static D RoundF(D v) { return _mm256_cvtps_pd(_mm256_cvtpd_ps(v)); }
    static D AddToExponent(D p, D shifted) {
        const __m256i k =
            _mm256_sub_epi64(_mm256_castpd_si256(shifted), _mm256_castpd_si256(_mm256_set1_pd(6755399441055744.0)));
        return _mm256_castsi256_pd(_mm256_add_epi64(_mm256_castpd_si256(p), _mm256_slli_epi64(k, 52)));
    }
    static void SplitExponent(D x, D& e, D& m) {
        const __m256i bits = _mm256_castpd_si256(x);
        const __m256i two52 = _mm256_castpd_si256(_mm256_set1_pd(4503599627370496.0));
        e = _mm256_sub_pd(_mm256_castsi256_pd(_mm256_or_si256(_mm256_srli_epi64(bits, 52), two52)),
                          _mm256_set1_pd(4503599627370496.0 + 1023.0));
        const __m256i mantissa = _mm256_and_si256(bits, _mm256_set1_epi64x(0x000FFFFFFFFFFFFFll));
        m = _mm256_castsi256_pd(_mm256_or_si256(mantissa, _mm256_set1_epi64x(0x3FF0000000000000ll)));
    }
};

}  // namespace

#pragma GCC pop_options

const WeightSpanKernels* Avx2WeightSpanKernels() {
    __builtin_cpu_init();
    if (!__builtin_cpu_supports("avx2"))
        return nullptr;
    static const WeightSpanKernels kernels = fusionvec::MakeWeightSpanKernels<Avx2D>();
    return &kernels;
}

#else

const WeightSpanKernels* Avx2WeightSpanKernels() {
    return nullptr;
}

#endif
