// The Smart Contrast pyramid on every kernel set and thread count against the scalar oracle, byte for byte.
#include <gtest/gtest.h>

#include <cstring>
#include <random>
#include <string>
#include <vector>

#include "base/alloc.h"
#include "base/thread_pool.h"
#include "contrast/contrast_pyramid.h"
#include "pyramid/row_kernels.h"
#include "support/contrast_ref.h"

namespace {

struct Config {
    const RowKernels* kernels;
    std::string name;
    int32_t threads;
};

std::vector<Config> Configs() {
    std::vector<const RowKernels*> sets = {&ScalarRowKernels()};
    std::vector<std::string> names = {"scalar"};
    if (const RowKernels* k = Sse2RowKernels()) {
        sets.push_back(k);
        names.push_back("sse2");
    }
    if (const RowKernels* k = Avx2RowKernels()) {
        sets.push_back(k);
        names.push_back("avx2");
    }
    if (const RowKernels* k = Avx512RowKernels()) {
        sets.push_back(k);
        names.push_back("avx512");
    }
    std::vector<Config> out;
    for (size_t i = 0; i < sets.size(); i++) {
        for (int32_t t : {1, 2, 3})
            out.push_back({sets[i], names[i], t});
    }
    return out;
}

// Small pictures are split into many small chunks too, so chunk borders fall everywhere.
struct UseConfig {
    explicit UseConfig(const Config& c) {
        UseRowKernels(c.kernels);
        SetWorkerThreadCount(c.threads);
        SetParallelRowsGrain(1);
    }
    ~UseConfig() {
        UseRowKernels(nullptr);
        SetWorkerThreadCount(0);
        SetParallelRowsGrain(0);
    }
};

struct Pic {
    SQmPicBuf b;
    Pic(int32_t w, int32_t h, int32_t comps, int32_t bits) {
        CQmPicBufAPI::Init(b);
        EXPECT_EQ(CQmPicBufAPI::ReinitHeap(b, w, h, comps, bits), 0);
        std::memset(b.data, 0, static_cast<size_t>(b.size));
    }
    ~Pic() { CQmPicBufAPI::DoneHeap(b); }
    Pic(const Pic&) = delete;
    Pic& operator=(const Pic&) = delete;
    std::vector<uint8_t> Bytes() const { return std::vector<uint8_t>(b.data, b.data + b.size); }
};

// Noise over steps and ramps, reaching both ends of the range so the stores clip.
void Fill(SQmPicBuf& pic, uint32_t seed) {
    std::mt19937 rng(seed);
    const uint32_t maxValue = pic.bitsPerComponent == 8 ? 255u : 65535u;
    for (int32_t y = 0; y < pic.height; y++) {
        for (int32_t x = 0; x < pic.width * pic.components; x++) {
            uint32_t base = ((x / pic.components / 5 + y / 4) % 3) * maxValue / 2;
            uint32_t v = (base + rng() % (maxValue / 4 + 1)) % (maxValue + 1);
            uint8_t* row = pic.data + static_cast<size_t>(y) * pic.stride;
            if (pic.bitsPerComponent == 8) {
                row[x] = static_cast<uint8_t>(v);
            } else {
                const uint16_t s = static_cast<uint16_t>(v);
                std::memcpy(row + 2 * x, &s, 2);
            }
        }
    }
}

// The oracle: each component rendered by the reference and placed sample by sample.
std::vector<uint8_t> Expected(const ContrastPyramid& p, const SQmPicBuf& like, const int32_t* lod) {
    Pic out(like.width, like.height, like.components, like.bitsPerComponent);
    Pic plane(like.width, like.height, 1, like.bitsPerComponent);
    const int32_t bytes = like.bitsPerComponent / 8;
    for (int32_t c = 0; c < like.components; c++) {
        RefRender(p, plane.b, lod, static_cast<uint32_t>(c));
        for (int32_t y = 0; y < like.height; y++) {
            for (int32_t x = 0; x < like.width; x++) {
                std::memcpy(out.b.data + static_cast<size_t>(y) * out.b.stride +
                                static_cast<size_t>(x * like.components + c) * bytes,
                            plane.b.data + static_cast<size_t>(y) * plane.b.stride + static_cast<size_t>(x) * bytes,
                            static_cast<size_t>(bytes));
            }
        }
    }
    return out.Bytes();
}

// Build under one configuration and render under every configuration; the pyramid and every result must
// equal the oracle's.
void CheckPicture(int32_t w, int32_t h, int32_t comps, int32_t bits, uint32_t seed, int& configIndex) {
    Pic src(w, h, comps, bits);
    Fill(src.b, seed);
    std::mt19937 rng(seed);
    int32_t lod[kLodCount];
    for (int32_t& v : lod)
        v = static_cast<int32_t>(rng() % 31);
    if (seed % 4 == 0)
        lod[0] = 30;
    const std::vector<Config> configs = Configs();
    const uint32_t levels = ContrastLevelCount(w, h);

    ContrastPyramid p;
    {
        const Config& bc = configs[static_cast<size_t>(configIndex++) % configs.size()];
        UseConfig use(bc);
        ASSERT_EQ(p.Build(src.b), 0);
        for (int32_t c = 0; c < comps; c++) {
            RefContrastLevels ref = RefBuildComponent(src.b, static_cast<uint32_t>(c), levels);
            EXPECT_EQ(std::memcmp(p.top[c].Data(), ref.gauss[levels].data(), ref.gauss[levels].size() * 4), 0)
                << w << "x" << h << " top, built with " << bc.name << " / " << bc.threads;
            for (uint32_t k = 0; k < levels; k++) {
                EXPECT_EQ(std::memcmp(p.detail[c][k].Data(), ref.detail[k].data(), ref.detail[k].size() * 4), 0)
                    << w << "x" << h << " detail " << k << ", built with " << bc.name << " / " << bc.threads;
            }
        }
    }
    const std::vector<uint8_t> want = Expected(p, src.b, lod);
    Pic result(w, h, comps, bits);
    for (const Config& rc : configs) {
        UseConfig use(rc);
        std::memset(result.b.data, 0x5A, static_cast<size_t>(result.b.size));
        EXPECT_EQ(ApplySmartContrast(result.b, p, lod), 0);
        // Padding bytes at the row ends are no pixels: compare the rows only.
        const size_t rowBytes = static_cast<size_t>(w) * comps * (bits / 8);
        bool same = true;
        for (int32_t y = 0; y < h && same; y++) {
            same = std::memcmp(result.b.data + static_cast<size_t>(y) * result.b.stride,
                               want.data() + static_cast<size_t>(y) * result.b.stride, rowBytes) == 0;
        }
        EXPECT_TRUE(same) << w << "x" << h << " comps " << comps << " bits " << bits << " rendered with " << rc.name
                          << " / " << rc.threads << " threads";
    }
}

}  // namespace

TEST(ContrastFast, SmallSizesMatchTheOracleOnEveryPath) {
    int configIndex = 0;
    for (int32_t w = 10; w <= 70; w++) {
        const int32_t h = 10 + (w * 37) % 61;
        const int32_t comps = w % 2 == 0 ? 3 : 1;
        const int32_t bits = w % 3 == 0 ? 16 : 8;
        CheckPicture(w, h, comps, bits, static_cast<uint32_t>(w), configIndex);
        CheckPicture(h, w, 4 - comps, 24 - bits, static_cast<uint32_t>(w + 500), configIndex);
    }
}

TEST(ContrastFast, LargePicturesMatchTheOracleOnEveryPath) {
    int configIndex = 1;
    // Eight levels (smaller side 1280 and more) with odd sizes on the way down, and a wide strip.
    CheckPicture(1283, 1281, 3, 8, 7, configIndex);
    CheckPicture(1301, 1290, 1, 16, 8, configIndex);
    CheckPicture(3001, 23, 3, 16, 9, configIndex);
}

TEST(ContrastFast, RepeatedRendersDoNotChangeThePyramid) {
    Pic src(200, 150, 3, 8);
    Fill(src.b, 3);
    ContrastPyramid p;
    ASSERT_EQ(p.Build(src.b), 0);
    std::vector<std::vector<float>> before;
    for (int c = 0; c < 3; c++) {
        before.emplace_back(p.top[c].Data(), p.top[c].Data() + p.top[c].Count());
        for (uint32_t k = 0; k < p.levelCount; k++)
            before.emplace_back(p.detail[c][k].Data(), p.detail[c][k].Data() + p.detail[c][k].Count());
    }
    const size_t bytes = p.AllocatedBytes();
    Pic result(200, 150, 3, 8);
    int32_t lod[kLodCount] = {30, 0, 30, 0, 30, 0, 30, 0};
    EXPECT_EQ(ApplySmartContrast(result.b, p, lod), 0);
    const std::vector<uint8_t> first = result.Bytes();
    // A slider change needs no picture or plane memory: renders succeed with every big allocation refused.
    SetAllocationLimit(1);
    int32_t other[kLodCount] = {5, 5, 5, 5, 5, 5, 5, 5};
    EXPECT_EQ(ApplySmartContrast(result.b, p, other), 0);
    EXPECT_EQ(ApplySmartContrast(result.b, p, lod), 0);
    SetAllocationLimit(0);
    EXPECT_EQ(result.Bytes(), first);
    EXPECT_EQ(p.AllocatedBytes(), bytes);
    size_t i = 0;
    for (int c = 0; c < 3; c++) {
        EXPECT_EQ(std::memcmp(p.top[c].Data(), before[i++].data(), p.top[c].Count() * 4), 0);
        for (uint32_t k = 0; k < p.levelCount; k++)
            EXPECT_EQ(std::memcmp(p.detail[c][k].Data(), before[i++].data(), p.detail[c][k].Count() * 4), 0);
    }
}

TEST(ContrastFast, PyramidMemoryStaysLean) {
    // Bands (4 x 4/3 bytes a pixel per component), the level 2 reconstruction per component and a little
    // more; the photo-sized layout is the same as this one's, level for level.
    for (auto [comps, limit] : {std::pair{3, 17.0}, std::pair{1, 6.0}}) {
        Pic src(1600, 1280, comps, 8);
        Fill(src.b, 1);
        ContrastPyramid p;
        ASSERT_EQ(p.Build(src.b), 0);
        EXPECT_EQ(p.levelCount, 8u);
        const double perPixel = static_cast<double>(p.AllocatedBytes()) / (1600.0 * 1280.0);
        EXPECT_LE(perPixel, limit) << comps;
    }
}
