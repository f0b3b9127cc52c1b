// Float planes and the reduce / expand pair shared by the contrast and fusion pyramids: border columns
// here, interior columns in the row kernels, rows split over the thread pool.
#include "pyramid/float_plane.h"

#include <new>
#include <utility>

#include "base/alloc.h"
#include "base/page_alloc.h"
#include "base/thread_pool.h"
#include "pyramid/row_kernels.h"
#include "pyramid/row_kernels_scalar.h"

namespace {
// Planes from this size on come from page blocks (the Windows heap maps blocks of this size afresh anyway).
constexpr size_t kPageBlockBytes = size_t{1} << 20;
}  // namespace

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
    void* p = bytes >= kPageBlockBytes ? AllocZeroPages(bytes) : AllocZeroBytes(bytes);
    if (!p)
        return false;
    data_ = static_cast<float*>(p);
    width_ = width;
    height_ = height;
    return true;
}

void FloatPlane::Release() {
    if (data_) {
        const size_t bytes = Count() * sizeof(float);
        if (bytes >= kPageBlockBytes) {
            FreePages(data_, bytes);
        } else {
            FreeBytes(data_);
        }
    }
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

struct ColumnRange {
    int32_t begin, end;
};

// The columns of an expanded row that the interior kernels take: 3 .. end - 1 have a centred window with every
// contributing grid column inside the source.
inline ColumnRange ExpandInteriorColumns(int32_t dstWidth, int32_t srcWidth) {
    ColumnRange r{3, dstWidth - 3};
    if (r.end > 2 * srcWidth - 2)
        r.end = 2 * srcWidth - 2;
    if (r.end < r.begin)
        r.end = r.begin;
    if (r.begin > dstWidth)
        r.begin = r.end = dstWidth;
    return r;
}

// The kernel row of each of a row's taps.
inline void KernelRowsOf(const ExpandTaps& rt, const float* kernel, const float* krows[3]) {
    for (int32_t n = 0; n < rt.count; n++)
        krows[n] = kernel + rt.k[n] * 5;
}

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

// An expanded sample outside the interior columns: the row taps times the column taps ct of x.
inline float ExpandEdgeSample(const float* const* rows,
                              const float* const* krows,
                              int32_t nRows,
                              const ExpandTaps& ct) {
    float acc = 0.0f;
    for (int32_t n = 0; n < nRows; n++) {
        for (int32_t m = 0; m < ct.count; m++)
            acc = rows[n][ct.src[m]] * krows[n][ct.k[m]] + acc;
    }
    return acc * 4.0f;
}

}  // namespace

namespace {

// Output columns [begin, end) whose reduce window is centred (starts at 2x - 2) without clamping.
void ReduceInteriorColumns(int32_t dstWidth, int32_t srcWidth, int32_t& begin, int32_t& end) {
    begin = 2;
    end = (srcWidth - 3) / 2 + 1;  // first x with 2x - 2 + 5 > srcWidth
    if (end > dstWidth)
        end = dstWidth;
    if (end < begin)
        end = begin;
    if (begin > dstWidth)
        begin = end = dstWidth;
}

}  // namespace

void ReduceRowFromSplitRows(float* out,
                            const float* const even[5],
                            const float* const odd[5],
                            int32_t dstWidth,
                            int32_t srcWidth,
                            const float* kernel,
                            const RowKernels& kernels) {
    int32_t interiorBegin, interiorEnd;
    ReduceInteriorColumns(dstWidth, srcWidth, interiorBegin, interiorEnd);
    for (int32_t x = 0; x < interiorBegin; x++)
        out[x] = rowscalar::ReduceSampleSplit(even, odd, ReduceWindow(x, srcWidth), kernel);
    kernels.reduceInteriorSplit(out, even, odd, kernel, interiorBegin, interiorEnd);
    for (int32_t x = interiorEnd; x < dstWidth; x++)
        out[x] = rowscalar::ReduceSampleSplit(even, odd, ReduceWindow(x, srcWidth), kernel);
}

SplitRowRing::SplitRowRing(int32_t width)
    : half_((static_cast<size_t>(width) / 2 + 1 + 15) & ~size_t{15}), width_(width) {
    block_.reset(new (std::nothrow) float[half_ * 16]);
}

void SplitRowRing::Put(int32_t row, const float* natural, const RowKernels& kernels) {
    float* even = block_.get() + half_ * 2 * static_cast<size_t>(row & 7);
    kernels.splitEvenOdd(even, even + half_, natural, width_);
    inSlot_[row & 7] = row;
}

void SplitRowRing::Claim(int32_t row, float*& even, float*& odd) {
    even = block_.get() + half_ * 2 * static_cast<size_t>(row & 7);
    odd = even + half_;
    inSlot_[row & 7] = row;
}

void SplitRowRing::Window(int32_t sy, const float* even[5], const float* odd[5]) const {
    for (int r = 0; r < 5; r++) {
        const float* e = block_.get() + half_ * 2 * static_cast<size_t>((sy + r) & 7);
        even[r] = e;
        odd[r] = e + half_;
    }
}

ExpandTaps ExpandTapsOf(int32_t i, int32_t dstN, int32_t srcN) {
    return MakeExpandTaps(i, dstN, srcN);
}

void ExpandPlaneRow(const ExpandTarget& target,
                    const float* src,
                    int32_t y,
                    int32_t dstWidth,
                    int32_t dstHeight,
                    int32_t srcWidth,
                    int32_t srcHeight,
                    const float* kernel,
                    const RowKernels& kernels) {
    const ExpandTaps rt = MakeExpandTaps(y, dstHeight, srcHeight);
    const float* rows[3] = {};
    for (int32_t n = 0; n < rt.count; n++)
        rows[n] = src + static_cast<size_t>(rt.src[n]) * static_cast<size_t>(srcWidth);
    ExpandRowFromRows(target, rows, rt, dstWidth, srcWidth, kernel, kernels);
}

void ExpandRowFromRows(const ExpandTarget& target,
                       const float* const* rows,
                       const ExpandTaps& rt,
                       int32_t dstWidth,
                       int32_t srcWidth,
                       const float* kernel,
                       const RowKernels& kernels) {
    const ColumnRange interior = ExpandInteriorColumns(dstWidth, srcWidth);
    const float* krows[3] = {};
    KernelRowsOf(rt, kernel, krows);
    auto generic = [&](int32_t x) {
        const ExpandTaps ct = MakeExpandTaps(x, dstWidth, srcWidth);
        rowscalar::SinkSample(target, x, ExpandEdgeSample(rows, krows, rt.count, ct));
    };
    for (int32_t x = 0; x < interior.begin; x++)
        generic(x);
    kernels.expandInterior(target, rows, krows, rt.count, interior.begin, interior.end);
    for (int32_t x = interior.end; x < dstWidth; x++)
        generic(x);
}

void ExpandRowsInterleavedU8(uint8_t* out,
                             const float* const* const* rows,
                             const ExpandTaps& rt,
                             const float* const* d,
                             float gain,
                             int32_t dstWidth,
                             int32_t srcWidth,
                             const float* kernel,
                             const RowKernels& kernels) {
    const ColumnRange interior = ExpandInteriorColumns(dstWidth, srcWidth);
    const float* krows[3] = {};
    KernelRowsOf(rt, kernel, krows);
    auto generic = [&](int32_t x) {
        const ExpandTaps ct = MakeExpandTaps(x, dstWidth, srcWidth);
        for (int c = 0; c < 3; c++)
            out[3 * x + c] = rowscalar::StoreU8(ExpandEdgeSample(rows[c], krows, rt.count, ct) + gain * d[c][x]);
    };
    for (int32_t x = 0; x < interior.begin; x++)
        generic(x);
    kernels.expandInterior3U8(out, rows, krows, rt.count, d, gain, interior.begin, interior.end);
    for (int32_t x = interior.end; x < dstWidth; x++)
        generic(x);
}

Status ReducePlane(float* dst,
                   const float* src,
                   int32_t dstWidth,
                   int32_t dstHeight,
                   int32_t srcWidth,
                   int32_t srcHeight,
                   const float* kernel) {
    if (dstWidth < 5 || dstHeight < 5)
        return Status::Ok();
    const RowKernels& kernels = ActiveRowKernels();
    return ParallelRows(dstHeight, int64_t{dstWidth} * 25, [&](int32_t begin, int32_t end) {
        SplitRowRing ring(srcWidth);
        if (!ring.Ready())
            throw std::bad_alloc();
        for (int32_t y = begin; y < end; y++) {
            const int32_t sy = ReduceWindow(y, srcHeight);
            for (int32_t r = sy; r < sy + 5; r++) {
                if (!ring.Holds(r))
                    ring.Put(r, src + static_cast<size_t>(r) * static_cast<size_t>(srcWidth), kernels);
            }
            const float* even[5];
            const float* odd[5];
            ring.Window(sy, even, odd);
            ReduceRowFromSplitRows(dst + static_cast<size_t>(y) * static_cast<size_t>(dstWidth), even, odd, dstWidth,
                                   srcWidth, kernel, kernels);
        }
    });
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
    const RowKernels& kernels = ActiveRowKernels();
    const Status status = ParallelRows(dstHeight, int64_t{dstWidth} * 6, [&](int32_t begin, int32_t end) {
        for (int32_t y = begin; y < end; y++) {
            const ExpandTarget row{ExpandSink::kStore, dst + static_cast<size_t>(y) * static_cast<size_t>(dstWidth),
                                   nullptr, 0.0f};
            ExpandPlaneRow(row, src, y, dstWidth, dstHeight, srcWidth, srcHeight, kernel, kernels);
        }
    });
    status.IgnoreError();  // the rows allocate nothing and throw nothing
}
