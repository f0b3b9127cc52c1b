// Deterministic photo-like test content for benchmarks: smooth light, hard-edged shapes and sensor noise.
#pragma once

#include <cmath>
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <vector>

#include "imaging/pic_buf.h"

namespace bench {

// A benchmark cannot go on without what its set-up makes: a failed step ends the run with a message.
inline void Require(bool done, const char* what) {
    if (!done) {
        std::fprintf(stderr, "benchmark set-up failed: %s\n", what);
        std::exit(1);
    }
}

// Small counter-based hash, so the noise of a pixel does not depend on the visiting order.
inline uint32_t NoiseHash(uint32_t x, uint32_t y, uint32_t c, uint32_t seed) {
    uint32_t h = x * 0x9E3779B1u ^ y * 0x85EBCA77u ^ c * 0xC2B2AE3Du ^ seed * 0x27D4EB2Fu;
    h ^= h >> 15;
    h *= 0x2C1B3C6Du;
    h ^= h >> 12;
    h *= 0x297A2D39u;
    h ^= h >> 15;
    return h;
}

// Value in 0 .. 1 of component c at (x, y) of a width x height scene.
class PhotoScene {
public:
    PhotoScene(int32_t width, int32_t height, uint32_t seed) : width_(width), height_(height), seed_(seed) {
        colWave_.resize(static_cast<size_t>(width));
        rowWave_.resize(static_cast<size_t>(height));
        for (int32_t x = 0; x < width; x++) {
            double u = static_cast<double>(x) / width;
            colWave_[x] = static_cast<float>(std::sin(u * 9.0 + seed) * 0.5 + std::sin(u * 53.0) * 0.08);
        }
        for (int32_t y = 0; y < height; y++) {
            double v = static_cast<double>(y) / height;
            rowWave_[y] = static_cast<float>(std::cos(v * 7.0 + seed * 0.5) * 0.5 + std::sin(v * 41.0) * 0.08);
        }
        // A few discs and boxes with hard edges, placed from the seed.
        for (int i = 0; i < 12; i++) {
            Shape s;
            s.cx = static_cast<int32_t>(NoiseHash(i, 1, 0, seed) % static_cast<uint32_t>(width));
            s.cy = static_cast<int32_t>(NoiseHash(i, 2, 0, seed) % static_cast<uint32_t>(height));
            int32_t m = width < height ? width : height;
            s.r = 1 + static_cast<int32_t>(NoiseHash(i, 3, 0, seed) % static_cast<uint32_t>(m / 6 + 1));
            s.disc = i % 2 == 0;
            for (int c = 0; c < 3; c++)
                s.tint[c] = (NoiseHash(i, 4, c, seed) % 1000) / 1000.0f - 0.5f;
            shapes_.push_back(s);
        }
    }

    // One row of interleaved samples in 0 .. 1, `components` per pixel.
    void Row(int32_t y, int32_t components, float* out) const {
        const float v = static_cast<float>(y) / static_cast<float>(height_);
        for (int32_t x = 0; x < width_; x++) {
            const float u = static_cast<float>(x) / static_cast<float>(width_);
            const float light = 0.35f + 0.25f * u + 0.15f * v + 0.25f * colWave_[x] * rowWave_[y];
            for (int32_t c = 0; c < components; c++) {
                float s = light + (c - 1) * 0.05f * (u - v);
                out[static_cast<size_t>(x) * components + c] = s;
            }
        }
        for (const Shape& s : shapes_) {
            int32_t dy = y - s.cy;
            if (dy < -s.r || dy > s.r)
                continue;
            int32_t half = s.r;
            if (s.disc)
                half = static_cast<int32_t>(std::sqrt(static_cast<double>(s.r) * s.r - double(dy) * dy));
            int32_t x0 = s.cx - half < 0 ? 0 : s.cx - half;
            int32_t x1 = s.cx + half >= width_ ? width_ - 1 : s.cx + half;
            for (int32_t x = x0; x <= x1; x++) {
                for (int32_t c = 0; c < components; c++)
                    out[static_cast<size_t>(x) * components + c] += 0.3f * s.tint[c];
            }
        }
        for (int32_t x = 0; x < width_; x++) {
            for (int32_t c = 0; c < components; c++) {
                float n = static_cast<float>(NoiseHash(x, y, c, seed_) & 0xFFFF) / 65535.0f - 0.5f;
                float& s = out[static_cast<size_t>(x) * components + c];
                s += n * 0.03f;
                s = s < 0.0f ? 0.0f : s > 1.0f ? 1.0f : s;
            }
        }
    }

private:
    struct Shape {
        int32_t cx, cy, r;
        bool disc;
        float tint[3];
    };
    int32_t width_, height_;
    uint32_t seed_;
    std::vector<float> colWave_, rowWave_;
    std::vector<Shape> shapes_;
};

// Fills an allocated picture (1 or 3 components, 8 or 16 bits, any stride).
inline void FillPhotoLike(SQmPicBuf& pic, uint32_t seed) {
    PhotoScene scene(pic.width, pic.height, seed);
    std::vector<float> row(static_cast<size_t>(pic.width) * pic.components);
    const float scale = pic.bitsPerComponent == 8 ? 255.0f : 65535.0f;
    for (int32_t y = 0; y < pic.height; y++) {
        scene.Row(y, pic.components, row.data());
        uint8_t* dst = pic.data + static_cast<size_t>(y) * pic.stride;
        for (size_t i = 0; i < row.size(); i++) {
            uint32_t v = static_cast<uint32_t>(row[i] * scale);
            if (pic.bitsPerComponent == 8) {
                dst[i] = static_cast<uint8_t>(v);
            } else {
                uint16_t s = static_cast<uint16_t>(v);
                std::memcpy(dst + 2 * i, &s, 2);
            }
        }
    }
}

// A packed single-component plane on the 8-bit scale.
inline void FillPhotoLikePlane(float* plane, int32_t width, int32_t height, uint32_t seed) {
    PhotoScene scene(width, height, seed);
    for (int32_t y = 0; y < height; y++) {
        float* out = plane + static_cast<size_t>(y) * width;
        scene.Row(y, 1, out);
        for (int32_t x = 0; x < width; x++)
            out[x] = std::floor(out[x] * 255.0f);
    }
}

}  // namespace bench
