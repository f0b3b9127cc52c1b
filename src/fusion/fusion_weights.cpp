// Fusion weighting kernels. The contrast and tone terms depend on one float each; where that float is a small
// integer (always so at level 0, whose guides are bytes) they come from tables built with the very same
// expressions, so the tables change the speed and never a bit of the result.
#include "fusion/fusion_weights.h"

#include <math.h>

#include <algorithm>
#include <atomic>
#include <cmath>
#include <cstddef>
#include <cstring>
#include <memory>
#include <mutex>
#include <new>
#include <utility>
#include <vector>

#include "base/alloc.h"

#include "base/thread_pool.h"
#include "pyramid/row_kernels.h"

namespace {

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
// Without its block (not cached, or no memory for it) every factor is computed.
class SaturationCache {
public:
    static constexpr uint32_t kBits = 13;
    static constexpr uint32_t kSize = 1u << kBits;

    SaturationCache(bool top, bool cached) : top_(top) {
        if (cached)
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
            return Compute(squares, es);
        uint32_t key;
        std::memcpy(&key, &squares, sizeof key);
        const uint32_t slot = (key * 0x9E3779B1u) >> (32 - kBits);
        if (block_[slot] == key) {
            float v;
            std::memcpy(&v, &block_[kSize + slot], sizeof v);
            return v;
        }
        const float v = Compute(squares, es);
        block_[slot] = key;
        std::memcpy(&block_[kSize + slot], &v, sizeof v);
        return v;
    }

private:
    float Compute(float squares, float es) const {
        return top_ ? SaturationFactor<true>(squares, es) : SaturationFactor<false>(squares, es);
    }
    bool top_;
    uint32_t* block_ = nullptr;
};

template <bool Top>
inline float ToneFactor(float s, float m, float ee) {
    const float e = ToneMeasure(s, m);
    return Top ? powf(e, ee) : powf(e + 1e-5f, ee);
}

// Saturation factors of byte guides by K = 3 (g0^2 + g1^2 + g2^2) - S^2, an integer, exact in float. The
// deviation sum of the rules is K / 3 rounded along the way; the table rounds the exact K / 3 once, which moves
// a third of the factors by a unit in the last place and makes them the same on every vector set.
std::shared_ptr<const std::vector<float>> MakeSaturationTable(float es) {
    std::shared_ptr<std::vector<float>> table;
    try {
        table = std::make_shared<std::vector<float>>(kFusionSaturationTableSize);
    } catch (const std::bad_alloc&) {
        return nullptr;
    }
    for (int k = 0; k < kFusionSaturationTableSize; ++k)
        (*table)[k] = SaturationFactor<false>(static_cast<float>(k / 3.0), es);
    return table;
}

struct FactorTables {
    bool ready = false;
    bool top = false;
    float contrast[kFusionContrastTableSize];
    float tone[kFusionToneTableSize];
    std::shared_ptr<const std::vector<float>> saturation;  // byte levels below the top; null without memory

    void Build(bool isTop, float m, const Exponents& x) {
        top = isTop;
        for (int i = 0; i < kFusionContrastTableSize; ++i)
            contrast[i] = top ? ContrastFactor<true>(static_cast<float>(i), x.ec)
                              : ContrastFactor<false>(static_cast<float>(i), x.ec);
        for (int i = 0; i < kFusionToneTableSize; ++i)
            tone[i] = top ? ToneFactor<true>(static_cast<float>(i), m, x.ee)
                          : ToneFactor<false>(static_cast<float>(i), m, x.ee);
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
        const int i = ready ? Index(absLap, kFusionContrastTableSize) : -1;
        if (i >= 0)
            return contrast[i];
        return top ? ContrastFactor<true>(absLap, ec) : ContrastFactor<false>(absLap, ec);
    }
    float Tone(float s, float m, float ee) const {
        const int i = ready ? Index(s, kFusionToneTableSize) : -1;
        if (i >= 0)
            return tone[i];
        return top ? ToneFactor<true>(s, m, ee) : ToneFactor<false>(s, m, ee);
    }
};

// Guide sums S of recently used rows, each row computed once per band instead of once per tap.
class GuideSumRows {
public:
    GuideSumRows(const float* const guide[3], int32_t width) : width_(width) {
        for (int k = 0; k < 3; ++k)
            guide_[k] = guide[k];
        block_ = static_cast<float*>(AllocBytes(CheckedMul(4, static_cast<size_t>(width), sizeof(float))));
    }
    ~GuideSumRows() { FreeBytes(block_); }
    GuideSumRows(const GuideSumRows&) = delete;
    GuideSumRows& operator=(const GuideSumRows&) = delete;

    bool Ready() const { return block_ != nullptr; }

    const float* Row(int32_t y) {
        const int slot = y & 3;
        float* row = block_ + static_cast<size_t>(slot) * width_;
        if (rowInSlot_[slot] != y) {
            const size_t base = static_cast<size_t>(y) * width_;
            const float* a = guide_[0] + base;
            const float* b = guide_[1] + base;
            const float* c = guide_[2] + base;
            for (int32_t x = 0; x < width_; ++x)
                row[x] = a[x] + b[x] + c[x];
            rowInSlot_[slot] = y;
        }
        return row;
    }

private:
    const float* guide_[3];
    int32_t width_;
    float* block_ = nullptr;
    int32_t rowInSlot_[4] = {-1, -1, -1, -1};
};

// One pixel by the scalar rules; cx is the window's centre column.
template <bool Top>
inline void WeightPixel(const WeightSpanArgs& a,
                        int32_t xi,
                        int32_t cx,
                        const FactorTables& tables,
                        SaturationCache& saturation) {
    const float g0 = a.guide[0][xi], g1 = a.guide[1][xi], g2 = a.guide[2][xi];
    const float absLap = AbsLap(a.sumMid[cx - 1], a.sumUp[cx], a.sumMid[cx], a.sumMid[cx + 1], a.sumDown[cx]);
    const float s = a.sumOwn[xi];
    const float squares = SquaredDeviation(s, g0, g1, g2);
    const float product =
        tables.Contrast(absLap, a.ec) * saturation.Factor(squares, a.es) * tables.Tone(s, a.midTone, a.ee);
    const float w = static_cast<float>(static_cast<double>(product) + 1e-5);
    a.weightSum[xi] += w;
    a.weighted[0][xi] += w * a.value[0][xi];
    a.weighted[1][xi] += w * a.value[1][xi];
    a.weighted[2][xi] += w * a.value[2][xi];
}

// Byte guides below the top with every factor from its table, the same operations as a vector lane of the
// byte kernels: columns the kernel does not reach, and sets without one. Falls back to the rules for a pixel
// outside the tables.
void WeightByteRow(const WeightSpanArgs& a,
                   int32_t width,
                   int32_t xBegin,
                   int32_t xEnd,
                   const FactorTables& tables,
                   SaturationCache& saturation) {
    const float* satTable = tables.saturation->data();
    for (int32_t xi = xBegin; xi < xEnd; ++xi) {
        const int32_t cx = WeightWindowStart(xi, width) + 1;
        const float leftTop = a.sumMid[cx - 1] + a.sumUp[cx];
        const float lap = leftTop - 4.0f * a.sumMid[cx] + a.sumMid[cx + 1] + a.sumDown[cx];
        const float s = a.sumOwn[xi];
        const float g0 = a.guide[0][xi], g1 = a.guide[1][xi], g2 = a.guide[2][xi];
        const float k = 3.0f * (g0 * g0 + g1 * g1 + g2 * g2) - s * s;
        const int ic = FactorTables::Index(std::fabs(lap), kFusionContrastTableSize);
        const int it = FactorTables::Index(s, kFusionToneTableSize);
        const int is = FactorTables::Index(k, kFusionSaturationTableSize);
        if (ic < 0 || it < 0 || is < 0) {
            WeightPixel<false>(a, xi, cx, tables, saturation);
            continue;
        }
        const float w = tables.contrast[ic] * satTable[is] * tables.tone[it] + 1e-5f;
        a.weightSum[xi] += w;
        a.weighted[0][xi] += w * a.value[0][xi];
        a.weighted[1][xi] += w * a.value[1][xi];
        a.weighted[2][xi] += w * a.value[2][xi];
    }
}

template <bool Top>
void WeightRowScalar(const WeightSpanArgs& a,
                     int32_t width,
                     int32_t xBegin,
                     int32_t xEnd,
                     const FactorTables& tables,
                     SaturationCache& saturation) {
    for (int32_t xi = xBegin; xi < xEnd; ++xi)
        WeightPixel<Top>(a, xi, WeightWindowStart(xi, width) + 1, tables, saturation);
}

bool ScalarByEnvironment() {
    return !PyramidSimdEnabled();
}

std::atomic<const WeightSpanKernels*> gPinnedKernels{nullptr};
std::atomic<bool> gPinnedScalar{false};

const WeightSpanKernels* BestWeightSpanKernels() {
    static const WeightSpanKernels* capped =
        Avx2WeightSpanKernels() ? Avx2WeightSpanKernels() : Sse2WeightSpanKernels();
    if (!Avx512Allowed())
        return capped;
    static const WeightSpanKernels* widest = Avx512WeightSpanKernels() ? Avx512WeightSpanKernels() : capped;
    return widest;
}

}  // namespace

const WeightSpanKernels* ActiveWeightSpanKernels() {
    if (gPinnedScalar.load())
        return nullptr;
    if (const WeightSpanKernels* k = gPinnedKernels.load())
        return k;
    return ScalarByEnvironment() ? nullptr : BestWeightSpanKernels();
}

void UseWeightSpanKernels(const WeightSpanKernels* kernels, bool scalarOnly) {
    gPinnedKernels.store(kernels);
    gPinnedScalar.store(scalarOnly);
}

const char* ActiveWeightSpanKernelsName() {
    const WeightSpanKernels* k = ActiveWeightSpanKernels();
    if (!k)
        return "scalar";
    if (k == Avx512WeightSpanKernels())
        return "avx512";
    if (k == Avx2WeightSpanKernels())
        return "avx2";
    if (k == Sse2WeightSpanKernels())
        return "sse2";
    return "other";
}

struct FusionRowWeigher::Tables : FactorTables {
    float m = 0.0f;
    Exponents x{};
};

namespace {

// The tables of one level's weighing, shared by every pass with the same parameters: a whole run weighs
// level 0 of each rendering alike, and a preview runs again and again. Null without memory.
std::shared_ptr<const FusionRowWeigher::Tables> SharedTables(bool top,
                                                             bool build,
                                                             bool saturation,
                                                             float m,
                                                             const Exponents& x) {
    static std::mutex lock;
    static std::vector<std::shared_ptr<const FusionRowWeigher::Tables>> made;
    std::lock_guard<std::mutex> guard(lock);
    for (const auto& t : made) {
        if (t->top == top && t->ready == build && (t->saturation != nullptr) == saturation && t->m == m &&
            t->x.ec == x.ec && t->x.es == x.es && t->x.ee == x.ee)
            return t;
    }
    std::shared_ptr<FusionRowWeigher::Tables> t;
    try {
        t = std::make_shared<FusionRowWeigher::Tables>();
    } catch (const std::bad_alloc&) {
        return nullptr;
    }
    t->top = top;
    t->m = m;
    t->x = x;
    if (build)
        t->Build(top, m, x);
    if (saturation) {
        // The table depends on the saturation exponent alone: another parameter set may have it already.
        for (const auto& other : made)
            if (other->saturation && other->x.es == x.es)
                t->saturation = other->saturation;
        if (!t->saturation)
            t->saturation = MakeSaturationTable(x.es);
    }
    if (made.size() >= 8)  // a few parameter sets in one session; users keep theirs alive
        made.erase(made.begin());
    made.push_back(t);
    return t;
}

}  // namespace

struct FusionRowWeigher::Scratch {
    Scratch(bool top, bool cached) : saturation(top, cached) {}
    SaturationCache saturation;
};

void FusionRowWeigher::ScratchDeleter::operator()(Scratch* scratch) const {
    delete scratch;
}

FusionRowWeigher::FusionRowWeigher(bool top,
                                   int32_t width,
                                   int32_t height,
                                   int32_t midTone,
                                   int32_t contrastParam,
                                   int32_t saturationParam,
                                   int32_t exposednessParam,
                                   bool byteGuides)
    : top_(top),
      byteGuides_(byteGuides),
      width_(width),
      height_(height),
      m_(static_cast<float>(midTone)),
      ec_(FusionWeightExponent(contrastParam)),
      es_(FusionWeightExponent(saturationParam)),
      ee_(FusionWeightExponent(exposednessParam)) {
    kernels_ = ActiveWeightSpanKernels();
    // Without vector kernels the tables pay off on any large level (integer values turn up there too); with
    // them only where every value is an integer.
    const bool build = byteGuides || (!kernels_ && static_cast<int64_t>(width) * height >= kTablePixels);
    tables_ = SharedTables(top, build, byteGuides && !top && kernels_, m_, Exponents{ec_, es_, ee_});
}

FusionRowWeigher::~FusionRowWeigher() = default;

FusionRowWeigher::ScratchPtr FusionRowWeigher::NewScratch() const {
    // With vector kernels only the two border columns and rare strays go through the scalar factors: not
    // worth a cache block per band.
    return ScratchPtr(new (std::nothrow) Scratch(top_, kernels_ == nullptr));
}

namespace {

// Columns x .. end - 1 (fewer than a vector of the widest set) through the vector kernel: the rows are copied
// into padded blocks (zeros past the row's end), one vector step runs over them and only the real columns
// are copied back. Returns the first column not done.
template <class Span>
int32_t WeighTailInVectors(const WeightSpanArgs& a, int32_t x, int32_t end, const Span& span) {
    constexpr int32_t kLanes = 16;  // the widest vector; narrower sets take several steps
    constexpr int32_t kPad = kLanes + 2;
    if (end - x > kLanes)
        return x;
    // Local column i is column x - 1 + i of the row.
    struct Block {
        float sumUp[kPad], sumMid[kPad], sumDown[kPad], sumOwn[kPad];
        float guide[3][kPad], value[3][kPad], weighted[3][kPad], weightSum[kPad];
    } b = {};
    const int32_t valid = std::min(kPad, end + 1 - (x - 1));  // columns x - 1 .. end exist
    auto copy = [&](float* dst, const float* src) { std::memcpy(dst, src + x - 1, sizeof(float) * valid); };
    copy(b.sumUp, a.sumUp);
    copy(b.sumMid, a.sumMid);
    copy(b.sumDown, a.sumDown);
    copy(b.sumOwn, a.sumOwn);
    copy(b.weightSum, a.weightSum);
    WeightSpanArgs local = a;
    local.sumUp = b.sumUp;
    local.sumMid = b.sumMid;
    local.sumDown = b.sumDown;
    local.sumOwn = b.sumOwn;
    local.weightSum = b.weightSum;
    for (int k = 0; k < 3; ++k) {
        copy(b.guide[k], a.guide[k]);
        copy(b.value[k], a.value[k]);
        copy(b.weighted[k], a.weighted[k]);
        local.guide[k] = b.guide[k];
        local.value[k] = b.value[k];
        local.weighted[k] = b.weighted[k];
    }
    const int32_t done = span(local, 1, 1 + kLanes) - 1;  // columns done from x on
    const int32_t kept = std::min(done, end - x);
    if (kept <= 0)
        return x;
    std::memcpy(a.weightSum + x, b.weightSum + 1, sizeof(float) * kept);
    for (int k = 0; k < 3; ++k)
        std::memcpy(a.weighted[k] + x, b.weighted[k] + 1, sizeof(float) * kept);
    return x + kept;
}

}  // namespace

void FusionRowWeigher::Row(WeightSpanArgs& a, Scratch* scratch) const {
    if (Skips())
        return;
    if (!scratch) {
        // No memory for a scratch: none is asked for here either, the factors are computed.
        Scratch uncached(top_, false);
        Row(a, &uncached);
        return;
    }
    a.midTone = m_;
    a.ec = ec_;
    a.es = es_;
    a.ee = ee_;
    FactorTables fallback;
    fallback.top = top_;
    const FactorTables& tables = tables_ ? static_cast<const FactorTables&>(*tables_) : fallback;
    SaturationCache& saturation = scratch->saturation;
    if (kernels_ && byteGuides_ && !top_ && tables.ready && tables.saturation) {
        // Every factor from the tables: the same bits on every vector set, whichever columns it reaches.
        int32_t x = 1;
        WeightByteRow(a, width_, 0, 1, tables, saturation);
        if (kernels_->byteLevel) {
            const FusionByteTables t{tables.contrast, tables.tone, tables.saturation->data()};
            x = kernels_->byteLevel(a, 1, width_ - 1, t);
        }
        WeightByteRow(a, width_, x, width_, tables, saturation);
        return;
    }
    int32_t x = 0;
    // The vector kernel of this row, if any: columns from xBegin on in whole vectors below xEnd, and the
    // columns short of a whole vector in one more step over padded copies of the rows. Byte guides without
    // their saturation table stay scalar.
    const bool vectors = kernels_ && !(byteGuides_ && tables.ready);
    auto span = [&](const WeightSpanArgs& args, int32_t xBegin, int32_t xEnd) {
        return top_ ? kernels_->top(args, xBegin, xEnd) : kernels_->level(args, xBegin, xEnd);
    };
    if (vectors) {
        // Column 0 and the last column use a shifted window.
        if (top_)
            WeightRowScalar<true>(a, width_, 0, 1, tables, saturation);
        else
            WeightRowScalar<false>(a, width_, 0, 1, tables, saturation);
        x = span(a, 1, width_ - 1);
        if (x < width_ - 1)
            x = WeighTailInVectors(a, x, width_ - 1, span);
    }
    if (top_)
        WeightRowScalar<true>(a, width_, x, width_, tables, saturation);
    else
        WeightRowScalar<false>(a, width_, x, width_, tables, saturation);
}

namespace {

// Whole-plane pass: rows split over the pool, guide sums made per band. Fails only when a band's value rows
// cannot be had, or the spare sum rows before the pass.
Status WeightLevel(bool top,
                   float* const weighted[3],
                   float* weightSum,
                   const float* const value[3],
                   const FusionValueRows* makeValues,
                   const float* const guide[3],
                   int32_t width,
                   int32_t height,
                   int32_t midTone,
                   int32_t contrastParam,
                   int32_t saturationParam,
                   int32_t exposednessParam) {
    if (width < 5 || height < 5)
        return Status::Ok();
    const size_t count = static_cast<size_t>(width) * height;
    bool bytes = true;
    for (int k = 0; k < 3 && bytes; ++k)
        for (size_t i = 0; i < count; ++i)
            if (!(guide[k][i] >= 0.0f && guide[k][i] <= 255.0f &&
                  guide[k][i] == static_cast<float>(static_cast<int>(guide[k][i])))) {
                bytes = false;
                break;
            }
    const FusionRowWeigher weigher(top, width, height, midTone, contrastParam, saturationParam, exposednessParam,
                                   bytes);
    // Sum rows for the bands that cannot have rows of their own, taken before the pass and used by one band at a
    // time: running out of memory during the pass slows it down and changes no bit.
    GuideSumRows spare(guide, width);
    if (!spare.Ready())
        return StatusCode::kOutOfMemory;
    std::mutex spareLock;
    return ParallelRows(height, int64_t{width} * 60, [&](int32_t y0, int32_t y1) {
        const FusionRowWeigher::ScratchPtr scratch = weigher.NewScratch();
        GuideSumRows own(guide, width);
        std::unique_lock<std::mutex> spareHeld;
        if (!own.Ready())
            spareHeld = std::unique_lock<std::mutex>(spareLock);
        GuideSumRows& sums = own.Ready() ? own : spare;
        std::vector<float> valueRows(makeValues ? static_cast<size_t>(width) * 3 : 0);
        for (int32_t y = y0; y < y1; ++y) {
            const int32_t oy = WeightWindowStart(y, height);
            const size_t row = static_cast<size_t>(y) * width;
            WeightSpanArgs a{};
            float* const made[3] = {valueRows.data(), valueRows.data() + width, valueRows.data() + 2 * width};
            if (makeValues)
                (*makeValues)(y, made);
            for (int k = 0; k < 3; ++k) {
                a.weighted[k] = weighted[k] + row;
                a.value[k] = makeValues ? made[k] : value[k] + row;
                a.guide[k] = guide[k] + row;
            }
            a.weightSum = weightSum + row;
            a.sumUp = sums.Row(oy);
            a.sumMid = sums.Row(oy + 1);
            a.sumDown = sums.Row(oy + 2);
            a.sumOwn = sums.Row(y);
            weigher.Row(a, scratch.get());
        }
    });
}

}  // namespace

float FusionWeightExponent(int32_t param) {
    return static_cast<float>(param / 10.0 + 0.001) / 3.0f;
}

Status WeightColourLevel8(float* weighted0,
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
    float* const weighted[3] = {weighted0, weighted1, weighted2};
    const float* const value[3] = {value0, value1, value2};
    const float* const guide[3] = {guide0, guide1, guide2};
    return WeightLevel(false, weighted, weightSum, value, nullptr, guide, width, height, midTone, contrastParam,
                       saturationParam, exposednessParam);
}

Status WeightColourTop8(float* weighted0,
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
    float* const weighted[3] = {weighted0, weighted1, weighted2};
    const float* const value[3] = {value0, value1, value2};
    const float* const guide[3] = {guide0, guide1, guide2};
    return WeightLevel(true, weighted, weightSum, value, nullptr, guide, width, height, midTone, contrastParam,
                       saturationParam, exposednessParam);
}

Status WeightColourLevelRows8(float* const weighted[3],
                              float* weightSum,
                              const FusionValueRows& makeValues,
                              const float* const guide[3],
                              int32_t width,
                              int32_t height,
                              int32_t midTone,
                              int32_t contrastParam,
                              int32_t saturationParam,
                              int32_t exposednessParam) {
    return WeightLevel(false, weighted, weightSum, nullptr, &makeValues, guide, width, height, midTone, contrastParam,
                       saturationParam, exposednessParam);
}
