// Row loops of the fusion code on the shared thread pool. Each output row has exactly one writer, so the
// results never depend on the thread count.
#pragma once

#include <cstdint>
#include <functional>

#include "base/status.h"

// 0 = as many as the machine has (at most 8); 1 forces the plain single-threaded loop. Sets the pool's count.
void SetFusionThreadCount(int32_t count);
int32_t FusionThreadCount();
// Work below this many pixels per band stays on one thread; tests lower it to split small pictures
// (0 restores the default).
void SetFusionMinBandPixels(int64_t pixels);

// Calls body(rowBegin, rowEnd) over [0, rows) in contiguous bands; small jobs stay on the calling thread.
// What the body throws comes back as a failure (kOutOfMemory for a failed allocation), never as an exception.
[[nodiscard]] Status RunRowBands(int32_t rows, int64_t pixelsPerRow, const std::function<void(int32_t, int32_t)>& body);
