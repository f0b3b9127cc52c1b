// Smart Contrast and the resampling pair on a 6000 x 4000 photograph.
#include <benchmark/benchmark.h>

#include <cstdint>

#include "bench_pictures.h"
#include "contrast/contrast_pyramid.h"
#include "pyramid/float_plane.h"

namespace {

constexpr int32_t kWidth = 6000;
constexpr int32_t kHeight = 4000;

struct ColourPhoto {
    SQmPicBuf pic;
    ColourPhoto() {
        CQmPicBufAPI::Init(pic);
        CQmPicBufAPI::ReinitHeap(pic, kWidth, kHeight, 3, 8);
        bench::FillPhotoLike(pic, 1);
    }
    ~ColourPhoto() { CQmPicBufAPI::DoneHeap(pic); }
};

const SQmPicBuf& Photo() {
    static ColourPhoto photo;
    return photo.pic;
}

void BM_ContrastBuild(benchmark::State& state) {
    const SQmPicBuf& src = Photo();
    for (auto _ : state) {
        ContrastPyramid pyramid;
        if (pyramid.Build(src) != 0)
            state.SkipWithError("Build failed");
        benchmark::DoNotOptimize(pyramid.gauss[0][0].Data());
    }
    state.SetItemsProcessed(state.iterations() * int64_t{kWidth} * kHeight);
}
BENCHMARK(BM_ContrastBuild)->Unit(benchmark::kMillisecond)->UseRealTime();

void BM_ApplySmartContrast(benchmark::State& state) {
    const SQmPicBuf& src = Photo();
    ContrastPyramid pyramid;
    if (pyramid.Build(src) != 0) {
        state.SkipWithError("Build failed");
        return;
    }
    SQmPicBuf result;
    CQmPicBufAPI::Init(result);
    CQmPicBufAPI::ReinitHeap(result, src);
    CQmPicBufAPI::Copy(result, src);
    const int32_t lod[kLodCount] = {12, 12, 12, 12, 12, 12, 12, 12};
    for (auto _ : state) {
        benchmark::DoNotOptimize(ApplySmartContrast(result, pyramid, lod));
        benchmark::ClobberMemory();
    }
    state.SetItemsProcessed(state.iterations() * int64_t{kWidth} * kHeight);
    CQmPicBufAPI::DoneHeap(result);
}
BENCHMARK(BM_ApplySmartContrast)->Unit(benchmark::kMillisecond)->UseRealTime();

struct Planes {
    FloatPlane big, small;
    float kernel[kKernelTaps];
    Planes() {
        big.Allocate(kWidth, kHeight);
        small.Allocate(kWidth / 2, kHeight / 2);
        bench::FillPhotoLikePlane(big.Data(), kWidth, kHeight, 2);
        bench::FillPhotoLikePlane(small.Data(), kWidth / 2, kHeight / 2, 3);
        PyramidKernel(kernel);
    }
};

Planes& SharedPlanes() {
    static Planes p;
    return p;
}

void BM_ReducePlane(benchmark::State& state) {
    Planes& p = SharedPlanes();
    for (auto _ : state) {
        ReducePlane(p.small.Data(), p.big.Data(), kWidth / 2, kHeight / 2, kWidth, kHeight, p.kernel);
        benchmark::ClobberMemory();
    }
    state.SetItemsProcessed(state.iterations() * int64_t{kWidth / 2} * (kHeight / 2));
}
BENCHMARK(BM_ReducePlane)->Unit(benchmark::kMillisecond)->UseRealTime();

void BM_ExpandPlane(benchmark::State& state) {
    Planes& p = SharedPlanes();
    FloatPlane out;
    out.Allocate(kWidth, kHeight);
    for (auto _ : state) {
        ExpandPlane(out.Data(), p.small.Data(), kWidth, kHeight, kWidth / 2, kHeight / 2, p.kernel);
        benchmark::ClobberMemory();
    }
    state.SetItemsProcessed(state.iterations() * int64_t{kWidth} * kHeight);
}
BENCHMARK(BM_ExpandPlane)->Unit(benchmark::kMillisecond)->UseRealTime();

}  // namespace
