// Anchor for the whole fusion run: OpenCV 4's Mertens exposure fusion (default weights) of the same 15
// renderings, already in memory as 8-bit BGR. Benchmark only.
#include <benchmark/benchmark.h>

#include <opencv2/core.hpp>
#include <opencv2/photo.hpp>

#include <string>
#include <vector>

#include "fusion_renderings.h"

namespace {

void BM_OpenCvMergeMertens(benchmark::State& state) {
    std::vector<cv::Mat> images;
    for (const bench::FusionRendering& r : bench::FusionRenderings())
        images.emplace_back(r.buf.height, r.buf.width, CV_8UC3, const_cast<uint8_t*>(r.bytes.data()),
                            static_cast<size_t>(r.buf.stride));
    cv::Ptr<cv::MergeMertens> merge = cv::createMergeMertens();
    cv::Mat fused;
    for (auto _ : state) {
        merge->process(images, fused);
        benchmark::DoNotOptimize(fused.data);
        benchmark::ClobberMemory();
    }
    state.SetLabel("threads " + std::to_string(cv::getNumThreads()));
}
// About 17 s a run: three repetitions.
BENCHMARK(BM_OpenCvMergeMertens)->Unit(benchmark::kMillisecond)->UseRealTime()->Iterations(1)->Repetitions(3);

}  // namespace
