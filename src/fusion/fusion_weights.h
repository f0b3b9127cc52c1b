// Per-pixel fusion weights of one pyramid level: local contrast, saturation and closeness to a middle tone.
//
// Neighbourhood of pixel (x, y): a 3 x 3 window that stays inside the level, centred on the nearest
// interior pixel. The contrast tap works on the per-position sums S = g0 + g1 + g2 of the guides:
//
//            S(top)
//   S(left) -4 S(centre) S(right)      lap = left + top - 4 centre + right + bottom
//            S(bottom)
//
// Weights (c = |lap| / 3, sat = deviation of the guides from their mean, e = exp(-(S/3 - midTone)^2 / 100)):
//   below the top: w = sqrt((c + 1e-5)^ec) * (sat + 1e-5)^es * (e + 1e-5)^ee + 1e-5
//   top level:     w = sqrt(c^ec) * sat^es * e^ee + 1e-5
// Every step has a fixed single or double precision; the low bits of the weights are part of the result.
#pragma once

#include <cstdint>
#include <functional>
#include <memory>

#include "base/status.h"

// (float)(param / 10.0 + 0.001) / 3, in single precision.
float FusionWeightExponent(int32_t param);

// Start of the neighbourhood window along one direction of n >= 3 pixels: one before pixel v, kept inside
// [0, n - 3].
inline int32_t WeightWindowStart(int32_t v, int32_t n) {
    int32_t o = v > 0 ? v - 1 : 0;
    if (v == n - 1)
        o -= 1;
    return o;
}

// Adds w to weightSum and w * value_k to weighted_k for every pixel of a W x H level (nothing when W or H < 5).
// Values are the detail bands of the level, guides its Gaussian level. Fails (kOutOfMemory) only when a few
// working rows cannot be had; the sums are then partly added to.
[[nodiscard]] Status WeightColourLevel8(float* weighted0,
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
                                        int32_t exposednessParam);

// Same for the top level, whose blended values are the Gaussian components themselves.
[[nodiscard]] Status WeightColourTop8(float* weighted0,
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
                                      int32_t exposednessParam);

// WeightColourLevel8 with the value rows made as they are needed: makeValues(y, rows) writes the three value
// rows of row y into rows[0..2], width floats each (called from any thread).
using FusionValueRows = std::function<void(int32_t y, float* const rows[3])>;
[[nodiscard]] Status WeightColourLevelRows8(float* const weighted[3],
                                            float* weightSum,
                                            const FusionValueRows& makeValues,
                                            const float* const guide[3],
                                            int32_t width,
                                            int32_t height,
                                            int32_t midTone,
                                            int32_t contrastParam,
                                            int32_t saturationParam,
                                            int32_t exposednessParam);

// One row of a weighting pass, for passes that make their rows on the fly. Pointers are rows: the guides,
// values and sums at the pixel's own row, and the guide sums S of the window's three rows and of the own row.
struct WeightSpanArgs {
    float* weighted[3];
    float* weightSum;
    const float* value[3];
    const float* guide[3];
    const float* sumUp;
    const float* sumMid;
    const float* sumDown;
    const float* sumOwn;
    float midTone;
    float ec, es, ee;
};

// Vector kernels for the interior columns of a row: do whole vectors of columns from xBegin on, below xEnd,
// and return the first column not done.
// byteLevel: below the top where every guide is a byte, every factor from its table; may stop early, and
// may be null.
struct FusionByteTables {
    const float* contrast;    // by |lap|
    const float* tone;        // by S
    const float* saturation;  // by K = 3 (g0^2 + g1^2 + g2^2) - S^2, three times the guides' squared deviation
};
struct WeightSpanKernels {
    int32_t (*level)(const WeightSpanArgs& args, int32_t xBegin, int32_t xEnd);
    int32_t (*top)(const WeightSpanArgs& args, int32_t xBegin, int32_t xEnd);
    int32_t (*byteLevel)(const WeightSpanArgs& args, int32_t xBegin, int32_t xEnd, const FusionByteTables& tables);
};
// Entries of the contrast table (|lap| = 0..3060), the tone table (S = 0..765) and the saturation table
// (K = 0..130050, reached by (255, 0, 0)).
constexpr int kFusionContrastTableSize = 3061;
constexpr int kFusionToneTableSize = 766;
constexpr int kFusionSaturationTableSize = 130051;
// Null where not compiled in or not supported by the processor.
const WeightSpanKernels* Sse2WeightSpanKernels();
const WeightSpanKernels* Avx2WeightSpanKernels();
const WeightSpanKernels* Avx512WeightSpanKernels();
// The vector kernels in use (null: the scalar path, also when SP_SCALAR=1 or the pyramid's vector paths are
// off), and a pin for tests (null returns to the automatic choice; pinning scalarOnly forces the scalar path).
const WeightSpanKernels* ActiveWeightSpanKernels();
void UseWeightSpanKernels(const WeightSpanKernels* kernels, bool scalarOnly = false);
const char* ActiveWeightSpanKernelsName();

// Weighs the rows of one level: made once per level and pass, used by any number of threads.
// byteGuides: every guide value is an integer 0..255 (level 0 of a rendering), so the contrast and tone
// factors come from exact tables.
class FusionRowWeigher {
public:
    FusionRowWeigher(bool top,
                     int32_t width,
                     int32_t height,
                     int32_t midTone,
                     int32_t contrastParam,
                     int32_t saturationParam,
                     int32_t exposednessParam,
                     bool byteGuides);
    ~FusionRowWeigher();
    FusionRowWeigher(const FusionRowWeigher&) = delete;
    FusionRowWeigher& operator=(const FusionRowWeigher&) = delete;

    // Per-thread scratch of a band of rows; null when there is no memory for it (Row then does without).
    struct Scratch;
    struct ScratchDeleter {
        void operator()(Scratch* scratch) const;
    };
    using ScratchPtr = std::unique_ptr<Scratch, ScratchDeleter>;
    [[nodiscard]] ScratchPtr NewScratch() const;

    // Row y: args holds its rows (midTone and exponents are filled in here).
    void Row(WeightSpanArgs& args, Scratch* scratch) const;
    bool Skips() const { return width_ < 5 || height_ < 5; }

    // The factor tables of a level, shared between weighers with the same parameters.
    struct Tables;

private:
    bool top_;
    bool byteGuides_;
    int32_t width_, height_;
    float m_, ec_, es_, ee_;
    std::shared_ptr<const Tables> tables_;  // null when there is no memory for them (factors computed)
    const WeightSpanKernels* kernels_ = nullptr;
};
