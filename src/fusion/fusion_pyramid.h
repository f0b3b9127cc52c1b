// Running per-level sums of an exposure fusion: geometry, construction and release.
#pragma once

#include <cstdint>
#include <functional>
#include <memory>

#include "base/status.h"
#include "imaging/pic_buf.h"
#include "pyramid/float_plane.h"

constexpr uint32_t kFusionMaxTopLevel = 10;
constexpr int kFusionLevelSlots = 11;
// Per component: weightSum at slot j, weightedSum at slot kFusionLevelSlots + j.
constexpr int kFusionBlockSlots = 2 * kFusionLevelSlots;

constexpr uint32_t kMinSideFinal = 7;
constexpr uint32_t kMinSidePreview = 3;

struct FusionPyramid {
    uint32_t components = 0;
    int32_t bitsPerComponent = 0;
    int32_t width = 0;
    int32_t height = 0;
    uint32_t topLevel = 0;
    uint32_t levelWidth[kFusionLevelSlots] = {};
    uint32_t levelHeight[kFusionLevelSlots] = {};
    float kernel[kKernelTaps] = {};
    int32_t contrastParam = 0;
    int32_t saturationParam = 0;
    int32_t exposednessParam = 0;
    int32_t midTone = 0;
    // components x kFusionBlockSlots planes; a component's block starts at Block(c).
    std::unique_ptr<FloatPlane[]> planes;
    // Every component weighs its pixels alike, so a run may keep the weight sums in block 0 only.
    bool sharedWeightSums = false;
    // Gaussian levels 1..L of the rendering being added, per component: made on the first addition and reused
    // by every later one, so adding a rendering allocates nothing.
    std::unique_ptr<FloatPlane[][kFusionLevelSlots]> gaussians;

    FloatPlane* Block(uint32_t c) { return planes.get() + static_cast<size_t>(c) * kFusionBlockSlots; }
    FloatPlane& WeightSum(uint32_t c, uint32_t j) { return Block(c)[j]; }
    FloatPlane& WeightedSum(uint32_t c, uint32_t j) { return Block(c)[kFusionLevelSlots + j]; }
    bool LevelAtLeast5(uint32_t j) const { return levelWidth[j] >= 5 && levelHeight[j] >= 5; }
};

// Number of halvings of the smaller side m while it stays at least minSide (0 when m < minSide),
// then capped by flatness and by kFusionMaxTopLevel.
uint32_t FusionTopLevel(int32_t width, int32_t height, uint32_t minSide, int32_t flatness);

// Sets the pyramid up for pictures shaped like picture (only components, bitsPerComponent, width and height
// are read), with midTone from the Exposure value and the level count capped by flatness. All planes start at
// zero. kInvalid for an empty shape, kOutOfMemory when an allocation fails; what was allocated stays for
// DonePyramid. sharedWeightSums: only block 0 gets weight-sum planes (a whole run, which reads them for every
// component). proceed: as for AllocatePyramidPlanes.
Status InitPyramid(FusionPyramid& pyramid,
                   const SQmPicBuf& picture,
                   uint32_t minSide,
                   int32_t midTone,
                   int32_t flatness,
                   bool sharedWeightSums = false,
                   const std::function<bool()>& proceed = {});

// Allocates plane at level j's size unless it is allocated already; proceed, when given, is asked first and
// stops it by returning false (kCancelled).
Status AllocateLevelPlane(FloatPlane& plane,
                          const FusionPyramid& pyramid,
                          uint32_t j,
                          const std::function<bool()>& proceed = {});

// Allocates every plane of levels 0 .. topLevel that the pyramid does not hold yet, all zero. proceed, when
// given, is asked before each allocation and stops them by returning false (kCancelled); what was allocated
// stays.
Status AllocatePyramidPlanes(FusionPyramid& pyramid, const std::function<bool()>& proceed = {});

// Releases every plane and the table. Returns 0.
uint8_t DonePyramid(FusionPyramid& pyramid);
