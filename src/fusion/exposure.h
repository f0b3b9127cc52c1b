// Synthetic exposures of one picture: gamma curve, clipping stretch, brightness score and the tile grid.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <string>

#include "imaging/pic_buf.h"

constexpr int kExposureTileCount = 39;
constexpr int kGammaSteps = 6;  // i = 0..5; row i holds 9 - i clip steps

struct ExposureStep {
    int32_t gammaStep;  // i: gamma 1.2^i (UP) or 1.2^-i (DOWN)
    int32_t clipStep;   // k: clip offset 20 * k
};

struct ExposureEntry {
    uint32_t score;    // rounded sum of the three channel means, 0..765
    int32_t sequence;  // order in which the tile was made, 0..38
};

// The 39 (i, k) pairs in making order: row by row, k ascending within a row.
const std::array<ExposureStep, kExposureTileCount>& ExposureGrid();

// 1.2^i for UP, 1.2^-i for DOWN.
double ExposureGamma(int32_t gammaStep, bool up);
inline int32_t ClipOffset(int32_t clipStep) {
    return 20 * clipStep;
}

// "file_%.3i_%.3i.bmp" for (gammaStep, clipStep).
std::string ExposureTileName(int32_t gammaStep, int32_t clipStep);

// Per-byte formulas, kept as the reference for the tables below.
uint8_t RefGammaByte(uint8_t v, double g);
uint8_t RefClipStretchByte(uint8_t v, int32_t offset, bool up);

// One tile's curve: gamma then stretch, composed into a 256-entry table.
using ExposureLut = std::array<uint8_t, 256>;
ExposureLut MakeGammaLut(double g);
ExposureLut MakeExposureLut(int32_t gammaStep, int32_t clipStep, bool up);

// Applies the gamma curve to every component of a 3-component 8-bit picture; destination and source have
// equal geometry (strides may differ). Returns 0, or 1 when the shapes do not fit (nothing written).
[[nodiscard]] uint8_t RenderGamma(SQmPicBuf& destination, const SQmPicBuf& source, double g);

// Renders tile (gammaStep, clipStep) of source into destination in one pass and scores it.
// Returns 0, or 1 when the shapes do not fit, the step lies outside the grid or the value counts ran out of
// memory (nothing written).
[[nodiscard]] uint8_t RenderExposureTile(SQmPicBuf& destination,
                                         const SQmPicBuf& source,
                                         int32_t gammaStep,
                                         int32_t clipStep,
                                         bool up,
                                         uint32_t& score);

// The destination's width x height pixels of tile (gammaStep, clipStep) of source from (x0, y0) on, mapped
// straight from the source by the tile's table: the same bytes as that rectangle of the whole tile. Returns 0,
// or 1 when the shapes do not fit, the rectangle leaves the source or the step lies outside the grid.
[[nodiscard]] uint8_t RenderExposureRect(SQmPicBuf& destination,
                                         const SQmPicBuf& source,
                                         int32_t x0,
                                         int32_t y0,
                                         int32_t gammaStep,
                                         int32_t clipStep,
                                         bool up);

// Per-channel value counts of a source picture: a tile's channel sums follow from them and its table, so
// the 39 tiles of one source are scored without going over their pixels again.
struct ExposureHistogram {
    uint64_t count[3][256] = {};
    uint64_t pixels = 0;
};
// Returns false (histogram empty) when source is not a 3-component 8-bit picture or the counters could not
// be had.
[[nodiscard]] bool CountExposureValues(const SQmPicBuf& source, ExposureHistogram& histogram);

// RenderExposureTile for a source whose values were counted: the same bytes and score.
[[nodiscard]] uint8_t RenderExposureTile(SQmPicBuf& destination,
                                         const SQmPicBuf& source,
                                         const ExposureHistogram& histogram,
                                         int32_t gammaStep,
                                         int32_t clipStep,
                                         bool up,
                                         uint32_t& score);

// Rounded sum of the three channel means (double precision) of a 3-component 8-bit picture.
uint32_t ExposureScore(const SQmPicBuf& picture);
// Same from per-channel sums over pixelCount pixels.
uint32_t ExposureScoreFromSums(const uint64_t sums[3], uint64_t pixelCount);

// Orders entries by ascending score; tiles of equal score keep their making order.
void SortExposureEntries(ExposureEntry* entries, size_t count);
