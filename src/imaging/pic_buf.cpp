// Picture buffer lifetime, copies and fills.
#include "imaging/pic_buf.h"

#include <algorithm>
#include <cstring>

#include "base/alloc.h"
#include "base/thread_pool.h"

namespace {

bool IsSupportedFormat(int64_t components, int64_t bitsPerComponent) {
    return (components == 1 || components == 3) && (bitsPerComponent == 8 || bitsPerComponent == 16);
}

bool SameFormat(const SQmPicBuf& a, const SQmPicBuf& b) {
    return a.components == b.components && a.bitsPerComponent == b.bitsPerComponent;
}

int64_t PixelBytes(const SQmPicBuf& buf) {
    return int64_t{buf.components} * (buf.bitsPerComponent / 8);
}

uint8_t* PixelAt(const SQmPicBuf& buf, int64_t x, int64_t y) {
    return buf.data + y * buf.stride + x * PixelBytes(buf);
}

// Clipped copy of a w x h block; both buffers are usable and of the same format.
void CopyBlock(SQmPicBuf& dst,
               const SQmPicBuf& src,
               int64_t dstX,
               int64_t dstY,
               int64_t srcX,
               int64_t srcY,
               int64_t w,
               int64_t h) {
    // Shift the block so that it starts inside both buffers, then cut it at their far edges.
    int64_t shiftX = std::max({int64_t{0}, -dstX, -srcX});
    int64_t shiftY = std::max({int64_t{0}, -dstY, -srcY});
    dstX += shiftX;
    srcX += shiftX;
    w -= shiftX;
    dstY += shiftY;
    srcY += shiftY;
    h -= shiftY;
    w = std::min({w, int64_t{dst.width} - dstX, int64_t{src.width} - srcX});
    h = std::min({h, int64_t{dst.height} - dstY, int64_t{src.height} - srcY});
    if (w <= 0 || h <= 0)
        return;
    size_t rowBytes = static_cast<size_t>(w * PixelBytes(src));
    // The caller may pass one block as both source and destination: walk the rows so that none is
    // overwritten before it is read, and memmove within a row.
    bool upward = dst.data == src.data && dstY > srcY;
    for (int64_t i = 0; i < h; ++i) {
        int64_t y = upward ? h - 1 - i : i;
        std::memmove(PixelAt(dst, dstX, dstY + y), PixelAt(src, srcX, srcY + y), rowBytes);
    }
}

}  // namespace

int64_t PicBufRowBytes(const SQmPicBuf& buf) {
    if (!IsSupportedFormat(buf.components, buf.bitsPerComponent) || buf.width <= 0)
        return 0;
    return int64_t{buf.width} * PixelBytes(buf);
}

bool IsUsablePicBuf(const SQmPicBuf& buf) {
    if (buf.data == nullptr || buf.width <= 0 || buf.height <= 0 || buf.size <= 0)
        return false;
    int64_t rowBytes = PicBufRowBytes(buf);
    if (rowBytes == 0 || buf.stride < rowBytes)
        return false;
    // 16-bit samples are read as whole words.
    if (buf.bitsPerComponent == 16 && ((reinterpret_cast<uintptr_t>(buf.data) | uintptr_t(buf.stride)) & 1) != 0) {
        return false;
    }
    return int64_t{buf.stride} * (buf.height - 1) + rowBytes <= buf.size;
}

void CQmPicBufAPI::Init(SQmPicBuf& buf) {
    buf = SQmPicBuf{nullptr, 0, 0, 0, 0, 0, 0};
}

uint8_t CQmPicBufAPI::ReinitHeap(SQmPicBuf& buf,
                                 int32_t width,
                                 int32_t height,
                                 int32_t components,
                                 int32_t bitsPerComponent) {
    // The old block goes first, so a reload never holds two pictures at once.
    DoneHeap(buf);
    if (width <= 0 || height <= 0 || !IsSupportedFormat(components, bitsPerComponent))
        return 1;
    int64_t stride = int64_t{width} * components * (bitsPerComponent / 8);
    if (stride > INT32_MAX)
        return 1;
    int64_t size = stride * height;  // both factors below 2^31: no overflow in 64 bits
    if (size > INT32_MAX)
        return 1;
    auto* data = static_cast<uint8_t*>(AllocBytes(static_cast<size_t>(size)));
    if (data == nullptr)
        return 1;
    buf = SQmPicBuf{
        data, static_cast<int32_t>(size), static_cast<int32_t>(stride), width, height, components, bitsPerComponent};
    return 0;
}

uint8_t CQmPicBufAPI::ReinitHeap(SQmPicBuf& dst, const SQmPicBuf& like) {
    // Read the geometry first: dst and like may be the same record.
    SQmPicBuf g = like;
    return ReinitHeap(dst, g.width, g.height, g.components, g.bitsPerComponent);
}

void CQmPicBufAPI::DoneHeap(SQmPicBuf& buf) {
    if (buf.data != nullptr)
        FreeBytes(buf.data);
    Init(buf);
}

void CQmPicBufAPI::Copy(SQmPicBuf& dst, const SQmPicBuf& src) {
    if (&dst == &src || !IsUsablePicBuf(dst) || !IsUsablePicBuf(src))
        return;
    if (dst.width != src.width || dst.height != src.height || !SameFormat(dst, src))
        return;
    int64_t rowBytes = PicBufRowBytes(src);
    if (dst.stride == rowBytes && src.stride == rowBytes) {
        const size_t bytes = static_cast<size_t>(rowBytes * src.height);
        const auto d = reinterpret_cast<uintptr_t>(dst.data), s = reinterpret_cast<uintptr_t>(src.data);
        if (d + bytes <= s || s + bytes <= d) {
            // Apart: in 1 MB pieces over the pool, as one core alone does not fill the memory bus.
            constexpr size_t kPiece = size_t{1} << 20;
            const auto pieces = static_cast<int32_t>((bytes + kPiece - 1) / kPiece);
            const Status status = ParallelRows(pieces, kPiece / 8, [&](int32_t begin, int32_t end) {
                const size_t from = static_cast<size_t>(begin) * kPiece;
                const size_t to = std::min(bytes, static_cast<size_t>(end) * kPiece);
                std::memcpy(dst.data + from, src.data + from, to - from);
            });
            status.IgnoreError();  // the pieces throw nothing
            return;
        }
        std::memmove(dst.data, src.data, bytes);
        return;
    }
    CopyBlock(dst, src, 0, 0, 0, 0, src.width, src.height);
}

void CQmPicBufAPI::Copy(SQmPicBuf& dst, const SQmPicBuf& src, const CQmRect<int>& rect) {
    if (!IsUsablePicBuf(dst) || !IsUsablePicBuf(src) || !SameFormat(dst, src))
        return;
    CopyBlock(dst, src, rect.left, rect.top, rect.left, rect.top, int64_t{rect.right} - rect.left,
              int64_t{rect.bottom} - rect.top);
}

void CQmPicBufAPI::CopyRect(SQmPicBuf& dst,
                            const SQmPicBuf& src,
                            const CQmPoint<int>& dstPt,
                            const CQmPoint<int>& srcPt,
                            const CQmSize<int>& size) {
    if (!IsUsablePicBuf(dst) || !IsUsablePicBuf(src) || !SameFormat(dst, src))
        return;
    CopyBlock(dst, src, dstPt.x, dstPt.y, srcPt.x, srcPt.y, size.cx, size.cy);
}

void CQmPicBufAPI::SetConst(SQmPicBuf& buf, const CQmRect<int>& rect, uint8_t value) {
    if (!IsUsablePicBuf(buf))
        return;
    int64_t left = std::max<int64_t>(rect.left, 0);
    int64_t top = std::max<int64_t>(rect.top, 0);
    int64_t right = std::min<int64_t>(rect.right, buf.width);
    int64_t bottom = std::min<int64_t>(rect.bottom, buf.height);
    if (left >= right || top >= bottom)
        return;
    size_t rowBytes = static_cast<size_t>((right - left) * PixelBytes(buf));
    for (int64_t y = top; y < bottom; ++y)
        std::memset(PixelAt(buf, left, y), value, rowBytes);
}
