// Row bands on short-lived threads; falls back to the calling thread when a thread cannot be started.
#include "fusion/row_bands.h"

#include <algorithm>
#include <atomic>
#include <system_error>
#include <thread>
#include <vector>

namespace {
std::atomic<int32_t> gThreadCount{0};
constexpr int64_t kDefaultMinBandPixels = 64 * 1024;
std::atomic<int64_t> gMinBandPixels{kDefaultMinBandPixels};
}  // namespace

void SetFusionThreadCount(int32_t count) {
    gThreadCount.store(std::max(0, count));
}

void SetFusionMinBandPixels(int64_t pixels) {
    gMinBandPixels.store(pixels > 0 ? pixels : kDefaultMinBandPixels);
}

int32_t FusionThreadCount() {
    const int32_t set = gThreadCount.load();
    if (set > 0)
        return set;
    const unsigned hw = std::thread::hardware_concurrency();
    return static_cast<int32_t>(std::clamp(hw, 1u, 8u));
}

void RunRowBands(int32_t rows, int64_t pixelsPerRow, const std::function<void(int32_t, int32_t)>& body) {
    if (rows <= 0)
        return;
    const int64_t total = static_cast<int64_t>(rows) * std::max<int64_t>(pixelsPerRow, 1);
    int32_t bands = static_cast<int32_t>(std::min<int64_t>(FusionThreadCount(), total / gMinBandPixels.load()));
    bands = std::clamp(bands, 1, rows);
    if (bands == 1) {
        body(0, rows);
        return;
    }
    std::vector<std::thread> workers;
    workers.reserve(static_cast<size_t>(bands - 1));
    int32_t begin = 0;
    for (int32_t b = 0; b < bands; ++b) {
        const int32_t end = static_cast<int32_t>(static_cast<int64_t>(rows) * (b + 1) / bands);
        if (b == bands - 1) {
            body(begin, end);
        } else {
            try {
                workers.emplace_back(body, begin, end);
            } catch (const std::system_error&) {
                body(begin, end);
            }
        }
        begin = end;
    }
    for (std::thread& t : workers)
        t.join();
}

void RunTasks(int32_t count, int64_t pixelsPerTask, const std::function<void(int32_t)>& task) {
    if (count <= 0)
        return;
    if (FusionThreadCount() == 1 || count == 1 || pixelsPerTask < gMinBandPixels.load()) {
        for (int32_t i = 0; i < count; ++i)
            task(i);
        return;
    }
    std::vector<std::thread> workers;
    workers.reserve(static_cast<size_t>(count - 1));
    for (int32_t i = 0; i + 1 < count; ++i) {
        try {
            workers.emplace_back(task, i);
        } catch (const std::system_error&) {
            task(i);
        }
    }
    task(count - 1);
    for (std::thread& t : workers)
        t.join();
}
