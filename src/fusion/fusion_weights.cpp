// Fusion weighting kernels. The contrast and tone terms depend on one float each; where that float is a small
// integer (always so at level 0, whose guides are bytes) they come from tables built with the very same
// expressions, so the tables change the speed and never a bit of the result.
#include "fusion/fusion_weights.h"

#include <math.h>

#include <cmath>
#include <cstddef>
#include <cstring>

#include "base/alloc.h"

#include "fusion/row_bands.h"

namespace {

constexpr int kToneTableSize = 766;          // s = 0..765
constexpr int kContrastTableSize = 3061;     // |lap| = 0..3060
constexpr int64_t kTablePixels = 32 * 1024;  // below this the tables cost more than they save

struct Exponents {
    float ec, es, ee;
};

inline float AbsLap(float left, float top, float centre, float right, float bottom) {
    const float leftTop = left + top;
    const double d = static_cast<double>(leftTop) - 4.0 * static_cast<double>(centre) + static_cast<double>(right) +
                     static_cast<double>(bottom);
    const float lap = static_cast<float>(d);
    return static_cast<float>(std::fabs(static_cast<double>(lap)));
}

inline float ToneMeasure(float s, float m) {
    const float diff = s / 3.0f - m;
    const float square = diff * diff;
    return static_cast<float>(std::exp(static_cast<double>(-square) / 100.0));
}

// Sum of the squared deviations of the guides from their mean; the saturation is sqrt(sum / 3).
inline float SquaredDeviation(float s, float g0, float g1, float g2) {
    const float mean = static_cast<float>(static_cast<double>(s) / 3.0);
    const float d0 = mean - g0;
    const float d1 = mean - g1;
    const float d2 = mean - g2;
    return d0 * d0 + d1 * d1 + d2 * d2;
}

inline float Saturation(float squares) {
    return static_cast<float>(std::sqrt(static_cast<double>(squares) / 3.0));
}

// The three factors of a weight; Top selects the form without the inner 1e-5 terms.
template <bool Top>
inline float ContrastFactor(float absLap, float ec) {
    const float c = static_cast<float>(static_cast<double>(absLap) / 3.0);
    return Top ? sqrtf(powf(c, ec)) : sqrtf(powf(c + 1e-5f, ec));
}

template <bool Top>
inline float SaturationFactor(float squares, float es) {
    const float sat = Saturation(squares);
    return Top ? powf(sat, es) : powf(sat + 1e-5f, es);
}

// Remembers the saturation factor of recently seen deviation sums. Neighbouring pixels of a photograph repeat
// their colour differences often; the factor is a function of the sum alone, so a hit returns the same bits.
template <bool Top>
class SaturationCache {
public:
    static constexpr uint32_t kBits = 13;
    static constexpr uint32_t kSize = 1u << kBits;

    SaturationCache() {
        block_ = static_cast<uint32_t*>(AllocBytes(kSize * 2 * sizeof(uint32_t)));
        // A sum of squares is never negative, so an all-ones key never matches.
        if (block_)
            std::memset(block_, 0xFF, kSize * sizeof(uint32_t));
    }
    ~SaturationCache() { FreeBytes(block_); }
    SaturationCache(const SaturationCache&) = delete;
    SaturationCache& operator=(const SaturationCache&) = delete;

    float Factor(float squares, float es) {
        if (!block_)
            return SaturationFactor<Top>(squares, es);
        uint32_t key;
        std::memcpy(&key, &squares, sizeof key);
        const uint32_t slot = (key * 0x9E3779B1u) >> (32 - kBits);
        if (block_[slot] == key) {
            float v;
            std::memcpy(&v, &block_[kSize + slot], sizeof v);
            return v;
        }
        const float v = SaturationFactor<Top>(squares, es);
        block_[slot] = key;
        std::memcpy(&block_[kSize + slot], &v, sizeof v);
        return v;
    }

private:
    uint32_t* block_ = nullptr;
};

template <bool Top>
inline float ToneFactor(float s, float m, float ee) {
    const float e = ToneMeasure(s, m);
    return Top ? powf(e, ee) : powf(e + 1e-5f, ee);
}

template <bool Top>
struct FactorTables {
    bool ready = false;
    float contrast[kContrastTableSize];
    float tone[kToneTableSize];

    void Build(float m, const Exponents& x) {
        for (int i = 0; i < kContrastTableSize; ++i)
            contrast[i] = ContrastFactor<Top>(static_cast<float>(i), x.ec);
        for (int i = 0; i < kToneTableSize; ++i)
            tone[i] = ToneFactor<Top>(static_cast<float>(i), m, x.ee);
        ready = true;
    }

    // Index of v in a table of n entries, or -1 when v is not an integer in range.
    static int Index(float v, int n) {
        if (!(v >= 0.0f && v < static_cast<float>(n)))
            return -1;
        const int i = static_cast<int>(v);
        return static_cast<float>(i) == v ? i : -1;
    }

    float Contrast(float absLap, float ec) const {
        const int i = ready ? Index(absLap, kContrastTableSize) : -1;
        return i >= 0 ? contrast[i] : ContrastFactor<Top>(absLap, ec);
    }
    float Tone(float s, float m, float ee) const {
        const int i = ready ? Index(s, kToneTableSize) : -1;
        return i >= 0 ? tone[i] : ToneFactor<Top>(s, m, ee);
    }
};

struct LevelPlanes {
    float* weighted[3];
    float* weightSum;
    const float* value[3];
    const float* guide[3];
    int32_t width, height;
};

inline float GuideSum(const LevelPlanes& p, size_t i) {
    return p.guide[0][i] + p.guide[1][i] + p.guide[2][i];
}

// Window start along one direction: one before the pixel, kept inside [0, n - 3].
inline int32_t WindowStart(int32_t v, int32_t n) {
    int32_t o = v > 0 ? v - 1 : 0;
    if (v == n - 1)
        o -= 1;
    return o;
}

// Guide sums S of three consecutive rows, each row computed once per band instead of once per tap.
class GuideSumRows {
public:
    explicit GuideSumRows(const LevelPlanes& p) : p_(p) {
        block_ = static_cast<float*>(AllocBytes(CheckedMul(3, static_cast<size_t>(p.width), sizeof(float))));
    }
    ~GuideSumRows() { FreeBytes(block_); }
    GuideSumRows(const GuideSumRows&) = delete;
    GuideSumRows& operator=(const GuideSumRows&) = delete;

    bool Ready() const { return block_ != nullptr; }

    const float* Row(int32_t y) {
        const int slot = y % 3;
        float* row = block_ + static_cast<size_t>(slot) * p_.width;
        if (rowInSlot_[slot] != y) {
            const size_t base = static_cast<size_t>(y) * p_.width;
            for (int32_t x = 0; x < p_.width; ++x)
                row[x] = GuideSum(p_, base + x);
            rowInSlot_[slot] = y;
        }
        return row;
    }

private:
    const LevelPlanes& p_;
    float* block_ = nullptr;
    int32_t rowInSlot_[3] = {-1, -1, -1};
};

template <bool Top>
void WeightRows(const LevelPlanes& p,
                const FactorTables<Top>& tables,
                float m,
                const Exponents& x,
                int32_t yBegin,
                int32_t yEnd) {
    const size_t W = static_cast<size_t>(p.width);
    SaturationCache<Top> saturation;
    GuideSumRows sums(p);
    for (int32_t y = yBegin; y < yEnd; ++y) {
        const int32_t oy = WindowStart(y, p.height);
        const float* up = sums.Ready() ? sums.Row(oy) : nullptr;
        const float* mid = sums.Ready() ? sums.Row(oy + 1) : nullptr;
        const float* down = sums.Ready() ? sums.Row(oy + 2) : nullptr;
        const float* own = sums.Ready() ? sums.Row(y) : nullptr;
        for (int32_t xi = 0; xi < p.width; ++xi) {
            const size_t cx = static_cast<size_t>(WindowStart(xi, p.width)) + 1;
            const size_t i = static_cast<size_t>(y) * W + static_cast<size_t>(xi);
            const float g0 = p.guide[0][i], g1 = p.guide[1][i], g2 = p.guide[2][i];
            float absLap, s;
            if (own) {
                absLap = AbsLap(mid[cx - 1], up[cx], mid[cx], mid[cx + 1], down[cx]);
                s = own[xi];
            } else {
                const size_t centre = static_cast<size_t>(oy + 1) * W + cx;
                absLap = AbsLap(GuideSum(p, centre - 1), GuideSum(p, centre - W), GuideSum(p, centre),
                                GuideSum(p, centre + 1), GuideSum(p, centre + W));
                s = g0 + g1 + g2;
            }
            const float squares = SquaredDeviation(s, g0, g1, g2);

            const float product =
                tables.Contrast(absLap, x.ec) * saturation.Factor(squares, x.es) * tables.Tone(s, m, x.ee);
            const float w = static_cast<float>(static_cast<double>(product) + 1e-5);

            p.weightSum[i] += w;
            p.weighted[0][i] += w * p.value[0][i];
            p.weighted[1][i] += w * p.value[1][i];
            p.weighted[2][i] += w * p.value[2][i];
        }
    }
}

template <bool Top>
void WeightLevel(const LevelPlanes& p,
                 int32_t midTone,
                 int32_t contrastParam,
                 int32_t saturationParam,
                 int32_t exposednessParam) {
    if (p.width < 5 || p.height < 5)
        return;
    const float m = static_cast<float>(midTone);
    const Exponents x{FusionWeightExponent(contrastParam), FusionWeightExponent(saturationParam),
                      FusionWeightExponent(exposednessParam)};
    FactorTables<Top> tables;
    if (static_cast<int64_t>(p.width) * p.height >= kTablePixels)
        tables.Build(m, x);
    RunRowBands(p.height, p.width, [&](int32_t y0, int32_t y1) { WeightRows<Top>(p, tables, m, x, y0, y1); });
}

}  // namespace

float FusionWeightExponent(int32_t param) {
    return static_cast<float>(param / 10.0 + 0.001) / 3.0f;
}

void WeightColourLevel8(float* weighted0,
                        float* weighted1,
                        float* weighted2,
                        float* weightSum,
                        const float* value0,
                        const float* value1,
                        const float* value2,
                        const float* guide0,
                        const float* guide1,
                        const float* guide2,
                        int32_t width,
                        int32_t height,
                        int32_t midTone,
                        int32_t contrastParam,
                        int32_t saturationParam,
                        int32_t exposednessParam) {
    const LevelPlanes p{{weighted0, weighted1, weighted2}, weightSum, {value0, value1, value2},
                        {guide0, guide1, guide2},          width,     height};
    WeightLevel<false>(p, midTone, contrastParam, saturationParam, exposednessParam);
}

void WeightColourTop8(float* weighted0,
                      float* weighted1,
                      float* weighted2,
                      float* weightSum,
                      const float* value0,
                      const float* value1,
                      const float* value2,
                      const float* guide0,
                      const float* guide1,
                      const float* guide2,
                      int32_t width,
                      int32_t height,
                      int32_t midTone,
                      int32_t contrastParam,
                      int32_t saturationParam,
                      int32_t exposednessParam) {
    const LevelPlanes p{{weighted0, weighted1, weighted2}, weightSum, {value0, value1, value2},
                        {guide0, guide1, guide2},          width,     height};
    WeightLevel<true>(p, midTone, contrastParam, saturationParam, exposednessParam);
}
