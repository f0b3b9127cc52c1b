// SSE2 fusion weights (always available on x86-64): two pixels per step.
#include "fusion/fusion_weights.h"

#if defined(__x86_64__) || defined(_M_X64)

#include <emmintrin.h>

#include "fusion/fusion_weights_vector.h"

namespace {

struct Sse2D {
    using D = __m128d;
    static constexpr int32_t N = 2;
    static D Set1(double v) { return _mm_set1_pd(v); }
    static D Add(D a, D b) { return _mm_add_pd(a, b); }
    static D Sub(D a, D b) { return _mm_sub_pd(a, b); }
    static D Mul(D a, D b) { return _mm_mul_pd(a, b); }
    static D Div(D a, D b) { return _mm_div_pd(a, b); }
    static D Sqrt(D a) { return _mm_sqrt_pd(a); }
    static D Max(D a, D b) { return _mm_max_pd(a, b); }
    static D Abs(D a) { return _mm_andnot_pd(_mm_set1_pd(-0.0), a); }
    static D GreaterThan(D a, D b) { return _mm_cmpgt_pd(a, b); }
    static D Select(D mask, D a, D b) { return _mm_or_pd(_mm_and_pd(mask, a), _mm_andnot_pd(mask, b)); }
    // Two floats through 64-bit moves that allow any alignment.
    static D LoadF(const float* p) {
        return _mm_cvtps_pd(_mm_castsi128_ps(_mm_loadl_epi64(reinterpret_cast<const __m128i*>(p))));
    }
    static void StoreF(float* p, D v) {
        _mm_storel_epi64(reinterpret_cast<__m128i*>(p), _mm_castps_si128(_mm_cvtpd_ps(v)));
    }
    static D RoundF(D v) { return _mm_cvtps_pd(_mm_cvtpd_ps(v)); }
    static D AddToExponent(D p, D shifted) {
        const __m128i k = _mm_sub_epi64(_mm_castpd_si128(shifted), _mm_castpd_si128(_mm_set1_pd(6755399441055744.0)));
        return _mm_castsi128_pd(_mm_add_epi64(_mm_castpd_si128(p), _mm_slli_epi64(k, 52)));
    }
    static void SplitExponent(D x, D& e, D& m) {
        const __m128i bits = _mm_castpd_si128(x);
        const __m128i two52 = _mm_castpd_si128(_mm_set1_pd(4503599627370496.0));
        e = _mm_sub_pd(_mm_castsi128_pd(_mm_or_si128(_mm_srli_epi64(bits, 52), two52)),
                       _mm_set1_pd(4503599627370496.0 + 1023.0));
        const __m128i mantissa = _mm_and_si128(bits, _mm_set1_epi64x(0x000FFFFFFFFFFFFFll));
        m = _mm_castsi128_pd(_mm_or_si128(mantissa, _mm_set1_epi64x(0x3FF0000000000000ll)));
    }
};

}  // namespace

const WeightSpanKernels* Sse2WeightSpanKernels() {
    static const WeightSpanKernels kernels = fusionvec::MakeWeightSpanKernels<Sse2D>();
    return &kernels;
}

#else

const WeightSpanKernels* Sse2WeightSpanKernels() {
    return nullptr;
}

#endif
