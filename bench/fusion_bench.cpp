// Exposure fusion: a whole final run, the dialog preview, and the preparation of the 39 renderings.
#include <benchmark/benchmark.h>

#include <algorithm>
#include <chrono>
#include <cstdlib>
#include <cstdio>
#include <string>
#include <vector>

#include "base/page_alloc.h"
#include "bench_pictures.h"
#include "fusion/exposure.h"
#include "fusion/fusion.h"
#include "fusion/fusion_weights.h"
#include "fusion/row_bands.h"
#include "fusion/tile_pipeline.h"
#include "imaging/bmp_tile.h"
#include "pyramid/row_kernels.h"
#include "support/fusion_ref.h"

namespace {

constexpr int32_t kWidth = 6000;
constexpr int32_t kHeight = 4000;
constexpr int32_t kPower = 15;

struct OwnedPicture {
    std::vector<uint8_t> bytes;
    SQmPicBuf buf{};
    OwnedPicture(int32_t width, int32_t height) : bytes(static_cast<size_t>(width) * height * 3) {
        buf = SQmPicBuf{bytes.data(), static_cast<int32_t>(bytes.size()), width * 3, width, height, 3, 8};
    }
};

const OwnedPicture& Source() {
    static const OwnedPicture source = [] {
        OwnedPicture p(kWidth, kHeight);
        bench::FillPhotoLike(p.buf, 7);
        return p;
    }();
    return source;
}

// Steps of the darkest kPower renderings, in their order; filled by Renderings().
std::vector<ExposureStep> gSortedSteps;

// The darkest kPower renderings of an UP preparation, as the dialog would load them.
const std::vector<OwnedPicture>& Renderings() {
    static const std::vector<OwnedPicture> sorted = [] {
        std::vector<ExposureEntry> entries;
        for (int n = 0; n < kExposureTileCount; ++n) {
            OwnedPicture tile(kWidth, kHeight);
            uint32_t score = 0;
            const ExposureStep s = ExposureGrid()[n];
            bench::Require(RenderExposureTile(tile.buf, Source().buf, s.gammaStep, s.clipStep, true, score) == 0,
                           "rendering");
            entries.push_back({score, n});
        }
        SortExposureEntries(entries.data(), entries.size());
        std::vector<OwnedPicture> out;
        for (int32_t j = 0; j < kPower; ++j) {
            OwnedPicture tile(kWidth, kHeight);
            uint32_t score = 0;
            const ExposureStep s = ExposureGrid()[entries[j].sequence];
            gSortedSteps.push_back(s);
            bench::Require(RenderExposureTile(tile.buf, Source().buf, s.gammaStep, s.clipStep, true, score) == 0,
                           "rendering");
            out.push_back(std::move(tile));
            out.back().buf.data = out.back().bytes.data();
        }
        return out;
    }();
    return sorted;
}

std::vector<SQmPicBuf> Records(const std::vector<OwnedPicture>& pictures) {
    std::vector<SQmPicBuf> r;
    for (const OwnedPicture& p : pictures)
        r.push_back(p.buf);
    return r;
}

// The whole run's settings: every tile of the benchmark, the final run's smallest level, Flatness 3.
FusionRunParams FinalParams() {
    FusionRunParams params;
    params.count = kPower;
    params.minSide = kMinSideFinal;
    params.flatness = 3;
    return params;
}

void BM_FusionFinal(benchmark::State& state) {
    const std::vector<SQmPicBuf> renderings = Records(Renderings());
    OwnedPicture target(kWidth, kHeight);
    const FusionRunParams params = FinalParams();
    for (auto _ : state) {
        // Fresh memory, as the program's one run after OK meets it.
        state.PauseTiming();
        ReleaseKeptPages();
        state.ResumeTiming();
        const FusionStatus status = RunFusion(target.buf, renderings, params);
        benchmark::DoNotOptimize(status);
    }
    state.counters["Mpix"] = kWidth * kHeight / 1e6;
}
BENCHMARK(BM_FusionFinal)->Unit(benchmark::kMillisecond)->Iterations(1)->Repetitions(3)->ReportAggregatesOnly(false);

// The run as the program makes it at OK: each rendering made again from the source by its table into one tile
// picture as the run asks for it. range(0) 1: after a user has looked at a preview, the Fusion dialog has made
// the run's planes ahead (PrepareFusionRun); 0: OK at once, on fresh memory.
void BM_FusionFinalAsProgram(benchmark::State& state) {
    Renderings();  // the steps in their order
    OwnedPicture target(kWidth, kHeight);
    const FusionRunParams params = FinalParams();
    for (auto _ : state) {
        state.PauseTiming();
        ReleaseKeptPages();
        FusionPyramid prepared;
        if (state.range(0) == 1 && !PrepareFusionRun(prepared, Source().buf, kMinSideFinal).ok())
            state.SkipWithError("planes not made");
        state.ResumeTiming();
        OwnedPicture tile(kWidth, kHeight);
        const FusionPictureSource source = [&](int32_t i) -> const SQmPicBuf* {
            const ExposureStep s = gSortedSteps[static_cast<size_t>(i)];
            return RenderExposureRect(tile.buf, Source().buf, 0, 0, s.gammaStep, s.clipStep, true) == 0 ? &tile.buf
                                                                                                        : nullptr;
        };
        const FusionStatus status = RunFusion(target.buf, kPower, source, params, &prepared);
        benchmark::DoNotOptimize(status);
    }
    state.counters["Mpix"] = kWidth * kHeight / 1e6;
}
BENCHMARK(BM_FusionFinalAsProgram)->Arg(1)->Arg(0)->Unit(benchmark::kMillisecond)->Iterations(1)->Repetitions(3);

// The same run on the program's scalar path (what SP_SCALAR=1 selects).
void BM_FusionFinalScalarPath(benchmark::State& state) {
    const std::vector<SQmPicBuf> renderings = Records(Renderings());
    OwnedPicture target(kWidth, kHeight);
    const FusionRunParams params = FinalParams();
    SetPyramidSimd(false);
    UseWeightSpanKernels(nullptr, true);
    for (auto _ : state) {
        const FusionStatus status = RunFusion(target.buf, renderings, params);
        benchmark::DoNotOptimize(status);
    }
    UseWeightSpanKernels(nullptr);
    SetPyramidSimd(true);
}
BENCHMARK(BM_FusionFinalScalarPath)->Unit(benchmark::kMillisecond)->Iterations(1);

// The plain scalar oracle of the tests (one pixel at a time, whole planes, no tables, one thread).
void BM_FusionFinalRef(benchmark::State& state) {
    const std::vector<SQmPicBuf> renderings = Records(Renderings());
    for (auto _ : state) {
        std::vector<uint8_t> out = RefFusePictures(renderings, kPower, kMinSideFinal, 128, 3, false);
        benchmark::DoNotOptimize(out.data());
    }
}
BENCHMARK(BM_FusionFinalRef)->Unit(benchmark::kMillisecond)->Iterations(1);

void BM_FusionPreview(benchmark::State& state) {
    // The 400 x 400 region with its 128-pixel margin, cut from every rendering.
    constexpr int32_t kSide = 656;
    std::vector<OwnedPicture> crops;
    for (const OwnedPicture& r : Renderings()) {
        OwnedPicture crop(kSide, kSide);
        for (int32_t y = 0; y < kSide; ++y)
            std::copy_n(r.bytes.data() + static_cast<size_t>(y + 1000) * r.buf.stride + 1500 * 3, kSide * 3,
                        crop.bytes.data() + static_cast<size_t>(y) * crop.buf.stride);
        crops.push_back(std::move(crop));
        crops.back().buf.data = crops.back().bytes.data();
    }
    const std::vector<SQmPicBuf> renderings = Records(crops);
    OwnedPicture target(kSide, kSide);
    FusionRunParams params;
    params.count = kPower;
    params.minSide = kMinSidePreview;
    params.flatness = 3;
    for (auto _ : state) {
        const FusionStatus status = RunFusion(target.buf, renderings, params);
        benchmark::DoNotOptimize(status);
    }
}
BENCHMARK(BM_FusionPreview)->Unit(benchmark::kMillisecond)->Repetitions(5);

// The renderings as tile files in /tmp, written once by the tile writer.
std::string PreviewTilePath(int n) {
    return "/tmp/sp_bench_preview_tile_" + std::to_string(n) + ".bmp";
}

const std::vector<std::string>& PreviewTiles() {
    static const std::vector<std::string> paths = [] {
        std::vector<std::string> out;
        for (int32_t j = 0; j < kPower; ++j) {
            out.push_back(PreviewTilePath(j));
            if (!WriteBmpTileFile(out.back(), Renderings()[j].buf))
                std::fprintf(stderr, "cannot write %s\n", out.back().c_str());
        }
        std::atexit([] {
            for (int32_t j = 0; j < kPower; ++j)
                std::remove(PreviewTilePath(j).c_str());
        });
        return out;
    }();
    return paths;
}

// One preview recompute as the dialog does it: the 656 x 656 work region read from each of the 15 tile
// files (only its rows), then the fusion with minSide 3.
void BM_FusionPreviewFromTiles(benchmark::State& state) {
    constexpr int32_t kSide = 656, kX = 1500, kY = 1000;
    const std::vector<std::string>& paths = PreviewTiles();
    std::vector<OwnedPicture> crops;
    for (int32_t j = 0; j < kPower; ++j)
        crops.emplace_back(kSide, kSide);
    OwnedPicture target(kSide, kSide);
    FusionRunParams params;
    params.count = kPower;
    params.minSide = kMinSidePreview;
    params.flatness = 3;
    OwnedPicture crop(kSide, kSide);
    for (auto _ : state) {
        auto source = [&](int32_t i) -> const SQmPicBuf* {
            BmpTileReader reader;
            if (!reader.Open(paths[static_cast<size_t>(i)]) ||
                !reader.ReadRect({kX, kY, kX + kSide, kY + kSide}, crop.buf))
                return nullptr;
            return &crop.buf;
        };
        const FusionStatus status = RunFusion(target.buf, kPower, source, params);
        if (status != FusionStatus::kDone)
            state.SkipWithError("preview failed");
        benchmark::DoNotOptimize(status);
    }
}
BENCHMARK(BM_FusionPreviewFromTiles)->Unit(benchmark::kMillisecond)->Repetitions(5);

// A preview recompute for a new region as the dialog does it while the tiles are unchanged: the 15 crops made
// from the source by each tile's table (the same bytes as the files), then the fusion.
void BM_FusionPreviewCropsFromSource(benchmark::State& state) {
    constexpr int32_t kSide = 656, kX = 1500, kY = 1000;
    Renderings();
    std::vector<OwnedPicture> crops;
    for (int32_t j = 0; j < kPower; ++j)
        crops.emplace_back(kSide, kSide);
    const std::vector<SQmPicBuf> records = Records(crops);
    OwnedPicture target(kSide, kSide);
    FusionRunParams params;
    params.count = kPower;
    params.minSide = kMinSidePreview;
    params.flatness = 3;
    for (auto _ : state) {
        for (int32_t j = 0; j < kPower; ++j) {
            const ExposureStep s = gSortedSteps[static_cast<size_t>(j)];
            if (RenderExposureRect(crops[static_cast<size_t>(j)].buf, Source().buf, kX, kY, s.gammaStep, s.clipStep,
                                   true) != 0)
                state.SkipWithError("crop not made");
        }
        const FusionStatus status = RunFusion(target.buf, records, params);
        benchmark::DoNotOptimize(status);
    }
}
BENCHMARK(BM_FusionPreviewCropsFromSource)->Unit(benchmark::kMillisecond)->Repetitions(5);

// Only the reading of the 15 crops of one preview.
void BM_ReadPreviewCrops(benchmark::State& state) {
    constexpr int32_t kSide = 656, kX = 1500, kY = 1000;
    const std::vector<std::string>& paths = PreviewTiles();
    OwnedPicture crop(kSide, kSide);
    for (auto _ : state) {
        for (const std::string& path : paths) {
            BmpTileReader reader;
            if (!reader.Open(path) || !reader.ReadRect({kX, kY, kX + kSide, kY + kSide}, crop.buf))
                state.SkipWithError("crop not read");
        }
        benchmark::ClobberMemory();
    }
}
BENCHMARK(BM_ReadPreviewCrops)->Unit(benchmark::kMillisecond)->Repetitions(5);

// The same with each tile read whole and then cropped (what a full load does before the decoding).
void BM_FusionPreviewWholeTileReads(benchmark::State& state) {
    constexpr int32_t kSide = 656, kX = 1500, kY = 1000;
    const std::vector<std::string>& paths = PreviewTiles();
    OwnedPicture target(kSide, kSide), whole(kWidth, kHeight), crop(kSide, kSide);
    FusionRunParams params;
    params.count = kPower;
    params.minSide = kMinSidePreview;
    params.flatness = 3;
    for (auto _ : state) {
        auto source = [&](int32_t i) -> const SQmPicBuf* {
            BmpTileReader reader;
            if (!reader.Open(paths[static_cast<size_t>(i)]) || !reader.ReadRect({0, 0, kWidth, kHeight}, whole.buf))
                return nullptr;
            for (int32_t y = 0; y < kSide; ++y)
                std::copy_n(whole.bytes.data() + static_cast<size_t>(y + kY) * whole.buf.stride + kX * 3, kSide * 3,
                            crop.bytes.data() + static_cast<size_t>(y) * crop.buf.stride);
            return &crop.buf;
        };
        const FusionStatus status = RunFusion(target.buf, kPower, source, params);
        benchmark::DoNotOptimize(status);
    }
}
BENCHMARK(BM_FusionPreviewWholeTileReads)->Unit(benchmark::kMillisecond)->Repetitions(3);

void BM_PrepareRenderings(benchmark::State& state) {
    OwnedPicture result(kWidth, kHeight);
    const SQmPicBuf& source = Source().buf;
    for (auto _ : state) {
        uint32_t scores = 0;
        for (const ExposureStep& s : ExposureGrid()) {
            uint32_t score = 0;
            bench::Require(
                RenderExposureTile(result.buf, source, s.gammaStep, s.clipStep, state.range(0) != 0, score) == 0,
                "tile");
            scores += score;
        }
        benchmark::DoNotOptimize(scores);
    }
}
BENCHMARK(BM_PrepareRenderings)->Arg(1)->Arg(0)->Unit(benchmark::kMillisecond);

// The 39 tiles as the worker makes them: render, then write the 24-bit BMP bytes with large buffered writes
// (header and bottom-up rows, as the tile writer lays them out), against plain writes of the same bytes.
std::string TileBenchPath(int n) {
    return "/tmp/sp_bench_tile_" + std::to_string(n) + ".bmp";
}

// Writes the same bytes as the tiles with one plain write per file.
void PlainTileWrites(const std::vector<uint8_t>& bytes) {
    for (int n = 0; n < kExposureTileCount; ++n) {
        std::FILE* f = std::fopen(TileBenchPath(n).c_str(), "wb");
        if (f) {
            std::fwrite(bytes.data(), 1, bytes.size(), f);
            std::fclose(f);
        }
    }
}

double Milliseconds(std::chrono::steady_clock::time_point since) {
    return std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now() - since).count();
}

double Median(std::vector<double> v) {
    std::sort(v.begin(), v.end());
    return v[v.size() / 2];
}

// The preparation against plain writes of the same bytes, in alternating rounds over the same 39 files, so
// that both meet the same page cache and file system: the first round only makes the files. Reported time:
// the preparation's median; counters: the plain writes' median and the ratio.
// Argument: 1 = writing overlaps the rendering of the next tile (as the worker does), 0 = one after the other.
void BM_PrepareTiles(benchmark::State& state) {
    OwnedPicture first(kWidth, kHeight), second(kWidth, kHeight);
    const std::vector<uint8_t> bytes(kBmpTileHeaderBytes + BmpTileRowBytes(kWidth) * kHeight, 7);
    TilePipelineSteps steps;
    ExposureHistogram histogram;
    steps.render = [&histogram](int32_t n, SQmPicBuf& picture) {
        uint32_t score = 0;
        const ExposureStep s = ExposureGrid()[n];
        return RenderExposureTile(picture, Source().buf, histogram, s.gammaStep, s.clipStep, true, score) == 0;
    };
    steps.write = [](int32_t n, const SQmPicBuf& picture) { return WriteBmpTileFile(TileBenchPath(n), picture); };
    steps.written = [](int32_t) { return true; };
    PlainTileWrites(bytes);
    std::vector<double> prepared, plain;
    bool plainFirst = true;  // the order swaps every round, so neither side always follows the other
    for (auto _ : state) {
        auto plainRound = [&] {
            const auto start = std::chrono::steady_clock::now();
            PlainTileWrites(bytes);
            plain.push_back(Milliseconds(start));
        };
        if (plainFirst)
            plainRound();
        const auto start = std::chrono::steady_clock::now();
        // As the program does it: the source's values counted once per preparation.
        bench::Require(CountExposureValues(Source().buf, histogram), "value counts");
        const TilePipelineResult r =
            RunTilePipeline(kExposureTileCount, first.buf, state.range(0) ? &second.buf : nullptr, steps);
        prepared.push_back(Milliseconds(start));
        state.SetIterationTime(prepared.back() / 1000.0);
        if (!plainFirst)
            plainRound();
        plainFirst = !plainFirst;
        if (r.end != TilePipelineEnd::kAll)
            state.SkipWithError("tiles not written");
    }
    state.counters["prepare_ms"] = Median(prepared);
    state.counters["plain_ms"] = Median(plain);
    state.counters["ratio"] = Median(prepared) / Median(plain);
    for (int n = 0; n < kExposureTileCount; ++n)
        std::remove(TileBenchPath(n).c_str());
}
BENCHMARK(BM_PrepareTiles)->Arg(1)->Arg(0)->Unit(benchmark::kMillisecond)->UseManualTime()->Iterations(5);

// One rendering made from the source by its table, as the whole run and the previews make an unchanged tile
// again. Argument: 1 = the widest table lookup, 0 = the scalar one.
void BM_RenderExposureRect(benchmark::State& state) {
    OwnedPicture out(kWidth, kHeight);
    const ExposureStep s = ExposureGrid()[7];
    SetPyramidSimd(state.range(0) != 0);
    for (auto _ : state)
        bench::Require(RenderExposureRect(out.buf, Source().buf, 0, 0, s.gammaStep, s.clipStep, true) == 0, "render");
    SetPyramidSimd(true);
}
BENCHMARK(BM_RenderExposureRect)->Arg(1)->Arg(0)->Unit(benchmark::kMillisecond);

// One level-0 weighting pass of a 4000 x 3000 rendering, the heart of the final run.
void BM_WeightLevel0(benchmark::State& state) {
    const size_t n = static_cast<size_t>(kWidth) * kHeight;
    std::vector<float> guide[3], sums[4];
    const OwnedPicture& r = Renderings()[kPower / 2];
    for (int c = 0; c < 3; ++c) {
        guide[c].resize(n);
        for (size_t k = 0; k < n; ++k)
            guide[c][k] = r.bytes[3 * k + c];
    }
    for (auto& s : sums)
        s.assign(n, 0.0f);
    SetFusionThreadCount(static_cast<int32_t>(state.range(0)));
    for (auto _ : state) {
        if (!WeightColourLevel8(sums[0].data(), sums[1].data(), sums[2].data(), sums[3].data(), guide[0].data(),
                                guide[1].data(), guide[2].data(), guide[0].data(), guide[1].data(), guide[2].data(),
                                kWidth, kHeight, 128, 5, 5, 5)
                 .ok()) {
            state.SkipWithError("out of memory");
            break;
        }
        benchmark::ClobberMemory();
    }
    SetFusionThreadCount(0);
}
// Argument: thread count (0 = all cores).
BENCHMARK(BM_WeightLevel0)->Arg(1)->Arg(0)->Unit(benchmark::kMillisecond);

}  // namespace

// Level 1 of the same rendering: fractional guides, so every factor is computed, not looked up.
void BM_WeightLevel1(benchmark::State& state) {
    const int32_t w = kWidth / 2, h = kHeight / 2;
    const size_t n = static_cast<size_t>(w) * h;
    std::vector<float> guide[3], sums[4];
    const OwnedPicture& r = Renderings()[kPower / 2];
    for (int c = 0; c < 3; ++c) {
        guide[c].resize(n);
        for (int32_t y = 0; y < h; ++y)
            for (int32_t x = 0; x < w; ++x) {
                const uint8_t* p = r.bytes.data() + static_cast<size_t>(2 * y) * r.buf.stride + 6 * x + c;
                guide[c][static_cast<size_t>(y) * w + x] = (p[0] + p[3] + p[r.buf.stride] + p[r.buf.stride + 3]) / 4.1f;
            }
    }
    for (auto& s : sums)
        s.assign(n, 0.0f);
    SetFusionThreadCount(static_cast<int32_t>(state.range(0)));
    for (auto _ : state) {
        if (!WeightColourLevel8(sums[0].data(), sums[1].data(), sums[2].data(), sums[3].data(), guide[0].data(),
                                guide[1].data(), guide[2].data(), guide[0].data(), guide[1].data(), guide[2].data(), w,
                                h, 128, 5, 5, 5)
                 .ok()) {
            state.SkipWithError("out of memory");
            break;
        }
        benchmark::ClobberMemory();
    }
    SetFusionThreadCount(0);
}
BENCHMARK(BM_WeightLevel1)->Arg(1)->Unit(benchmark::kMillisecond);
