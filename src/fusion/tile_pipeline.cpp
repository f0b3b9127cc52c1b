#include "fusion/tile_pipeline.h"

#include <exception>
#include <future>

namespace {

// A write that throws is a failed write: nothing leaves the writer thread to come out of the run.
bool WriteTile(const TilePipelineSteps& steps, int32_t n, const SQmPicBuf& picture) noexcept {
    try {
        return steps.write(n, picture);
    } catch (...) {
        return false;
    }
}

}  // namespace

TilePipelineResult RunTilePipeline(int32_t count, SQmPicBuf& first, SQmPicBuf* second, const TilePipelineSteps& steps) {
    TilePipelineResult result;
    SQmPicBuf* buffers[2] = {&first, second ? second : &first};
    const bool overlap = second && second->data && second != &first;
    std::future<bool> writing;
    int32_t pending = -1;  // tile being written
    // Waits for the pending tile; false when the run ends here.
    auto finishPending = [&]() {
        if (pending < 0)
            return true;
        const int32_t n = pending;
        pending = -1;
        if (!writing.get()) {
            result.end = TilePipelineEnd::kFailed;
            return false;
        }
        result.written = n + 1;
        if (!steps.written(n)) {
            result.end = TilePipelineEnd::kStopped;
            return false;
        }
        return true;
    };
    for (int32_t n = 0; n < count; ++n) {
        const int32_t b = overlap ? n % 2 : 0;
        const bool rendered = steps.render(n, *buffers[b]);
        if (!finishPending())
            return result;
        result.lastBuffer = b;
        if (!rendered) {
            result.end = TilePipelineEnd::kFailed;
            return result;
        }
        SQmPicBuf* picture = buffers[b];
        bool started = false;
        if (overlap) {
            try {
                writing =
                    std::async(std::launch::async, [&steps, n, picture] { return WriteTile(steps, n, *picture); });
                started = true;
            } catch (const std::exception&) {
                // No thread to be had: this tile is written here.
            }
        }
        if (!started) {
            std::promise<bool> done;
            done.set_value(WriteTile(steps, n, *picture));
            writing = done.get_future();
        }
        pending = n;
        if (!overlap && !finishPending())
            return result;
    }
    static_cast<void>(finishPending());  // the last tile's outcome is already in result
    return result;
}
