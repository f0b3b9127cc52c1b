// Fusion weights of many pixels at once in single precision, for the wide instruction sets with FMA. The steps
// whose rounding decides much of the result stay as in the scalar rules: the contrast tap in double, the sums
// of squares, the products and the accumulation in float in the same order. exp and pow are polynomials of
// their own in float, accurate to about one unit in the last place; a weight's three factors each raise
// their argument to a power below one, which shrinks any earlier error further, so the weights stay within a
// few units of the scalar ones.
#pragma once

#include <algorithm>
#include <cstdint>

#include "fusion/fusion_weights.h"

namespace fusionflt {

// 2^r for |r| <= 0.5: Taylor series of e^(r ln 2) to the seventh power (truncation below 6e-9).
template <class V>
inline typename V::F Exp2Reduced(typename V::F r) {
    using F = typename V::F;
    constexpr double kLn2 = 0.69314718055994530942;
    F p = V::Set1(static_cast<float>(kLn2 * kLn2 * kLn2 * kLn2 * kLn2 * kLn2 * kLn2 / 5040.0));
    p = V::Fma(p, r, V::Set1(static_cast<float>(kLn2 * kLn2 * kLn2 * kLn2 * kLn2 * kLn2 / 720.0)));
    p = V::Fma(p, r, V::Set1(static_cast<float>(kLn2 * kLn2 * kLn2 * kLn2 * kLn2 / 120.0)));
    p = V::Fma(p, r, V::Set1(static_cast<float>(kLn2 * kLn2 * kLn2 * kLn2 / 24.0)));
    p = V::Fma(p, r, V::Set1(static_cast<float>(kLn2 * kLn2 * kLn2 / 6.0)));
    p = V::Fma(p, r, V::Set1(static_cast<float>(kLn2 * kLn2 / 2.0)));
    p = V::Fma(p, r, V::Set1(static_cast<float>(kLn2)));
    return V::Fma(p, r, V::Set1(1.0f));
}

// log2 m for a normal x > 0 split as x = m * 2^k with m in [sqrt(1/2), sqrt(2)).
template <class V>
inline typename V::F Log2Split(typename V::F x, typename V::I& k) {
    using F = typename V::F;
    const typename V::I bits = V::AsInt(x);
    k = V::ShiftRightArith23(V::SubInt(bits, V::Set1Int(0x3f3504f3)));
    const F m = V::AsFloat(V::SubInt(bits, V::ShiftLeft23(k)));
    // ln m = 2 atanh(u), u = (m - 1) / (m + 1), |u| <= 0.1716: series to u^9 (truncation below 1e-9).
    const F u = V::Div(V::Sub(m, V::Set1(1.0f)), V::Add(m, V::Set1(1.0f)));
    const F u2 = V::Mul(u, u);
    F s = V::Set1(1.0f / 9.0f);
    s = V::Fma(s, u2, V::Set1(1.0f / 7.0f));
    s = V::Fma(s, u2, V::Set1(1.0f / 5.0f));
    s = V::Fma(s, u2, V::Set1(1.0f / 3.0f));
    s = V::Fma(s, u2, V::Set1(1.0f));
    // log2 m = u * s * 2 / ln 2
    return V::Mul(V::Mul(u, V::Set1(static_cast<float>(2.0 / 0.69314718055994530942))), s);
}

// y (k + log2m) as a whole number n plus a remainder t: y * k is carried exactly through FMA.
template <class V>
inline void ScaledLog2(typename V::F k, typename V::F log2m, typename V::F y, typename V::F& n, typename V::F& t) {
    const typename V::F a = V::Mul(y, k);
    const typename V::F aLow = V::Fma(y, k, V::Neg(a));  // y * k - a, exactly
    n = V::RoundInt(a);
    t = V::Add(V::Sub(a, n), V::Add(aLow, V::Mul(y, log2m)));
}

// y log2 x for floats x >= 0 and 0 < y, as a whole number n plus a remainder t with |t| <= 1: y * exponent(x)
// is carried exactly through FMA so that large exponents lose nothing. positive marks the lanes with x > 0.
template <class V>
struct PowerOf {
    typename V::F n, t;
    decltype(V::Greater(typename V::F{}, typename V::F{})) positive;
};

template <class V>
inline PowerOf<V> Power(typename V::F x, typename V::F y) {
    using F = typename V::F;
    PowerOf<V> p;
    p.positive = V::Greater(x, V::Set1(0.0f));
    // Denormals (tiny tone measures at the top level) are scaled up by 2^24 first.
    const auto denormal = V::Greater(V::Set1(1.17549435e-38f), x);
    const F safe = V::Select(p.positive, V::Select(denormal, V::Mul(x, V::Set1(16777216.0f)), x), V::Set1(1.0f));
    typename V::I k;
    const F log2m = Log2Split<V>(safe, k);
    const F kf = V::Sub(V::IntToFloat(k), V::Select(denormal, V::Set1(24.0f), V::Set1(0.0f)));
    ScaledLog2<V>(kf, log2m, y, p.n, p.t);
    return p;
}

// x^y for normal x > 0 and y > 0 whose result lies well inside the normal range: Power and Exp2Of without their
// steps for zero, denormals and underflow.
template <class V>
inline typename V::F PowNormal(typename V::F x, typename V::F y) {
    using F = typename V::F;
    typename V::I k;
    const F log2m = Log2Split<V>(x, k);
    F n, t;
    ScaledLog2<V>(V::IntToFloat(k), log2m, y, n, t);
    const F whole = V::RoundInt(t);
    return V::ScaleNormal(Exp2Reduced<V>(V::Sub(t, whole)), V::Add(n, whole));
}

// 2^(n + t) for whole n.
template <class V>
inline typename V::F Exp2Of(typename V::F n, typename V::F t) {
    const typename V::F whole = V::RoundInt(t);
    return V::Scale(Exp2Reduced<V>(V::Sub(t, whole)), V::Add(n, whole));
}

// x^y.
template <class V>
inline typename V::F Pow(typename V::F x, typename V::F y) {
    const PowerOf<V> p = Power<V>(x, y);
    return V::Select(p.positive, Exp2Of<V>(p.n, p.t), V::Set1(0.0f));
}

// a^x * b^y * c^z in one exponentiation: within a few units of the product of the three rounded powers.
template <class V>
inline typename V::F PowProduct(const PowerOf<V>& a, const PowerOf<V>& b, const PowerOf<V>& c) {
    const typename V::F product = Exp2Of<V>(V::Add(V::Add(a.n, b.n), c.n), V::Add(V::Add(a.t, b.t), c.t));
    return V::Select(a.positive, V::Select(b.positive, V::Select(c.positive, product, V::Set1(0.0f)), V::Set1(0.0f)),
                     V::Set1(0.0f));
}

// (float)exp(-square / 100) for floats square >= 0. The exponent in base 2, square * (-log2(e) / 100), is carried
// as a float and its rounding error (through FMA) with a constant split in two floats: together about 48 bits,
// as exact as the reduction in double.
template <class V>
inline typename V::F ExpOfMinusHundredth(typename V::F square) {
    using F = typename V::F;
    constexpr double kScale = -1.44269504088896340736 / 100.0;
    const F high = V::Set1(static_cast<float>(kScale));
    const F low = V::Set1(static_cast<float>(kScale - static_cast<double>(static_cast<float>(kScale))));
    const F t = V::Mul(square, high);
    const F tLow = V::Fma(square, low, V::Fma(square, high, V::Neg(t)));
    const F n = V::RoundInt(t);
    return V::Scale(Exp2Reduced<V>(V::Add(V::Sub(t, n), tLow)), n);
}

// x / 3 for finite x, correctly rounded: the product with the rounded third, corrected once by its exact
// residue. Checked over every finite float; it takes a multiply and two FMAs instead of a division.
template <class V>
inline typename V::F Third(typename V::F x) {
    const typename V::F third = V::Set1(1.0f / 3.0f);
    const typename V::F q = V::Mul(x, third);
    return V::Fma(V::Fma(V::Neg(q), V::Set1(3.0f), x), third, q);
}

// Sum of the squared deviations of the pixels' guides from their mean, in the scalar order.
template <class V>
inline typename V::F SquaredDeviations(const WeightSpanArgs& a, int32_t x, typename V::F mean) {
    const typename V::F d0 = V::Sub(mean, V::Load(a.guide[0] + x));
    const typename V::F d1 = V::Sub(mean, V::Load(a.guide[1] + x));
    const typename V::F d2 = V::Sub(mean, V::Load(a.guide[2] + x));
    return V::Add(V::Add(V::Mul(d0, d0), V::Mul(d1, d1)), V::Mul(d2, d2));
}

// Adds the weights w to the weight sums and w * value to the weighted sums.
template <class V>
inline void Accumulate(const WeightSpanArgs& a, int32_t x, typename V::F w) {
    V::Store(a.weightSum + x, V::Add(V::Load(a.weightSum + x), w));
    for (int k = 0; k < 3; ++k) {
        const typename V::F wv = V::Mul(w, V::Load(a.value[k] + x));
        V::Store(a.weighted[k] + x, V::Add(V::Load(a.weighted[k] + x), wv));
    }
}

// Columns from xBegin on in whole vectors, all with a centred window (1 <= x <= width - 2) and below xEnd.
// Returns the first column not done.
template <class V, bool Top>
int32_t WeightSpan(const WeightSpanArgs& a, int32_t xBegin, int32_t xEnd) {
    using F = typename V::F;
    using D = typename V::D;
    constexpr int32_t N = V::N;
    const F tiny = V::Set1(1e-5f);
    const F m = V::Set1(a.midTone);
    const F halfEc = V::Set1(a.ec * 0.5f);
    const F es = V::Set1(a.es);
    const F ee = V::Set1(a.ee);
    const D fourD = V::Set1D(4.0);
    // The program weighs with one exponent for all three factors (about 0.167). Up to 2, every weight stays a
    // normal float.
    const bool oneBase = !Top && a.ec == a.es && a.es == a.ee && a.ec <= 2.0f;
    // A weight is one long chain of dependent steps. Taken in two halves over a few vectors at a time, with the
    // three factors' bases kept in between, each half's chains overlap across vectors.
    constexpr int32_t kChunk = 8 * N;
    alignas(64) float contrastOf[kChunk], toneOf[kChunk], saturationOf[kChunk];
    int32_t x = xBegin;
    while (x + N <= xEnd) {
        const int32_t count = std::min(kChunk, (xEnd - x) / N * N);
        for (int32_t i = 0; i < count; i += N) {
            const int32_t at = x + i;
            // Contrast tap: the float sum of left and top, the rest in double as the scalar rule does it.
            const F leftTop = V::Add(V::Load(a.sumMid + at - 1), V::Load(a.sumUp + at));
            const F centre = V::Load(a.sumMid + at);
            const F right = V::Load(a.sumMid + at + 1);
            const F bottom = V::Load(a.sumDown + at);
            D lap[2];
            for (int h = 0; h < 2; ++h) {
                D d = V::SubD(V::Half(leftTop, h), V::MulD(fourD, V::Half(centre, h)));
                d = V::AddD(d, V::Half(right, h));
                lap[h] = V::AddD(d, V::Half(bottom, h));
            }
            // (float)(|lap| / 3.0) is the float quotient: a third is never close enough to a float midpoint for
            // the double rounding to matter.
            F c = Third<V>(V::Abs(V::Join(lap[0], lap[1])));
            if (!Top)
                c = V::Add(c, tiny);

            // Tone: s / 3 - midTone, squared, then exp(-square / 100).
            const F s = V::Load(a.sumOwn + at);
            const F mean = Third<V>(s);
            const F diff = V::Sub(mean, m);
            const F square = V::Mul(diff, diff);
            F e = ExpOfMinusHundredth<V>(square);
            if (!Top)
                e = V::Add(e, tiny);

            // Saturation: deviation of the guides from their mean.
            const F squares = SquaredDeviations<V>(a, at, mean);
            F sat = V::Sqrt(Third<V>(squares));
            if (!Top)
                sat = V::Add(sat, tiny);
            V::Store(contrastOf + i, c);
            V::Store(toneOf + i, e);
            V::Store(saturationOf + i, sat);
        }
        for (int32_t i = 0; i < count; i += N) {
            // sqrt(c^ec) * sat^es * e^ee, the square root as half the exponent.
            F product;
            if (oneBase) {
                // (c sat^2 e^2)^(ec / 2): one logarithm instead of three. Below the top every factor is at least
                // 1e-5, the contrast at most about 1000 and the saturation 120, so the product is a normal float,
                // and the exponent shrinks its rounding to well below a unit of the weight.
                const F sat = V::Load(saturationOf + i);
                const F e = V::Load(toneOf + i);
                product = PowNormal<V>(V::Mul(V::Mul(V::Load(contrastOf + i), V::Mul(sat, sat)), V::Mul(e, e)), halfEc);
            } else {
                product = PowProduct<V>(Power<V>(V::Load(contrastOf + i), halfEc),
                                        Power<V>(V::Load(saturationOf + i), es), Power<V>(V::Load(toneOf + i), ee));
            }
            Accumulate<V>(a, x + i, V::Add(product, tiny));
        }
        x += count;
    }
    return x;
}

// Level 0 below the top, where every guide is a byte: the guide sums, the contrast tap and K are integers
// computed exactly in float, so all three factors come from tables and the weights do not depend on the
// vector set. Stops early at a vector whose indices fall outside the tables.
template <class V>
int32_t ByteLevelSpan(const WeightSpanArgs& a, int32_t xBegin, int32_t xEnd, const FusionByteTables& tables) {
    using F = typename V::F;
    constexpr int32_t N = V::N;
    const F three = V::Set1(3.0f);
    const F four = V::Set1(4.0f);
    const F tiny = V::Set1(1e-5f);
    const F contrastEntries = V::Set1(static_cast<float>(kFusionContrastTableSize));
    const F toneEntries = V::Set1(static_cast<float>(kFusionToneTableSize));
    const F saturationEntries = V::Set1(static_cast<float>(kFusionSaturationTableSize));
    int32_t x = xBegin;
    for (; x + N <= xEnd; x += N) {
        const F leftTop = V::Add(V::Load(a.sumMid + x - 1), V::Load(a.sumUp + x));
        F lap = V::Sub(leftTop, V::Mul(four, V::Load(a.sumMid + x)));
        lap = V::Add(lap, V::Load(a.sumMid + x + 1));
        lap = V::Add(lap, V::Load(a.sumDown + x));
        const F absLap = V::Abs(lap);
        const F s = V::Load(a.sumOwn + x);
        const F g0 = V::Load(a.guide[0] + x);
        const F g1 = V::Load(a.guide[1] + x);
        const F g2 = V::Load(a.guide[2] + x);
        const F squares = V::Add(V::Add(V::Mul(g0, g0), V::Mul(g1, g1)), V::Mul(g2, g2));
        const F k = V::Sub(V::Mul(three, squares), V::Mul(s, s));
        if (!V::AllLess(absLap, contrastEntries) || !V::AllLess(s, toneEntries) || !V::AllLess(k, saturationEntries))
            break;
        const F contrast = V::Gather(tables.contrast, absLap);
        const F tone = V::Gather(tables.tone, s);
        const F saturation = V::Gather(tables.saturation, k);
        const F product = V::Mul(V::Mul(contrast, saturation), tone);
        Accumulate<V>(a, x, V::Add(product, tiny));
    }
    return x;
}

template <class V>
WeightSpanKernels MakeWeightSpanKernels() {
    return WeightSpanKernels{WeightSpan<V, false>, WeightSpan<V, true>, ByteLevelSpan<V>};
}

}  // namespace fusionflt
