// Exposure fusion driver: decomposition, weighting per level, division and collapse.
#include "fusion/fusion.h"

#include <algorithm>
#include <cmath>
#include <cstring>
#include <mutex>
#include <new>
#include <vector>

#include "base/thread_pool.h"
#include "fusion/fusion_weights.h"
#include "fusion/pixel_split.h"
#include "pyramid/row_kernels.h"
#include "pyramid/sample_store.h"

namespace {

bool IsColour8(const SQmPicBuf& p) {
    return p.data != nullptr && p.components == 3 && p.bitsPerComponent == 8 && p.width > 0 && p.height > 0 &&
           p.stride >= static_cast<int64_t>(p.width) * 3;
}

bool IsPlane8(const SQmPicBuf& p, int32_t width, int32_t height) {
    return p.data != nullptr && p.components == 1 && p.bitsPerComponent == 8 && p.width == width &&
           p.height == height && p.stride >= width;
}

int32_t LevelW(const FusionPyramid& pyramid, uint32_t j) {
    return static_cast<int32_t>(pyramid.levelWidth[j]);
}
int32_t LevelH(const FusionPyramid& pyramid, uint32_t j) {
    return static_cast<int32_t>(pyramid.levelHeight[j]);
}

// Every plane that the sums use exists: construction went through.
bool PyramidReady(FusionPyramid& pyramid) {
    if (!pyramid.planes || pyramid.components == 0 || pyramid.topLevel > kFusionMaxTopLevel)
        return false;
    for (uint32_t c = 0; c < pyramid.components; ++c)
        for (uint32_t j = 0; j <= pyramid.topLevel; ++j)
            if (pyramid.WeightSum(pyramid.sharedWeightSums ? 0 : c, j).Empty() || pyramid.WeightedSum(c, j).Empty())
                return false;
    return true;
}

// A rendering's bytes, read where they are: component c of pixel x in row y is at Row(y)[3 * x + c].
struct ByteSource {
    const uint8_t* base;
    int64_t stride;

    explicit ByteSource(const SQmPicBuf& picture) : base(picture.data), stride(picture.stride) {}
    const uint8_t* Row(int32_t y) const { return base + static_cast<int64_t>(y) * stride; }
};

// Gaussian levels G[1..L] of the three components of one rendering; level 0 is never held as floats, its rows
// are made from the bytes as the passes need them, and the detail bands are made row by row as they are
// weighed. The planes are the pyramid's, allocated on the first rendering and reused by every later one.
struct ExposureWorkspace {
    FloatPlane (*g)[kFusionLevelSlots] = nullptr;

    Status Attach(FusionPyramid& pyramid, const std::function<bool()>& proceed = {}) {
        if (!pyramid.gaussians) {
            pyramid.gaussians.reset(new (std::nothrow) FloatPlane[3][kFusionLevelSlots]);
            if (!pyramid.gaussians)
                return StatusCode::kOutOfMemory;
        }
        g = pyramid.gaussians.get();
        for (int c = 0; c < 3; ++c) {
            for (uint32_t j = 1; j <= pyramid.topLevel; ++j)
                SP_RETURN_IF_ERROR(AllocateLevelPlane(g[c][j], pyramid, j, proceed));
        }
        return Status::Ok();
    }
};

// Asks for a span of memory ahead of its use: the passes below stream several rows at once, more than the
// hardware prefetchers follow on their own.
inline void PrefetchSpan(const void* p, size_t bytes) {
    const char* c = static_cast<const char*>(p);
    for (size_t k = 0; k < bytes; k += 64)
        __builtin_prefetch(c + k);
}

// Level 1 of the three components straight from the bytes: each output row converts its five source rows.
Status ReduceFromBytes(ExposureWorkspace& ws, const ByteSource& src, const FusionPyramid& pyramid) {
    const int32_t w0 = LevelW(pyramid, 0), h0 = LevelH(pyramid, 0);
    const int32_t w1 = LevelW(pyramid, 1), h1 = LevelH(pyramid, 1);
    if (w1 < 5 || h1 < 5)
        return Status::Ok();
    const RowKernels& kernels = ActiveRowKernels();
    return ParallelRows(h1, int64_t{w1} * 3 * 35, [&](int32_t y0, int32_t y1) {
        // Each source row is converted and split into its even and odd columns once: the next output row's
        // window starts two rows further on, so only two rows are converted again.
        const SplitPixelsEvenOddFn split = ActiveSplitPixelsEvenOdd();
        std::vector<SplitRowRing> rings;
        for (int c = 0; c < 3; ++c) {
            rings.emplace_back(w0);
            if (!rings.back().Ready())
                throw std::bad_alloc();
        }
        for (int32_t y = y0; y < y1; ++y) {
            int32_t sy = y <= 1 ? 0 : 2 * y - 2;
            if (sy + 5 > h0)
                sy = h0 - 5;
            if (sy + 6 < h0)
                PrefetchSpan(src.Row(sy + 6), static_cast<size_t>(w0) * 3);
            for (int32_t r = sy; r < sy + 5; ++r) {
                if (!rings[0].Holds(r)) {
                    float* even[3];
                    float* odd[3];
                    for (int c = 0; c < 3; ++c)
                        rings[c].Claim(r, even[c], odd[c]);
                    split(even, odd, src.Row(r), w0);
                }
            }
            for (int c = 0; c < 3; ++c) {
                const float* even[5];
                const float* odd[5];
                rings[c].Window(sy, even, odd);
                ReduceRowFromSplitRows(ws.g[c][1].Data() + static_cast<size_t>(y) * w1, even, odd, w1, w0,
                                       pyramid.kernel, kernels);
            }
        }
    });
}

// Levels 2 and up: G[i + 1] = reduce G[i].
Status ReduceUpper(ExposureWorkspace& ws, const FusionPyramid& pyramid) {
    for (uint32_t i = 1; i < pyramid.topLevel; ++i) {
        const int32_t wi = LevelW(pyramid, i), hi = LevelH(pyramid, i);
        const int32_t wn = LevelW(pyramid, i + 1), hn = LevelH(pyramid, i + 1);
        for (int c = 0; c < 3; ++c)
            SP_RETURN_IF_ERROR(ReducePlane(ws.g[c][i + 1].Data(), ws.g[c][i].Data(), wn, hn, wi, hi, pyramid.kernel));
    }
    return Status::Ok();
}

// Level 0, weighted as its rows are made: guides and their sums from the bytes, detail bands from the bytes
// and the expanded level 1 (or the guides themselves when level 0 is the top).
Status WeightLevel0(const ByteSource& src, ExposureWorkspace& ws, FloatPlane* const blocks[3], FusionPyramid& pyramid) {
    const int32_t w = LevelW(pyramid, 0), h = LevelH(pyramid, 0);
    const bool top = pyramid.topLevel == 0;
    const FusionRowWeigher weigher(top, w, h, pyramid.midTone, pyramid.contrastParam, pyramid.saturationParam,
                                   pyramid.exposednessParam, true);
    if (weigher.Skips())
        return Status::Ok();
    const RowKernels& kernels = ActiveRowKernels();
    const int32_t w1 = top ? 0 : LevelW(pyramid, 1), h1 = top ? 0 : LevelH(pyramid, 1);
    return ParallelRows(h, int64_t{w} * 80, [&](int32_t y0, int32_t y1) {
        const FusionRowWeigher::ScratchPtr scratch = weigher.NewScratch();
        const SplitPixelsFn split = ActiveSplitPixels();
        // Four slots of rows, each with its three guides and their sum; then the bands of the own row. A row's
        // window spans three consecutive rows, so four slots are never overwritten while in use.
        const size_t wz = static_cast<size_t>(w);
        std::vector<float> block(wz * 19);
        float* bandRows = block.data() + wz * 16;
        int32_t inSlot[4] = {-1, -1, -1, -1};
        auto slot = [&](int32_t y) {
            float* rows = block.data() + static_cast<size_t>(y & 3) * wz * 4;
            if (inSlot[y & 3] != y) {
                split(rows, rows + wz, rows + wz * 2, rows + wz * 3, src.Row(y), w);
                inSlot[y & 3] = y;
            }
            return rows;
        };
        for (int32_t y = y0; y < y1; ++y) {
            const int32_t oy = WeightWindowStart(y, h);
            if (y + 2 < h)
                PrefetchSpan(src.Row(y + 2), static_cast<size_t>(w) * 3);
            WeightSpanArgs a{};
            a.sumUp = slot(oy) + wz * 3;
            a.sumMid = slot(oy + 1) + wz * 3;
            a.sumDown = slot(oy + 2) + wz * 3;
            float* own = slot(y);
            a.sumOwn = own + wz * 3;
            const size_t row = static_cast<size_t>(y) * w;
            for (int c = 0; c < 3; ++c) {
                float* guide = own + wz * c;
                a.guide[c] = guide;
                if (top) {
                    a.value[c] = guide;
                } else {
                    float* band = bandRows + wz * c;
                    const ExpandTarget t{ExpandSink::kSubtract, band, guide, 0.0f};
                    ExpandPlaneRow(t, ws.g[c][1].Data(), y, w, h, w1, h1, pyramid.kernel, kernels);
                    a.value[c] = band;
                }
                a.weighted[c] = blocks[c][kFusionLevelSlots].Data() + row;
            }
            a.weightSum = blocks[0][0].Data() + row;
            weigher.Row(a, scratch.get());
        }
    });
}

// Decomposes one rendering and adds its weighted levels to the blocks. Fails when working rows cannot be had
// (the sums are then partly added to).
Status AccumulateRendering(const ByteSource& src,
                           ExposureWorkspace& ws,
                           FloatPlane* const blocks[3],
                           FusionPyramid& pyramid,
                           bool shareWeights) {
    const uint32_t L = pyramid.topLevel;
    if (L >= 1) {
        SP_RETURN_IF_ERROR(ReduceFromBytes(ws, src, pyramid));
        SP_RETURN_IF_ERROR(ReduceUpper(ws, pyramid));
    }
    SP_RETURN_IF_ERROR(WeightLevel0(src, ws, blocks, pyramid));
    auto weighted = [&](int k, uint32_t j) { return blocks[k][kFusionLevelSlots + j].Data(); };
    const RowKernels& kernels = ActiveRowKernels();
    for (uint32_t i = 1; i < L; ++i) {
        const int32_t wi = LevelW(pyramid, i), hi = LevelH(pyramid, i);
        const int32_t wn = LevelW(pyramid, i + 1), hn = LevelH(pyramid, i + 1);
        // Band rows B[i] = G[i] - expand G[i + 1].
        const FusionValueRows bands = [&](int32_t y, float* const rows[3]) {
            const size_t row = static_cast<size_t>(y) * wi;
            for (int c = 0; c < 3; ++c) {
                const ExpandTarget t{ExpandSink::kSubtract, rows[c], ws.g[c][i].Data() + row, 0.0f};
                ExpandPlaneRow(t, ws.g[c][i + 1].Data(), y, wi, hi, wn, hn, pyramid.kernel, kernels);
            }
        };
        float* const sums[3] = {weighted(0, i), weighted(1, i), weighted(2, i)};
        const float* const guides[3] = {ws.g[0][i].Data(), ws.g[1][i].Data(), ws.g[2][i].Data()};
        SP_RETURN_IF_ERROR(WeightColourLevelRows8(sums, blocks[0][i].Data(), bands, guides, wi, hi, pyramid.midTone,
                                                  pyramid.contrastParam, pyramid.saturationParam,
                                                  pyramid.exposednessParam));
    }
    if (L >= 1) {
        SP_RETURN_IF_ERROR(WeightColourTop8(weighted(0, L), weighted(1, L), weighted(2, L), blocks[0][L].Data(),
                                            ws.g[0][L].Data(), ws.g[1][L].Data(), ws.g[2][L].Data(), ws.g[0][L].Data(),
                                            ws.g[1][L].Data(), ws.g[2][L].Data(), LevelW(pyramid, L),
                                            LevelH(pyramid, L), pyramid.midTone, pyramid.contrastParam,
                                            pyramid.saturationParam, pyramid.exposednessParam));
    }
    if (shareWeights) {
        for (uint32_t j = 0; j <= L; ++j) {
            const size_t bytes = blocks[0][j].Count() * sizeof(float);
            std::memcpy(blocks[1][j].Data(), blocks[0][j].Data(), bytes);
            std::memcpy(blocks[2][j].Data(), blocks[0][j].Data(), bytes);
        }
    }
    return Status::Ok();
}

// The largest float not above 1e-10: |s| > 1e-10 in double exactly when |s| > kNegligibleSum in float.
const float kNegligibleSum = [] {
    float f = static_cast<float>(1e-10);
    return static_cast<double>(f) > 1e-10 ? std::nextafter(f, 0.0f) : f;
}();

// weighted / weightSum where the weight sum is not negligible, else 0 (also for NaN). Written without a
// branch around the division so that the loops below run in vectors.
inline float Ratio(float weighted, float weightSum) {
    const bool ok = std::fabs(weightSum) > kNegligibleSum;
    const float q = weighted / (ok ? weightSum : 1.0f);
    return ok ? q : 0.0f;
}

void RatioRow(float* dst, const float* weighted, const float* weightSum, size_t count) {
    for (size_t k = 0; k < count; ++k)
        dst[k] = Ratio(weighted[k], weightSum[k]);
}

Status DivideLevel(float* dst, const float* weighted, const float* weightSum, int32_t width, int32_t height) {
    return ParallelRows(height, int64_t{width} * 8, [&](int32_t y0, int32_t y1) {
        const size_t begin = static_cast<size_t>(y0) * width;
        RatioRow(dst + begin, weighted + begin, weightSum + begin, static_cast<size_t>(y1 - y0) * width);
    });
}

// "Stretch Histogram": the extremes of a fused plane, and the linear map that takes a range overshooting
// 0 .. 255 into it. Minimum and maximum do not depend on the order in which samples are seen.
class FusedRange {
public:
    void Add(const float* v, size_t count) {
        for (size_t k = 0; k < count; ++k) {
            mn_ = std::min(mn_, v[k]);
            mx_ = std::max(mx_, v[k]);
        }
    }
    void Add(const FusedRange& other) {
        mn_ = std::min(mn_, other.mn_);
        mx_ = std::max(mx_, other.mx_);
    }
    // A flat plane is stored as it is.
    bool Stretches() const { return static_cast<double>(mx_ - mn_) > 1e-5; }
    // dst[x * step] for the samples src[0 .. count - 1].
    void StoreRow(uint8_t* dst, size_t step, const float* src, int32_t count) const {
        const float mn = mn_, mx = mx_;
        const float lo = mn >= 0.0f ? mn : 0.0f;
        const float hi = mx <= 255.0f ? mx : 255.0f;
        for (int32_t x = 0; x < count; ++x)
            dst[static_cast<size_t>(x) * step] = samplestore::StoreU8((src[x] - mn) * (hi - lo) / (mx - mn) + lo);
    }

private:
    float mn_ = 1000.0f;
    float mx_ = -100.0f;
};

}  // namespace

Status AddExposure(FusionPyramid& pyramid, const SQmPicBuf& picture) {
    if (picture.components != static_cast<int32_t>(pyramid.components) ||
        picture.bitsPerComponent != pyramid.bitsPerComponent || picture.width != pyramid.width ||
        picture.height != pyramid.height)
        return StatusCode::kInvalid;
    if (!IsColour8(picture) || !PyramidReady(pyramid))
        return StatusCode::kInvalid;
    ExposureWorkspace ws;
    SP_RETURN_IF_ERROR(ws.Attach(pyramid));
    FloatPlane* const blocks[3] = {pyramid.Block(0), pyramid.Block(1), pyramid.Block(2)};
    return AccumulateRendering(ByteSource(picture), ws, blocks, pyramid, !pyramid.sharedWeightSums);
}

void WriteFusedPlane8(SQmPicBuf& target, const float* plane, bool stretch) {
    const int32_t width = target.width;
    const int32_t height = target.height;
    FusedRange range;
    if (stretch) {
        range.Add(plane, static_cast<size_t>(width) * static_cast<size_t>(height));
        stretch = range.Stretches();
    }
    const Status status = ParallelRows(height, int64_t{width} * 8, [&](int32_t y0, int32_t y1) {
        for (int32_t y = y0; y < y1; ++y) {
            const float* src = plane + static_cast<size_t>(y) * width;
            uint8_t* dst = target.data + static_cast<size_t>(y) * target.stride;
            if (stretch)
                range.StoreRow(dst, 1, src, width);
            else
                samplestore::StoreRowU8(dst, src, width);
        }
    });
    status.IgnoreError();  // the rows allocate nothing and throw nothing
}

namespace {

// Reconstruction planes G'[1..L] of one component's collapse: G'[L] is the top level's ratio, G'[j] the
// expanded G'[j + 1] plus the ratio of level j, its rows made as they are needed. Level 0 is made row by row
// straight into the target.
struct CollapseWorkspace {
    FloatPlane rebuilt[kFusionLevelSlots];

    Status Allocate(const FusionPyramid& pyramid) {
        for (uint32_t j = 1; j <= pyramid.topLevel; ++j) {
            if (!rebuilt[j].Allocate(LevelW(pyramid, j), LevelH(pyramid, j)))
                return StatusCode::kOutOfMemory;
        }
        return Status::Ok();
    }
};

// The weighted sums of a component block and the weight sums they are divided by (the block's own, or block
// 0's where the components share their weights).
struct CollapseSource {
    FloatPlane* block;
    FloatPlane* sumBlock;
    const float* WeightSum(uint32_t j) const { return sumBlock[j].Data(); }
    const float* Weighted(uint32_t j) const { return block[kFusionLevelSlots + j].Data(); }
};

Status RebuildUpper(const CollapseSource& src, FusionPyramid& pyramid, CollapseWorkspace& ws) {
    const uint32_t L = pyramid.topLevel;
    if (L >= 1 && pyramid.LevelAtLeast5(L)) {
        SP_RETURN_IF_ERROR(DivideLevel(ws.rebuilt[L].Data(), src.Weighted(L), src.WeightSum(L), LevelW(pyramid, L),
                                       LevelH(pyramid, L)));
    }
    const RowKernels& kernels = ActiveRowKernels();
    for (uint32_t j = L; j-- > 1;) {
        const int32_t wj = LevelW(pyramid, j), hj = LevelH(pyramid, j);
        if (wj < 5 || hj < 5)
            continue;
        SP_RETURN_IF_ERROR(ParallelRows(hj, int64_t{wj} * 10, [&](int32_t y0, int32_t y1) {
            std::vector<float> ratio(static_cast<size_t>(wj));
            for (int32_t y = y0; y < y1; ++y) {
                const size_t row = static_cast<size_t>(y) * wj;
                RatioRow(ratio.data(), src.Weighted(j) + row, src.WeightSum(j) + row, static_cast<size_t>(wj));
                // e + 1 * r is e + r to the bit.
                const ExpandTarget t{ExpandSink::kGainAdd, ws.rebuilt[j].Data() + row, ratio.data(), 1.0f};
                ExpandPlaneRow(t, ws.rebuilt[j + 1].Data(), y, wj, hj, LevelW(pyramid, j + 1), LevelH(pyramid, j + 1),
                               pyramid.kernel, kernels);
            }
        }));
    }
    return Status::Ok();
}

// Row y of level 0: the expanded G'[1] plus the ratio, or the ratio alone when level 0 is the top. ratio is
// scratch of the level's width.
void Level0Row(float* row,
               float* ratio,
               int32_t y,
               const CollapseSource& src,
               FusionPyramid& pyramid,
               const CollapseWorkspace& ws,
               const RowKernels& kernels) {
    const int32_t w = LevelW(pyramid, 0), h = LevelH(pyramid, 0);
    const size_t base = static_cast<size_t>(y) * w;
    if (pyramid.topLevel == 0) {
        RatioRow(row, src.Weighted(0) + base, src.WeightSum(0) + base, static_cast<size_t>(w));
        return;
    }
    RatioRow(ratio, src.Weighted(0) + base, src.WeightSum(0) + base, static_cast<size_t>(w));
    const ExpandTarget t{ExpandSink::kGainAdd, row, ratio, 1.0f};
    ExpandPlaneRow(t, ws.rebuilt[1].Data(), y, w, h, LevelW(pyramid, 1), LevelH(pyramid, 1), pyramid.kernel, kernels);
}

// Collapses one component into bytes: sample x of row y goes to out + y * stride + x * step.
Status CollapseInto(uint8_t* out,
                    int64_t stride,
                    int32_t step,
                    const CollapseSource& src,
                    FusionPyramid& pyramid,
                    CollapseWorkspace& ws,
                    bool stretch) {
    SP_RETURN_IF_ERROR(RebuildUpper(src, pyramid, ws));
    const RowKernels& kernels = ActiveRowKernels();
    const int32_t w = LevelW(pyramid, 0), h = LevelH(pyramid, 0);
    FusedRange range;
    if (stretch) {
        // Level 0 is made twice: once for its extremes, once to store it.
        std::mutex lock;
        SP_RETURN_IF_ERROR(ParallelRows(h, int64_t{w} * 12, [&](int32_t y0, int32_t y1) {
            std::vector<float> row(static_cast<size_t>(w) * 2);
            FusedRange band;
            for (int32_t y = y0; y < y1; ++y) {
                Level0Row(row.data(), row.data() + w, y, src, pyramid, ws, kernels);
                band.Add(row.data(), static_cast<size_t>(w));
            }
            std::lock_guard<std::mutex> guard(lock);
            range.Add(band);
        }));
        stretch = range.Stretches();
    }
    return ParallelRows(h, int64_t{w} * 10, [&](int32_t y0, int32_t y1) {
        std::vector<float> row(static_cast<size_t>(w) * 2);
        for (int32_t y = y0; y < y1; ++y) {
            Level0Row(row.data(), row.data() + w, y, src, pyramid, ws, kernels);
            uint8_t* dst = out + static_cast<int64_t>(y) * stride;
            if (stretch) {
                range.StoreRow(dst, static_cast<size_t>(step), row.data(), w);
            } else {
                uint8_t* bytes = reinterpret_cast<uint8_t*>(row.data() + w);  // the ratio scratch is free again
                samplestore::StoreRowU8(bytes, row.data(), w);
                for (int32_t x = 0; x < w; ++x)
                    dst[static_cast<size_t>(x) * step] = bytes[x];
            }
        }
    });
}

// All components of the target; sharedSums: every component uses block 0's weight sums.
Status RenderComponents(SQmPicBuf& target, FusionPyramid& pyramid, bool stretch, bool sharedSums) {
    if (target.bitsPerComponent != pyramid.bitsPerComponent || target.width != pyramid.width ||
        target.height != pyramid.height)
        return StatusCode::kInvalid;
    if (!PyramidReady(pyramid) || target.data == nullptr || target.components <= 0 ||
        target.stride < static_cast<int64_t>(target.width) * target.components)
        return StatusCode::kInvalid;
    const uint32_t components = std::min(pyramid.components, static_cast<uint32_t>(target.components));
    auto source = [&](uint32_t c) { return CollapseSource{pyramid.Block(c), pyramid.Block(sharedSums ? 0 : c)}; };
    if (stretch || components != 3 || target.components != 3) {
        // Each component fits its own range: one after the other, through one workspace.
        CollapseWorkspace ws;
        SP_RETURN_IF_ERROR(ws.Allocate(pyramid));
        for (uint32_t c = 0; c < components; ++c)
            SP_RETURN_IF_ERROR(
                CollapseInto(target.data + c, target.stride, target.components, source(c), pyramid, ws, stretch));
        return Status::Ok();
    }
    // Three components rebuilt side by side, so that level 0 makes whole interleaved rows.
    CollapseWorkspace ws[3];
    for (CollapseWorkspace& one : ws)
        SP_RETURN_IF_ERROR(one.Allocate(pyramid));
    for (uint32_t c = 0; c < 3; ++c)
        SP_RETURN_IF_ERROR(RebuildUpper(source(c), pyramid, ws[c]));
    const RowKernels& kernels = ActiveRowKernels();
    const int32_t w = LevelW(pyramid, 0), h = LevelH(pyramid, 0);
    return ParallelRows(h, int64_t{w} * 30, [&](int32_t y0, int32_t y1) {
        std::vector<float> row(static_cast<size_t>(w) * 2);
        std::vector<uint8_t> bytes(static_cast<size_t>(w) * 3);
        uint8_t* const plane[3] = {bytes.data(), bytes.data() + w, bytes.data() + 2 * static_cast<size_t>(w)};
        for (int32_t y = y0; y < y1; ++y) {
            for (uint32_t c = 0; c < 3; ++c) {
                Level0Row(row.data(), row.data() + w, y, source(c), pyramid, ws[c], kernels);
                samplestore::StoreRowU8(plane[c], row.data(), w);
            }
            kernels.interleave3U8(target.data + static_cast<int64_t>(y) * target.stride, plane[0], plane[1], plane[2],
                                  w);
        }
    });
}

}  // namespace

Status CollapseComponent(SQmPicBuf& target, FloatPlane* block, FusionPyramid& pyramid, bool stretch) {
    if (!PyramidReady(pyramid) || !IsPlane8(target, pyramid.width, pyramid.height))
        return StatusCode::kInvalid;
    CollapseWorkspace ws;
    SP_RETURN_IF_ERROR(ws.Allocate(pyramid));
    FloatPlane* sums = pyramid.sharedWeightSums ? pyramid.Block(0) : block;
    return CollapseInto(target.data, target.stride, 1, CollapseSource{block, sums}, pyramid, ws, stretch);
}

Status RenderFusion(SQmPicBuf& target, FusionPyramid& pyramid, bool stretch) {
    return RenderComponents(target, pyramid, stretch, pyramid.sharedWeightSums);
}

Status PrepareFusionRun(FusionPyramid& prepared,
                        const SQmPicBuf& like,
                        uint32_t minSide,
                        const std::function<bool()>& proceed) {
    if (!IsColour8(like) || like.width < 5 || like.height < 5) {
        DonePyramid(prepared);
        return StatusCode::kInvalid;
    }
    // As many levels as any flatness can ask for; a run drops those above its own top.
    SP_RETURN_IF_ERROR(
        InitPyramid(prepared, like, minSide, 128, static_cast<int32_t>(kFusionMaxTopLevel), true, proceed));
    ExposureWorkspace ws;
    return ws.Attach(prepared, proceed);
}

namespace {

// The planes of a pyramid prepared for pictures of this shape become the run's, cut to the run's top level and
// completed where the preparation stopped early. False when there is none or it does not fit; prepared is
// empty afterwards either way.
bool TakePrepared(FusionPyramid& pyramid,
                  FusionPyramid* prepared,
                  const SQmPicBuf& picture,
                  const FusionRunParams& params) {
    if (!prepared)
        return false;
    FusionPyramid taken = std::move(*prepared);  // leaves its planes and table null
    const uint32_t L = FusionTopLevel(picture.width, picture.height, std::max(params.minSide, 2u), params.flatness);
    if (!taken.planes || taken.width != picture.width || taken.height != picture.height || taken.components != 3 ||
        taken.bitsPerComponent != 8 || !taken.sharedWeightSums || L > taken.topLevel)
        return false;
    for (uint32_t j = L + 1; j <= taken.topLevel; ++j) {
        for (uint32_t c = 0; c < 3; ++c) {
            taken.WeightSum(c, j).Release();
            taken.WeightedSum(c, j).Release();
            if (taken.gaussians)
                taken.gaussians[c][j].Release();
        }
        taken.levelWidth[j] = taken.levelHeight[j] = 0;
    }
    taken.topLevel = L;
    taken.midTone = params.midTone;
    pyramid = std::move(taken);
    return AllocatePyramidPlanes(pyramid).ok();
}

}  // namespace

FusionStatus RunFusion(SQmPicBuf& target,
                       int32_t available,
                       const FusionPictureSource& source,
                       const FusionRunParams& params,
                       FusionPyramid* prepared) {
    if (available <= 0)
        return FusionStatus::kNoPictures;
    const int32_t count = std::clamp(params.count, 1, available);

    FusionPyramid pyramid;
    {
        ExposureWorkspace ws;
        FloatPlane* blocks[3] = {};
        for (int32_t i = 0; i < count; ++i) {
            const SQmPicBuf* picture = source(i);
            if (picture == nullptr)
                return FusionStatus::kPictureUnavailable;
            if (i == 0) {
                if (!IsColour8(*picture) || !IsColour8(target) || target.width != picture->width ||
                    target.height != picture->height)
                    return FusionStatus::kShapeMismatch;
                if (picture->width < 5 || picture->height < 5)
                    return FusionStatus::kTooSmall;
                // The shape is checked above: only memory can fail here.
                if (!TakePrepared(pyramid, prepared, *picture, params) &&
                    !InitPyramid(pyramid, *picture, params.minSide, params.midTone, params.flatness, true).ok())
                    return FusionStatus::kAllocationFailed;
                if (!ws.Attach(pyramid).ok())
                    return FusionStatus::kAllocationFailed;
                for (uint32_t c = 0; c < 3; ++c)
                    blocks[c] = pyramid.Block(c);
            } else if (!IsColour8(*picture) || picture->width != pyramid.width || picture->height != pyramid.height) {
                return FusionStatus::kShapeMismatch;
            }
            // Only block 0 holds the weight sums: the collapse below reads them for every component.
            if (!AccumulateRendering(ByteSource(*picture), ws, blocks, pyramid, false).ok())
                return FusionStatus::kAllocationFailed;
        }
        pyramid.gaussians.reset();  // not needed by the collapse
    }

    // The planes are all allocated before the first byte of the target is written; only a thread's few working
    // rows can still fail after that.
    if (!RenderComponents(target, pyramid, params.stretch, true).ok())
        return FusionStatus::kAllocationFailed;
    DonePyramid(pyramid);
    return FusionStatus::kDone;
}

FusionStatus RunFusion(SQmPicBuf& target, std::span<const SQmPicBuf> renderings, const FusionRunParams& params) {
    const int32_t available = static_cast<int32_t>(std::min<size_t>(renderings.size(), INT32_MAX));
    return RunFusion(
        target, available, [&](int32_t i) { return &renderings[static_cast<size_t>(i)]; }, params);
}
