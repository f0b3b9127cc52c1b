// The renderings a whole fusion run fuses: the darkest 15 of the 39 UP renderings of one 6000 x 4000
// photo-like picture, ordered by score, made the same way as in fusion_bench.cpp. Shared by the anchors.
#pragma once

#include <cstdint>
#include <vector>

#include "bench_pictures.h"
#include "fusion/exposure.h"

namespace bench {

constexpr int32_t kFusionWidth = 6000;
constexpr int32_t kFusionHeight = 4000;
constexpr int32_t kFusionPower = 15;

struct FusionRendering {
    std::vector<uint8_t> bytes;
    SQmPicBuf buf{};
    FusionRendering(int32_t width, int32_t height) : bytes(static_cast<size_t>(width) * height * 3) {
        buf = SQmPicBuf{bytes.data(), static_cast<int32_t>(bytes.size()), width * 3, width, height, 3, 8};
    }
};

// Made once per process; only one picture of the 39 is held at a time besides the source and the result.
inline const std::vector<FusionRendering>& FusionRenderings() {
    static const std::vector<FusionRendering> sorted = [] {
        FusionRendering source(kFusionWidth, kFusionHeight);
        FillPhotoLike(source.buf, 7);
        std::vector<ExposureEntry> entries;
        FusionRendering tile(kFusionWidth, kFusionHeight);
        for (int n = 0; n < kExposureTileCount; ++n) {
            uint32_t score = 0;
            const ExposureStep s = ExposureGrid()[n];
            bench::Require(RenderExposureTile(tile.buf, source.buf, s.gammaStep, s.clipStep, true, score) == 0,
                           "rendering");
            entries.push_back({score, n});
        }
        SortExposureEntries(entries.data(), entries.size());
        std::vector<FusionRendering> out;
        out.reserve(kFusionPower);
        for (int32_t j = 0; j < kFusionPower; ++j) {
            out.emplace_back(kFusionWidth, kFusionHeight);
            uint32_t score = 0;
            const ExposureStep s = ExposureGrid()[entries[j].sequence];
            bench::Require(RenderExposureTile(out.back().buf, source.buf, s.gammaStep, s.clipStep, true, score) == 0,
                           "rendering");
        }
        return out;
    }();
    return sorted;
}

}  // namespace bench
