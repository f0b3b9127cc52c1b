// Float planes and the reduce / expand pair shared by the contrast and fusion pyramids.
#include "pyramid/float_plane.h"

#include <utility>

#include "base/alloc.h"

FloatPlane::FloatPlane(FloatPlane&& o) noexcept
    : data_(std::exchange(o.data_, nullptr)),
      width_(std::exchange(o.width_, 0)),
      height_(std::exchange(o.height_, 0)) {}

FloatPlane& FloatPlane::operator=(FloatPlane&& o) noexcept {
    if (this != &o) {
        Release();
        data_ = std::exchange(o.data_, nullptr);
        width_ = std::exchange(o.width_, 0);
        height_ = std::exchange(o.height_, 0);
    }
    return *this;
}

FloatPlane::~FloatPlane() {
    Release();
}

bool FloatPlane::Allocate(int32_t width, int32_t height) {
    Release();
    if (width < 0 || height < 0)
        return false;
    size_t bytes = CheckedMul(static_cast<size_t>(width), static_cast<size_t>(height), sizeof(float));
    void* p = AllocZeroBytes(bytes);
    if (!p)
        return false;
    data_ = static_cast<float*>(p);
    width_ = width;
    height_ = height;
    return true;
}

void FloatPlane::Release() {
    if (data_)
        FreeBytes(data_);
    data_ = nullptr;
    width_ = 0;
    height_ = 0;
}

void PyramidKernel(float kernel[kKernelTaps]) {
    const float w[5] = {0.05f, 0.25f, 0.4f, 0.25f, 0.05f};
    for (int r = 0; r < 5; r++) {
        for (int c = 0; c < 5; c++)
            kernel[r * 5 + c] = w[r] * w[c];
    }
}

namespace {

// Start of the 5-tap reduce window for output index i over a source of n samples.
inline int32_t ReduceWindow(int32_t i, int32_t n) {
    int32_t s = i <= 1 ? 0 : 2 * i - 2;
    if (s + 5 > n)
        s = n - 5;
    return s;
}

// Start of the 5-wide expand window (in output grid units) for output index i over n outputs.
inline int32_t ExpandWindow(int32_t i, int32_t n) {
    int32_t w = i <= 2 ? 0 : i - 2;
    if (w + 5 > n)
        w = n - 5;
    return w;
}

// Grid positions of one direction that carry a source sample: src index and kernel index, in order.
struct ExpandTaps {
    int32_t count;
    int32_t src[3];
    int32_t k[3];
};

inline ExpandTaps MakeExpandTaps(int32_t i, int32_t dstN, int32_t srcN) {
    ExpandTaps t{};
    int32_t w = ExpandWindow(i, dstN);
    int32_t first = (w & 1) == 0 ? w : w + 1;
    int32_t limit = w + 5 < 2 * srcN ? w + 5 : 2 * srcN;
    for (int32_t j = first; j < limit; j += 2) {
        t.src[t.count] = j / 2;
        t.k[t.count] = j - w;
        t.count++;
    }
    return t;
}

inline float ReduceSample(const float* const rows[5], int32_t sx, const float* kernel) {
    float acc = 0.0f;
    for (int r = 0; r < 5; r++) {
        const float* s = rows[r] + sx;
        const float* k = kernel + r * 5;
        for (int c = 0; c < 5; c++)
            acc = k[c] * s[c] + acc;
    }
    return acc;
}

}  // namespace

void ReducePlane(float* dst,
                 const float* src,
                 int32_t dstWidth,
                 int32_t dstHeight,
                 int32_t srcWidth,
                 int32_t srcHeight,
                 const float* kernel) {
    if (dstWidth < 5 || dstHeight < 5)
        return;
    // Output columns whose window is centred (starts at 2x - 2) without clamping.
    int32_t interiorBegin = 2;
    int32_t interiorEnd = (srcWidth - 3) / 2 + 1;  // first x with 2x - 2 + 5 > srcWidth
    if (interiorEnd > dstWidth)
        interiorEnd = dstWidth;
    if (interiorEnd < interiorBegin)
        interiorEnd = interiorBegin;
    if (interiorBegin > dstWidth)
        interiorBegin = interiorEnd = dstWidth;

    for (int32_t y = 0; y < dstHeight; y++) {
        int32_t sy = ReduceWindow(y, srcHeight);
        const float* rows[5];
        for (int r = 0; r < 5; r++)
            rows[r] = src + static_cast<size_t>(sy + r) * static_cast<size_t>(srcWidth);
        float* out = dst + static_cast<size_t>(y) * static_cast<size_t>(dstWidth);

        for (int32_t x = 0; x < interiorBegin; x++)
            out[x] = ReduceSample(rows, ReduceWindow(x, srcWidth), kernel);
        for (int32_t x = interiorBegin; x < interiorEnd; x++)
            out[x] = ReduceSample(rows, 2 * x - 2, kernel);
        for (int32_t x = interiorEnd; x < dstWidth; x++)
            out[x] = ReduceSample(rows, ReduceWindow(x, srcWidth), kernel);
    }
}

void ExpandPlane(float* dst,
                 const float* src,
                 int32_t dstWidth,
                 int32_t dstHeight,
                 int32_t srcWidth,
                 int32_t srcHeight,
                 const float* kernel) {
    if (dstWidth < 5 || dstHeight < 5)
        return;
    // Columns 3 .. end - 1 have a centred window with every contributing grid column inside the source.
    int32_t interiorBegin = 3;
    int32_t interiorEnd = dstWidth - 3;
    if (interiorEnd > 2 * srcWidth - 2)
        interiorEnd = 2 * srcWidth - 2;
    if (interiorEnd < interiorBegin)
        interiorEnd = interiorBegin;
    if (interiorBegin > dstWidth)
        interiorBegin = interiorEnd = dstWidth;

    for (int32_t y = 0; y < dstHeight; y++) {
        ExpandTaps rt = MakeExpandTaps(y, dstHeight, srcHeight);
        const float* rows[3];
        const float* krows[3];
        for (int32_t n = 0; n < rt.count; n++) {
            rows[n] = src + static_cast<size_t>(rt.src[n]) * static_cast<size_t>(srcWidth);
            krows[n] = kernel + rt.k[n] * 5;
        }
        float* out = dst + static_cast<size_t>(y) * static_cast<size_t>(dstWidth);

        auto generic = [&](int32_t x) {
            ExpandTaps ct = MakeExpandTaps(x, dstWidth, srcWidth);
            float acc = 0.0f;
            for (int32_t n = 0; n < rt.count; n++) {
                for (int32_t m = 0; m < ct.count; m++)
                    acc = rows[n][ct.src[m]] * krows[n][ct.k[m]] + acc;
            }
            out[x] = acc * 4.0f;
        };

        for (int32_t x = 0; x < interiorBegin; x++)
            generic(x);
        for (int32_t x = interiorBegin; x < interiorEnd; x++) {
            float acc = 0.0f;
            if ((x & 1) == 0) {
                // Grid columns x - 2, x, x + 2: kernel columns 0, 2, 4.
                int32_t s = x / 2 - 1;
                for (int32_t n = 0; n < rt.count; n++) {
                    const float* r = rows[n] + s;
                    const float* k = krows[n];
                    acc = r[0] * k[0] + acc;
                    acc = r[1] * k[2] + acc;
                    acc = r[2] * k[4] + acc;
                }
            } else {
                // Grid columns x - 1, x + 1: kernel columns 1, 3.
                int32_t s = (x - 1) / 2;
                for (int32_t n = 0; n < rt.count; n++) {
                    const float* r = rows[n] + s;
                    const float* k = krows[n];
                    acc = r[0] * k[1] + acc;
                    acc = r[1] * k[3] + acc;
                }
            }
            out[x] = acc * 4.0f;
        }
        for (int32_t x = interiorEnd; x < dstWidth; x++)
            generic(x);
    }
}
