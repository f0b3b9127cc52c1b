// Smart Contrast: a Laplacian pyramid per component, collapsed again with one gain per detail band.
#pragma once

#include <cstddef>
#include <cstdint>

#include "imaging/pic_buf.h"
#include "pyramid/float_plane.h"

constexpr int kLodCount = 8;            // slider values lod[0..7], detail of 1 .. 128 pixels
constexpr int kContrastMaxLevels = 11;  // capacity of the level tables
constexpr uint32_t kContrastMaxLevelCount = 8;
constexpr int kContrastComponents = 3;

// Reductions for a width x height picture: halvings of the smaller side until it is below 10, at most 8.
uint32_t ContrastLevelCount(int32_t width, int32_t height);

// Owns every plane; one instance per open Smart Contrast dialog. Not copyable (the planes are move-only).
//
// Only what a collapse needs is kept, for the picture's own components:
//   detail[c][k]   band k (levels 0 .. L - 1), never changed by a render
//   top[c]         the Gaussian level L, never changed by a render
//   levelTwo[c]    the level 2 reconstruction of a render (L >= 3), one per component, because the last
//                  pass writes all components of an output row at once
//   scratch[k]     the level k reconstruction (3 <= k <= L - 1), reused by each component in turn
// Levels 1 and 0 are never reconstructed as planes: the last pass makes the few level 1 rows it needs as it
// goes and writes level 0 rows straight into the picture. About 16 + 3/4 + 1/12 bytes per pixel for colour,
// 16/3 + 1/4 + 1/12 for grey.
struct ContrastPyramid {
    uint32_t componentCount = 0;
    int32_t bitsPerComponent = 0;
    int32_t width = 0;
    int32_t height = 0;
    uint32_t levelCount = 0;
    uint32_t levelWidth[kContrastMaxLevels] = {};
    uint32_t levelHeight[kContrastMaxLevels] = {};
    float kernel[kKernelTaps] = {};
    FloatPlane detail[kContrastComponents][kContrastMaxLevels];
    FloatPlane top[kContrastComponents];
    FloatPlane levelTwo[kContrastComponents];
    FloatPlane scratch[kContrastMaxLevels];
    bool built = false;  // Build finished without failure

    // 0 = built, 1 = refused (unsupported picture or an allocation failed; planes made so far stay owned).
    [[nodiscard]] uint8_t Build(const SQmPicBuf& source);
    // Collapses one component with gains lod[k] / 10 into a one-component picture of the pyramid's
    // geometry. Does nothing unless the pyramid is renderable and target and component fit.
    // 0 = rendered, 1 = nothing written, or the working rows could not be had (target then partly written).
    [[nodiscard]] uint8_t Render(SQmPicBuf& target, const int32_t lod[kLodCount], uint32_t component);
    // True after a successful Build of a picture with at least one reduction.
    bool Renderable() const { return built && levelCount >= 1; }
    // Bytes of all planes held.
    size_t AllocatedBytes() const;
    void Release();
};

// Writes a packed plane of the target's size into a one-component 8- or 16-bit picture, clamped to
// 0 .. 2^bits - 1 and truncated toward zero.
void StoreFloatPlane(SQmPicBuf& target, const float* plane);

// Renders every component of result from the pyramid, each output row written once with all its
// components. 0 = rendered; 1 = nothing done (geometry differs from the pyramid's or the pyramid is not
// renderable), or a thread's few reusable rows could not be had (result then partly written). Allocates
// nothing beyond those rows.
[[nodiscard]] uint8_t ApplySmartContrast(SQmPicBuf& result, ContrastPyramid& pyramid, const int32_t lod[kLodCount]);
