// Plain per-pixel references for the picture transforms and test helpers for picture buffers.
#pragma once

#include <gtest/gtest.h>

#include <cstdint>
#include <random>
#include <vector>

#include "imaging/pic_buf.h"
#include "imaging/pic_sample.h"

// Owns a library buffer for the length of a test.
struct ScopedPic {
    SQmPicBuf buf;
    ScopedPic() { CQmPicBufAPI::Init(buf); }
    ScopedPic(int32_t w, int32_t h, int32_t c, int32_t bpc) {
        CQmPicBufAPI::Init(buf);
        EXPECT_EQ(CQmPicBufAPI::ReinitHeap(buf, w, h, c, bpc), 0) << w << "x" << h << "x" << c << "x" << bpc;
    }
    ~ScopedPic() { CQmPicBufAPI::DoneHeap(buf); }
    ScopedPic(const ScopedPic&) = delete;
    ScopedPic& operator=(const ScopedPic&) = delete;
    std::vector<uint8_t> Bytes() const { return std::vector<uint8_t>(buf.data, buf.data + buf.size); }
};

inline void FillRandom(SQmPicBuf& buf, uint32_t seed) {
    std::mt19937 rng(seed);
    for (int32_t i = 0; i < buf.size; ++i)
        buf.data[i] = static_cast<uint8_t>(rng() >> 24);
}

// Sample point of each destination pixel and the inside test, straight from the map.
struct RefSample {
    bool inside;
    double u, v;
};

inline RefSample RefSampleAt(const SQmPicBuf& src, const CQmPicMap& m, int32_t x, int32_t y) {
    double u = pic_sample::SourcePos(x, m.DstCentreX(), m.SrcCentreX(), m.Scale());
    double v = pic_sample::SourcePos(y, m.DstCentreY(), m.SrcCentreY(), m.Scale());
    return RefSample{pic_sample::Inside(u, src.width) && pic_sample::Inside(v, src.height), u, v};
}

inline uint8_t RefPixel(const SQmPicBuf& b, int32_t x, int32_t y, int32_t c) {
    return b.data[int64_t{y} * b.stride + int64_t{x} * b.components + c];
}

inline void RefTransformNearest(SQmPicBuf& dst, const SQmPicBuf& src, const CQmPicMap& m) {
    for (int32_t y = 0; y < dst.height; ++y) {
        for (int32_t x = 0; x < dst.width; ++x) {
            RefSample s = RefSampleAt(src, m, x, y);
            if (!s.inside)
                continue;
            int32_t sx = pic_sample::NearestTap(s.u, src.width);
            int32_t sy = pic_sample::NearestTap(s.v, src.height);
            for (int32_t c = 0; c < dst.components; ++c) {
                dst.data[int64_t{y} * dst.stride + int64_t{x} * dst.components + c] = RefPixel(src, sx, sy, c);
            }
        }
    }
}

inline void RefTransformBilinear(SQmPicBuf& dst, const SQmPicBuf& src, const CQmPicMap& m) {
    for (int32_t y = 0; y < dst.height; ++y) {
        for (int32_t x = 0; x < dst.width; ++x) {
            RefSample s = RefSampleAt(src, m, x, y);
            if (!s.inside)
                continue;
            pic_sample::LinearTap tx = pic_sample::MakeLinearTap(s.u, src.width);
            pic_sample::LinearTap ty = pic_sample::MakeLinearTap(s.v, src.height);
            for (int32_t c = 0; c < dst.components; ++c) {
                const uint32_t one = pic_sample::kLinearOne;
                uint32_t top = RefPixel(src, tx.i0, ty.i0, c) * (one - tx.w1) + RefPixel(src, tx.i1, ty.i0, c) * tx.w1;
                uint32_t bot = RefPixel(src, tx.i0, ty.i1, c) * (one - tx.w1) + RefPixel(src, tx.i1, ty.i1, c) * tx.w1;
                dst.data[int64_t{y} * dst.stride + int64_t{x} * dst.components + c] = static_cast<uint8_t>(
                    (top * (one - ty.w1) + bot * ty.w1 + pic_sample::kLinearRound) >> pic_sample::kLinearShift);
            }
        }
    }
}

inline void RefTransformBicubic(SQmPicBuf& dst, const SQmPicBuf& src, const CQmPicMap& m) {
    for (int32_t y = 0; y < dst.height; ++y) {
        for (int32_t x = 0; x < dst.width; ++x) {
            RefSample s = RefSampleAt(src, m, x, y);
            if (!s.inside)
                continue;
            pic_sample::CubicTap tx = pic_sample::MakeCubicTap(s.u, src.width);
            pic_sample::CubicTap ty = pic_sample::MakeCubicTap(s.v, src.height);
            for (int32_t c = 0; c < dst.components; ++c) {
                int32_t acc = 0;
                for (int k = 0; k < 4; ++k) {
                    int32_t h = 0;
                    for (int j = 0; j < 4; ++j)
                        h += tx.w[j] * RefPixel(src, tx.i[j], ty.i[k], c);
                    acc += ty.w[k] * h;
                }
                dst.data[int64_t{y} * dst.stride + int64_t{x} * dst.components + c] = pic_sample::CubicResult(acc);
            }
        }
    }
}
