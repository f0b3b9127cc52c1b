// Synthetic exposures: an 8-bit sample has 256 values, so each tile's gamma and stretch become one table.
#include "fusion/exposure.h"

#include <algorithm>
#include <atomic>
#include <cmath>
#include <cstdio>

#include "fusion/row_bands.h"

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

// Maps every component through lut; accumulates per-channel sums of the output when sums is given.
void ApplyLut(SQmPicBuf& dst, const SQmPicBuf& src, const ExposureLut& lut, uint64_t* sums) {
    const size_t rowBytes = static_cast<size_t>(src.width) * 3;
    // Integer sums do not depend on how the rows are split.
    std::atomic<uint64_t> total[3] = {0, 0, 0};
    RunRowBands(src.height, src.width, [&](int32_t y0, int32_t y1) {
        uint64_t s0 = 0, s1 = 0, s2 = 0;
        for (int32_t y = y0; y < y1; ++y) {
            const uint8_t* s = src.data + static_cast<size_t>(y) * src.stride;
            uint8_t* d = dst.data + static_cast<size_t>(y) * dst.stride;
            for (size_t x = 0; x < rowBytes; x += 3) {
                const uint8_t b = lut[s[x]], g = lut[s[x + 1]], r = lut[s[x + 2]];
                d[x] = b;
                d[x + 1] = g;
                d[x + 2] = r;
                s0 += b;
                s1 += g;
                s2 += r;
            }
        }
        total[0] += s0;
        total[1] += s1;
        total[2] += s2;
    });
    if (sums) {
        for (int c = 0; c < 3; ++c)
            sums[c] += total[c].load();
    }
}

}  // namespace

uint8_t RenderGamma(SQmPicBuf& destination, const SQmPicBuf& source, double g) {
    if (!SameColour8Shape(destination, source))
        return 1;
    ApplyLut(destination, source, MakeGammaLut(g), nullptr);
    return 0;
}

uint8_t RenderExposureTile(SQmPicBuf& destination,
                           const SQmPicBuf& source,
                           int32_t gammaStep,
                           int32_t clipStep,
                           bool up,
                           uint32_t& score) {
    if (!SameColour8Shape(destination, source) || !InGrid(gammaStep, clipStep))
        return 1;
    uint64_t sums[3] = {0, 0, 0};
    ApplyLut(destination, source, MakeExposureLut(gammaStep, clipStep, up), sums);
    score = ExposureScoreFromSums(sums, static_cast<uint64_t>(source.width) * static_cast<uint64_t>(source.height));
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
