// Smart Contrast and the resampling pair on a 6000 x 4000 photograph: each fast path beside its scalar
// oracle (the test references), medians over repetitions. scripts/bench.sh prints the ratios.
#include <benchmark/benchmark.h>

#include <cstdint>
#include <vector>

#include "base/thread_pool.h"
#include "base/page_alloc.h"
#include "bench_pictures.h"
#include "contrast/contrast_pyramid.h"
#include "contrast_bench_shared.h"
#include "pyramid/float_plane.h"
#include "pyramid/row_kernels.h"
#include "support/contrast_ref.h"
#include "support/pyramid_ref.h"

namespace bench {

namespace {

struct Photo {
    SQmPicBuf pic;
    explicit Photo(int32_t components) {
        CQmPicBufAPI::Init(pic);
        Require(CQmPicBufAPI::ReinitHeap(pic, kContrastWidth, kContrastHeight, components, 8) == 0, "photo");
        FillPhotoLike(pic, 1);
    }
    ~Photo() { CQmPicBufAPI::DoneHeap(pic); }
};

constexpr int64_t kPixels = int64_t{kContrastWidth} * kContrastHeight;

}  // namespace

const SQmPicBuf& ContrastPhoto(int32_t components) {
    static Photo grey(1), colour(3);
    return components == 1 ? grey.pic : colour.pic;
}

ContrastPyramid& BuiltContrastPyramid(int32_t components) {
    static ContrastPyramid grey, colour;
    ContrastPyramid& p = components == 1 ? grey : colour;
    // A failed build leaves the pyramid not renderable, which the benchmarks' renders then report.
    if (!p.Renderable())
        static_cast<void>(p.Build(ContrastPhoto(components)));
    return p;
}

}  // namespace bench

namespace {

using bench::kContrastHeight;
using bench::kContrastLod;
using bench::kContrastWidth;
constexpr int64_t kPixels = int64_t{kContrastWidth} * kContrastHeight;

// Result picture shaped like the photo.
struct Result {
    SQmPicBuf pic;
    explicit Result(const SQmPicBuf& like) {
        CQmPicBufAPI::Init(pic);
        bench::Require(CQmPicBufAPI::ReinitHeap(pic, like) == 0, "result");
        CQmPicBufAPI::Copy(pic, like);
    }
    ~Result() { CQmPicBufAPI::DoneHeap(pic); }
};

void BM_ContrastBuild(benchmark::State& state) {
    const int32_t comps = static_cast<int32_t>(state.range(0));
    const SQmPicBuf& src = bench::ContrastPhoto(comps);
    size_t bytes = 0;
    for (auto _ : state) {
        state.PauseTiming();
        ReleaseKeptPages();
        state.ResumeTiming();
        ContrastPyramid pyramid;  // fresh memory every time, as when the dialog opens
        if (pyramid.Build(src) != 0)
            state.SkipWithError("Build failed");
        bytes = pyramid.AllocatedBytes();
        benchmark::DoNotOptimize(pyramid.detail[0][0].Data());
    }
    state.counters["bytes_per_px"] = static_cast<double>(bytes) / static_cast<double>(kPixels);
    state.SetLabel(ActiveRowKernelsName());
}
BENCHMARK(BM_ContrastBuild)
    ->Arg(3)
    ->Arg(1)
    ->Unit(benchmark::kMillisecond)
    ->UseRealTime()
    ->Repetitions(7)
    ->ReportAggregatesOnly(true);

// The scalar oracle: the test reference decomposition of every component.
void BM_ContrastBuildRef(benchmark::State& state) {
    const int32_t comps = static_cast<int32_t>(state.range(0));
    const SQmPicBuf& src = bench::ContrastPhoto(comps);
    const uint32_t levels = ContrastLevelCount(kContrastWidth, kContrastHeight);
    for (auto _ : state) {
        for (int32_t c = 0; c < comps; c++) {
            RefContrastLevels r = RefBuildComponent(src, static_cast<uint32_t>(c), levels);
            benchmark::DoNotOptimize(r.detail[0].data());
        }
    }
}
BENCHMARK(BM_ContrastBuildRef)
    ->Arg(3)
    ->Unit(benchmark::kMillisecond)
    ->UseRealTime()
    ->Iterations(1)
    ->Repetitions(3)
    ->ReportAggregatesOnly(true);

void BM_ApplySmartContrast(benchmark::State& state) {
    const int32_t comps = static_cast<int32_t>(state.range(0));
    ContrastPyramid& pyramid = bench::BuiltContrastPyramid(comps);
    Result result(bench::ContrastPhoto(comps));
    for (auto _ : state) {
        benchmark::DoNotOptimize(ApplySmartContrast(result.pic, pyramid, kContrastLod));
        benchmark::ClobberMemory();
    }
    state.SetItemsProcessed(state.iterations() * kPixels);
    state.SetLabel(ActiveRowKernelsName());
}
BENCHMARK(BM_ApplySmartContrast)
    ->Arg(3)
    ->Arg(1)
    ->Unit(benchmark::kMillisecond)
    ->UseRealTime()
    ->Repetitions(7)
    ->ReportAggregatesOnly(true);

// The render on one thread with each kernel set (0 scalar, 1 SSE2, 2 AVX2, 3 AVX-512), to see what the
// vector widths and the threads each bring.
void BM_ApplySmartContrastOneThread(benchmark::State& state) {
    const RowKernels* sets[] = {&ScalarRowKernels(), Sse2RowKernels(), Avx2RowKernels(), Avx512RowKernels()};
    const RowKernels* kernels = sets[state.range(0)];
    if (!kernels) {
        state.SkipWithError("not supported here");
        return;
    }
    ContrastPyramid& pyramid = bench::BuiltContrastPyramid(3);
    Result result(bench::ContrastPhoto(3));
    UseRowKernels(kernels);
    SetWorkerThreadCount(1);
    for (auto _ : state) {
        benchmark::DoNotOptimize(ApplySmartContrast(result.pic, pyramid, kContrastLod));
        benchmark::ClobberMemory();
    }
    state.SetLabel(ActiveRowKernelsName());
    SetWorkerThreadCount(0);
    UseRowKernels(nullptr);
}
BENCHMARK(BM_ApplySmartContrastOneThread)
    ->DenseRange(1, 3)
    ->Unit(benchmark::kMillisecond)
    ->UseRealTime()
    ->Repetitions(5)
    ->ReportAggregatesOnly(true);

// The same render with the vector paths and the threads switched off (SP_SCALAR=1 on one core).
void BM_ApplySmartContrastScalarPath(benchmark::State& state) {
    ContrastPyramid& pyramid = bench::BuiltContrastPyramid(3);
    Result result(bench::ContrastPhoto(3));
    SetPyramidSimd(false);
    SetWorkerThreadCount(1);
    for (auto _ : state) {
        benchmark::DoNotOptimize(ApplySmartContrast(result.pic, pyramid, kContrastLod));
        benchmark::ClobberMemory();
    }
    SetWorkerThreadCount(0);
    SetPyramidSimd(true);
}
BENCHMARK(BM_ApplySmartContrastScalarPath)
    ->Unit(benchmark::kMillisecond)
    ->UseRealTime()
    ->Iterations(1)
    ->Repetitions(3)
    ->ReportAggregatesOnly(true);

// The scalar oracle: the test reference render of each component, inserted into the colour result.
void BM_ApplySmartContrastRef(benchmark::State& state) {
    ContrastPyramid& pyramid = bench::BuiltContrastPyramid(3);
    Result result(bench::ContrastPhoto(3));
    SQmPicBuf plane;
    CQmPicBufAPI::Init(plane);
    bench::Require(CQmPicBufAPI::ReinitHeap(plane, kContrastWidth, kContrastHeight, 1, 8) == 0, "plane");
    for (auto _ : state) {
        for (uint32_t c = 0; c < 3; c++) {
            RefRender(pyramid, plane, kContrastLod, c);
            bench::Require(CQmPicBufAPI::InsertComponent(result.pic, c, plane) == 0, "component");
        }
        benchmark::ClobberMemory();
    }
    CQmPicBufAPI::DoneHeap(plane);
}
BENCHMARK(BM_ApplySmartContrastRef)
    ->Unit(benchmark::kMillisecond)
    ->UseRealTime()
    ->Iterations(1)
    ->Repetitions(3)
    ->ReportAggregatesOnly(true);

struct Planes {
    FloatPlane big, small;
    float kernel[kKernelTaps];
    Planes() {
        bench::Require(big.Allocate(kContrastWidth, kContrastHeight), "plane");
        bench::Require(small.Allocate(kContrastWidth / 2, kContrastHeight / 2), "plane");
        bench::FillPhotoLikePlane(big.Data(), kContrastWidth, kContrastHeight, 2);
        bench::FillPhotoLikePlane(small.Data(), kContrastWidth / 2, kContrastHeight / 2, 3);
        PyramidKernel(kernel);
    }
};

Planes& SharedPlanes() {
    static Planes p;
    return p;
}

template <bool kRef>
void BM_ReducePlane(benchmark::State& state) {
    Planes& p = SharedPlanes();
    const int32_t w = kContrastWidth, h = kContrastHeight;
    for (auto _ : state) {
        if (kRef) {
            RefReducePlane(p.small.Data(), p.big.Data(), w / 2, h / 2, w, h, p.kernel);
        } else {
            bench::Require(ReducePlane(p.small.Data(), p.big.Data(), w / 2, h / 2, w, h, p.kernel).ok(), "reduce");
        }
        benchmark::ClobberMemory();
    }
    state.SetItemsProcessed(state.iterations() * int64_t{w / 2} * (h / 2));
}
BENCHMARK(BM_ReducePlane<false>)
    ->Name("BM_ReducePlane")
    ->Unit(benchmark::kMillisecond)
    ->UseRealTime()
    ->Repetitions(5)
    ->ReportAggregatesOnly(true);
BENCHMARK(BM_ReducePlane<true>)
    ->Name("BM_ReducePlaneRef")
    ->Unit(benchmark::kMillisecond)
    ->UseRealTime()
    ->Iterations(2)
    ->Repetitions(3)
    ->ReportAggregatesOnly(true);

template <bool kRef>
void BM_ExpandPlane(benchmark::State& state) {
    Planes& p = SharedPlanes();
    const int32_t w = kContrastWidth, h = kContrastHeight;
    FloatPlane out;
    bench::Require(out.Allocate(w, h), "plane");
    for (auto _ : state) {
        if (kRef) {
            RefExpandPlane(out.Data(), p.small.Data(), w, h, w / 2, h / 2, p.kernel);
        } else {
            ExpandPlane(out.Data(), p.small.Data(), w, h, w / 2, h / 2, p.kernel);
        }
        benchmark::ClobberMemory();
    }
    state.SetItemsProcessed(state.iterations() * kPixels);
}
BENCHMARK(BM_ExpandPlane<false>)
    ->Name("BM_ExpandPlane")
    ->Unit(benchmark::kMillisecond)
    ->UseRealTime()
    ->Repetitions(5)
    ->ReportAggregatesOnly(true);
BENCHMARK(BM_ExpandPlane<true>)
    ->Name("BM_ExpandPlaneRef")
    ->Unit(benchmark::kMillisecond)
    ->UseRealTime()
    ->Iterations(2)
    ->Repetitions(3)
    ->ReportAggregatesOnly(true);

}  // namespace
