// Depth and component conversion, component split and join.
#include <cstring>
#include <utility>

#include "imaging/pic_buf.h"
#include "imaging/picture.h"

namespace {

// Grey from blue, green, red with the Rec. 601 luma weights, rounded.
inline uint32_t Grey(uint32_t b, uint32_t g, uint32_t r) {
    return (114 * b + 587 * g + 299 * r + 500) / 1000;
}

// 8 -> 16 spreads 0..255 over 0..65535; 16 -> 8 keeps the high byte.
template <typename Out, typename In>
inline Out Depth(In v) {
    if constexpr (sizeof(Out) == sizeof(In)) {
        return static_cast<Out>(v);
    } else if constexpr (sizeof(Out) == 2) {
        return static_cast<Out>(v * 257u);
    } else {
        return static_cast<Out>(v >> 8);
    }
}

template <typename Out, typename In>
void ConvertRows(SQmPicBuf& dst, const SQmPicBuf& src) {
    for (int32_t y = 0; y < src.height; ++y) {
        const In* s = reinterpret_cast<const In*>(src.data + int64_t{y} * src.stride);
        Out* d = reinterpret_cast<Out*>(dst.data + int64_t{y} * dst.stride);
        int32_t w = src.width;
        if (src.components == dst.components) {
            for (int64_t i = 0; i < int64_t{w} * src.components; ++i)
                d[i] = Depth<Out, In>(s[i]);
        } else if (src.components == 1) {
            for (int32_t x = 0; x < w; ++x) {
                Out v = Depth<Out, In>(s[x]);
                d[3 * x] = v;
                d[3 * x + 1] = v;
                d[3 * x + 2] = v;
            }
        } else {
            for (int32_t x = 0; x < w; ++x) {
                d[x] = Depth<Out, In>(static_cast<In>(Grey(s[3 * x], s[3 * x + 1], s[3 * x + 2])));
            }
        }
    }
}

// The plane matches the picture in size and depth and has one component.
bool PlaneFits(const SQmPicBuf& plane, uint32_t index, const SQmPicBuf& picture) {
    return IsUsablePicBuf(plane) && IsUsablePicBuf(picture) && plane.components == 1 &&
           plane.bitsPerComponent == picture.bitsPerComponent && plane.width == picture.width &&
           plane.height == picture.height && index < static_cast<uint32_t>(picture.components);
}

template <typename T>
void MoveComponent(SQmPicBuf& dst,
                   int32_t dstStep,
                   int32_t dstOffset,
                   const SQmPicBuf& src,
                   int32_t srcStep,
                   int32_t srcOffset) {
    for (int32_t y = 0; y < src.height; ++y) {
        const T* s = reinterpret_cast<const T*>(src.data + int64_t{y} * src.stride) + srcOffset;
        T* d = reinterpret_cast<T*>(dst.data + int64_t{y} * dst.stride) + dstOffset;
        for (int32_t x = 0; x < src.width; ++x)
            d[int64_t{x} * dstStep] = s[int64_t{x} * srcStep];
    }
}

}  // namespace

uint8_t CQmPicBufAPI::ConvertBpcComp(SQmPicBuf& buf, uint32_t bitsPerComponent, uint32_t components) {
    if (!IsUsablePicBuf(buf))
        return 1;
    if ((bitsPerComponent != 8 && bitsPerComponent != 16) || (components != 1 && components != 3))
        return 1;
    if (static_cast<uint32_t>(buf.bitsPerComponent) == bitsPerComponent &&
        static_cast<uint32_t>(buf.components) == components) {
        return 0;
    }
    Picture out;
    // On failure the picture stays as it was.
    if (ReinitHeap(out.buf(), buf.width, buf.height, static_cast<int32_t>(components),
                   static_cast<int32_t>(bitsPerComponent)) != 0) {
        return 1;
    }
    bool in16 = buf.bitsPerComponent == 16;
    bool out16 = bitsPerComponent == 16;
    if (in16 && out16)
        ConvertRows<uint16_t, uint16_t>(out.buf(), buf);
    if (in16 && !out16)
        ConvertRows<uint8_t, uint16_t>(out.buf(), buf);
    if (!in16 && out16)
        ConvertRows<uint16_t, uint8_t>(out.buf(), buf);
    if (!in16 && !out16)
        ConvertRows<uint8_t, uint8_t>(out.buf(), buf);
    std::swap(buf, out.buf());  // the old block leaves with out
    return 0;
}

uint8_t CQmPicBufAPI::ExtractComponent(SQmPicBuf& plane, uint32_t index, const SQmPicBuf& src) {
    if (!PlaneFits(plane, index, src))
        return 1;
    int32_t i = static_cast<int32_t>(index);
    if (src.bitsPerComponent == 16) {
        MoveComponent<uint16_t>(plane, 1, 0, src, src.components, i);
    } else {
        MoveComponent<uint8_t>(plane, 1, 0, src, src.components, i);
    }
    return 0;
}

uint8_t CQmPicBufAPI::InsertComponent(SQmPicBuf& dst, uint32_t index, const SQmPicBuf& plane) {
    if (!PlaneFits(plane, index, dst))
        return 1;
    int32_t i = static_cast<int32_t>(index);
    if (dst.bitsPerComponent == 16) {
        MoveComponent<uint16_t>(dst, dst.components, i, plane, 1, 0);
    } else {
        MoveComponent<uint8_t>(dst, dst.components, i, plane, 1, 0);
    }
    return 0;
}
