// Smart Contrast pyramid: decomposition once per dialog, collapse with gains on every slider change.
// Every pass works row by row over the thread pool; a row of output has one writer, and the row kernels give
// the bits of the plain loops, so the result depends neither on the thread count nor on the vector path.
#include "contrast/contrast_pyramid.h"

#include <cstddef>
#include <cstring>
#include <vector>

#include "base/thread_pool.h"
#include "pyramid/row_kernels.h"
#include "pyramid/sample_store.h"

namespace {

bool SupportedFormat(int32_t components, int32_t bitsPerComponent) {
    return (components == 1 || components == 3) && (bitsPerComponent == 8 || bitsPerComponent == 16);
}

// A one-component 8- or 16-bit picture whose rows all lie inside its block.
bool PlanePictureUsable(const SQmPicBuf& pic) {
    if (!pic.data || pic.components != 1 || pic.width <= 0 || pic.height <= 0)
        return false;
    if (pic.bitsPerComponent != 8 && pic.bitsPerComponent != 16)
        return false;
    int64_t rowBytes = static_cast<int64_t>(pic.width) * (pic.bitsPerComponent / 8);
    if (pic.stride < rowBytes || (pic.bitsPerComponent == 16 && pic.stride % 2 != 0))
        return false;
    return static_cast<int64_t>(pic.stride) * (pic.height - 1) + rowBytes <= pic.size;
}

// Gaussian level 0 of every component straight from the interleaved picture: each sample as a float.
Status PictureToPlanes(FloatPlane* const* planes, uint32_t count, const SQmPicBuf& pic) {
    const size_t w = static_cast<size_t>(pic.width);
    const size_t step = static_cast<size_t>(pic.components);
    return ParallelRows(pic.height, int64_t{pic.width} * pic.components, [&](int32_t begin, int32_t end) {
        for (int32_t y = begin; y < end; y++) {
            const uint8_t* row = pic.data + static_cast<size_t>(y) * static_cast<size_t>(pic.stride);
            for (uint32_t c = 0; c < count; c++) {
                float* out = planes[c]->Data() + static_cast<size_t>(y) * w;
                if (pic.bitsPerComponent == 8) {
                    const uint8_t* in = row + c;
                    for (size_t x = 0; x < w; x++)
                        out[x] = static_cast<float>(in[x * step]);
                } else {
                    const uint16_t* in = reinterpret_cast<const uint16_t*>(row) + c;
                    for (size_t x = 0; x < w; x++)
                        out[x] = static_cast<float>(in[x * step]);
                }
            }
        }
    });
}

// Per-thread component rows of one output row (8- or 16-bit), grown when needed and kept, so a render
// allocates nothing once warm.
uint8_t* ThreadSampleRows(size_t bytes) {
    thread_local std::vector<uint8_t> rows;
    if (rows.size() < bytes)
        rows.resize(bytes);
    return rows.data();
}

}  // namespace

uint32_t ContrastLevelCount(int32_t width, int32_t height) {
    int32_t m = width < height ? width : height;
    if (m < 10)
        return 0;
    uint32_t levels = 0;
    while (m >= 10) {
        m >>= 1;
        levels++;
    }
    return levels < kContrastMaxLevelCount ? levels : kContrastMaxLevelCount;
}

void ContrastPyramid::Release() {
    for (int c = 0; c < kContrastComponents; c++) {
        for (int k = 0; k < kContrastMaxLevels; k++)
            detail[c][k].Release();
        top[c].Release();
        levelTwo[c].Release();
    }
    for (int k = 0; k < kContrastMaxLevels; k++)
        scratch[k].Release();
    componentCount = 0;
    bitsPerComponent = 0;
    width = 0;
    height = 0;
    levelCount = 0;
    for (int k = 0; k < kContrastMaxLevels; k++)
        levelWidth[k] = levelHeight[k] = 0;
    built = false;
}

size_t ContrastPyramid::AllocatedBytes() const {
    size_t floats = 0;
    for (int c = 0; c < kContrastComponents; c++) {
        for (int k = 0; k < kContrastMaxLevels; k++)
            floats += detail[c][k].Count();
        floats += top[c].Count() + levelTwo[c].Count();
    }
    for (int k = 0; k < kContrastMaxLevels; k++)
        floats += scratch[k].Count();
    return floats * sizeof(float);
}

namespace {

// The Gaussian level k + 1 of component c during Build, and the reconstruction of level k during a render.
const float* GaussAbove(const ContrastPyramid& p, uint32_t c, uint32_t k) {
    return k + 1 == p.levelCount ? p.top[c].Data() : p.detail[c][k + 1].Data();
}

// Level k >= 2 of the reconstruction of component c (the top level for k = L).
float* Reconstruction(ContrastPyramid& p, uint32_t c, uint32_t k) {
    if (k == p.levelCount)
        return p.top[c].Data();
    return k == 2 ? p.levelTwo[c].Data() : p.scratch[k].Data();
}

// Levels L - 1 down to 2 of component c: R(k) = Expand(R(k + 1)) + gain[k] x D(k), one fused pass per level.
Status CollapseToLevelTwo(ContrastPyramid& p, uint32_t c, const float gain[kLodCount], const RowKernels& kernels) {
    for (uint32_t k = p.levelCount - 1; k >= 2 && k < p.levelCount; k--) {
        const int32_t lw = static_cast<int32_t>(p.levelWidth[k]);
        const int32_t lh = static_cast<int32_t>(p.levelHeight[k]);
        const int32_t sw = static_cast<int32_t>(p.levelWidth[k + 1]);
        const int32_t sh = static_cast<int32_t>(p.levelHeight[k + 1]);
        const float* src = Reconstruction(p, c, k + 1);
        float* dst = Reconstruction(p, c, k);
        const float* d = p.detail[c][k].Data();
        const float g = gain[k];
        SP_RETURN_IF_ERROR(ParallelRows(lh, int64_t{lw} * 8, [&](int32_t begin, int32_t end) {
            for (int32_t y = begin; y < end; y++) {
                const size_t at = static_cast<size_t>(y) * static_cast<size_t>(lw);
                ExpandPlaneRow(ExpandTarget{ExpandSink::kGainAdd, dst + at, d + at, g}, src, y, lw, lh, sw, sh,
                               p.kernel, kernels);
            }
        }));
    }
    return Status::Ok();
}

// Rows of the level 1 reconstruction of one component, made when first needed: output rows come in order and
// each needs two or three consecutive level 1 rows, so four slots always hold them. For L = 1 the rows are
// those of the top level.
class LevelOneRows {
public:
    void Start(ContrastPyramid& p, uint32_t c, float gain, float* slots, const RowKernels& kernels) {
        p_ = &p;
        c_ = c;
        gain_ = gain;
        slots_ = slots;
        kernels_ = &kernels;
        for (int32_t& r : slotRow_)
            r = -1;
    }

    const float* Row(int32_t j) {
        const size_t w1 = p_->levelWidth[1];
        if (p_->levelCount == 1)
            return p_->top[c_].Data() + static_cast<size_t>(j) * w1;
        float* slot = slots_ + static_cast<size_t>(j & 3) * w1;
        if (slotRow_[j & 3] != j) {
            // R(1) row j = Expand(R(2)) row j + gain[1] x D(1) row j.
            const ContrastPyramid& p = *p_;
            const float* d = p.detail[c_][1].Data() + static_cast<size_t>(j) * w1;
            ExpandPlaneRow(ExpandTarget{ExpandSink::kGainAdd, slot, d, gain_}, Reconstruction(*p_, c_, 2), j,
                           static_cast<int32_t>(p.levelWidth[1]), static_cast<int32_t>(p.levelHeight[1]),
                           static_cast<int32_t>(p.levelWidth[2]), static_cast<int32_t>(p.levelHeight[2]), p.kernel,
                           *kernels_);
            slotRow_[j & 3] = j;
        }
        return slot;
    }

private:
    ContrastPyramid* p_ = nullptr;
    uint32_t c_ = 0;
    float gain_ = 0.0f;
    float* slots_ = nullptr;
    const RowKernels* kernels_ = nullptr;
    int32_t slotRow_[4] = {-1, -1, -1, -1};
};

// Per-thread working rows, grown when needed and kept, so a render allocates nothing once warm.
float* ThreadLevelOneSlots(size_t floats) {
    thread_local std::vector<float> slots;
    if (slots.size() < floats)
        slots.resize(floats);
    return slots.data();
}

// Levels 1 and 0 of the given components into the rows of an interleaved picture with `components` per pixel.
// Fails when a thread's working rows cannot be had.
Status CollapseLevelZero(ContrastPyramid& p,
                         SQmPicBuf& target,
                         uint32_t firstComponent,
                         uint32_t components,
                         const float gain[kLodCount],
                         const RowKernels& kernels) {
    const int32_t w = p.width;
    const int32_t h = p.height;
    const int32_t sw = static_cast<int32_t>(p.levelWidth[1]);
    const int32_t sh = static_cast<int32_t>(p.levelHeight[1]);
    const float g = gain[0];
    const bool wide = p.bitsPerComponent != 8;
    const ExpandSink sink = wide ? ExpandSink::kGainAddU16 : ExpandSink::kGainAddU8;
    const size_t sampleBytes = wide ? 2 : 1;
    // 8-bit colour straight into the interleaved row where the kernels can; otherwise per component, then
    // interleaved.
    const bool fusedColour = components == 3 && !wide && kernels.expandInterior3U8 != nullptr;
    return ParallelRows(h, int64_t{w} * components * 10, [&](int32_t begin, int32_t end) {
        // One component goes straight into the picture; three go through rows of their own, then interleave.
        uint8_t* samples = components == 1 ? nullptr : ThreadSampleRows(static_cast<size_t>(w) * 3 * sampleBytes);
        float* slots = ThreadLevelOneSlots(static_cast<size_t>(sw) * 4 * components);
        LevelOneRows levelOne[kContrastComponents];
        for (uint32_t i = 0; i < components; i++)
            levelOne[i].Start(p, firstComponent + i, gain[1], slots + static_cast<size_t>(sw) * 4 * i, kernels);
        for (int32_t y = begin; y < end; y++) {
            uint8_t* out = target.data + static_cast<size_t>(y) * static_cast<size_t>(target.stride);
            const size_t at = static_cast<size_t>(y) * static_cast<size_t>(w);
            const ExpandTaps taps = ExpandTapsOf(y, h, sh);
            if (fusedColour) {
                const float* rows[3][3] = {};
                const float* const* rowSets[3] = {rows[0], rows[1], rows[2]};
                const float* d[3];
                for (uint32_t i = 0; i < 3; i++) {
                    for (int32_t n = 0; n < taps.count; n++)
                        rows[i][n] = levelOne[i].Row(taps.src[n]);
                    d[i] = p.detail[firstComponent + i][0].Data() + at;
                }
                ExpandRowsInterleavedU8(out, rowSets, taps, d, g, w, sw, p.kernel, kernels);
                continue;
            }
            for (uint32_t i = 0; i < components; i++) {
                const uint32_t c = firstComponent + i;
                const float* rows[3] = {};
                for (int32_t n = 0; n < taps.count; n++)
                    rows[n] = levelOne[i].Row(taps.src[n]);
                uint8_t* row = components == 1 ? out : samples + i * static_cast<size_t>(w) * sampleBytes;
                ExpandRowFromRows(ExpandTarget{sink, row, p.detail[c][0].Data() + at, g}, rows, taps, w, sw, p.kernel,
                                  kernels);
            }
            if (components == 3) {
                if (wide) {
                    const uint16_t* s = reinterpret_cast<const uint16_t*>(samples);
                    uint16_t* o = reinterpret_cast<uint16_t*>(out);
                    for (int32_t x = 0; x < w; x++) {
                        o[3 * x] = s[x];
                        o[3 * x + 1] = s[w + x];
                        o[3 * x + 2] = s[2 * w + x];
                    }
                } else {
                    kernels.interleave3U8(out, samples, samples + w, samples + 2 * w, w);
                }
            }
        }
    });
}

void Gains(const int32_t lod[kLodCount], uint32_t levelCount, float gain[kLodCount]) {
    for (uint32_t k = 0; k < kLodCount; k++)
        gain[k] = k < levelCount ? static_cast<float>(lod[k]) / 10.0f : 0.0f;
}

}  // namespace

uint8_t ContrastPyramid::Build(const SQmPicBuf& source) {
    Release();
    if (!source.data || source.width <= 0 || source.height <= 0 ||
        !SupportedFormat(source.components, source.bitsPerComponent) || !IsUsablePicBuf(source)) {
        return 1;
    }
    componentCount = static_cast<uint32_t>(source.components);
    bitsPerComponent = source.bitsPerComponent;
    width = source.width;
    height = source.height;
    levelCount = ContrastLevelCount(width, height);
    for (uint32_t k = 0; k <= levelCount; k++) {
        levelWidth[k] = static_cast<uint32_t>(width) >> k;
        levelHeight[k] = static_cast<uint32_t>(height) >> k;
    }
    PyramidKernel(kernel);
    if (levelCount == 0) {
        built = true;  // nothing to decompose; never rendered
        return 0;
    }

    // Everything a render needs is allocated here, so a failure is seen now and not halfway through a render.
    auto allocate = [&](FloatPlane& plane, uint32_t k) {
        return plane.Allocate(static_cast<int32_t>(levelWidth[k]), static_cast<int32_t>(levelHeight[k]));
    };
    const uint32_t L = levelCount;
    for (uint32_t c = 0; c < componentCount; c++) {
        for (uint32_t k = 0; k < L; k++) {
            if (!allocate(detail[c][k], k))
                return 1;
        }
        if (!allocate(top[c], L) || (L >= 3 && !allocate(levelTwo[c], 2)))
            return 1;
    }
    for (uint32_t k = 3; k < L; k++) {
        if (!allocate(scratch[k], k))
            return 1;
    }

    // The detail planes first hold the Gaussian levels: reduce level by level upward, then turn each into its
    // band in place, from level 0 up, while the next level still holds its Gaussian.
    const RowKernels& kernels = ActiveRowKernels();
    FloatPlane* level0[kContrastComponents] = {};
    for (uint32_t c = 0; c < componentCount; c++)
        level0[c] = &detail[c][0];
    if (!PictureToPlanes(level0, componentCount, source).ok())
        return 1;
    for (uint32_t c = 0; c < componentCount; c++) {
        for (uint32_t k = 0; k < L; k++) {
            if (!ReducePlane(k + 1 == L ? top[c].Data() : detail[c][k + 1].Data(), detail[c][k].Data(),
                             static_cast<int32_t>(levelWidth[k + 1]), static_cast<int32_t>(levelHeight[k + 1]),
                             static_cast<int32_t>(levelWidth[k]), static_cast<int32_t>(levelHeight[k]), kernel)
                     .ok())
                return 1;
        }
        for (uint32_t k = 0; k < L; k++) {
            const int32_t lw = static_cast<int32_t>(levelWidth[k]);
            const int32_t lh = static_cast<int32_t>(levelHeight[k]);
            const int32_t sw = static_cast<int32_t>(levelWidth[k + 1]);
            const int32_t sh = static_cast<int32_t>(levelHeight[k + 1]);
            float* d = detail[c][k].Data();
            const float* above = GaussAbove(*this, c, k);
            const Status status = ParallelRows(lh, int64_t{lw} * 8, [&](int32_t begin, int32_t end) {
                for (int32_t y = begin; y < end; y++) {
                    float* row = d + static_cast<size_t>(y) * static_cast<size_t>(lw);
                    ExpandPlaneRow(ExpandTarget{ExpandSink::kSubtract, row, row, 0.0f}, above, y, lw, lh, sw, sh,
                                   kernel, kernels);
                }
            });
            if (!status.ok())
                return 1;
        }
    }
    built = true;
    return 0;
}

uint8_t ContrastPyramid::Render(SQmPicBuf& target, const int32_t lod[kLodCount], uint32_t component) {
    if (!Renderable() || component >= componentCount || component >= kContrastComponents)
        return 1;
    if (!PlanePictureUsable(target) || target.width != width || target.height != height ||
        target.bitsPerComponent != bitsPerComponent) {
        return 1;
    }
    float gain[kLodCount];
    Gains(lod, levelCount, gain);
    const RowKernels& kernels = ActiveRowKernels();
    if (!CollapseToLevelTwo(*this, component, gain, kernels).ok() ||
        !CollapseLevelZero(*this, target, component, 1, gain, kernels).ok()) {
        return 1;
    }
    return 0;
}

void StoreFloatPlane(SQmPicBuf& target, const float* plane) {
    if (!plane || !PlanePictureUsable(target))
        return;
    const size_t w = static_cast<size_t>(target.width);
    if (target.bitsPerComponent == 8) {
        for (int32_t y = 0; y < target.height; y++) {
            uint8_t* row = target.data + static_cast<size_t>(y) * static_cast<size_t>(target.stride);
            samplestore::StoreRowU8(row, plane + static_cast<size_t>(y) * w, target.width);
        }
    } else {
        uint16_t* base = reinterpret_cast<uint16_t*>(target.data);
        for (int32_t y = 0; y < target.height; y++) {
            uint16_t* row = base + static_cast<size_t>(y) * static_cast<size_t>(target.stride / 2);
            const float* in = plane + static_cast<size_t>(y) * w;
            for (size_t x = 0; x < w; x++)
                row[x] = samplestore::StoreU16(in[x]);
        }
    }
}

uint8_t ApplySmartContrast(SQmPicBuf& result, ContrastPyramid& pyramid, const int32_t lod[kLodCount]) {
    if (result.components != static_cast<int32_t>(pyramid.componentCount) ||
        result.bitsPerComponent != pyramid.bitsPerComponent || result.width != pyramid.width ||
        result.height != pyramid.height) {
        return 1;
    }
    if (!pyramid.Renderable() || !IsUsablePicBuf(result))
        return 1;
    if (pyramid.componentCount == 1)
        return pyramid.Render(result, lod, 0);

    float gain[kLodCount];
    Gains(lod, pyramid.levelCount, gain);
    const RowKernels& kernels = ActiveRowKernels();
    for (uint32_t c = 0; c < pyramid.componentCount; c++) {
        if (!CollapseToLevelTwo(pyramid, c, gain, kernels).ok())
            return 1;
    }
    if (!CollapseLevelZero(pyramid, result, 0, pyramid.componentCount, gain, kernels).ok())
        return 1;
    return 0;
}
