// Fusion weights of several pixels at once over a small double-vector interface, for the baseline set (SSE2:
// two lanes), which keeps the scalar rounding nearly everywhere. Every single-precision step of the scalar
// code is done in double and rounded to float right away, which gives the same bits (double has more than
// twice float's precision, so one rounding to double and one to float equal one rounding to float for +, -,
// *, / and sqrt). Only exp and pow are polynomials of their own, and the divisions by constants are products
// with the reciprocal: accurate to about 1e-11, so after the rounding to float they nearly always give the
// bits of the C library, and otherwise the neighbouring float.
#pragma once

#include <cstdint>

#include "fusion/fusion_weights.h"

namespace fusionvec {

using SpanArgs = WeightSpanArgs;

struct Consts {
    static constexpr double kLn2Hi = 6.93147180369123816490e-01;
    static constexpr double kLn2Lo = 1.90821492927058770002e-10;
    static constexpr double kInvLn2 = 1.44269504088896338700e+00;
    static constexpr double kSqrt2 = 1.41421356237309504880;
};

// exp(x) for x <= 0; below -110 the result is 0 after the rounding to float anyway.
template <class V>
inline typename V::D Exp(typename V::D x) {
    using D = typename V::D;
    x = V::Max(x, V::Set1(-110.0));
    const D shifter = V::Set1(6755399441055744.0);  // 1.5 * 2^52: adding it rounds to an integer in the low bits
    const D t = V::Add(V::Mul(x, V::Set1(Consts::kInvLn2)), shifter);
    const D k = V::Sub(t, shifter);
    const D r = V::Sub(V::Sub(x, V::Mul(k, V::Set1(Consts::kLn2Hi))), V::Mul(k, V::Set1(Consts::kLn2Lo)));
    // Taylor series to r^10 / 10!: |r| <= 0.35, error below 1e-11.
    D p = V::Set1(1.0 / 3628800.0);
    p = V::Add(V::Mul(p, r), V::Set1(1.0 / 362880.0));
    p = V::Add(V::Mul(p, r), V::Set1(1.0 / 40320.0));
    p = V::Add(V::Mul(p, r), V::Set1(1.0 / 5040.0));
    p = V::Add(V::Mul(p, r), V::Set1(1.0 / 720.0));
    p = V::Add(V::Mul(p, r), V::Set1(1.0 / 120.0));
    p = V::Add(V::Mul(p, r), V::Set1(1.0 / 24.0));
    p = V::Add(V::Mul(p, r), V::Set1(1.0 / 6.0));
    p = V::Add(V::Mul(p, r), V::Set1(0.5));
    p = V::Add(V::Mul(p, r), V::Set1(1.0));
    p = V::Add(V::Mul(p, r), V::Set1(1.0));
    // The integer k sits in the low bits of t; shifted into the exponent field it scales p by 2^k.
    return V::AddToExponent(p, t);
}

// log(x) for normal positive x.
template <class V>
inline typename V::D Log(typename V::D x) {
    using D = typename V::D;
    D e, m;
    V::SplitExponent(x, e, m);  // x = m * 2^e, m in [1, 2)
    const D big = V::GreaterThan(m, V::Set1(Consts::kSqrt2));
    m = V::Select(big, V::Mul(m, V::Set1(0.5)), m);
    e = V::Select(big, V::Add(e, V::Set1(1.0)), e);
    const D f = V::Div(V::Sub(m, V::Set1(1.0)), V::Add(m, V::Set1(1.0)));  // |f| <= 0.1716
    const D f2 = V::Mul(f, f);
    D p = V::Set1(2.0 / 13.0);  // terms to f^13: error below 1e-11
    p = V::Add(V::Mul(p, f2), V::Set1(2.0 / 11.0));
    p = V::Add(V::Mul(p, f2), V::Set1(2.0 / 9.0));
    p = V::Add(V::Mul(p, f2), V::Set1(2.0 / 7.0));
    p = V::Add(V::Mul(p, f2), V::Set1(2.0 / 5.0));
    p = V::Add(V::Mul(p, f2), V::Set1(2.0 / 3.0));
    p = V::Add(V::Mul(p, f2), V::Set1(2.0));
    const D logM = V::Mul(p, f);
    return V::Add(V::Mul(e, V::Set1(Consts::kLn2Hi)), V::Add(logM, V::Mul(e, V::Set1(Consts::kLn2Lo))));
}

// powf(x, y) for floats x >= 0 (held in doubles), y > 0, rounded to float.
template <class V>
inline typename V::D PowF(typename V::D x, typename V::D y) {
    const typename V::D zero = V::Set1(0.0);
    const typename V::D positive = V::GreaterThan(x, zero);
    const typename V::D safe = V::Select(positive, x, V::Set1(1.0));
    const typename V::D r = V::RoundF(Exp<V>(V::Mul(y, Log<V>(safe))));
    return V::Select(positive, r, zero);
}

// Columns from xBegin on in whole vectors, all with a centred window (1 <= x <= width - 2) and below xEnd.
// Returns the first column not done.
template <class V, bool Top>
int32_t WeightSpan(const SpanArgs& a, int32_t xBegin, int32_t xEnd) {
    using D = typename V::D;
    constexpr int32_t N = V::N;
    // x / 3 rounded to float equals x * (1 / 3) rounded to float for every float x: the quotient is never
    // near enough to a midpoint between floats for the double product's error to matter.
    const D third = V::Set1(1.0 / 3.0);
    const D four = V::Set1(4.0);
    const D tiny = V::Set1(static_cast<double>(1e-5f));
    const D floor = V::Set1(1e-5);
    const D hundredth = V::Set1(-0.01);
    const D m = V::Set1(static_cast<double>(a.midTone));
    const D ec = V::Set1(static_cast<double>(a.ec));
    const D es = V::Set1(static_cast<double>(a.es));
    const D ee = V::Set1(static_cast<double>(a.ee));
    int32_t x = xBegin;
    for (; x + N <= xEnd; x += N) {
        // Contrast of the guide sums.
        const D leftTop = V::RoundF(V::Add(V::LoadF(a.sumMid + x - 1), V::LoadF(a.sumUp + x)));
        D d = V::Sub(leftTop, V::Mul(four, V::LoadF(a.sumMid + x)));
        d = V::Add(d, V::LoadF(a.sumMid + x + 1));
        d = V::Add(d, V::LoadF(a.sumDown + x));
        const D absLap = V::Abs(V::RoundF(d));
        D c = V::RoundF(V::Mul(absLap, third));
        if (!Top)
            c = V::RoundF(V::Add(c, tiny));
        const D contrast = V::RoundF(V::Sqrt(PowF<V>(c, ec)));

        // Tone and saturation of the pixel's own guides.
        const D s = V::LoadF(a.sumOwn + x);
        const D mean = V::RoundF(V::Mul(s, third));  // s / 3.0f and (float)(s / 3.0) agree
        const D diff = V::RoundF(V::Sub(mean, m));
        const D square = V::RoundF(V::Mul(diff, diff));
        D e = V::RoundF(Exp<V>(V::Mul(square, hundredth)));
        if (!Top)
            e = V::RoundF(V::Add(e, tiny));
        const D tone = PowF<V>(e, ee);

        const D g0 = V::LoadF(a.guide[0] + x);
        const D g1 = V::LoadF(a.guide[1] + x);
        const D g2 = V::LoadF(a.guide[2] + x);
        const D d0 = V::RoundF(V::Sub(mean, g0));
        const D d1 = V::RoundF(V::Sub(mean, g1));
        const D d2 = V::RoundF(V::Sub(mean, g2));
        D squares = V::RoundF(V::Add(V::RoundF(V::Mul(d0, d0)), V::RoundF(V::Mul(d1, d1))));
        squares = V::RoundF(V::Add(squares, V::RoundF(V::Mul(d2, d2))));
        D sat = V::RoundF(V::Sqrt(V::Mul(squares, third)));
        if (!Top)
            sat = V::RoundF(V::Add(sat, tiny));
        const D saturation = PowF<V>(sat, es);

        const D product = V::RoundF(V::Mul(V::RoundF(V::Mul(contrast, saturation)), tone));
        const D w = V::RoundF(V::Add(product, floor));

        V::StoreF(a.weightSum + x, V::RoundF(V::Add(V::LoadF(a.weightSum + x), w)));
        for (int k = 0; k < 3; ++k) {
            const D wv = V::RoundF(V::Mul(w, V::LoadF(a.value[k] + x)));
            V::StoreF(a.weighted[k] + x, V::RoundF(V::Add(V::LoadF(a.weighted[k] + x), wv)));
        }
    }
    return x;
}

// The kernels of one instruction set.
template <class V>
WeightSpanKernels MakeWeightSpanKernels() {
    return WeightSpanKernels{WeightSpan<V, false>, WeightSpan<V, true>, nullptr};
}

}  // namespace fusionvec
