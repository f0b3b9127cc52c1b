// Two vectors of a set taken as one, for the weight kernels: every step is done on both halves side by side,
// so that two pixels' long chains of dependent steps (a logarithm, an exponential, a power) are in flight at
// once. Each lane sees exactly the operations of the set itself.
#pragma once

#include <cstdint>

namespace fusionflt {

template <class V>
struct Pair {
    struct F {
        typename V::F h[2];
    };
    struct D {
        typename V::D h[2];
    };
    struct I {
        typename V::I h[2];
    };
    struct Mask {
        decltype(V::Greater(typename V::F{}, typename V::F{})) h[2];
    };
    static constexpr int32_t N = 2 * V::N;

    template <class R, class Op, class... A>
    static R Each(Op op, const A&... a) {
        return R{{op(a.h[0]...), op(a.h[1]...)}};
    }

    static F Set1(float v) { return F{{V::Set1(v), V::Set1(v)}}; }
    static F Load(const float* p) { return F{{V::Load(p), V::Load(p + V::N)}}; }
    static void Store(float* p, F v) {
        V::Store(p, v.h[0]);
        V::Store(p + V::N, v.h[1]);
    }
    static F Add(F a, F b) {
        return Each<F>([](auto x, auto y) { return V::Add(x, y); }, a, b);
    }
    static F Sub(F a, F b) {
        return Each<F>([](auto x, auto y) { return V::Sub(x, y); }, a, b);
    }
    static F Mul(F a, F b) {
        return Each<F>([](auto x, auto y) { return V::Mul(x, y); }, a, b);
    }
    static F Div(F a, F b) {
        return Each<F>([](auto x, auto y) { return V::Div(x, y); }, a, b);
    }
    static F Fma(F a, F b, F c) {
        return Each<F>([](auto x, auto y, auto z) { return V::Fma(x, y, z); }, a, b, c);
    }
    static F Neg(F a) {
        return Each<F>([](auto x) { return V::Neg(x); }, a);
    }
    static F Sqrt(F a) {
        return Each<F>([](auto x) { return V::Sqrt(x); }, a);
    }
    static F Abs(F a) {
        return Each<F>([](auto x) { return V::Abs(x); }, a);
    }
    static F RoundInt(F a) {
        return Each<F>([](auto x) { return V::RoundInt(x); }, a);
    }
    static Mask Greater(F a, F b) {
        return Each<Mask>([](auto x, auto y) { return V::Greater(x, y); }, a, b);
    }
    static F Select(Mask m, F a, F b) {
        return Each<F>([](auto k, auto x, auto y) { return V::Select(k, x, y); }, m, a, b);
    }
    static I AsInt(F a) {
        return Each<I>([](auto x) { return V::AsInt(x); }, a);
    }
    static F AsFloat(I a) {
        return Each<F>([](auto x) { return V::AsFloat(x); }, a);
    }
    static I Set1Int(int32_t v) { return I{{V::Set1Int(v), V::Set1Int(v)}}; }
    static I SubInt(I a, I b) {
        return Each<I>([](auto x, auto y) { return V::SubInt(x, y); }, a, b);
    }
    static I ShiftRightArith23(I a) {
        return Each<I>([](auto x) { return V::ShiftRightArith23(x); }, a);
    }
    static I ShiftLeft23(I a) {
        return Each<I>([](auto x) { return V::ShiftLeft23(x); }, a);
    }
    static F IntToFloat(I a) {
        return Each<F>([](auto x) { return V::IntToFloat(x); }, a);
    }
    static bool AllLess(F a, F b) { return V::AllLess(a.h[0], b.h[0]) && V::AllLess(a.h[1], b.h[1]); }
    static F Gather(const float* table, F i) {
        return Each<F>([table](auto x) { return V::Gather(table, x); }, i);
    }
    static F Scale(F p, F n) {
        return Each<F>([](auto x, auto y) { return V::Scale(x, y); }, p, n);
    }

    static F ScaleNormal(F p, F n) {
        return Each<F>([](auto x, auto y) { return V::ScaleNormal(x, y); }, p, n);
    }

    static D Set1D(double v) { return D{{V::Set1D(v), V::Set1D(v)}}; }
    static D AddD(D a, D b) {
        return Each<D>([](auto x, auto y) { return V::AddD(x, y); }, a, b);
    }
    static D SubD(D a, D b) {
        return Each<D>([](auto x, auto y) { return V::SubD(x, y); }, a, b);
    }
    static D MulD(D a, D b) {
        return Each<D>([](auto x, auto y) { return V::MulD(x, y); }, a, b);
    }
    static D Half(F v, int h) {
        return Each<D>([h](auto x) { return V::Half(x, h); }, v);
    }
    static F Join(D lo, D hi) {
        return Each<F>([](auto x, auto y) { return V::Join(x, y); }, lo, hi);
    }
};

}  // namespace fusionflt
