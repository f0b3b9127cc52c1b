// Fusion pyramid construction: level geometry and zeroed sum planes, all allocated up front.
#include "fusion/fusion_pyramid.h"

#include <algorithm>
#include <new>

uint32_t FusionTopLevel(int32_t width, int32_t height, uint32_t minSide, int32_t flatness) {
    uint32_t m = static_cast<uint32_t>(std::max(0, std::min(width, height)));
    uint32_t levels = 0;
    // The count is capped at the table size anyway, which also ends the loop for minSide 0.
    if (m >= minSide) {
        while (levels < kFusionMaxTopLevel) {
            m >>= 1;
            ++levels;
            if (m < minSide)
                break;
        }
    }
    const uint32_t cap = static_cast<uint32_t>(std::max(0, flatness));
    return std::min(levels, cap);
}

Status InitPyramid(FusionPyramid& pyramid,
                   const SQmPicBuf& picture,
                   uint32_t minSide,
                   int32_t midTone,
                   int32_t flatness,
                   bool sharedWeightSums,
                   const std::function<bool()>& proceed) {
    DonePyramid(pyramid);
    pyramid.sharedWeightSums = sharedWeightSums;
    pyramid.midTone = midTone;
    pyramid.contrastParam = 5;
    pyramid.saturationParam = 5;
    pyramid.exposednessParam = 5;
    pyramid.components = static_cast<uint32_t>(std::max(0, picture.components));
    pyramid.bitsPerComponent = picture.bitsPerComponent;
    pyramid.width = picture.width;
    pyramid.height = picture.height;
    pyramid.topLevel = 0;
    std::fill(std::begin(pyramid.levelWidth), std::end(pyramid.levelWidth), 0u);
    std::fill(std::begin(pyramid.levelHeight), std::end(pyramid.levelHeight), 0u);
    if (pyramid.components == 0 || pyramid.components > 4 || picture.width <= 0 || picture.height <= 0)
        return StatusCode::kInvalid;

    pyramid.planes.reset(new (std::nothrow) FloatPlane[static_cast<size_t>(pyramid.components) * kFusionBlockSlots]);
    if (!pyramid.planes)
        return StatusCode::kOutOfMemory;

    // Below side 2 a halving could reach an empty level.
    const uint32_t L = FusionTopLevel(picture.width, picture.height, std::max(minSide, 2u), flatness);
    pyramid.topLevel = L;
    for (uint32_t j = 0; j <= L; ++j) {
        pyramid.levelWidth[j] = static_cast<uint32_t>(picture.width) >> j;
        pyramid.levelHeight[j] = static_cast<uint32_t>(picture.height) >> j;
    }
    PyramidKernel(pyramid.kernel);
    return AllocatePyramidPlanes(pyramid, proceed);
}

Status AllocateLevelPlane(FloatPlane& plane,
                          const FusionPyramid& pyramid,
                          uint32_t j,
                          const std::function<bool()>& proceed) {
    if (!plane.Empty())
        return Status::Ok();
    if (proceed && !proceed())
        return StatusCode::kCancelled;
    if (!plane.Allocate(static_cast<int32_t>(pyramid.levelWidth[j]), static_cast<int32_t>(pyramid.levelHeight[j])))
        return StatusCode::kOutOfMemory;
    return Status::Ok();
}

Status AllocatePyramidPlanes(FusionPyramid& pyramid, const std::function<bool()>& proceed) {
    if (!pyramid.planes)
        return StatusCode::kInvalid;
    auto plane = [&](FloatPlane& p, uint32_t j) { return AllocateLevelPlane(p, pyramid, j, proceed); };
    for (uint32_t c = 0; c < pyramid.components; ++c) {
        for (uint32_t j = 0; j <= pyramid.topLevel; ++j) {
            if (c == 0 || !pyramid.sharedWeightSums)
                SP_RETURN_IF_ERROR(plane(pyramid.WeightSum(c, j), j));
            SP_RETURN_IF_ERROR(plane(pyramid.WeightedSum(c, j), j));
        }
    }
    return Status::Ok();
}

uint8_t DonePyramid(FusionPyramid& pyramid) {
    pyramid.planes.reset();
    pyramid.gaussians.reset();
    return 0;
}
