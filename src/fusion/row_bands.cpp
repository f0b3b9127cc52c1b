// Fusion row loops over the shared pool; the settings here are the pool's.
#include "fusion/row_bands.h"

#include "base/thread_pool.h"

void SetFusionThreadCount(int32_t count) {
    SetWorkerThreadCount(count);
}

int32_t FusionThreadCount() {
    return WorkerThreadCount();
}

void SetFusionMinBandPixels(int64_t pixels) {
    // A band of pixels is worth about 16 work units of the pool; small grains split small pictures in tests.
    SetParallelRowsGrain(pixels > 0 ? pixels / 16 + 1 : 0);
}

Status RunRowBands(int32_t rows, int64_t pixelsPerRow, const std::function<void(int32_t, int32_t)>& body) {
    return ParallelRows(rows, pixelsPerRow * 16, [&](int32_t begin, int32_t end) { body(begin, end); });
}
