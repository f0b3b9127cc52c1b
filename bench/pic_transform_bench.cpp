// View resampling: a 6000 x 4000 picture into a 2560 x 1440 window at typical zooms.
#include <benchmark/benchmark.h>

#include <cstring>
#include <random>

#include "bench_pictures.h"
#include "imaging/pic_buf.h"

namespace {

struct Pictures {
    SQmPicBuf src, dst;
    Pictures() {
        CQmPicBufAPI::Init(src);
        CQmPicBufAPI::Init(dst);
        bench::Require(CQmPicBufAPI::ReinitHeap(src, 6000, 4000, 3, 8) == 0, "source");
        bench::Require(CQmPicBufAPI::ReinitHeap(dst, 2560, 1440, 3, 8) == 0, "destination");
        std::mt19937 rng(1);
        for (int32_t i = 0; i < src.size; ++i)
            src.data[i] = static_cast<uint8_t>(rng());
    }
    ~Pictures() {
        CQmPicBufAPI::DoneHeap(src);
        CQmPicBufAPI::DoneHeap(dst);
    }
};

Pictures& Shared() {
    static Pictures p;
    return p;
}

// range(0): zoom in percent.
template <void (*Transform)(SQmPicBuf&, const SQmPicBuf&, const CQmPicMap&)>
void BM_Transform(benchmark::State& state) {
    Pictures& p = Shared();
    double zoom = static_cast<double>(state.range(0)) / 100.0;
    CQmPicMap map(1280.0, 720.0, 3000.0, 2000.0, 0.0, zoom);
    for (auto _ : state) {
        CQmPicBufAPI::SetConst(p.dst, CQmRect<int>{0, 0, 2560, 1440}, 190);
        Transform(p.dst, p.src, map);
        benchmark::DoNotOptimize(p.dst.data);
    }
    state.SetItemsProcessed(state.iterations() * 2560 * 1440);
}

void BM_CopyWhole(benchmark::State& state) {
    Pictures& p = Shared();
    SQmPicBuf copy;
    CQmPicBufAPI::Init(copy);
    bench::Require(CQmPicBufAPI::ReinitHeap(copy, p.src) == 0, "copy");
    for (auto _ : state) {
        CQmPicBufAPI::Copy(copy, p.src);
        benchmark::DoNotOptimize(copy.data);
    }
    state.SetBytesProcessed(state.iterations() * int64_t{p.src.size});
    CQmPicBufAPI::DoneHeap(copy);
}

}  // namespace

// 10 %: a small picture in the window; 34 %: the picture fitted; 50 % to 400 %: the window covered.
BENCHMARK(BM_Transform<CQmPicBufAPI::TransformBilinearFast>)
    ->Arg(10)
    ->Arg(34)
    ->Arg(50)
    ->Arg(100)
    ->Arg(400)
    ->Unit(benchmark::kMillisecond);
BENCHMARK(BM_Transform<CQmPicBufAPI::TransformConstantFast>)->Arg(34)->Arg(100)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_Transform<CQmPicBufAPI::TransformBicubicFast>)->Arg(34)->Arg(100)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_CopyWhole)->Unit(benchmark::kMillisecond);
