// Test pictures for the fusion tests: owned 3 x 8-bit buffers with optional row padding.
#pragma once

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <random>
#include <vector>

#include "fusion/exposure.h"
#include "imaging/pic_buf.h"

struct TestPicture {
    std::vector<uint8_t> bytes;
    SQmPicBuf buf{};

    TestPicture(int32_t width, int32_t height, int32_t components = 3, int32_t padding = 0, uint8_t fill = 0) {
        const int32_t stride = width * components + padding;
        bytes.assign(static_cast<size_t>(stride) * height, fill);
        buf = SQmPicBuf{bytes.data(), static_cast<int32_t>(bytes.size()), stride, width, height, components, 8};
    }
    TestPicture(const TestPicture& o) : bytes(o.bytes), buf(o.buf) { buf.data = bytes.data(); }
    TestPicture& operator=(const TestPicture&) = delete;

    uint8_t& At(int32_t x, int32_t y, int32_t c) {
        return bytes[static_cast<size_t>(y) * buf.stride + static_cast<size_t>(x) * buf.components + c];
    }
    uint8_t At(int32_t x, int32_t y, int32_t c) const {
        return bytes[static_cast<size_t>(y) * buf.stride + static_cast<size_t>(x) * buf.components + c];
    }
};

// Smooth shading, a few hard edges and some noise, with different curves per channel.
inline TestPicture PhotoLike(int32_t width, int32_t height, uint32_t seed, int32_t padding = 0) {
    TestPicture p(width, height, 3, padding);
    std::mt19937 rng(seed);
    std::uniform_int_distribution<int> noise(-6, 6);
    const double fx = 3.0 + seed % 5, fy = 2.0 + seed % 3;
    for (int32_t y = 0; y < height; ++y) {
        for (int32_t x = 0; x < width; ++x) {
            const double u = static_cast<double>(x) / width, v = static_cast<double>(y) / height;
            const double base = 110 + 70 * std::sin(fx * u + 0.5 * seed) * std::cos(fy * v);
            const double edge = ((x / 17 + y / 13) % 3 == 0) ? 50 : 0;
            for (int c = 0; c < 3; ++c) {
                const double value = base * (0.7 + 0.15 * c) + edge - 20 * c + noise(rng);
                p.At(x, y, c) = static_cast<uint8_t>(std::clamp(value, 0.0, 255.0));
            }
        }
    }
    return p;
}

// The first count renderings of source in brightness order, as the preparation would list them.
inline std::vector<TestPicture> SortedRenderings(const TestPicture& source, bool up, int32_t count = 39) {
    std::vector<TestPicture> tiles;
    std::vector<ExposureEntry> entries;
    for (int n = 0; n < kExposureTileCount; ++n) {
        const ExposureStep step = ExposureGrid()[n];
        TestPicture tile(source.buf.width, source.buf.height);
        uint32_t score = 0;
        EXPECT_EQ(RenderExposureTile(tile.buf, source.buf, step.gammaStep, step.clipStep, up, score), 0);
        tiles.push_back(tile);
        entries.push_back({score, n});
    }
    SortExposureEntries(entries.data(), entries.size());
    std::vector<TestPicture> sorted;
    for (int32_t j = 0; j < count; ++j)
        sorted.push_back(tiles[static_cast<size_t>(entries[j].sequence)]);
    return sorted;
}

inline std::vector<SQmPicBuf> Records(const std::vector<TestPicture>& pictures) {
    std::vector<SQmPicBuf> r;
    for (const TestPicture& p : pictures)
        r.push_back(p.buf);
    return r;
}
