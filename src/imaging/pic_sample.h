// Sampling rules shared by the picture transforms and their scalar references in the tests.
//
// Destination pixel i is sampled at its centre i + 0.5, taken to the source through the map:
//   u = srcCentre + (i + 0.5 - dstCentre) / scale
// It is inside the source when 0 <= u < extent (source pixel k covers [k, k + 1)). Interpolation runs
// between source pixel centres k + 0.5; taps beyond the edge repeat the edge pixel.
#pragma once

#include <cmath>
#include <cstdint>

namespace pic_sample {

// Bilinear weights per axis, 7 fraction bits: a horizontal sum a * (128 - w) + b * w stays below
// 2^15, so the vertical pass can multiply pairs in signed 16-bit lanes.
constexpr uint32_t kLinearOne = 128;
constexpr uint32_t kLinearShift = 14;  // both axes
constexpr uint32_t kLinearRound = 1u << (kLinearShift - 1);
constexpr int32_t kCubicOne = 1024;  // bicubic weights per axis, 10 fraction bits

inline double SourcePos(int64_t dst, double dstCentre, double srcCentre, double scale) {
    return srcCentre + (static_cast<double>(dst) + 0.5 - dstCentre) / scale;
}

inline bool Inside(double u, int32_t extent) {
    return u >= 0.0 && u < static_cast<double>(extent);
}

inline int32_t Clamp(int64_t k, int32_t extent) {
    return static_cast<int32_t>(k < 0 ? 0 : (k >= extent ? extent - 1 : k));
}

// Only for inside positions.
inline int32_t NearestTap(double u, int32_t extent) {
    return Clamp(static_cast<int64_t>(std::floor(u)), extent);
}

struct LinearTap {
    int32_t i0, i1;  // source pixels
    uint32_t w1;     // weight of i1 out of kLinearOne; i0 gets the rest
};

inline LinearTap MakeLinearTap(double u, int32_t extent) {
    double p = u - 0.5;
    double k = std::floor(p);
    auto w1 = static_cast<uint32_t>(std::floor((p - k) * kLinearOne + 0.5));
    auto k0 = static_cast<int64_t>(k);
    return LinearTap{Clamp(k0, extent), Clamp(k0 + 1, extent), w1};
}

// Catmull-Rom, four taps k - 1 .. k + 2 around p = u - 0.5, k = floor(p). The weights sum to
// exactly kCubicOne: the nearer middle tap takes the rounding remainder.
struct CubicTap {
    int32_t i[4];
    int32_t w[4];
};

inline CubicTap MakeCubicTap(double u, int32_t extent) {
    double p = u - 0.5;
    double k = std::floor(p);
    double f = p - k;
    double f2 = f * f;
    double f3 = f2 * f;
    double w[4] = {(-f3 + 2.0 * f2 - f) * 0.5, (3.0 * f3 - 5.0 * f2 + 2.0) * 0.5, (-3.0 * f3 + 4.0 * f2 + f) * 0.5,
                   (f3 - f2) * 0.5};
    CubicTap t{};
    auto k0 = static_cast<int64_t>(k);
    int mid = f < 0.5 ? 1 : 2;
    int32_t sum = 0;
    for (int j = 0; j < 4; ++j) {
        t.i[j] = Clamp(k0 - 1 + j, extent);
        if (j != mid) {
            t.w[j] = static_cast<int32_t>(std::floor(w[j] * kCubicOne + 0.5));
            sum += t.w[j];
        }
    }
    t.w[mid] = kCubicOne - sum;
    return t;
}

inline uint8_t CubicResult(int32_t acc) {
    int32_t v = (acc + (1 << 19)) >> 20;
    return static_cast<uint8_t>(v < 0 ? 0 : (v > 255 ? 255 : v));
}

}  // namespace pic_sample
