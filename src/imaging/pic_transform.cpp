// Resampling of a picture into another through a point map (nearest, bilinear, bicubic).
#include <cmath>
#include <cstring>

#include "base/alloc.h"
#include "imaging/pic_buf.h"
#include "imaging/pic_sample.h"

using namespace pic_sample;

namespace {

// The part of the destination whose pixel centres fall inside the source: [first, last) per axis.
struct Span {
    int32_t first = 0, last = 0;
};

Span InsideSpan(int32_t dstExtent, int32_t srcExtent, double dstCentre, double srcCentre, double scale) {
    // The source position grows with the destination index, so the inside pixels are one run.
    Span s;
    int32_t i = 0;
    while (i < dstExtent && !Inside(SourcePos(i, dstCentre, srcCentre, scale), srcExtent))
        ++i;
    s.first = i;
    while (i < dstExtent && Inside(SourcePos(i, dstCentre, srcCentre, scale), srcExtent))
        ++i;
    s.last = i;
    return s;
}

// Shared set-up: both buffers 8-bit with the same component count (1 or 3), distinct blocks and a
// usable map. Fills the two spans; false when there is nothing to do.
bool Prepare(const SQmPicBuf& dst, const SQmPicBuf& src, const CQmPicMap& map, Span& xs, Span& ys) {
    if (!IsUsablePicBuf(dst) || !IsUsablePicBuf(src))
        return false;
    if (dst.bitsPerComponent != 8 || src.bitsPerComponent != 8 || dst.components != src.components)
        return false;
    // Reading and writing one block would feed written pixels back in.
    auto dstBegin = reinterpret_cast<uintptr_t>(dst.data);
    auto srcBegin = reinterpret_cast<uintptr_t>(src.data);
    if (dstBegin < srcBegin + static_cast<uint32_t>(src.size) &&
        srcBegin < dstBegin + static_cast<uint32_t>(dst.size)) {
        return false;
    }
    double scale = map.Scale();
    if (!std::isfinite(scale) || scale <= 0 || !std::isfinite(map.DstCentreX()) || !std::isfinite(map.DstCentreY()) ||
        !std::isfinite(map.SrcCentreX()) || !std::isfinite(map.SrcCentreY())) {
        return false;
    }
    xs = InsideSpan(dst.width, src.width, map.DstCentreX(), map.SrcCentreX(), scale);
    ys = InsideSpan(dst.height, src.height, map.DstCentreY(), map.SrcCentreY(), scale);
    return xs.first < xs.last && ys.first < ys.last;
}

// A block from AllocBytes released at scope end.
class ScopedBlock {
public:
    explicit ScopedBlock(size_t bytes) : p_(AllocBytes(bytes)) {}
    ~ScopedBlock() { FreeBytes(p_); }
    ScopedBlock(const ScopedBlock&) = delete;
    ScopedBlock& operator=(const ScopedBlock&) = delete;
    template <typename T>
    T* As() const {
        return static_cast<T*>(p_);
    }

private:
    void* p_;
};

template <int C>
void Nearest(SQmPicBuf& dst, const SQmPicBuf& src, const CQmPicMap& map, Span xs, Span ys) {
    int32_t n = xs.last - xs.first;
    ScopedBlock cols(sizeof(int64_t) * static_cast<size_t>(n));
    auto* offset = cols.As<int64_t>();
    if (offset == nullptr)
        return;
    for (int32_t j = 0; j < n; ++j) {
        offset[j] = int64_t{C} *
                    NearestTap(SourcePos(xs.first + j, map.DstCentreX(), map.SrcCentreX(), map.Scale()), src.width);
    }
    for (int32_t y = ys.first; y < ys.last; ++y) {
        int32_t sy = NearestTap(SourcePos(y, map.DstCentreY(), map.SrcCentreY(), map.Scale()), src.height);
        const uint8_t* s = src.data + int64_t{sy} * src.stride;
        uint8_t* d = dst.data + int64_t{y} * dst.stride + int64_t{C} * xs.first;
        for (int32_t j = 0; j < n; ++j) {
            for (int c = 0; c < C; ++c)
                d[C * j + c] = s[offset[j] + c];
        }
    }
}

// Bilinear in two passes with exactly the per-pixel arithmetic of the reference:
//   h = a * (256 - wx) + b * wx                   (horizontal, per source row, kept in a row cache)
//   v = (h0 * (256 - wy) + h1 * wy + 32768) >> 16  (vertical)
// Each source row needed is interpolated horizontally once, so zooming in reuses it for many
// destination rows.
template <int C>
void Bilinear(SQmPicBuf& dst, const SQmPicBuf& src, const CQmPicMap& map, Span xs, Span ys) {
    size_t n = static_cast<size_t>(xs.last - xs.first);
    size_t rowValues = n * C;
    ScopedBlock tables(n * (2 * sizeof(int64_t) + 2 * sizeof(uint16_t)) + 2 * rowValues * sizeof(uint16_t));
    auto* base = tables.As<uint8_t>();
    if (base == nullptr)
        return;
    auto* off0 = reinterpret_cast<int64_t*>(base);
    int64_t* off1 = off0 + n;
    auto* w0 = reinterpret_cast<uint16_t*>(off1 + n);
    uint16_t* w1 = w0 + n;
    uint16_t* cache[2] = {w1 + n, w1 + n + rowValues};
    int64_t cachedRow[2] = {-1, -1};

    for (size_t j = 0; j < n; ++j) {
        LinearTap t = MakeLinearTap(
            SourcePos(xs.first + static_cast<int64_t>(j), map.DstCentreX(), map.SrcCentreX(), map.Scale()), src.width);
        off0[j] = int64_t{C} * t.i0;
        off1[j] = int64_t{C} * t.i1;
        w0[j] = static_cast<uint16_t>(kLinearOne - t.w1);
        w1[j] = static_cast<uint16_t>(t.w1);
    }
    auto fill = [&](int slot, int32_t row) {
        const uint8_t* s = src.data + int64_t{row} * src.stride;
        uint16_t* h = cache[slot];
        for (size_t j = 0; j < n; ++j) {
            const uint8_t* a = s + off0[j];
            const uint8_t* b = s + off1[j];
            uint32_t wa = w0[j];
            uint32_t wb = w1[j];
            for (int c = 0; c < C; ++c)
                h[C * j + c] = static_cast<uint16_t>(a[c] * wa + b[c] * wb);
        }
        cachedRow[slot] = row;
    };
    auto slotOf = [&](int32_t row) { return cachedRow[0] == row ? 0 : (cachedRow[1] == row ? 1 : -1); };

    for (int32_t y = ys.first; y < ys.last; ++y) {
        LinearTap t = MakeLinearTap(SourcePos(y, map.DstCentreY(), map.SrcCentreY(), map.Scale()), src.height);
        int s0 = slotOf(t.i0);
        if (s0 < 0) {
            s0 = slotOf(t.i1) == 0 ? 1 : 0;  // keep the other row if it is cached
            fill(s0, t.i0);
        }
        int s1 = slotOf(t.i1);
        if (s1 < 0) {
            s1 = 1 - s0;
            fill(s1, t.i1);
        }
        const uint16_t* h0 = cache[s0];
        const uint16_t* h1 = cache[s1];
        uint32_t wb = t.w1;
        uint32_t wa = kLinearOne - wb;
        uint8_t* d = dst.data + int64_t{y} * dst.stride + int64_t{C} * xs.first;
        for (size_t i = 0; i < rowValues; ++i) {
            d[i] = static_cast<uint8_t>((h0[i] * wa + h1[i] * wb + 32768u) >> 16);
        }
    }
}

// Catmull-Rom over 4 x 4 taps: horizontal sums per tap row, then the vertical sum, as the reference.
template <int C>
void Bicubic(SQmPicBuf& dst, const SQmPicBuf& src, const CQmPicMap& map, Span xs, Span ys) {
    size_t n = static_cast<size_t>(xs.last - xs.first);
    ScopedBlock cols(n * sizeof(CubicTap));
    auto* taps = cols.As<CubicTap>();
    if (taps == nullptr)
        return;
    for (size_t j = 0; j < n; ++j) {
        taps[j] = MakeCubicTap(
            SourcePos(xs.first + static_cast<int64_t>(j), map.DstCentreX(), map.SrcCentreX(), map.Scale()), src.width);
    }
    for (int32_t y = ys.first; y < ys.last; ++y) {
        CubicTap ty = MakeCubicTap(SourcePos(y, map.DstCentreY(), map.SrcCentreY(), map.Scale()), src.height);
        const uint8_t* rows[4];
        for (int k = 0; k < 4; ++k)
            rows[k] = src.data + int64_t{ty.i[k]} * src.stride;
        uint8_t* d = dst.data + int64_t{y} * dst.stride + int64_t{C} * xs.first;
        for (size_t j = 0; j < n; ++j) {
            const CubicTap& tx = taps[j];
            for (int c = 0; c < C; ++c) {
                int32_t acc = 0;
                for (int k = 0; k < 4; ++k) {
                    const uint8_t* r = rows[k];
                    int32_t h = 0;
                    for (int m = 0; m < 4; ++m)
                        h += tx.w[m] * r[int64_t{C} * tx.i[m] + c];
                    acc += ty.w[k] * h;
                }
                d[C * j + c] = CubicResult(acc);
            }
        }
    }
}

}  // namespace

void CQmPicBufAPI::TransformConstantFast(SQmPicBuf& dst, const SQmPicBuf& src, const CQmPicMap& map) {
    Span xs, ys;
    if (!Prepare(dst, src, map, xs, ys))
        return;
    if (src.components == 3) {
        Nearest<3>(dst, src, map, xs, ys);
    } else {
        Nearest<1>(dst, src, map, xs, ys);
    }
}

void CQmPicBufAPI::TransformBilinearFast(SQmPicBuf& dst, const SQmPicBuf& src, const CQmPicMap& map) {
    Span xs, ys;
    if (!Prepare(dst, src, map, xs, ys))
        return;
    if (src.components == 3) {
        Bilinear<3>(dst, src, map, xs, ys);
    } else {
        Bilinear<1>(dst, src, map, xs, ys);
    }
}

void CQmPicBufAPI::TransformBicubicFast(SQmPicBuf& dst, const SQmPicBuf& src, const CQmPicMap& map) {
    Span xs, ys;
    if (!Prepare(dst, src, map, xs, ys))
        return;
    if (src.components == 3) {
        Bicubic<3>(dst, src, map, xs, ys);
    } else {
        Bicubic<1>(dst, src, map, xs, ys);
    }
}
