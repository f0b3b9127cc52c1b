// Exposure fusion driver: decomposition, weighting per level, division and collapse.
#include "fusion/fusion.h"

#include <algorithm>
#include <cmath>
#include <cstring>

#include "fusion/fusion_weights.h"
#include "fusion/row_bands.h"

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
            if (pyramid.WeightSum(c, j).Empty() || pyramid.WeightedSum(c, j).Empty())
                return false;
    return true;
}

// Gaussian levels G[0..L] and detail bands B[0..L] of the three components of one rendering. Kept across
// renderings by a run: the parts that are never written (levels below 5, B[L]) stay zero, exactly as fresh
// zeroed planes would.
struct ExposureWorkspace {
    FloatPlane g[3][kFusionLevelSlots];
    FloatPlane b[3][kFusionLevelSlots];

    bool Allocate(const FusionPyramid& pyramid) {
        for (int c = 0; c < 3; ++c) {
            for (uint32_t j = 0; j <= pyramid.topLevel; ++j) {
                if (!g[c][j].Allocate(LevelW(pyramid, j), LevelH(pyramid, j)))
                    return false;
                if (!b[c][j].Allocate(LevelW(pyramid, j), LevelH(pyramid, j)))
                    return false;
            }
        }
        return true;
    }
};

// Level 0 of component c from bytes at step bytes apart within a row, rows stride apart.
void FillLevel0(float* dst, const uint8_t* src, int32_t width, int32_t height, int32_t stride, int32_t step) {
    RunRowBands(height, width, [&](int32_t y0, int32_t y1) {
        for (int32_t y = y0; y < y1; ++y) {
            const uint8_t* s = src + static_cast<size_t>(y) * stride;
            float* d = dst + static_cast<size_t>(y) * width;
            for (int32_t x = 0; x < width; ++x)
                d[x] = static_cast<float>(s[static_cast<size_t>(x) * step]);
        }
    });
}

void Decompose(ExposureWorkspace& ws, int c, const FusionPyramid& pyramid) {
    const uint32_t L = pyramid.topLevel;
    for (uint32_t i = 0; i < L; ++i) {
        FloatPlane& gi = ws.g[c][i];
        FloatPlane& gn = ws.g[c][i + 1];
        FloatPlane& bi = ws.b[c][i];
        ReducePlane(gn.Data(), gi.Data(), LevelW(pyramid, i + 1), LevelH(pyramid, i + 1), LevelW(pyramid, i),
                    LevelH(pyramid, i), pyramid.kernel);
        ExpandPlane(bi.Data(), gn.Data(), LevelW(pyramid, i), LevelH(pyramid, i), LevelW(pyramid, i + 1),
                    LevelH(pyramid, i + 1), pyramid.kernel);
        if (pyramid.LevelAtLeast5(i)) {
            float* band = bi.Data();
            const float* g = gi.Data();
            const size_t n = gi.Count();
            for (size_t k = 0; k < n; ++k)
                band[k] = g[k] - band[k];
        }
    }
}

// Decomposes the three filled level-0 planes and adds their weighted levels to the blocks.
void AccumulateRendering(ExposureWorkspace& ws,
                         FloatPlane* const blocks[3],
                         FusionPyramid& pyramid,
                         bool shareWeights) {
    // Components are independent here; each band has one writer.
    RunTasks(3, static_cast<int64_t>(pyramid.width) * pyramid.height, [&](int32_t c) { Decompose(ws, c, pyramid); });
    const uint32_t L = pyramid.topLevel;
    auto weighted = [&](int k, uint32_t j) { return blocks[k][kFusionLevelSlots + j].Data(); };
    for (uint32_t i = 0; i < L; ++i) {
        WeightColourLevel8(weighted(0, i), weighted(1, i), weighted(2, i), blocks[0][i].Data(), ws.b[0][i].Data(),
                           ws.b[1][i].Data(), ws.b[2][i].Data(), ws.g[0][i].Data(), ws.g[1][i].Data(),
                           ws.g[2][i].Data(), LevelW(pyramid, i), LevelH(pyramid, i), pyramid.midTone,
                           pyramid.contrastParam, pyramid.saturationParam, pyramid.exposednessParam);
    }
    WeightColourTop8(weighted(0, L), weighted(1, L), weighted(2, L), blocks[0][L].Data(), ws.g[0][L].Data(),
                     ws.g[1][L].Data(), ws.g[2][L].Data(), ws.g[0][L].Data(), ws.g[1][L].Data(), ws.g[2][L].Data(),
                     LevelW(pyramid, L), LevelH(pyramid, L), pyramid.midTone, pyramid.contrastParam,
                     pyramid.saturationParam, pyramid.exposednessParam);
    if (shareWeights) {
        for (uint32_t j = 0; j <= L; ++j) {
            const size_t bytes = blocks[0][j].Count() * sizeof(float);
            std::memcpy(blocks[1][j].Data(), blocks[0][j].Data(), bytes);
            std::memcpy(blocks[2][j].Data(), blocks[0][j].Data(), bytes);
        }
    }
}

// weighted / weightSum where the weight sum is not negligible, else 0.
void DivideLevel(float* dst, const float* weighted, const float* weightSum, int32_t width, int32_t height) {
    RunRowBands(height, width, [&](int32_t y0, int32_t y1) {
        const size_t end = static_cast<size_t>(y1) * width;
        for (size_t k = static_cast<size_t>(y0) * width; k < end; ++k)
            dst[k] = std::fabs(static_cast<double>(weightSum[k])) > 1e-10 ? weighted[k] / weightSum[k] : 0.0f;
    });
}

inline uint8_t ClampTruncate(float v) {
    if (v >= 255.0f)
        return 255;
    if (!(v > 0.0f))
        return 0;  // also catches NaN
    return static_cast<uint8_t>(static_cast<int32_t>(v));
}

void CopyPicture(SQmPicBuf& dst, const SQmPicBuf& src) {
    const size_t rowBytes = static_cast<size_t>(src.width) * src.components * (src.bitsPerComponent / 8);
    for (int32_t y = 0; y < src.height; ++y)
        std::memcpy(dst.data + static_cast<size_t>(y) * dst.stride, src.data + static_cast<size_t>(y) * src.stride,
                    rowBytes);
}

// Owns a picture-library buffer for the length of a scope.
struct ScopedPicture {
    SQmPicBuf buf;
    ScopedPicture() { CQmPicBufAPI::Init(buf); }
    ~ScopedPicture() { CQmPicBufAPI::DoneHeap(buf); }
    ScopedPicture(const ScopedPicture&) = delete;
    ScopedPicture& operator=(const ScopedPicture&) = delete;
};

}  // namespace

uint8_t AddExposure(FusionPyramid& pyramid, const SQmPicBuf& picture) {
    if (picture.components != static_cast<int32_t>(pyramid.components) ||
        picture.bitsPerComponent != pyramid.bitsPerComponent || picture.width != pyramid.width ||
        picture.height != pyramid.height)
        return 1;
    if (!IsColour8(picture))
        return 1;
    ScopedPicture planes[3];
    for (uint32_t c = 0; c < 3; ++c) {
        if (CQmPicBufAPI::ReinitHeap(planes[c].buf, picture.width, picture.height, 1, picture.bitsPerComponent) != 0)
            return 1;
        CQmPicBufAPI::ExtractComponent(planes[c].buf, c, picture);
    }
    return AddColourExposure(pyramid.Block(0), pyramid.Block(1), pyramid.Block(2), planes[0].buf, planes[1].buf,
                             planes[2].buf, pyramid);
}

uint8_t AddColourExposure(FloatPlane* block0,
                          FloatPlane* block1,
                          FloatPlane* block2,
                          const SQmPicBuf& picture0,
                          const SQmPicBuf& picture1,
                          const SQmPicBuf& picture2,
                          FusionPyramid& pyramid) {
    if (pyramid.components != 3 || pyramid.bitsPerComponent != 8 || !PyramidReady(pyramid))
        return 1;
    const SQmPicBuf* pictures[3] = {&picture0, &picture1, &picture2};
    for (const SQmPicBuf* p : pictures)
        if (!IsPlane8(*p, pyramid.width, pyramid.height))
            return 1;

    ExposureWorkspace ws;
    if (!ws.Allocate(pyramid))
        return 1;
    for (int c = 0; c < 3; ++c)
        FillLevel0(ws.g[c][0].Data(), pictures[c]->data, pyramid.width, pyramid.height, pictures[c]->stride, 1);
    FloatPlane* const blocks[3] = {block0, block1, block2};
    AccumulateRendering(ws, blocks, pyramid, true);
    return 0;
}

void WriteFusedPlane8(SQmPicBuf& target, const float* plane, bool stretch) {
    const int32_t width = target.width;
    const int32_t height = target.height;
    const size_t count = static_cast<size_t>(width) * static_cast<size_t>(height);
    float mn = 1000.0f;
    float mx = -100.0f;
    if (stretch) {
        for (size_t k = 0; k < count; ++k) {
            mn = std::min(mn, plane[k]);
            mx = std::max(mx, plane[k]);
        }
        if (static_cast<double>(mx - mn) <= 1e-5)
            stretch = false;
    }
    const float lo = mn >= 0.0f ? mn : 0.0f;
    const float hi = mx <= 255.0f ? mx : 255.0f;
    RunRowBands(height, width, [&](int32_t y0, int32_t y1) {
        for (int32_t y = y0; y < y1; ++y) {
            const float* src = plane + static_cast<size_t>(y) * width;
            uint8_t* dst = target.data + static_cast<size_t>(y) * target.stride;
            if (stretch) {
                for (int32_t x = 0; x < width; ++x)
                    dst[x] = ClampTruncate((src[x] - mn) * (hi - lo) / (mx - mn) + lo);
            } else {
                for (int32_t x = 0; x < width; ++x)
                    dst[x] = ClampTruncate(src[x]);
            }
        }
    });
}

uint8_t CollapseComponent(SQmPicBuf& target, FloatPlane* block, FusionPyramid& pyramid, bool stretch) {
    if (!PyramidReady(pyramid) || !IsPlane8(target, pyramid.width, pyramid.height))
        return 1;
    const uint32_t L = pyramid.topLevel;
    FloatPlane ratio[kFusionLevelSlots];
    FloatPlane rebuilt[kFusionLevelSlots];
    for (uint32_t j = 0; j <= L; ++j) {
        if (!ratio[j].Allocate(LevelW(pyramid, j), LevelH(pyramid, j)))
            return 1;
        if (!rebuilt[j].Allocate(LevelW(pyramid, j), LevelH(pyramid, j)))
            return 1;
    }
    auto weightSum = [&](uint32_t j) { return block[j].Data(); };
    auto weighted = [&](uint32_t j) { return block[kFusionLevelSlots + j].Data(); };
    for (uint32_t i = 0; i < L; ++i)
        if (pyramid.LevelAtLeast5(i))
            DivideLevel(ratio[i].Data(), weighted(i), weightSum(i), LevelW(pyramid, i), LevelH(pyramid, i));
    if (pyramid.LevelAtLeast5(L))
        DivideLevel(rebuilt[L].Data(), weighted(L), weightSum(L), LevelW(pyramid, L), LevelH(pyramid, L));
    for (uint32_t j = L; j-- > 0;) {
        ExpandPlane(rebuilt[j].Data(), rebuilt[j + 1].Data(), LevelW(pyramid, j), LevelH(pyramid, j),
                    LevelW(pyramid, j + 1), LevelH(pyramid, j + 1), pyramid.kernel);
        if (pyramid.LevelAtLeast5(j)) {
            float* g = rebuilt[j].Data();
            const float* r = ratio[j].Data();
            const size_t n = rebuilt[j].Count();
            for (size_t k = 0; k < n; ++k)
                g[k] = g[k] + r[k];
        }
    }
    WriteFusedPlane8(target, rebuilt[0].Data(), stretch);
    return 0;
}

uint8_t RenderFusion(SQmPicBuf& target, FusionPyramid& pyramid, bool stretch) {
    if (target.bitsPerComponent != pyramid.bitsPerComponent || target.width != pyramid.width ||
        target.height != pyramid.height)
        return 1;
    if (!PyramidReady(pyramid) || target.data == nullptr)
        return 1;
    ScopedPicture plane;
    if (CQmPicBufAPI::ReinitHeap(plane.buf, target.width, target.height, 1, target.bitsPerComponent) != 0)
        return 1;
    uint8_t result = 0;
    const uint32_t components = std::min(pyramid.components, static_cast<uint32_t>(std::max(0, target.components)));
    for (uint32_t c = 0; c < components; ++c) {
        const uint8_t r = CollapseComponent(plane.buf, pyramid.Block(c), pyramid, stretch);
        if (r == 0)
            CQmPicBufAPI::InsertComponent(target, c, plane.buf);
        result |= r;
    }
    return result;
}

FusionStatus RunFusion(SQmPicBuf& target,
                       int32_t available,
                       const FusionPictureSource& source,
                       const FusionRunParams& params) {
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
                if (InitPyramid(pyramid, *picture, params.minSide, params.midTone, params.flatness) != 0)
                    return FusionStatus::kAllocationFailed;
                if (!ws.Allocate(pyramid))
                    return FusionStatus::kAllocationFailed;
                for (uint32_t c = 0; c < 3; ++c)
                    blocks[c] = pyramid.Block(c);
            } else if (!IsColour8(*picture) || picture->width != pyramid.width || picture->height != pyramid.height) {
                return FusionStatus::kShapeMismatch;
            }
            for (int c = 0; c < 3; ++c)
                FillLevel0(ws.g[c][0].Data(), picture->data + c, picture->width, picture->height, picture->stride, 3);
            // The shared weight sums are copied once after the last rendering; until then only block 0 reads them.
            AccumulateRendering(ws, blocks, pyramid, i == count - 1);
        }
    }

    ScopedPicture fused;
    if (CQmPicBufAPI::ReinitHeap(fused.buf, target.width, target.height, 3, 8) != 0)
        return FusionStatus::kAllocationFailed;
    if (RenderFusion(fused.buf, pyramid, params.stretch) != 0)
        return FusionStatus::kAllocationFailed;
    DonePyramid(pyramid);
    CopyPicture(target, fused.buf);
    return FusionStatus::kDone;
}

FusionStatus RunFusion(SQmPicBuf& target, std::span<const SQmPicBuf> renderings, const FusionRunParams& params) {
    const int32_t available = static_cast<int32_t>(std::min<size_t>(renderings.size(), INT32_MAX));
    return RunFusion(
        target, available, [&](int32_t i) { return &renderings[static_cast<size_t>(i)]; }, params);
}
