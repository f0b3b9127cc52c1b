#include "fusion/tile_pipeline.h"

#include <gtest/gtest.h>

#include <cstring>
#include <mutex>
#include <new>
#include <vector>

namespace {

struct Pic {
    std::vector<uint8_t> bytes = std::vector<uint8_t>(4 * 3 * 2);
    SQmPicBuf buf{bytes.data(), 24, 12, 4, 2, 3, 8};
};

// Records what a run did. Tile n is rendered as bytes of value n + 1.
struct Recorder {
    std::mutex lock;
    std::vector<int32_t> rendered, writtenFiles, reported;
    std::vector<uint8_t> fileValue;  // first byte of each write
    int32_t failWrite = -1, throwWrite = -1, failRender = -1, stopAfter = -1;

    TilePipelineSteps Steps() {
        TilePipelineSteps s;
        s.render = [this](int32_t n, SQmPicBuf& p) {
            rendered.push_back(n);
            std::memset(p.data, n + 1, static_cast<size_t>(p.size));
            return n != failRender;
        };
        s.write = [this](int32_t n, const SQmPicBuf& p) {
            std::lock_guard<std::mutex> g(lock);
            for (int32_t i = 0; i < p.size; ++i)
                if (p.data[i] != n + 1)
                    return false;  // the buffer changed under the writer
            if (n == failWrite)
                return false;
            if (n == throwWrite)
                throw std::bad_alloc();
            writtenFiles.push_back(n);
            return true;
        };
        s.written = [this](int32_t n) {
            reported.push_back(n);
            return n != stopAfter;
        };
        return s;
    }
};

std::vector<int32_t> Upto(int32_t n) {
    std::vector<int32_t> v;
    for (int32_t i = 0; i < n; ++i)
        v.push_back(i);
    return v;
}

}  // namespace

TEST(TilePipeline, OverlappedAndPlainRunsWriteEveryTileInOrder) {
    for (bool overlap : {false, true}) {
        Pic a, b;
        Recorder r;
        const TilePipelineResult res = RunTilePipeline(39, a.buf, overlap ? &b.buf : nullptr, r.Steps());
        EXPECT_EQ(res.end, TilePipelineEnd::kAll);
        EXPECT_EQ(res.written, 39);
        EXPECT_EQ(r.rendered, Upto(39));
        EXPECT_EQ(r.writtenFiles, Upto(39)) << overlap;
        EXPECT_EQ(r.reported, Upto(39));
        const SQmPicBuf& last = res.lastBuffer == 0 ? a.buf : b.buf;
        EXPECT_EQ(last.data[0], 39) << "the last tile's rendering is where the result says";
    }
}

TEST(TilePipeline, StopAndFailuresEndTheRunAfterTheTileConcerned) {
    for (bool overlap : {false, true}) {
        Pic a, b;
        SQmPicBuf* second = overlap ? &b.buf : nullptr;
        {
            Recorder r;
            r.stopAfter = 2;  // abort seen after the third tile
            const TilePipelineResult res = RunTilePipeline(39, a.buf, second, r.Steps());
            EXPECT_EQ(res.end, TilePipelineEnd::kStopped);
            EXPECT_EQ(res.written, 3);
            EXPECT_EQ(r.writtenFiles, Upto(3)) << "no tile after the stop is written";
            EXPECT_EQ(r.reported, Upto(3));
            EXPECT_EQ((res.lastBuffer == 0 ? a.buf : b.buf).data[0], 3);
        }
        {
            Recorder r;
            r.failWrite = 1;
            const TilePipelineResult res = RunTilePipeline(39, a.buf, second, r.Steps());
            EXPECT_EQ(res.end, TilePipelineEnd::kFailed);
            EXPECT_EQ(res.written, 1);
            EXPECT_EQ(r.reported, Upto(1)) << "a failed tile is never reported as written";
        }
        {
            // A write that throws is a failed write, not an exception out of the run.
            Recorder r;
            r.throwWrite = 1;
            const TilePipelineResult res = RunTilePipeline(39, a.buf, second, r.Steps());
            EXPECT_EQ(res.end, TilePipelineEnd::kFailed);
            EXPECT_EQ(res.written, 1);
            EXPECT_EQ(r.reported, Upto(1));
        }
        {
            Recorder r;
            r.failRender = 2;
            const TilePipelineResult res = RunTilePipeline(39, a.buf, second, r.Steps());
            EXPECT_EQ(res.end, TilePipelineEnd::kFailed);
            EXPECT_EQ(res.written, 2);
            EXPECT_EQ(r.writtenFiles, Upto(2));
            EXPECT_EQ(r.reported, Upto(2));
        }
    }
}
