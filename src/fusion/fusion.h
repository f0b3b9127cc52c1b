// Exposure fusion: Laplacian decomposition of each rendering into the weighted sums of a FusionPyramid, then
// division, collapse and conversion back to 8-bit pixels, optionally fitting the range.
#pragma once

#include <cstdint>
#include <functional>
#include <span>

#include "base/status.h"
#include "fusion/fusion_pyramid.h"
#include "imaging/pic_buf.h"

// Adds one 3-component 8-bit rendering to the sums. kInvalid (nothing added) when its components, depth, width
// or height differ from the pyramid's or the pyramid was not fully constructed; kOutOfMemory when memory runs
// out (nothing added, or the sums partly added to when a thread's working rows could not be had).
Status AddExposure(FusionPyramid& pyramid, const SQmPicBuf& picture);

// Collapses one component block into a single-component 8-bit target of the pyramid's size. kInvalid for a
// target of the wrong shape or a pyramid not fully constructed (target untouched), kOutOfMemory when memory
// runs out (target untouched, or partly written when a thread's working rows could not be had).
Status CollapseComponent(SQmPicBuf& target, FloatPlane* block, FusionPyramid& pyramid, bool stretch);

// Writes the fused picture into target, with the same failures as CollapseComponent. The caller guarantees
// equal component counts.
Status RenderFusion(SQmPicBuf& target, FusionPyramid& pyramid, bool stretch);

// Level-0 plane to a single-component 8-bit target: clamp to 0..255 and truncate toward zero; with stretch,
// a range that overshoots 0..255 is first mapped linearly into it.
void WriteFusedPlane8(SQmPicBuf& target, const float* plane, bool stretch);

enum class FusionStatus : uint8_t {
    kDone,
    kNoPictures,     // the set is empty
    kShapeMismatch,  // not 3 x 8-bit, renderings of different shapes, or a target of another shape
    kAllocationFailed,
    kTooSmall,            // a side below 5: no level could be weighted
    kPictureUnavailable,  // the source could not deliver rendering i
};

struct FusionRunParams {
    int32_t count = 15;  // N (Power): the first N renderings are used, limited to 1..available
    uint32_t minSide = kMinSideFinal;
    int32_t midTone = 128;  // Exposure
    int32_t flatness = 3;   // cap on the top level index
    bool stretch = false;   // "Stretch Histogram"
};

// The planes a whole run over pictures shaped like `like` (colour, 8 bits) needs at any flatness and this
// minSide, allocated with their pages in place ahead of the run, so that the run does not wait for fresh memory.
// proceed is asked before each plane and stops the preparation by returning false (kCancelled); what was made
// stays in prepared, and a run completes it.
Status PrepareFusionRun(FusionPyramid& prepared,
                        const SQmPicBuf& like,
                        uint32_t minSide,
                        const std::function<bool()>& proceed = {});

// Delivers rendering index (0-based, in brightness order); the picture must stay valid until the next call.
// Null when it cannot be had.
using FusionPictureSource = std::function<const SQmPicBuf*(int32_t index)>;

// A whole fusion: pyramid from rendering 0, every rendering added, collapse into target. target keeps its
// previous content unless the result is kDone, or kAllocationFailed because a thread's few working rows of the
// collapse could not be had (target then partly written).
// prepared: planes made ahead by PrepareFusionRun, taken by the run when they fit its pictures; it is empty
// once the run has looked at it.
[[nodiscard]] FusionStatus RunFusion(SQmPicBuf& target,
                                     int32_t available,
                                     const FusionPictureSource& source,
                                     const FusionRunParams& params,
                                     FusionPyramid* prepared = nullptr);
[[nodiscard]] FusionStatus RunFusion(SQmPicBuf& target,
                                     std::span<const SQmPicBuf> renderings,
                                     const FusionRunParams& params);
