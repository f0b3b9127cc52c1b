// AVX2 fusion weights, chosen at run time when the processor has AVX2: four pixels per step. The file is
// compiled for AVX2 by the pragma below; nothing in it may run before that check.
#include "fusion/fusion_weights.h"
#include "fusion/fusion_weights_bytes.h"

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

constexpr float kToneEntries = 766.0f;
constexpr float kContrastEntries = 3061.0f;

// Lanes holding integers 0 <= v < limit.
__m256 TableIndexMask(__m256 v, float limit) {
    const __m256 whole = _mm256_cvtepi32_ps(_mm256_cvttps_epi32(v));
    const __m256 inRange = _mm256_and_ps(_mm256_cmp_ps(v, _mm256_setzero_ps(), _CMP_GE_OQ),
                                         _mm256_cmp_ps(v, _mm256_set1_ps(limit), _CMP_LT_OQ));
    return _mm256_and_ps(inRange, _mm256_cmp_ps(whole, v, _CMP_EQ_OQ));
}

// (float)((double)v / 3.0) for eight floats.
__m256 ThirdOf(__m256 v) {
    const __m256d three = _mm256_set1_pd(3.0);
    const __m128 lo = _mm256_cvtpd_ps(_mm256_div_pd(_mm256_cvtps_pd(_mm256_castps256_ps128(v)), three));
    const __m128 hi = _mm256_cvtpd_ps(_mm256_div_pd(_mm256_cvtps_pd(_mm256_extractf128_ps(v, 1)), three));
    return _mm256_insertf128_ps(_mm256_castps128_ps256(lo), hi, 1);
}

// (float)((double)v + 1e-5) for eight floats.
__m256 PlusFloor(__m256 v) {
    const __m256d floor = _mm256_set1_pd(1e-5);
    const __m128 lo = _mm256_cvtpd_ps(_mm256_add_pd(_mm256_cvtps_pd(_mm256_castps256_ps128(v)), floor));
    const __m128 hi = _mm256_cvtpd_ps(_mm256_add_pd(_mm256_cvtps_pd(_mm256_extractf128_ps(v, 1)), floor));
    return _mm256_insertf128_ps(_mm256_castps128_ps256(lo), hi, 1);
}

int32_t ByteLevelPrepare(const WeightSpanArgs& a,
                         int32_t xBegin,
                         int32_t xEnd,
                         const float* contrastTable,
                         const float* toneTable,
                         float* contrast,
                         float* tone,
                         float* squares) {
    int32_t x = xBegin;
    const __m256 four = _mm256_set1_ps(4.0f);
    const __m256 sign = _mm256_set1_ps(-0.0f);
    for (; x + 8 <= xEnd; x += 8) {
        // Sums of byte guides are integers below 2^24: the scalar rule's double steps are exact in float.
        const __m256 leftTop = _mm256_add_ps(_mm256_loadu_ps(a.sumMid + x - 1), _mm256_loadu_ps(a.sumUp + x));
        __m256 lap = _mm256_sub_ps(leftTop, _mm256_mul_ps(four, _mm256_loadu_ps(a.sumMid + x)));
        lap = _mm256_add_ps(lap, _mm256_loadu_ps(a.sumMid + x + 1));
        lap = _mm256_add_ps(lap, _mm256_loadu_ps(a.sumDown + x));
        const __m256 absLap = _mm256_andnot_ps(sign, lap);
        const __m256 s = _mm256_loadu_ps(a.sumOwn + x);
        const __m256 ok = _mm256_and_ps(TableIndexMask(absLap, kContrastEntries), TableIndexMask(s, kToneEntries));
        if (_mm256_movemask_ps(ok) != 0xFF)
            break;
        _mm256_storeu_ps(contrast + x, _mm256_i32gather_ps(contrastTable, _mm256_cvttps_epi32(absLap), 4));
        _mm256_storeu_ps(tone + x, _mm256_i32gather_ps(toneTable, _mm256_cvttps_epi32(s), 4));
        const __m256 mean = ThirdOf(s);
        const __m256 d0 = _mm256_sub_ps(mean, _mm256_loadu_ps(a.guide[0] + x));
        const __m256 d1 = _mm256_sub_ps(mean, _mm256_loadu_ps(a.guide[1] + x));
        const __m256 d2 = _mm256_sub_ps(mean, _mm256_loadu_ps(a.guide[2] + x));
        const __m256 sq =
            _mm256_add_ps(_mm256_add_ps(_mm256_mul_ps(d0, d0), _mm256_mul_ps(d1, d1)), _mm256_mul_ps(d2, d2));
        _mm256_storeu_ps(squares + x, sq);
    }
    return x;
}

void ByteLevelFinish(const WeightSpanArgs& a,
                     int32_t xBegin,
                     int32_t xEnd,
                     const float* contrast,
                     const float* saturation,
                     const float* tone) {
    int32_t x = xBegin;
    for (; x + 8 <= xEnd; x += 8) {
        const __m256 product = _mm256_mul_ps(
            _mm256_mul_ps(_mm256_loadu_ps(contrast + x), _mm256_loadu_ps(saturation + x)), _mm256_loadu_ps(tone + x));
        const __m256 w = PlusFloor(product);
        _mm256_storeu_ps(a.weightSum + x, _mm256_add_ps(_mm256_loadu_ps(a.weightSum + x), w));
        for (int k = 0; k < 3; ++k) {
            const __m256 wv = _mm256_mul_ps(w, _mm256_loadu_ps(a.value[k] + x));
            _mm256_storeu_ps(a.weighted[k] + x, _mm256_add_ps(_mm256_loadu_ps(a.weighted[k] + x), wv));
        }
    }
    for (; x < xEnd; ++x) {
        const float product = contrast[x] * saturation[x] * tone[x];
        const float w = static_cast<float>(static_cast<double>(product) + 1e-5);
        a.weightSum[x] += w;
        for (int k = 0; k < 3; ++k)
            a.weighted[k][x] += w * a.value[k][x];
    }
}

}  // namespace

#pragma GCC pop_options

const ByteLevelKernels* Avx2ByteLevelKernels() {
    __builtin_cpu_init();
    if (!__builtin_cpu_supports("avx2"))
        return nullptr;
    static const ByteLevelKernels kernels{ByteLevelPrepare, ByteLevelFinish};
    return &kernels;
}

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

const ByteLevelKernels* Avx2ByteLevelKernels() {
    return nullptr;
}

#endif
