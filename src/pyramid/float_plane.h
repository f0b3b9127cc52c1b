// Float planes, the 5 x 5 pyramid kernel and the reduce / expand resampling pair.
#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>

#include "base/status.h"

// Move-only owner of one packed width x height array of floats.
class FloatPlane {
public:
    FloatPlane() = default;
    FloatPlane(const FloatPlane&) = delete;
    FloatPlane& operator=(const FloatPlane&) = delete;
    FloatPlane(FloatPlane&& o) noexcept;
    FloatPlane& operator=(FloatPlane&& o) noexcept;
    ~FloatPlane();

    // Zero-filled; returns false (and leaves the plane empty) when the memory cannot be had.
    [[nodiscard]] bool Allocate(int32_t width, int32_t height);
    void Release();

    float* Data() { return data_; }
    const float* Data() const { return data_; }
    int32_t Width() const { return width_; }
    int32_t Height() const { return height_; }
    size_t Count() const { return static_cast<size_t>(width_) * static_cast<size_t>(height_); }
    bool Empty() const { return data_ == nullptr; }

private:
    float* data_ = nullptr;
    int32_t width_ = 0;
    int32_t height_ = 0;
};

constexpr int kKernelTaps = 25;

// K[r][c] = w[r] * w[c], w = (0.05, 0.25, 0.4, 0.25, 0.05), in single precision.
void PyramidKernel(float kernel[kKernelTaps]);

// dst is (srcWidth >> 1) x (srcHeight >> 1); nothing is written when it is below 5 in either direction.
// kOutOfMemory when a band's few working rows cannot be had (dst then partly written).
[[nodiscard]] Status ReducePlane(float* dst,
                                 const float* src,
                                 int32_t dstWidth,
                                 int32_t dstHeight,
                                 int32_t srcWidth,
                                 int32_t srcHeight,
                                 const float* kernel);
// src is (dstWidth >> 1) x (dstHeight >> 1); nothing is written when dst is below 5 in either direction.
void ExpandPlane(float* dst,
                 const float* src,
                 int32_t dstWidth,
                 int32_t dstHeight,
                 int32_t srcWidth,
                 int32_t srcHeight,
                 const float* kernel);

struct RowKernels;
struct ExpandTarget;

// One output row of ReducePlane (dst at least 5 x 5) from the five source rows of its window, split into
// their even and odd columns (see RowKernels::splitEvenOdd), wherever they are held.
void ReduceRowFromSplitRows(float* out,
                            const float* const even[5],
                            const float* const odd[5],
                            int32_t dstWidth,
                            int32_t srcWidth,
                            const float* kernel,
                            const RowKernels& kernels);

// Source rows of a band of reduce output rows, each split once into its even and odd columns and held while
// the windows of the next output rows (two rows further on) still need it. Not Ready without memory.
class SplitRowRing {
public:
    explicit SplitRowRing(int32_t width);
    bool Ready() const { return block_ != nullptr; }
    bool Holds(int32_t row) const { return inSlot_[row & 7] == row; }
    // Splits a row of natural order into the slot of row number `row`.
    void Put(int32_t row, const float* natural, const RowKernels& kernels);
    // The slot of row number `row`, counted as held from now on, for a caller that fills its columns itself.
    void Claim(int32_t row, float*& even, float*& odd);
    // The five rows from sy on, which must be held.
    void Window(int32_t sy, const float* even[5], const float* odd[5]) const;

private:
    std::unique_ptr<float[]> block_;
    size_t half_;  // floats of one half row, padded
    int32_t width_;
    int32_t inSlot_[8] = {-1, -1, -1, -1, -1, -1, -1, -1};
};

// One output row of ExpandPlane (dst at least 5 x 5), for passes that fuse more work into the
// row (the expanded row can go straight into a collapse step or a store, see ExpandTarget); the whole-plane
// operations are these rows over a thread pool and give the same bits.
void ExpandPlaneRow(const ExpandTarget& target,
                    const float* src,
                    int32_t y,
                    int32_t dstWidth,
                    int32_t dstHeight,
                    int32_t srcWidth,
                    int32_t srcHeight,
                    const float* kernel,
                    const RowKernels& kernels);

// Grid positions of one direction of an expand that carry a source sample: source index and kernel index, in
// order (2 or 3 of them).
struct ExpandTaps {
    int32_t count;
    int32_t src[3];
    int32_t k[3];
};

// Taps of output row (or column) i of an expand from srcN to dstN samples.
ExpandTaps ExpandTapsOf(int32_t i, int32_t dstN, int32_t srcN);
// ExpandPlaneRow with the source rows given: rows[n] is source row taps.src[n] of the row's taps, wherever it
// lives (a collapse keeps a few rows of the level above instead of a whole plane).
void ExpandRowFromRows(const ExpandTarget& target,
                       const float* const* rows,
                       const ExpandTaps& taps,
                       int32_t dstWidth,
                       int32_t srcWidth,
                       const float* kernel,
                       const RowKernels& kernels);
// Three components' rows into one interleaved 8-bit row at once (the kGainAddU8 sink, out[3x + c]): rows[c] are
// component c's source rows, d[c] its detail row. Only for kernel sets with expandInterior3U8.
void ExpandRowsInterleavedU8(uint8_t* out,
                             const float* const* const* rows,
                             const ExpandTaps& taps,
                             const float* const* d,
                             float gain,
                             int32_t dstWidth,
                             int32_t srcWidth,
                             const float* kernel,
                             const RowKernels& kernels);
