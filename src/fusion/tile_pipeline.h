// Making the exposure tiles: the writing of tile n runs on its own thread while tile n + 1 is rendered, so
// a preparation costs about the larger of the two instead of their sum.
#pragma once

#include <cstdint>
#include <functional>

#include "imaging/pic_buf.h"

struct TilePipelineSteps {
    // Renders tile n into picture (one of the two buffers); false = failure.
    std::function<bool(int32_t n, SQmPicBuf& picture)> render;
    // Writes tile n from picture; runs on the writer thread; false = failure.
    std::function<bool(int32_t n, const SQmPicBuf& picture)> write;
    // Called on the caller's thread once tile n is written, in order; false stops after tile n.
    std::function<bool(int32_t n)> written;
};

enum class TilePipelineEnd : uint8_t { kAll, kStopped, kFailed };

struct TilePipelineResult {
    TilePipelineEnd end = TilePipelineEnd::kAll;
    int32_t written = 0;     // tiles written and reported through `written`
    int32_t lastBuffer = 0;  // 0 = first, 1 = second: where the last rendered tile is
};

// Tiles 0..count-1. With second null (or of another shape) everything runs one after the other on the
// calling thread; the calls and their order are the same either way, only the overlap differs. A tile whose
// writing failed (or threw) stops the run (kFailed) before `written` is called for it.
[[nodiscard]] TilePipelineResult RunTilePipeline(int32_t count,
                                                 SQmPicBuf& first,
                                                 SQmPicBuf* second,
                                                 const TilePipelineSteps& steps);
