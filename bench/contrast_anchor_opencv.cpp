// Anchor for the Smart Contrast collapse: OpenCV 4 rebuilding the same three float Laplacian pyramids with
// pyrUp + scaleAdd and storing 8-bit colour with convertTo + merge. Benchmark only.
#include <benchmark/benchmark.h>

#include <opencv2/core.hpp>
#include <opencv2/imgproc.hpp>

#include <vector>

#include "contrast_bench_shared.h"

namespace {

cv::Mat PlaneMat(const FloatPlane& plane) {
    return cv::Mat(plane.Height(), plane.Width(), CV_32F, const_cast<float*>(plane.Data()));
}

void BM_OpenCvCollapse(benchmark::State& state) {
    ContrastPyramid& p = bench::BuiltContrastPyramid(3);
    const uint32_t levels = p.levelCount;
    cv::Mat result(p.height, p.width, CV_8UC3);
    std::vector<cv::Mat> planes(3);
    std::vector<cv::Mat> recon(levels + 1);
    for (auto _ : state) {
        for (int c = 0; c < 3; c++) {
            cv::Mat r = PlaneMat(p.top[c]);
            for (uint32_t k = levels; k-- > 0;) {
                cv::Mat up;
                cv::pyrUp(r, up, cv::Size(static_cast<int>(p.levelWidth[k]), static_cast<int>(p.levelHeight[k])));
                cv::scaleAdd(PlaneMat(p.detail[c][k]), static_cast<double>(bench::kContrastLod[k]) / 10.0, up, up);
                r = up;
            }
            r.convertTo(planes[c], CV_8U);
        }
        cv::merge(planes, result);
        benchmark::DoNotOptimize(result.data);
        benchmark::ClobberMemory();
    }
    state.SetLabel("threads " + std::to_string(cv::getNumThreads()));
}
BENCHMARK(BM_OpenCvCollapse)->Unit(benchmark::kMillisecond)->UseRealTime()->Repetitions(7)->ReportAggregatesOnly(true);

}  // namespace
