// Resampling of a picture into another through a point map (nearest, bilinear, bicubic).
#include <atomic>
#include <cmath>
#include <cstring>
#include <type_traits>

#if defined(__SSE2__)
#include <immintrin.h>
#endif

#include "base/alloc.h"
#include "base/thread_pool.h"
#include "imaging/pic_buf.h"
#include "imaging/pic_sample.h"

using namespace pic_sample;

namespace {

std::atomic<bool> gSimdEnabled{true};

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
[[nodiscard]] bool Prepare(const SQmPicBuf& dst, const SQmPicBuf& src, const CQmPicMap& map, Span& xs, Span& ys) {
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
    // Null when the block could not be had.
    template <typename T>
    [[nodiscard]] T* As() const {
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

// Bilinear in two passes. Neither pass rounds, so both orders give the exact integer sum of the four
// taps times their weights (out of 128 per axis), rounded once as the reference does:
//   v = (sum of p * wx * wy + 8192) >> 14
// Zooming in, each source row is interpolated horizontally once into a row cache and reused by many
// destination rows, which then only blend two cached rows. Zooming out, where destination rows rarely
// share source rows, the two source rows are blended first over the columns the taps reach, and
// one gather per destination pixel finishes it.

struct LinearColumns {
    int64_t* off0;  // value offsets of the two taps in a source row
    int64_t* off1;
    int16_t* w0;  // their weights
    int16_t* w1;
    int16_t* pairs = nullptr;  // per column w0, w1 four times over, for the vector gather (when made)
    size_t adjacentBegin = 0;  // columns [begin, end) have their second tap right after the first
    size_t adjacentEnd = 0;
};

#if defined(__SSE2__) && defined(__GNUC__)
bool HasAvx2() {
    static const bool has = [] {
        __builtin_cpu_init();
        return __builtin_cpu_supports("avx2") != 0;
    }();
    return has;
}

// The horizontal pass for colour over columns [j, end) whose taps are neighbours: one 8-byte load takes both
// taps of a pixel (so columns stop eight bytes before the row's end), a shuffle pairs and widens their values,
// and eight pixels go out as 48 bytes plus four that the next pixels overwrite (so it stops while a pixel
// follows in the row of n). Returns the first column not done.
__attribute__((target("avx2"))) size_t HorizontalAdjacentAvx2(int16_t* __restrict h,
                                                              const uint8_t* __restrict s,
                                                              const LinearColumns& cols,
                                                              size_t j,
                                                              size_t end,
                                                              size_t n) {
    const int64_t* __restrict off0 = cols.off0;
    const auto* pairs = reinterpret_cast<const __m128i*>(cols.pairs);
    const __m256i widen = _mm256_broadcastsi128_si256(
        _mm_setr_epi8(0, -128, 3, -128, 1, -128, 4, -128, 2, -128, 5, -128, -128, -128, -128, -128));
    const __m256i squeeze =
        _mm256_broadcastsi128_si256(_mm_setr_epi8(0, 1, 2, 3, 4, 5, 8, 9, 10, 11, 12, 13, -128, -128, -128, -128));
    // Pixels k and k + 4 share a register, one per lane.
#define SP_PIXEL_PAIR(k)                                                                                              \
    _mm256_madd_epi16(_mm256_shuffle_epi8(                                                                            \
                          _mm256_inserti128_si256(                                                                    \
                              _mm256_castsi128_si256(_mm_loadl_epi64(reinterpret_cast<const __m128i*>(s + off0[k]))), \
                              _mm_loadl_epi64(reinterpret_cast<const __m128i*>(s + off0[(k) + 4])), 1),               \
                          widen),                                                                                     \
                      _mm256_inserti128_si256(_mm256_castsi128_si256(_mm_loadu_si128(pairs + (k))),                   \
                                              _mm_loadu_si128(pairs + (k) + 4), 1))
    for (; j + 8 <= end && j + 9 <= n; j += 8) {
        // Lane 0 ends with pixels j, j + 1 (then j + 2, j + 3); lane 1 with j + 4, j + 5 (then j + 6, j + 7).
        const __m256i a = _mm256_shuffle_epi8(_mm256_packs_epi32(SP_PIXEL_PAIR(j), SP_PIXEL_PAIR(j + 1)), squeeze);
        const __m256i b = _mm256_shuffle_epi8(_mm256_packs_epi32(SP_PIXEL_PAIR(j + 2), SP_PIXEL_PAIR(j + 3)), squeeze);
        _mm_storeu_si128(reinterpret_cast<__m128i*>(h + 3 * j), _mm256_castsi256_si128(a));
        _mm_storeu_si128(reinterpret_cast<__m128i*>(h + 3 * j + 6), _mm256_castsi256_si128(b));
        _mm_storeu_si128(reinterpret_cast<__m128i*>(h + 3 * j + 12), _mm256_extracti128_si256(a, 1));
        _mm_storeu_si128(reinterpret_cast<__m128i*>(h + 3 * j + 18), _mm256_extracti128_si256(b, 1));
    }
#undef SP_PIXEL_PAIR
    return j;
}
#endif

template <int C>
void HorizontalRow(int16_t* __restrict h,
                   const uint8_t* __restrict s,
                   const LinearColumns& cols,
                   size_t n,
                   size_t vectorEnd) {
    const int64_t* __restrict off0 = cols.off0;
    const int64_t* __restrict off1 = cols.off1;
    const int16_t* __restrict w0 = cols.w0;
    const int16_t* __restrict w1 = cols.w1;
    size_t j = 0;
    auto one = [&](size_t k) {
        const uint8_t* a = s + off0[k];
        const uint8_t* b = s + off1[k];
        int32_t wa = w0[k];
        int32_t wb = w1[k];
        h[C * k] = static_cast<int16_t>(a[0] * wa + b[0] * wb);
        if constexpr (C == 3) {
            h[C * k + 1] = static_cast<int16_t>(a[1] * wa + b[1] * wb);
            h[C * k + 2] = static_cast<int16_t>(a[2] * wa + b[2] * wb);
        }
    };
#if defined(__SSE2__) && defined(__GNUC__)
    if (C == 3 && cols.pairs != nullptr && PicTransformSimdEnabled() && HasAvx2() && cols.adjacentBegin < vectorEnd) {
        for (; j < cols.adjacentBegin; ++j)
            one(j);
        j = HorizontalAdjacentAvx2(h, s, cols, j, vectorEnd, n);
    }
#endif
    for (; j < n; ++j)
        one(j);
}

#if defined(__SSE2__) && defined(__GNUC__)
// The blend below 32 values a step; returns how many it did.
__attribute__((target("avx2"))) size_t BlendRoundRowAvx2(uint8_t* __restrict d,
                                                         const int16_t* __restrict h0,
                                                         const int16_t* __restrict h1,
                                                         int32_t wa,
                                                         int32_t wb,
                                                         size_t count) {
    const __m256i w =
        _mm256_set1_epi32(static_cast<int32_t>((static_cast<uint32_t>(wb) << 16) | static_cast<uint32_t>(wa)));
    const __m256i round = _mm256_set1_epi32(static_cast<int32_t>(kLinearRound));
    size_t i = 0;
    for (; i + 32 <= count; i += 32) {
        __m256i words[2];
        for (int k = 0; k < 2; ++k) {
            const __m256i a = _mm256_loadu_si256(reinterpret_cast<const __m256i*>(h0 + i + 16 * k));
            const __m256i b = _mm256_loadu_si256(reinterpret_cast<const __m256i*>(h1 + i + 16 * k));
            // Per lane: values 0-3 in lo and 4-7 in hi, so the pack puts each lane's eight back in order.
            const __m256i lo = _mm256_srai_epi32(
                _mm256_add_epi32(_mm256_madd_epi16(_mm256_unpacklo_epi16(a, b), w), round), kLinearShift);
            const __m256i hi = _mm256_srai_epi32(
                _mm256_add_epi32(_mm256_madd_epi16(_mm256_unpackhi_epi16(a, b), w), round), kLinearShift);
            words[k] = _mm256_packs_epi32(lo, hi);
        }
        const __m256i bytes = _mm256_permute4x64_epi64(_mm256_packus_epi16(words[0], words[1]), 0xD8);
        _mm256_storeu_si256(reinterpret_cast<__m256i*>(d + i), bytes);
    }
    return i;
}
#endif

// d[i] = (h0[i] * wa + h1[i] * wb + round) >> 14; the vector body does the same sums in 32-bit lanes
// (the values never exceed 2^15 * 2^7).
void BlendRoundRow(uint8_t* __restrict d,
                   const int16_t* __restrict h0,
                   const int16_t* __restrict h1,
                   int32_t wa,
                   int32_t wb,
                   size_t count) {
    size_t i = 0;
#if defined(__SSE2__) && defined(__GNUC__)
    if (PicTransformSimdEnabled() && HasAvx2())
        i = BlendRoundRowAvx2(d, h0, h1, wa, wb, count);
#endif
#if defined(__SSE2__)
    if (PicTransformSimdEnabled()) {
        const __m128i w =
            _mm_set1_epi32(static_cast<int32_t>((static_cast<uint32_t>(wb) << 16) | static_cast<uint32_t>(wa)));
        const __m128i round = _mm_set1_epi32(static_cast<int32_t>(kLinearRound));
        auto lanes = [&](__m128i pairs) {
            return _mm_srai_epi32(_mm_add_epi32(_mm_madd_epi16(pairs, w), round), kLinearShift);
        };
        for (; i + 16 <= count; i += 16) {
            __m128i a0 = _mm_loadu_si128(reinterpret_cast<const __m128i*>(h0 + i));
            __m128i b0 = _mm_loadu_si128(reinterpret_cast<const __m128i*>(h1 + i));
            __m128i a1 = _mm_loadu_si128(reinterpret_cast<const __m128i*>(h0 + i + 8));
            __m128i b1 = _mm_loadu_si128(reinterpret_cast<const __m128i*>(h1 + i + 8));
            __m128i lo = _mm_packs_epi32(lanes(_mm_unpacklo_epi16(a0, b0)), lanes(_mm_unpackhi_epi16(a0, b0)));
            __m128i hi = _mm_packs_epi32(lanes(_mm_unpacklo_epi16(a1, b1)), lanes(_mm_unpackhi_epi16(a1, b1)));
            _mm_storeu_si128(reinterpret_cast<__m128i*>(d + i), _mm_packus_epi16(lo, hi));
        }
    }
#endif
    for (; i < count; ++i) {
        d[i] = static_cast<uint8_t>((h0[i] * wa + h1[i] * wb + static_cast<int32_t>(kLinearRound)) >> kLinearShift);
    }
}

#if defined(__SSE2__) && defined(__GNUC__)

// The blend below for weights that fit a signed byte: each byte pair (a, b) times (wa, wb) in one multiply-add,
// exact because 255 x 128 stays below 2^15. Returns how many values it did.
__attribute__((target("avx2"))) size_t BlendRowsAvx2(int16_t* __restrict v,
                                                     const uint8_t* __restrict a,
                                                     const uint8_t* __restrict b,
                                                     int32_t wa,
                                                     int32_t wb,
                                                     size_t count) {
    const __m256i w = _mm256_set1_epi16(static_cast<int16_t>((wb << 8) | wa));
    size_t i = 0;
    for (; i + 32 <= count; i += 32) {
        const __m256i x = _mm256_loadu_si256(reinterpret_cast<const __m256i*>(a + i));
        const __m256i y = _mm256_loadu_si256(reinterpret_cast<const __m256i*>(b + i));
        // Within each 128-bit lane: values 0-7 and 16-23 in lo, 8-15 and 24-31 in hi.
        const __m256i lo = _mm256_maddubs_epi16(_mm256_unpacklo_epi8(x, y), w);
        const __m256i hi = _mm256_maddubs_epi16(_mm256_unpackhi_epi8(x, y), w);
        _mm256_storeu_si256(reinterpret_cast<__m256i*>(v + i), _mm256_permute2x128_si256(lo, hi, 0x20));
        _mm256_storeu_si256(reinterpret_cast<__m256i*>(v + i + 16), _mm256_permute2x128_si256(lo, hi, 0x31));
    }
    return i;
}
#endif

// v[i] = a[i] * wa + b[i] * wb, unrounded (below 2^15).
void BlendRows(int16_t* __restrict v,
               const uint8_t* __restrict a,
               const uint8_t* __restrict b,
               int32_t wa,
               int32_t wb,
               size_t count) {
    size_t i = 0;
#if defined(__SSE2__) && defined(__GNUC__)
    if (PicTransformSimdEnabled() && wa < 128 && wb < 128 && HasAvx2())
        i = BlendRowsAvx2(v, a, b, wa, wb, count);
#endif
#if defined(__SSE2__)
    if (PicTransformSimdEnabled()) {
        const __m128i zero = _mm_setzero_si128();
        const __m128i wA = _mm_set1_epi16(static_cast<int16_t>(wa));
        const __m128i wB = _mm_set1_epi16(static_cast<int16_t>(wb));
        for (; i + 16 <= count; i += 16) {
            __m128i x = _mm_loadu_si128(reinterpret_cast<const __m128i*>(a + i));
            __m128i y = _mm_loadu_si128(reinterpret_cast<const __m128i*>(b + i));
            __m128i lo = _mm_add_epi16(_mm_mullo_epi16(_mm_unpacklo_epi8(x, zero), wA),
                                       _mm_mullo_epi16(_mm_unpacklo_epi8(y, zero), wB));
            __m128i hi = _mm_add_epi16(_mm_mullo_epi16(_mm_unpackhi_epi8(x, zero), wA),
                                       _mm_mullo_epi16(_mm_unpackhi_epi8(y, zero), wB));
            _mm_storeu_si128(reinterpret_cast<__m128i*>(v + i), lo);
            _mm_storeu_si128(reinterpret_cast<__m128i*>(v + i + 8), hi);
        }
    }
#endif
    for (; i < count; ++i)
        v[i] = static_cast<int16_t>(a[i] * wa + b[i] * wb);
}

// The source rows the next blend reads, fetched while this row is gathered: the blend waits on memory, the
// gather on arithmetic.
struct NextRows {
    const uint8_t* a = nullptr;
    const uint8_t* b = nullptr;
    size_t bytes = 0;
};

#if defined(__SSE2__) && defined(__GNUC__)
// The gather for colour over columns [j, end) whose two taps are neighbours: one load takes both, a shuffle
// pairs their values, and eight pixels go out as 24 bytes plus four that the next pixels overwrite (so it
// stops while two pixels follow in the row of n). Returns the first column not done.
__attribute__((target("avx2"))) size_t GatherAdjacentAvx2(uint8_t* __restrict d,
                                                          const int16_t* __restrict v,
                                                          const LinearColumns& cols,
                                                          size_t j,
                                                          size_t end,
                                                          size_t n,
                                                          NextRows next) {
    const int64_t* __restrict off0 = cols.off0;
    const auto* pairs = reinterpret_cast<const __m128i*>(cols.pairs);
    const __m256i pairUp =
        _mm256_broadcastsi128_si256(_mm_setr_epi8(0, 1, 6, 7, 2, 3, 8, 9, 4, 5, 10, 11, -128, -128, -128, -128));
    const __m256i squeeze =
        _mm256_broadcastsi128_si256(_mm_setr_epi8(0, 1, 2, 4, 5, 6, 8, 9, 10, 12, 13, 14, -128, -128, -128, -128));
    const __m256i round = _mm256_set1_epi32(static_cast<int32_t>(kLinearRound));
#define SP_PIXEL_PAIR(k)                                                                                        \
    _mm256_srai_epi32(                                                                                          \
        _mm256_add_epi32(                                                                                       \
            _mm256_madd_epi16(                                                                                  \
                _mm256_shuffle_epi8(                                                                            \
                    _mm256_inserti128_si256(                                                                    \
                        _mm256_castsi128_si256(_mm_loadu_si128(reinterpret_cast<const __m128i*>(v + off0[k]))), \
                        _mm_loadu_si128(reinterpret_cast<const __m128i*>(v + off0[(k) + 4])), 1),               \
                    pairUp),                                                                                    \
                _mm256_inserti128_si256(_mm256_castsi128_si256(_mm_loadu_si128(pairs + (k))),                   \
                                        _mm_loadu_si128(pairs + (k) + 4), 1)),                                  \
            round),                                                                                             \
        kLinearShift)
    size_t ahead = 0;
    for (; j + 8 <= end && j + 10 <= n; j += 8) {
        if (ahead < next.bytes) {
            _mm_prefetch(reinterpret_cast<const char*>(next.a + ahead), _MM_HINT_T0);
            _mm_prefetch(reinterpret_cast<const char*>(next.b + ahead), _MM_HINT_T0);
            ahead += 64;
        }
        // Pixels k and k + 4 share a register, one per lane, so lane 0 ends with pixels j .. j + 3 and lane 1
        // with j + 4 .. j + 7, four bytes each, then three.
        const __m256i words = _mm256_packs_epi32(SP_PIXEL_PAIR(j), SP_PIXEL_PAIR(j + 1));
        const __m256i words2 = _mm256_packs_epi32(SP_PIXEL_PAIR(j + 2), SP_PIXEL_PAIR(j + 3));
        const __m256i bytes = _mm256_shuffle_epi8(_mm256_packus_epi16(words, words2), squeeze);
        _mm_storeu_si128(reinterpret_cast<__m128i*>(d + 3 * j), _mm256_castsi256_si128(bytes));
        _mm_storeu_si128(reinterpret_cast<__m128i*>(d + 3 * j + 12), _mm256_extracti128_si256(bytes, 1));
    }
#undef SP_PIXEL_PAIR
    return j;
}
#endif

// Finishes a vertically blended row: d = (v[tap 0] * w0 + v[tap 1] * w1 + round) >> 14.
template <int C>
void GatherRoundRow(uint8_t* __restrict d,
                    const int16_t* __restrict v,
                    const LinearColumns& cols,
                    size_t n,
                    NextRows next = {}) {
    const int64_t* __restrict off0 = cols.off0;
    const int64_t* __restrict off1 = cols.off1;
    const int16_t* __restrict w0 = cols.w0;
    const int16_t* __restrict w1 = cols.w1;
    const auto round = static_cast<int32_t>(kLinearRound);
    auto one = [&](size_t k) {
        const int16_t* a = v + off0[k];
        const int16_t* b = v + off1[k];
        int32_t wa = w0[k];
        int32_t wb = w1[k];
        d[C * k] = static_cast<uint8_t>((a[0] * wa + b[0] * wb + round) >> kLinearShift);
        if constexpr (C == 3) {
            d[C * k + 1] = static_cast<uint8_t>((a[1] * wa + b[1] * wb + round) >> kLinearShift);
            d[C * k + 2] = static_cast<uint8_t>((a[2] * wa + b[2] * wb + round) >> kLinearShift);
        }
    };
    size_t j = 0;
#if defined(__SSE2__) && defined(__GNUC__)
    if (C == 3 && cols.pairs != nullptr && PicTransformSimdEnabled() && HasAvx2() &&
        cols.adjacentBegin < cols.adjacentEnd) {
        for (; j < cols.adjacentBegin; ++j)
            one(j);
        j = GatherAdjacentAvx2(d, v, cols, j, cols.adjacentEnd, n, next);
    }
#endif
#if defined(__SSE2__)
    if (C == 3 && cols.pairs != nullptr && PicTransformSimdEnabled()) {
        // Four pixels a step: each pixel's two taps side by side, one multiply-add per value pair with the
        // column's weight pairs, and four bytes stored per pixel of which the fourth is overwritten by the next
        // pixel (so the loop stops while a pixel follows). Loads read one value past a tap's three: the caller
        // pads v.
        const __m128i roundV = _mm_set1_epi32(round);
        const auto* pairs = reinterpret_cast<const __m128i*>(cols.pairs);
        auto pixel = [&](size_t k) {
            const __m128i a = _mm_loadl_epi64(reinterpret_cast<const __m128i*>(v + off0[k]));
            const __m128i b = _mm_loadl_epi64(reinterpret_cast<const __m128i*>(v + off1[k]));
            const __m128i w = _mm_loadu_si128(pairs + k);
            return _mm_srai_epi32(_mm_add_epi32(_mm_madd_epi16(_mm_unpacklo_epi16(a, b), w), roundV), kLinearShift);
        };
        size_t ahead = 0;
        for (; j + 4 < n; j += 4) {
            if (ahead < next.bytes) {
                _mm_prefetch(reinterpret_cast<const char*>(next.a + ahead), _MM_HINT_T0);
                _mm_prefetch(reinterpret_cast<const char*>(next.b + ahead), _MM_HINT_T0);
                ahead += 64;
            }
            __m128i bytes =
                _mm_packus_epi16(_mm_packs_epi32(pixel(j), pixel(j + 1)), _mm_packs_epi32(pixel(j + 2), pixel(j + 3)));
            for (int k = 0; k < 4; ++k) {
                const int32_t four = _mm_cvtsi128_si32(bytes);
                std::memcpy(d + 3 * (j + static_cast<size_t>(k)), &four, 4);
                bytes = _mm_srli_si128(bytes, 4);
            }
        }
    }
#endif
    for (; j < n; ++j)
        one(j);
}

template <int C>
void Bilinear(SQmPicBuf& dst, const SQmPicBuf& src, const CQmPicMap& map, Span xs, Span ys) {
    size_t n = static_cast<size_t>(xs.last - xs.first);
    ScopedBlock tables(n * (2 * sizeof(int64_t) + 2 * sizeof(int16_t)));
    auto* base = tables.As<uint8_t>();
    if (base == nullptr)
        return;
    LinearColumns cols;
    cols.off0 = reinterpret_cast<int64_t*>(base);
    cols.off1 = cols.off0 + n;
    cols.w0 = reinterpret_cast<int16_t*>(cols.off1 + n);
    cols.w1 = cols.w0 + n;
    for (size_t j = 0; j < n; ++j) {
        LinearTap t = MakeLinearTap(
            SourcePos(xs.first + static_cast<int64_t>(j), map.DstCentreX(), map.SrcCentreX(), map.Scale()), src.width);
        cols.off0[j] = int64_t{C} * t.i0;
        cols.off1[j] = int64_t{C} * t.i1;
        cols.w0[j] = static_cast<int16_t>(kLinearOne - t.w1);
        cols.w1[j] = static_cast<int16_t>(t.w1);
    }
    uint8_t* dstRow0 = dst.data + int64_t{C} * xs.first;
    auto rowTap = [&](int32_t y) {
        return MakeLinearTap(SourcePos(y, map.DstCentreY(), map.SrcCentreY(), map.Scale()), src.height);
    };

    // Colour rows go eight pixels a step where a column's two taps are neighbours: their weights as pairs.
    ScopedBlock pairBlock(C == 3 ? n * 8 * sizeof(int16_t) : 0);
    if (C == 3 && (cols.pairs = pairBlock.As<int16_t>()) != nullptr) {
        for (size_t j = 0; j < n; ++j) {
            for (size_t k = 0; k < 8; k += 2) {
                cols.pairs[8 * j + k] = cols.w0[j];
                cols.pairs[8 * j + k + 1] = cols.w1[j];
            }
        }
        size_t j = 0;
        while (j < n && cols.off1[j] != cols.off0[j] + C)
            ++j;
        cols.adjacentBegin = j;
        while (j < n && cols.off1[j] == cols.off0[j] + C)
            ++j;
        cols.adjacentEnd = j;
    }

    // Destination rows are independent: bands of them go to the pool, each with its own working rows. A band
    // without memory for them leaves its rows as they were, as a failed allocation always has.
    const size_t rowValues = n * C;
    if (map.Scale() < 1.0) {
        // Vertical first over the source columns [first, last) that the taps reach (offsets grow with j).
        const int64_t first = cols.off0[0];
        const int64_t last = cols.off1[n - 1] + C;
        LinearColumns local = cols;  // offsets relative to the blended span
        for (size_t j = 0; j < n; ++j) {
            local.off0[j] -= first;
            local.off1[j] -= first;
        }
        const Status status =
            ParallelRows(ys.last - ys.first, static_cast<int64_t>(rowValues) * 4, [&](int32_t b0, int32_t b1) {
                // Padded by the values the gather's vector loads read past a tap.
                ScopedBlock row((static_cast<size_t>(last - first) + 4) * sizeof(int16_t));
                auto* v = row.As<int16_t>();
                if (v == nullptr)
                    return;
                std::memset(v + (last - first), 0, 4 * sizeof(int16_t));
                const size_t span = static_cast<size_t>(last - first);
                auto rowOf = [&](int32_t i) { return src.data + int64_t{i} * src.stride + first; };
                for (int32_t y = ys.first + b0; y < ys.first + b1; ++y) {
                    LinearTap t = rowTap(y);
                    BlendRows(v, rowOf(t.i0), rowOf(t.i1), static_cast<int32_t>(kLinearOne - t.w1),
                              static_cast<int32_t>(t.w1), span);
                    NextRows next;
                    if (y + 1 < ys.first + b1) {
                        const LinearTap u = rowTap(y + 1);
                        next = NextRows{rowOf(u.i0), rowOf(u.i1), span};
                    }
                    GatherRoundRow<C>(dstRow0 + int64_t{y} * dst.stride, v, local, n, next);
                }
            });
        status.IgnoreError();  // the bands throw nothing
        return;
    }

    // The vector pass loads eight bytes from a tap: columns whose load would leave the row stay scalar.
    size_t horizontalEnd = cols.adjacentEnd;
    while (horizontalEnd > cols.adjacentBegin && cols.off0[horizontalEnd - 1] + 8 > int64_t{C} * src.width)
        --horizontalEnd;
    const Status status =
        ParallelRows(ys.last - ys.first, static_cast<int64_t>(rowValues) * 3, [&](int32_t b0, int32_t b1) {
            ScopedBlock rows(2 * rowValues * sizeof(int16_t));
            auto* rowBase = rows.As<int16_t>();
            if (rowBase == nullptr)
                return;
            int16_t* cache[2] = {rowBase, rowBase + rowValues};
            int64_t cachedRow[2] = {-1, -1};
            auto fill = [&](int slot, int32_t r) {
                HorizontalRow<C>(cache[slot], src.data + int64_t{r} * src.stride, cols, n, horizontalEnd);
                cachedRow[slot] = r;
            };
            auto slotOf = [&](int32_t r) { return cachedRow[0] == r ? 0 : (cachedRow[1] == r ? 1 : -1); };
            for (int32_t y = ys.first + b0; y < ys.first + b1; ++y) {
                LinearTap t = rowTap(y);
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
                BlendRoundRow(dstRow0 + int64_t{y} * dst.stride, cache[s0], cache[s1],
                              static_cast<int32_t>(kLinearOne - t.w1), static_cast<int32_t>(t.w1), rowValues);
            }
        });
    status.IgnoreError();  // the bands throw nothing
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

void SetPicTransformSimd(bool enabled) {
    gSimdEnabled.store(enabled, std::memory_order_relaxed);
}
bool PicTransformSimdEnabled() {
    return gSimdEnabled.load(std::memory_order_relaxed);
}

namespace {

// The shared checks, then run(components, xs, ys) with the component count as a compile-time constant.
template <typename Run>
void Transform(SQmPicBuf& dst, const SQmPicBuf& src, const CQmPicMap& map, Run run) {
    Span xs, ys;
    if (!Prepare(dst, src, map, xs, ys))
        return;
    if (src.components == 3) {
        run(std::integral_constant<int, 3>{}, xs, ys);
    } else {
        run(std::integral_constant<int, 1>{}, xs, ys);
    }
}

}  // namespace

void CQmPicBufAPI::TransformConstantFast(SQmPicBuf& dst, const SQmPicBuf& src, const CQmPicMap& map) {
    Transform(dst, src, map, [&](auto c, Span xs, Span ys) { Nearest<decltype(c)::value>(dst, src, map, xs, ys); });
}

void CQmPicBufAPI::TransformBilinearFast(SQmPicBuf& dst, const SQmPicBuf& src, const CQmPicMap& map) {
    Transform(dst, src, map, [&](auto c, Span xs, Span ys) { Bilinear<decltype(c)::value>(dst, src, map, xs, ys); });
}

void CQmPicBufAPI::TransformBicubicFast(SQmPicBuf& dst, const SQmPicBuf& src, const CQmPicMap& map) {
    Transform(dst, src, map, [&](auto c, Span xs, Span ys) { Bicubic<decltype(c)::value>(dst, src, map, xs, ys); });
}
