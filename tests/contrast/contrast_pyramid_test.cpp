#include "contrast/contrast_pyramid.h"

#include <gtest/gtest.h>

#include <cmath>
#include <cstring>
#include <random>
#include <vector>

#include "base/alloc.h"
#include "support/contrast_ref.h"
#include "support/pyramid_ref.h"

namespace {

struct ScopedPic {
    SQmPicBuf b;
    ScopedPic(int32_t w, int32_t h, int32_t comps, int32_t bits) {
        CQmPicBufAPI::Init(b);
        EXPECT_EQ(CQmPicBufAPI::ReinitHeap(b, w, h, comps, bits), 0);
    }
    ~ScopedPic() { CQmPicBufAPI::DoneHeap(b); }
    ScopedPic(const ScopedPic&) = delete;
    ScopedPic& operator=(const ScopedPic&) = delete;
    std::vector<uint8_t> Bytes() const { return std::vector<uint8_t>(b.data, b.data + b.size); }
};

// Smooth ramps, a few hard edges and noise: enough to give every band real content.
void FillPicture(SQmPicBuf& pic, uint32_t seed) {
    std::mt19937 rng(seed);
    std::uniform_int_distribution<int> noise(-12, 12);
    const int32_t maxValue = pic.bitsPerComponent == 8 ? 255 : 65535;
    for (int32_t y = 0; y < pic.height; y++) {
        uint8_t* row = pic.data + static_cast<size_t>(y) * pic.stride;
        for (int32_t x = 0; x < pic.width; x++) {
            for (int32_t c = 0; c < pic.components; c++) {
                double v = 0.5 + 0.3 * std::sin(0.07 * x + 1.3 * c) * std::cos(0.05 * y);
                if ((x / 13 + y / 11) % 3 == 0)
                    v += 0.25;
                int32_t s = static_cast<int32_t>(v * maxValue) + noise(rng) * (maxValue / 255);
                s = s < 0 ? 0 : s > maxValue ? maxValue : s;
                size_t i = static_cast<size_t>(x) * pic.components + c;
                if (pic.bitsPerComponent == 8) {
                    row[i] = static_cast<uint8_t>(s);
                } else {
                    uint16_t u = static_cast<uint16_t>(s);
                    std::memcpy(row + 2 * i, &u, 2);
                }
            }
        }
    }
}

uint32_t SampleAt(const SQmPicBuf& pic, int32_t x, int32_t y, int32_t c) {
    const uint8_t* row = pic.data + static_cast<size_t>(y) * pic.stride;
    size_t i = static_cast<size_t>(x) * pic.components + c;
    if (pic.bitsPerComponent == 8)
        return row[i];
    uint16_t u;
    std::memcpy(&u, row + 2 * i, 2);
    return u;
}

void SetLod(int32_t lod[kLodCount], int32_t value) {
    for (int k = 0; k < kLodCount; k++)
        lod[k] = value;
}

}  // namespace

TEST(ContrastLevelCount, HalvingsOfTheSmallerSide) {
    EXPECT_EQ(ContrastLevelCount(1000, 700), 7u);
    EXPECT_EQ(ContrastLevelCount(700, 1000), 7u);
    for (int32_t m = 10; m <= 19; m++)
        EXPECT_EQ(ContrastLevelCount(m, 500), 1u) << m;
    for (int32_t m = 0; m < 10; m++)
        EXPECT_EQ(ContrastLevelCount(m, 5000), 0u) << m;
    EXPECT_EQ(ContrastLevelCount(20, 20), 2u);
    EXPECT_EQ(ContrastLevelCount(39, 40), 2u);
    EXPECT_EQ(ContrastLevelCount(40, 40), 3u);
    EXPECT_EQ(ContrastLevelCount(1279, 2000), 7u);
    EXPECT_EQ(ContrastLevelCount(1280, 2000), 8u);
    EXPECT_EQ(ContrastLevelCount(6000, 4000), 8u);
    EXPECT_EQ(ContrastLevelCount(100000, 100000), 8u);
}

TEST(ContrastPyramid, BuildRecordsGeometryAndMatchesTheReference) {
    struct Case {
        int32_t w, h, comps, bits;
    };
    for (Case cs : {Case{64, 48, 3, 8}, Case{67, 45, 3, 8}, Case{41, 23, 1, 16}, Case{19, 30, 1, 8}}) {
        ScopedPic src(cs.w, cs.h, cs.comps, cs.bits);
        FillPicture(src.b, static_cast<uint32_t>(cs.w * cs.h));
        std::vector<uint8_t> before = src.Bytes();
        ContrastPyramid p;
        ASSERT_EQ(p.Build(src.b), 0);
        EXPECT_EQ(src.Bytes(), before);  // the source is only read
        EXPECT_TRUE(p.Renderable());
        EXPECT_EQ(p.componentCount, static_cast<uint32_t>(cs.comps));
        EXPECT_EQ(p.bitsPerComponent, cs.bits);
        EXPECT_EQ(p.width, cs.w);
        EXPECT_EQ(p.height, cs.h);
        const uint32_t levels = ContrastLevelCount(cs.w, cs.h);
        EXPECT_EQ(p.levelCount, levels);
        for (uint32_t k = 0; k <= levels; k++) {
            EXPECT_EQ(p.levelWidth[k], static_cast<uint32_t>(cs.w >> k));
            EXPECT_EQ(p.levelHeight[k], static_cast<uint32_t>(cs.h >> k));
        }
        // Only the picture's own components have planes: bands 0 .. L - 1, the top level, the level 2
        // reconstruction (L >= 3) and one shared reconstruction for each level from 3 to L - 1.
        size_t floats = 0;
        for (int c = 0; c < kContrastComponents; c++) {
            const bool present = c < cs.comps;
            for (uint32_t k = 0; k < static_cast<uint32_t>(kContrastMaxLevels); k++) {
                EXPECT_EQ(p.detail[c][k].Empty(), !(present && k < levels)) << c << " " << k;
                if (!p.detail[c][k].Empty()) {
                    EXPECT_EQ(p.detail[c][k].Width(), cs.w >> k);
                    EXPECT_EQ(p.detail[c][k].Height(), cs.h >> k);
                    floats += p.detail[c][k].Count();
                }
            }
            EXPECT_EQ(p.top[c].Empty(), !present);
            EXPECT_EQ(p.levelTwo[c].Empty(), !(present && levels >= 3));
            if (present) {
                EXPECT_EQ(p.top[c].Width(), cs.w >> levels);
                floats += p.top[c].Count() + p.levelTwo[c].Count();
            }
        }
        for (uint32_t k = 0; k < static_cast<uint32_t>(kContrastMaxLevels); k++) {
            EXPECT_EQ(p.scratch[k].Empty(), !(k >= 3 && k < levels)) << k;
            floats += p.scratch[k].Count();
        }
        EXPECT_EQ(p.AllocatedBytes(), floats * 4);
        for (int32_t c = 0; c < cs.comps; c++) {
            RefContrastLevels ref = RefBuildComponent(src.b, static_cast<uint32_t>(c), levels);
            EXPECT_EQ(std::memcmp(p.top[c].Data(), ref.gauss[levels].data(), ref.gauss[levels].size() * 4), 0)
                << "top " << c;
            for (uint32_t k = 0; k < levels; k++) {
                EXPECT_EQ(std::memcmp(p.detail[c][k].Data(), ref.detail[k].data(), ref.detail[k].size() * 4), 0)
                    << "detail " << c << " " << k;
            }
        }
    }
}

// Any faster render must keep these bytes: repeated renders with different gains, all components.
TEST(ContrastPyramid, RenderMatchesReferenceBitForBit) {
    std::mt19937 rng(5);
    std::uniform_int_distribution<int32_t> lodValue(0, 30);
    for (auto [w, h, bits] : {std::tuple{80, 61, 8}, std::tuple{53, 90, 16}, std::tuple{10, 12, 8}}) {
        ScopedPic src(w, h, 3, bits);
        FillPicture(src.b, static_cast<uint32_t>(w + h));
        ContrastPyramid p;
        ASSERT_EQ(p.Build(src.b), 0);
        ScopedPic got(w, h, 1, bits), want(w, h, 1, bits);
        for (int round = 0; round < 4; round++) {
            int32_t lod[kLodCount];
            for (int32_t& v : lod)
                v = lodValue(rng);
            for (uint32_t c = 0; c < 3; c++) {
                std::memset(got.b.data, 0xA5, got.b.size);
                EXPECT_EQ(p.Render(got.b, lod, c), 0);
                RefRender(p, want.b, lod, c);
                EXPECT_EQ(got.Bytes(), want.Bytes()) << w << "x" << h << " round " << round << " comp " << c;
            }
        }
    }
}

// Checker of near-black and near-white cells: dark samples beside bright ones show the truncation.
static void FillChecker(SQmPicBuf& pic, uint32_t seed) {
    std::mt19937 rng(seed);
    const uint32_t maxValue = pic.bitsPerComponent == 8 ? 255u : 65535u;
    for (int32_t y = 0; y < pic.height; y++) {
        for (int32_t x = 0; x < pic.width * pic.components; x++) {
            uint32_t v = ((x / pic.components) / 7 + y / 5) % 2 ? maxValue - rng() % 4 : rng() % 4;
            size_t i = static_cast<size_t>(y) * pic.stride;
            if (pic.bitsPerComponent == 8) {
                pic.data[i + x] = static_cast<uint8_t>(v);
            } else {
                reinterpret_cast<uint16_t*>(pic.data + i)[x] = static_cast<uint16_t>(v);
            }
        }
    }
}

TEST(ContrastPyramid, UnitGainsReproduceWithinTheTruncation) {
    for (int32_t bits : {8, 16}) {
        for (int content = 0; content < 2; content++) {
            ScopedPic src(97, 64, 3, bits);
            if (content == 0) {
                FillPicture(src.b, 11);
            } else {
                FillChecker(src.b, 12);
            }
            ContrastPyramid p;
            ASSERT_EQ(p.Build(src.b), 0);
            ScopedPic result(97, 64, 3, bits);
            int32_t lod[kLodCount];
            SetLod(lod, 10);
            EXPECT_EQ(ApplySmartContrast(result.b, p, lod), 0);
            int lower = 0, other = 0;
            for (int32_t y = 0; y < 64; y++) {
                for (int32_t x = 0; x < 97; x++) {
                    for (int32_t c = 0; c < 3; c++) {
                        uint32_t s = SampleAt(src.b, x, y, c), r = SampleAt(result.b, x, y, c);
                        if (r + 1 == s) {
                            lower++;
                        } else if (r != s) {
                            other++;
                        }
                    }
                }
            }
            EXPECT_EQ(other, 0) << bits << " " << content;
            // A reconstruction landing just below an integer comes out one lower, never higher.
            if (content == 1) {
                EXPECT_GT(lower, 0) << bits;
            }
        }
    }
}

TEST(ContrastPyramid, ZeroGainsGiveTheExpandedTopLevel) {
    ScopedPic src(90, 70, 1, 8);
    FillPicture(src.b, 3);
    ContrastPyramid p;
    ASSERT_EQ(p.Build(src.b), 0);
    ASSERT_EQ(p.levelCount, 3u);
    const uint32_t L = p.levelCount;
    std::vector<float> plane(p.top[0].Data(), p.top[0].Data() + p.top[0].Count());
    for (uint32_t k = L; k-- > 0;) {
        std::vector<float> up(static_cast<size_t>(p.levelWidth[k]) * p.levelHeight[k]);
        RefExpandPlane(up.data(), plane.data(), p.levelWidth[k], p.levelHeight[k], p.levelWidth[k + 1],
                       p.levelHeight[k + 1], p.kernel);
        plane = std::move(up);
    }
    ScopedPic want(90, 70, 1, 8);
    RefStoreFloatPlane(want.b, plane.data());

    ScopedPic result(90, 70, 1, 8);
    int32_t lod[kLodCount];
    SetLod(lod, 0);
    EXPECT_EQ(ApplySmartContrast(result.b, p, lod), 0);
    EXPECT_EQ(result.Bytes(), want.Bytes());
    // Heavily blurred: the 13 x 11 checker edges are gone, so neighbours differ little.
    int maxStep = 0;
    for (int32_t y = 0; y < 70; y++) {
        for (int32_t x = 1; x < 90; x++) {
            maxStep = std::max(maxStep, std::abs(static_cast<int>(SampleAt(result.b, x, y, 0)) -
                                                 static_cast<int>(SampleAt(result.b, x - 1, y, 0))));
        }
    }
    EXPECT_LT(maxStep, 20);
}

TEST(ContrastPyramid, GainsBeyondTheLevelCountHaveNoEffect) {
    ScopedPic src(40, 25, 1, 16);  // L = 2
    FillPicture(src.b, 9);
    ContrastPyramid p;
    ASSERT_EQ(p.Build(src.b), 0);
    ASSERT_EQ(p.levelCount, 2u);
    ScopedPic a(40, 25, 1, 16), b(40, 25, 1, 16);
    int32_t lod[kLodCount] = {12, 7, 0, 0, 0, 0, 0, 0};
    EXPECT_EQ(p.Render(a.b, lod, 0), 0);
    for (int k = 2; k < kLodCount; k++)
        lod[k] = 30;
    EXPECT_EQ(p.Render(b.b, lod, 0), 0);
    EXPECT_EQ(a.Bytes(), b.Bytes());
}

TEST(ContrastPyramid, OvershootIsClippedNotWrapped) {
    for (int32_t bits : {8, 16}) {
        const uint32_t maxValue = bits == 8 ? 255u : 65535u;
        ScopedPic src(64, 64, 1, bits);
        for (int32_t y = 0; y < 64; y++) {
            for (int32_t x = 0; x < 64; x++) {
                uint32_t v = x < 32 ? maxValue / 20 : maxValue - maxValue / 20;
                if (bits == 8) {
                    src.b.data[y * src.b.stride + x] = static_cast<uint8_t>(v);
                } else {
                    reinterpret_cast<uint16_t*>(src.b.data)[y * (src.b.stride / 2) + x] = static_cast<uint16_t>(v);
                }
            }
        }
        ContrastPyramid p;
        ASSERT_EQ(p.Build(src.b), 0);
        ScopedPic result(64, 64, 1, bits);
        int32_t lod[kLodCount];
        SetLod(lod, 30);
        EXPECT_EQ(ApplySmartContrast(result.b, p, lod), 0);
        // Next to the edge the tripled detail overshoots both ways; far from it the flat sides stay put.
        EXPECT_EQ(SampleAt(result.b, 31, 32, 0), 0u) << bits;
        EXPECT_EQ(SampleAt(result.b, 32, 32, 0), maxValue) << bits;
        for (int32_t x = 0; x < 64; x++) {
            uint32_t v = SampleAt(result.b, x, 32, 0);
            if (x < 32) {
                EXPECT_LT(v, maxValue / 2) << bits << " x " << x;
            } else {
                EXPECT_GT(v, maxValue / 2) << bits << " x " << x;
            }
        }
    }
}

TEST(StoreFloatPlane, ClampsTruncatesAndStepsByStride) {
    const float values[8] = {-5.0f, 0.0f, 0.5f, 254.9f, 255.0f, 300.0f, NAN, 17.99f};
    {
        std::vector<uint8_t> block(2 * 12, 0xEE);  // 8 wide, stride 12: padding must stay untouched
        SQmPicBuf pic{block.data(), 24, 12, 8, 2, 1, 8};
        float plane[16];
        for (int i = 0; i < 16; i++)
            plane[i] = values[i % 8];
        StoreFloatPlane(pic, plane);
        const uint8_t want[8] = {0, 0, 0, 254, 255, 255, 0, 17};
        for (int y = 0; y < 2; y++) {
            EXPECT_EQ(std::memcmp(block.data() + y * 12, want, 8), 0) << y;
            for (int x = 8; x < 12; x++)
                EXPECT_EQ(block[y * 12 + x], 0xEE);
        }
    }
    {
        const float wide[6] = {-1.0f, 65534.9f, 65535.0f, 70000.0f, 300.5f, 1e30f};
        std::vector<uint16_t> block(2 * 8, 0xBEEF);  // 6 wide, stride 16 bytes
        SQmPicBuf pic{reinterpret_cast<uint8_t*>(block.data()), 32, 16, 6, 2, 1, 16};
        float plane[12];
        for (int i = 0; i < 12; i++)
            plane[i] = wide[i % 6];
        StoreFloatPlane(pic, plane);
        const uint16_t want[6] = {0, 65534, 65535, 65535, 300, 65535};
        for (int y = 0; y < 2; y++) {
            for (int x = 0; x < 6; x++)
                EXPECT_EQ(block[y * 8 + x], want[x]) << x;
            EXPECT_EQ(block[y * 8 + 6], 0xBEEF);
            EXPECT_EQ(block[y * 8 + 7], 0xBEEF);
        }
    }
    {
        // A record whose rows do not fit its block is not written at all.
        std::vector<uint8_t> block(10, 0x11);
        SQmPicBuf pic{block.data(), 10, 8, 8, 2, 1, 8};
        float plane[16] = {};
        StoreFloatPlane(pic, plane);
        for (uint8_t v : block)
            EXPECT_EQ(v, 0x11);
    }
}

TEST(ContrastPyramid, GreyIsRenderedInPlaceAndColourPerComponent) {
    ScopedPic grey(33, 29, 1, 8), colour(33, 29, 3, 16);
    FillPicture(grey.b, 1);
    FillPicture(colour.b, 2);
    int32_t lod[kLodCount] = {20, 15, 5, 30, 0, 10, 10, 10};

    ContrastPyramid pg;
    ASSERT_EQ(pg.Build(grey.b), 0);
    ScopedPic want(33, 29, 1, 8);
    RefRender(pg, want.b, lod, 0);
    EXPECT_EQ(ApplySmartContrast(grey.b, pg, lod), 0);
    EXPECT_EQ(grey.Bytes(), want.Bytes());

    ContrastPyramid pc;
    ASSERT_EQ(pc.Build(colour.b), 0);
    ScopedPic result(33, 29, 3, 16);
    std::memset(result.b.data, 0, result.b.size);
    EXPECT_EQ(ApplySmartContrast(result.b, pc, lod), 0);
    for (uint32_t c = 0; c < 3; c++) {
        ScopedPic plane(33, 29, 1, 16);
        RefRender(pc, plane.b, lod, c);
        for (int32_t y = 0; y < 29; y++) {
            for (int32_t x = 0; x < 33; x++) {
                ASSERT_EQ(SampleAt(result.b, x, y, c), SampleAt(plane.b, x, y, 0)) << c << " " << x << "," << y;
            }
        }
    }
    // Applying again starts from the pyramid, so nothing compounds.
    std::vector<uint8_t> first = result.Bytes();
    EXPECT_EQ(ApplySmartContrast(result.b, pc, lod), 0);
    EXPECT_EQ(result.Bytes(), first);
}

TEST(ContrastPyramid, NothingIsRenderedWhenItCannotBe) {
    int32_t lod[kLodCount];
    SetLod(lod, 25);
    ScopedPic src(40, 30, 3, 8);
    FillPicture(src.b, 4);
    ContrastPyramid p;
    ASSERT_EQ(p.Build(src.b), 0);

    // Geometry that differs from the pyramid in any field leaves the result alone.
    for (auto [w, h, comps, bits] :
         {std::tuple{41, 30, 3, 8}, std::tuple{40, 31, 3, 8}, std::tuple{40, 30, 1, 8}, std::tuple{40, 30, 3, 16}}) {
        ScopedPic other(w, h, comps, bits);
        std::memset(other.b.data, 0x5A, other.b.size);
        std::vector<uint8_t> before = other.Bytes();
        EXPECT_EQ(ApplySmartContrast(other.b, p, lod), 1);
        EXPECT_EQ(other.Bytes(), before);
    }
    // Render refuses a component beyond the picture's, or a target of another shape.
    ScopedPic target(40, 30, 1, 8), wrong(40, 30, 1, 16);
    std::memset(target.b.data, 0x33, target.b.size);
    std::vector<uint8_t> before = target.Bytes();
    EXPECT_EQ(p.Render(target.b, lod, 3), 1);
    EXPECT_EQ(target.Bytes(), before);
    EXPECT_EQ(p.Render(wrong.b, lod, 0), 1);

    // A picture too small to reduce builds (L = 0) but is never rendered.
    ScopedPic tiny(9, 40, 3, 8);
    FillPicture(tiny.b, 6);
    ContrastPyramid pt;
    EXPECT_EQ(pt.Build(tiny.b), 0);
    EXPECT_EQ(pt.levelCount, 0u);
    EXPECT_FALSE(pt.Renderable());
    std::vector<uint8_t> tinyBefore = tiny.Bytes();
    EXPECT_EQ(ApplySmartContrast(tiny.b, pt, lod), 1);
    EXPECT_EQ(tiny.Bytes(), tinyBefore);

    // Unsupported records are refused by Build.
    SQmPicBuf empty;
    CQmPicBufAPI::Init(empty);
    ContrastPyramid pe;
    EXPECT_EQ(pe.Build(empty), 1);
    EXPECT_FALSE(pe.Renderable());
}

TEST(ContrastPyramid, BuildFailsCleanlyUnderAnAllocationLimit) {
    ScopedPic src(200, 150, 3, 8);
    FillPicture(src.b, 8);
    ScopedPic result(200, 150, 3, 8);
    std::memset(result.b.data, 0x77, result.b.size);
    std::vector<uint8_t> before = result.Bytes();
    int32_t lod[kLodCount];
    SetLod(lod, 10);

    ContrastPyramid p;
    SetAllocationLimit(200 * 150 * 4 - 1);  // level 0 planes cannot be had
    EXPECT_EQ(p.Build(src.b), 1);
    SetAllocationLimit(0);
    EXPECT_FALSE(p.Renderable());
    EXPECT_EQ(ApplySmartContrast(result.b, p, lod), 1);
    EXPECT_EQ(result.Bytes(), before);

    // The same object builds once memory is there again.
    EXPECT_EQ(p.Build(src.b), 0);
    EXPECT_EQ(ApplySmartContrast(result.b, p, lod), 0);
    p.Release();
    EXPECT_FALSE(p.Renderable());
    EXPECT_TRUE(p.detail[0][0].Empty());
    EXPECT_EQ(p.AllocatedBytes(), 0u);
}
