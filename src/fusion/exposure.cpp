// Synthetic exposures: an 8-bit sample has 256 values, so each tile's gamma and stretch become one table.
#include "fusion/exposure.h"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <mutex>
#include <vector>

#include "fusion/lut_bytes.h"
#include "fusion/row_bands.h"
#include "pyramid/row_kernels.h"

namespace {

bool IsColour8(const SQmPicBuf& p) {
    return p.data != nullptr && p.components == 3 && p.bitsPerComponent == 8 && p.width > 0 && p.height > 0 &&
           p.stride >= static_cast<int64_t>(p.width) * 3;
}

bool SameColour8Shape(const SQmPicBuf& a, const SQmPicBuf& b) {
    return IsColour8(a) && IsColour8(b) && a.width == b.width && a.height == b.height;
}

bool InGrid(int32_t gammaStep, int32_t clipStep) {
    return gammaStep >= 0 && gammaStep < kGammaSteps && clipStep >= 0 && clipStep <= 8 - gammaStep;
}

}  // namespace

const std::array<ExposureStep, kExposureTileCount>& ExposureGrid() {
    static const std::array<ExposureStep, kExposureTileCount> grid = [] {
        std::array<ExposureStep, kExposureTileCount> g{};
        int n = 0;
        for (int32_t i = 0; i < kGammaSteps; ++i)
            for (int32_t k = 0; k <= 8 - i; ++k)
                g[n++] = {i, k};
        return g;
    }();
    return grid;
}

double ExposureGamma(int32_t gammaStep, bool up) {
    return std::pow(1.2, up ? gammaStep : -gammaStep);
}

std::string ExposureTileName(int32_t gammaStep, int32_t clipStep) {
    char name[64];
    std::snprintf(name, sizeof name, "file_%.3i_%.3i.bmp", gammaStep, clipStep);
    return name;
}

uint8_t RefGammaByte(uint8_t v, double g) {
    double r = std::pow(v / 255.0, 1.0 / g) * 255.0 + 0.5;
    if (r < 0.0)
        r = 0.0;
    if (r > 255.0)
        r = 255.0;
    return static_cast<uint8_t>(r);
}

uint8_t RefClipStretchByte(uint8_t v, int32_t offset, bool up) {
    const double range = 255 - offset;
    if (up) {
        if (v >= 255 - offset)
            return 255;
        return static_cast<uint8_t>(v / range * 255.0);
    }
    if (v >= 255)
        return 255;
    if (v < offset)
        return 0;
    return static_cast<uint8_t>((v - offset) / range * 255.0);
}

ExposureLut MakeGammaLut(double g) {
    ExposureLut lut{};
    for (int v = 0; v < 256; ++v)
        lut[v] = RefGammaByte(static_cast<uint8_t>(v), g);
    return lut;
}

ExposureLut MakeExposureLut(int32_t gammaStep, int32_t clipStep, bool up) {
    const ExposureLut gamma = MakeGammaLut(ExposureGamma(gammaStep, up));
    const int32_t offset = ClipOffset(clipStep);
    ExposureLut lut{};
    for (int v = 0; v < 256; ++v)
        lut[v] = RefClipStretchByte(gamma[v], offset, up);
    return lut;
}

namespace {

// The byte mapper in use: vectors where the processor has them and the vector paths are on.
LutBytesFn ActiveLutBytes() {
    if (!PyramidSimdEnabled())
        return LutBytesScalar;
    static const LutBytesFn avx2 = Avx2LutBytes();
    const LutBytesFn widest = Avx512VbmiLutBytes();
    return widest ? widest : avx2 ? avx2 : LutBytesScalar;
}

// Maps every component through lut.
Status ApplyLut(SQmPicBuf& dst, const SQmPicBuf& src, const ExposureLut& lut) {
    const size_t rowBytes = static_cast<size_t>(src.width) * 3;
    const LutBytesFn map = ActiveLutBytes();
    return RunRowBands(src.height, src.width, [&](int32_t y0, int32_t y1) {
        for (int32_t y = y0; y < y1; ++y)
            map(dst.data + static_cast<size_t>(y) * dst.stride, src.data + static_cast<size_t>(y) * src.stride,
                rowBytes, lut.data());
    });
}

// Channel sums of a tile: every source value v of channel c becomes lut[v]. Integer sums are exact, so this
// equals adding up the tile's pixels.
void TileSums(const ExposureHistogram& histogram, const ExposureLut& lut, uint64_t sums[3]) {
    for (int c = 0; c < 3; ++c) {
        sums[c] = 0;
        for (int v = 0; v < 256; ++v)
            sums[c] += histogram.count[c][v] * lut[v];
    }
}

}  // namespace

void LutBytesScalar(uint8_t* dst, const uint8_t* src, size_t count, const uint8_t* lut) {
    for (size_t k = 0; k < count; ++k)
        dst[k] = lut[src[k]];
}

bool CountExposureValues(const SQmPicBuf& source, ExposureHistogram& histogram) {
    histogram = ExposureHistogram{};
    if (!SameColour8Shape(source, source))
        return false;
    const size_t rowBytes = static_cast<size_t>(source.width) * 3;
    std::mutex lock;
    const Status status = RunRowBands(source.height, source.width, [&](int32_t y0, int32_t y1) {
        // 32-bit counters, emptied before a counter could reach 2^31.
        const int32_t flushRows = static_cast<int32_t>(std::max<int64_t>(1, (int64_t{1} << 31) / source.width));
        // Two sets of counters per channel halve the stalls on runs of equal values.
        std::vector<uint32_t> counts(3 * 2 * 256);
        auto flush = [&] {
            std::lock_guard<std::mutex> guard(lock);
            for (int c = 0; c < 3; ++c)
                for (int v = 0; v < 256; ++v)
                    histogram.count[c][v] += counts[(c * 2) * 256 + v] + uint64_t{counts[(c * 2 + 1) * 256 + v]};
            std::fill(counts.begin(), counts.end(), 0u);
        };
        for (int32_t y = y0; y < y1; ++y) {
            const uint8_t* s = source.data + static_cast<size_t>(y) * source.stride;
            size_t x = 0;
            for (; x + 6 <= rowBytes; x += 6) {
                ++counts[0 * 256 + s[x]];
                ++counts[2 * 256 + s[x + 1]];
                ++counts[4 * 256 + s[x + 2]];
                ++counts[1 * 256 + s[x + 3]];
                ++counts[3 * 256 + s[x + 4]];
                ++counts[5 * 256 + s[x + 5]];
            }
            for (; x < rowBytes; x += 3) {
                ++counts[0 * 256 + s[x]];
                ++counts[2 * 256 + s[x + 1]];
                ++counts[4 * 256 + s[x + 2]];
            }
            if ((y - y0) % flushRows == flushRows - 1)
                flush();
        }
        flush();
    });
    if (!status.ok()) {
        histogram = ExposureHistogram{};
        return false;
    }
    histogram.pixels = static_cast<uint64_t>(source.width) * static_cast<uint64_t>(source.height);
    return true;
}

uint8_t RenderExposureRect(SQmPicBuf& destination,
                           const SQmPicBuf& source,
                           int32_t x0,
                           int32_t y0,
                           int32_t gammaStep,
                           int32_t clipStep,
                           bool up) {
    if (!SameColour8Shape(source, source) || !SameColour8Shape(destination, destination) || x0 < 0 || y0 < 0 ||
        destination.width > source.width - x0 || destination.height > source.height - y0 ||
        !InGrid(gammaStep, clipStep))
        return 1;
    SQmPicBuf view = source;
    view.data = source.data + static_cast<int64_t>(y0) * source.stride + static_cast<int64_t>(x0) * 3;
    view.width = destination.width;
    view.height = destination.height;
    return ApplyLut(destination, view, MakeExposureLut(gammaStep, clipStep, up)).ok() ? 0 : 1;
}

uint8_t RenderGamma(SQmPicBuf& destination, const SQmPicBuf& source, double g) {
    if (!SameColour8Shape(destination, source))
        return 1;
    return ApplyLut(destination, source, MakeGammaLut(g)).ok() ? 0 : 1;
}

uint8_t RenderExposureTile(SQmPicBuf& destination,
                           const SQmPicBuf& source,
                           int32_t gammaStep,
                           int32_t clipStep,
                           bool up,
                           uint32_t& score) {
    if (!SameColour8Shape(destination, source) || !InGrid(gammaStep, clipStep))
        return 1;
    ExposureHistogram histogram;
    if (!CountExposureValues(source, histogram))
        return 1;
    return RenderExposureTile(destination, source, histogram, gammaStep, clipStep, up, score);
}

uint8_t RenderExposureTile(SQmPicBuf& destination,
                           const SQmPicBuf& source,
                           const ExposureHistogram& histogram,
                           int32_t gammaStep,
                           int32_t clipStep,
                           bool up,
                           uint32_t& score) {
    if (!SameColour8Shape(destination, source) || !InGrid(gammaStep, clipStep))
        return 1;
    const ExposureLut lut = MakeExposureLut(gammaStep, clipStep, up);
    if (!ApplyLut(destination, source, lut).ok())
        return 1;
    uint64_t sums[3];
    TileSums(histogram, lut, sums);
    score = ExposureScoreFromSums(sums, histogram.pixels);
    return 0;
}

uint32_t ExposureScoreFromSums(const uint64_t sums[3], uint64_t pixelCount) {
    if (pixelCount == 0)
        return 0;
    // Integer sums are exact, so converting them once equals accumulating in double pixel by pixel.
    const double n = static_cast<double>(pixelCount);
    const double mean0 = static_cast<double>(sums[0]) / n;
    const double mean1 = static_cast<double>(sums[1]) / n;
    const double mean2 = static_cast<double>(sums[2]) / n;
    return static_cast<uint32_t>(mean0 + mean1 + mean2 + 0.5);
}

uint32_t ExposureScore(const SQmPicBuf& picture) {
    if (!IsColour8(picture))
        return 0;
    uint64_t sums[3] = {0, 0, 0};
    for (int32_t y = 0; y < picture.height; ++y) {
        const uint8_t* p = picture.data + static_cast<size_t>(y) * picture.stride;
        for (size_t x = 0; x < static_cast<size_t>(picture.width) * 3; x += 3) {
            sums[0] += p[x];
            sums[1] += p[x + 1];
            sums[2] += p[x + 2];
        }
    }
    return ExposureScoreFromSums(sums, static_cast<uint64_t>(picture.width) * static_cast<uint64_t>(picture.height));
}

void SortExposureEntries(ExposureEntry* entries, size_t count) {
    std::stable_sort(entries, entries + count,
                     [](const ExposureEntry& a, const ExposureEntry& b) { return a.score < b.score; });
}
