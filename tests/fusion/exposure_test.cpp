#include "fusion/exposure.h"

#include <gtest/gtest.h>

#include <cmath>
#include <cstdio>
#include <cstring>
#include <random>
#include <vector>
#include <set>
#include <utility>

#include "fusion/fusion_test_pictures.h"
#include "fusion/lut_bytes.h"
#include "fusion/row_bands.h"

namespace {

// Every byte value 0..255 in each component, on a padded picture.
TestPicture AllValues(int32_t padding) {
    TestPicture p(16, 16, 3, padding);
    for (int32_t y = 0; y < 16; ++y)
        for (int32_t x = 0; x < 16; ++x)
            for (int c = 0; c < 3; ++c)
                p.At(x, y, c) = static_cast<uint8_t>((y * 16 + x + 85 * c) & 255);
    return p;
}

// The rendering straight from the per-pixel formulas, without tables.
uint8_t RefTileByte(uint8_t v, int32_t i, int32_t k, bool up) {
    const double g = up ? std::pow(1.2, i) : std::pow(1.2, -i);
    return RefClipStretchByte(RefGammaByte(v, g), 20 * k, up);
}

double RefScore(const TestPicture& p) {
    double sum[3] = {0, 0, 0};
    for (int32_t y = 0; y < p.buf.height; ++y)
        for (int32_t x = 0; x < p.buf.width; ++x)
            for (int c = 0; c < 3; ++c)
                sum[c] += p.At(x, y, c);
    const double n = static_cast<double>(p.buf.width) * p.buf.height;
    return std::trunc(sum[0] / n + sum[1] / n + sum[2] / n + 0.5);
}

}  // namespace

TEST(ExposureGrid, ThirtyNineStepsRowByRowWithShrinkingRows) {
    const auto& grid = ExposureGrid();
    ASSERT_EQ(grid.size(), 39u);
    std::set<std::pair<int, int>> seen;
    for (size_t n = 0; n < grid.size(); ++n) {
        seen.insert({grid[n].gammaStep, grid[n].clipStep});
        EXPECT_LE(grid[n].clipStep, 8 - grid[n].gammaStep);
        if (n > 0) {
            const bool sameRow = grid[n].gammaStep == grid[n - 1].gammaStep;
            EXPECT_TRUE(sameRow ? grid[n].clipStep == grid[n - 1].clipStep + 1
                                : grid[n].gammaStep == grid[n - 1].gammaStep + 1 && grid[n].clipStep == 0);
        }
    }
    EXPECT_EQ(seen.size(), 39u);
    EXPECT_EQ(grid.front().gammaStep, 0);
    EXPECT_EQ(grid.front().clipStep, 0);
    EXPECT_EQ(grid.back().gammaStep, 5);
    EXPECT_EQ(grid.back().clipStep, 3);
    EXPECT_EQ(seen.count({0, 9}), 0u);
    EXPECT_EQ(seen.count({5, 4}), 0u);
    EXPECT_EQ(seen.count({0, 8}), 1u);
}

TEST(ExposureGrid, TileNamesAndGammas) {
    EXPECT_EQ(ExposureTileName(2, 5), "file_002_005.bmp");
    EXPECT_EQ(ExposureTileName(0, 0), "file_000_000.bmp");
    EXPECT_EQ(ExposureTileName(5, 3), "file_005_003.bmp");
    EXPECT_DOUBLE_EQ(ExposureGamma(0, true), 1.0);
    EXPECT_NEAR(ExposureGamma(2, true), 1.44, 1e-12);
    EXPECT_NEAR(ExposureGamma(5, true), 2.48832, 1e-12);
    EXPECT_NEAR(ExposureGamma(4, false), 1 / 2.0736, 1e-12);
    EXPECT_EQ(ClipOffset(8), 160);
}

TEST(ExposureCurves, GammaKeepsEndsAndStretchClips) {
    for (int i = 0; i < 6; ++i) {
        for (bool up : {true, false}) {
            EXPECT_EQ(RefGammaByte(0, ExposureGamma(i, up)), 0);
            EXPECT_EQ(RefGammaByte(255, ExposureGamma(i, up)), 255);
        }
    }
    EXPECT_GT(RefGammaByte(100, 1.44), 100);  // UP brightens
    EXPECT_LT(RefGammaByte(100, 1 / 1.44), 100);
    // UP with offset 160: 95 and above clip to white, 94 -> trunc(94 / 95 * 255).
    EXPECT_EQ(RefClipStretchByte(95, 160, true), 255);
    EXPECT_EQ(RefClipStretchByte(94, 160, true), 252);
    EXPECT_EQ(RefClipStretchByte(0, 160, true), 0);
    // DOWN with offset 160: below 160 is black, 255 stays.
    EXPECT_EQ(RefClipStretchByte(159, 160, false), 0);
    EXPECT_EQ(RefClipStretchByte(160, 160, false), 0);
    EXPECT_EQ(RefClipStretchByte(200, 160, false), 107);
    EXPECT_EQ(RefClipStretchByte(255, 160, false), 255);
    EXPECT_EQ(RefClipStretchByte(254, 0, false), 254);
}

TEST(ExposureCurves, TableEqualsFormulaForEveryValueAndTile) {
    for (bool up : {true, false}) {
        for (const ExposureStep& s : ExposureGrid()) {
            const ExposureLut lut = MakeExposureLut(s.gammaStep, s.clipStep, up);
            for (int v = 0; v < 256; ++v)
                ASSERT_EQ(lut[v], RefTileByte(static_cast<uint8_t>(v), s.gammaStep, s.clipStep, up))
                    << "v " << v << " tile " << s.gammaStep << "," << s.clipStep << " up " << up;
        }
    }
}

TEST(ExposureTile, EveryTileMatchesThePerPixelFormulaAndScore) {
    const TestPicture source = PhotoLike(37, 23, 3, 5);
    for (bool up : {true, false}) {
        for (const ExposureStep& s : ExposureGrid()) {
            TestPicture tile(37, 23, 3, 2, 0xEE);
            uint32_t score = 9999;
            ASSERT_EQ(RenderExposureTile(tile.buf, source.buf, s.gammaStep, s.clipStep, up, score), 0);
            bool same = true;
            for (int32_t y = 0; y < 23; ++y)
                for (int32_t x = 0; x < 37; ++x)
                    for (int c = 0; c < 3; ++c)
                        same &= tile.At(x, y, c) == RefTileByte(source.At(x, y, c), s.gammaStep, s.clipStep, up);
            EXPECT_TRUE(same) << s.gammaStep << "," << s.clipStep << " up " << up;
            EXPECT_EQ(score, RefScore(tile));
            EXPECT_EQ(ExposureScore(tile.buf), score);
            // Row padding is not touched.
            EXPECT_EQ(tile.bytes[37 * 3], 0xEE);
        }
    }
}

TEST(ExposureTile, IdentityTileAndStrongestClip) {
    const TestPicture source = AllValues(4);
    for (bool up : {true, false}) {
        TestPicture tile(16, 16, 3, 0);
        uint32_t score = 0;
        ASSERT_EQ(RenderExposureTile(tile.buf, source.buf, 0, 0, up, score), 0);
        bool same = true;
        for (int32_t y = 0; y < 16; ++y)
            for (int32_t x = 0; x < 16; ++x)
                for (int c = 0; c < 3; ++c)
                    same &= tile.At(x, y, c) == source.At(x, y, c);
        EXPECT_TRUE(same) << "up " << up;

        ASSERT_EQ(RenderExposureTile(tile.buf, source.buf, 0, 8, up, score), 0);
        for (int32_t y = 0; y < 16; ++y) {
            for (int32_t x = 0; x < 16; ++x) {
                for (int c = 0; c < 3; ++c) {
                    const uint8_t v = source.At(x, y, c), r = tile.At(x, y, c);
                    if (up && v >= 95) {
                        EXPECT_EQ(r, 255);
                    }
                    if (up && v == 94) {
                        EXPECT_EQ(r, 252);
                    }
                    if (!up && v < 160) {
                        EXPECT_EQ(r, 0);
                    }
                    if (!up && v == 255) {
                        EXPECT_EQ(r, 255);
                    }
                }
            }
        }
    }
}

TEST(ExposureTile, RefusesWrongShapesAndStepsOutsideTheGrid) {
    const TestPicture source = PhotoLike(8, 8, 1);
    TestPicture other(9, 8, 3, 0, 7);
    TestPicture grey(8, 8, 1, 0, 7);
    TestPicture tile(8, 8, 3, 0, 7);
    uint32_t score = 123;
    EXPECT_EQ(RenderExposureTile(other.buf, source.buf, 0, 0, true, score), 1);
    EXPECT_EQ(RenderExposureTile(grey.buf, source.buf, 0, 0, true, score), 1);
    EXPECT_EQ(RenderExposureTile(tile.buf, source.buf, 0, 9, true, score), 1);
    EXPECT_EQ(RenderExposureTile(tile.buf, source.buf, 5, 4, false, score), 1);
    EXPECT_EQ(RenderExposureTile(tile.buf, source.buf, -1, 0, false, score), 1);
    EXPECT_EQ(RenderGamma(other.buf, source.buf, 1.2), 1);
    EXPECT_EQ(score, 123u);
    EXPECT_EQ(other.bytes[0], 7);
    EXPECT_EQ(tile.bytes[0], 7);
}

TEST(ExposureTile, RenderGammaMatchesFormula) {
    const TestPicture source = AllValues(3);
    TestPicture out(16, 16, 3, 1);
    const double g = ExposureGamma(3, false);
    ASSERT_EQ(RenderGamma(out.buf, source.buf, g), 0);
    for (int32_t y = 0; y < 16; ++y)
        for (int32_t x = 0; x < 16; ++x)
            for (int c = 0; c < 3; ++c)
                EXPECT_EQ(out.At(x, y, c), RefGammaByte(source.At(x, y, c), g));
}

TEST(ExposureScore, RoundsTheSumOfChannelMeans) {
    TestPicture p(2, 1, 3);
    // Means 10, 20.5, 30 -> 60.5 -> 61; blue 10, green 20 and 21, red 30.
    p.At(0, 0, 0) = 10, p.At(1, 0, 0) = 10;
    p.At(0, 0, 1) = 20, p.At(1, 0, 1) = 21;
    p.At(0, 0, 2) = 30, p.At(1, 0, 2) = 30;
    EXPECT_EQ(ExposureScore(p.buf), 61u);
    p.At(1, 0, 1) = 20;
    EXPECT_EQ(ExposureScore(p.buf), 60u);
    TestPicture white(3, 3, 3, 0, 255);
    EXPECT_EQ(ExposureScore(white.buf), 765u);
}

TEST(ExposureSort, AscendingAndStableForEqualScores) {
    ExposureEntry e[] = {{300, 0}, {100, 1}, {200, 2}, {100, 3}, {765, 4}, {0, 5}, {200, 6}};
    SortExposureEntries(e, 7);
    const int32_t order[] = {5, 1, 3, 2, 6, 0, 4};
    for (int j = 0; j < 7; ++j)
        EXPECT_EQ(e[j].sequence, order[j]);
    for (int j = 1; j < 7; ++j)
        EXPECT_LE(e[j - 1].score, e[j].score);
}

TEST(ExposureSort, IdentityTileIsDarkestForUpAndBrightestForDown) {
    const TestPicture source = PhotoLike(40, 30, 7);
    for (bool up : {true, false}) {
        std::vector<ExposureEntry> entries;
        for (int n = 0; n < kExposureTileCount; ++n) {
            const ExposureStep s = ExposureGrid()[n];
            TestPicture tile(40, 30);
            uint32_t score = 0;
            ASSERT_EQ(RenderExposureTile(tile.buf, source.buf, s.gammaStep, s.clipStep, up, score), 0);
            entries.push_back({score, n});
        }
        const uint32_t identity = entries[0].score;
        SortExposureEntries(entries.data(), entries.size());
        if (up)
            EXPECT_EQ(entries.front().score, identity);
        else
            EXPECT_EQ(entries.back().score, identity);
    }
}

TEST(ExposureTile, LargeTileIsIndependentOfTheThreadCount) {
    const TestPicture source = PhotoLike(700, 400, 12, 3);
    TestPicture single(700, 400), banded(700, 400);
    uint32_t scoreSingle = 0, scoreBanded = 1;
    SetFusionThreadCount(1);
    ASSERT_EQ(RenderExposureTile(single.buf, source.buf, 3, 2, false, scoreSingle), 0);
    SetFusionThreadCount(5);
    SetFusionMinBandPixels(1000);
    ASSERT_EQ(RenderExposureTile(banded.buf, source.buf, 3, 2, false, scoreBanded), 0);
    SetFusionThreadCount(0);
    SetFusionMinBandPixels(0);
    EXPECT_EQ(single.bytes, banded.bytes);
    EXPECT_EQ(scoreSingle, scoreBanded);
    EXPECT_EQ(scoreBanded, RefScore(banded));
}

// Every vector table lookup gives the scalar bytes for every value, run length (tails included) and offset.
TEST(ExposureTile, VectorLookupMatchesScalar) {
    std::mt19937 rng(17);
    uint8_t lut[256];
    for (int v = 0; v < 256; ++v)
        lut[v] = static_cast<uint8_t>(rng());
    std::vector<uint8_t> src(400), want(400), got(400);
    for (size_t k = 0; k < src.size(); ++k)
        src[k] = static_cast<uint8_t>(k < 256 ? k : rng());
    for (const auto& [name, vector] : {std::pair{"AVX-512 VBMI", Avx512VbmiLutBytes()}, {"AVX2", Avx2LutBytes()}}) {
        if (!vector) {
            std::printf("%s lookups not available here\n", name);
            continue;
        }
        for (size_t offset : {0, 1, 3}) {
            for (size_t count = 0; count + offset <= 330; count += count < 140 ? 1 : 37) {
                std::fill(want.begin(), want.end(), 0xA5);
                std::fill(got.begin(), got.end(), 0xA5);
                LutBytesScalar(want.data() + offset, src.data() + offset, count, lut);
                vector(got.data() + offset, src.data() + offset, count, lut);
                ASSERT_EQ(got, want) << name << " count " << count << " offset " << offset;
            }
        }
    }
}

// Scoring from the source's value counts gives the bytes and score of the plain render; the counts refuse
// what is not a 3 x 8-bit picture.
TEST(ExposureTile, CountedSourceAndRectanglesGiveTheSameBytesAndScore) {
    const TestPicture source = PhotoLike(333, 41, 8, 5);
    ExposureHistogram histogram;
    ASSERT_TRUE(CountExposureValues(source.buf, histogram));
    EXPECT_EQ(histogram.pixels, 333u * 41u);
    for (bool up : {true, false}) {
        for (const ExposureStep& s : ExposureGrid()) {
            TestPicture plain(333, 41, 3, 1), counted(333, 41, 3, 1);
            uint32_t plainScore = 1, countedScore = 2;
            ASSERT_EQ(RenderExposureTile(plain.buf, source.buf, s.gammaStep, s.clipStep, up, plainScore), 0);
            ASSERT_EQ(RenderExposureTile(counted.buf, source.buf, histogram, s.gammaStep, s.clipStep, up, countedScore),
                      0);
            EXPECT_EQ(counted.bytes, plain.bytes);
            EXPECT_EQ(countedScore, plainScore);
            EXPECT_EQ(countedScore, RefScore(counted));
            // A rectangle made straight from the source is that rectangle of the tile.
            TestPicture rect(37, 11, 3, 2);
            ASSERT_EQ(RenderExposureRect(rect.buf, source.buf, 296, 30, s.gammaStep, s.clipStep, up), 0);
            for (int32_t y = 0; y < 11; ++y)
                for (int32_t x = 0; x < 37 * 3; ++x)
                    ASSERT_EQ(rect.buf.data[y * rect.buf.stride + x],
                              plain.buf.data[(y + 30) * plain.buf.stride + 296 * 3 + x]);
        }
    }
    TestPicture rect(37, 11, 3, 2);
    EXPECT_EQ(RenderExposureRect(rect.buf, source.buf, 297, 0, 0, 0, true), 1);  // one column past the edge
    EXPECT_EQ(RenderExposureRect(rect.buf, source.buf, 0, 31, 0, 0, true), 1);
    EXPECT_EQ(RenderExposureRect(rect.buf, source.buf, -1, 0, 0, 0, true), 1);
    EXPECT_EQ(RenderExposureRect(rect.buf, source.buf, 0, 0, 5, 4, true), 1);  // outside the grid
    const TestPicture grey(10, 10, 1);
    EXPECT_FALSE(CountExposureValues(grey.buf, histogram));
    EXPECT_EQ(histogram.pixels, 0u);
}
