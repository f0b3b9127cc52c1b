// Picture buffer record and the picture library operations on it.
#pragma once

#include <cstdint>

// Plain record over a pixel block: rows top to bottom, components
// interleaved (colour as blue, green, red), 16-bit samples in machine order.
struct SQmPicBuf {
    uint8_t* data;
    int32_t size;
    int32_t stride;
    int32_t width;
    int32_t height;
    int32_t components;
    int32_t bitsPerComponent;
};

template <typename T>
struct CQmRect {
    T left, top, right, bottom;  // right and bottom exclusive
};

template <typename T>
struct CQmPoint {
    T x, y;
};

template <typename T>
struct CQmSize {
    T cx, cy;
};

// Centre-to-centre scale map between a source and a destination picture:
//   dst = dstCentre + scale * (src - srcCentre)      (angle is kept but not applied)
// Continuous coordinates: pixel i covers [i, i + 1), so the picture corners (0, 0) and
// (width, height) are its outer edges. MapPointDstToSrc returns the exact source point of the integer
// destination point; MapPointSrcToDst rounds to the nearest integer, so a destination pixel taken to
// the source and back returns to itself. The transforms sample each destination pixel at its centre.
class CQmPicMap {
public:
    CQmPicMap() = default;
    CQmPicMap(double dstCentreX, double dstCentreY, double srcCentreX, double srcCentreY, double angle, double scale);
    void Compute(double dstCentreX,
                 double dstCentreY,
                 double srcCentreX,
                 double srcCentreY,
                 double angle,
                 double scale);
    void MapPointSrcToDst(int32_t& dstX, int32_t& dstY, double srcX, double srcY) const;
    void MapPointDstToSrc(double& srcX, double& srcY, int32_t dstX, int32_t dstY) const;

    double DstCentreX() const { return dstCentreX_; }
    double DstCentreY() const { return dstCentreY_; }
    double SrcCentreX() const { return srcCentreX_; }
    double SrcCentreY() const { return srcCentreY_; }
    double Scale() const { return scale_; }
    double Angle() const { return angle_; }

private:
    double dstCentreX_ = 0, dstCentreY_ = 0, srcCentreX_ = 0, srcCentreY_ = 0, angle_ = 0, scale_ = 1;
};

// True when the record describes pixels that can be read and written: a block, a supported format
// (1 or 3 components, 8 or 16 bits) and rows that fit inside `size` at `stride`. Records over
// memory the library did not allocate (the display surface) pass too.
bool IsUsablePicBuf(const SQmPicBuf& buf);

// Bytes of one row of pixels (no padding), 0 for an unsupported format.
int64_t PicBufRowBytes(const SQmPicBuf& buf);

// Vector paths of the transforms on or off (on by default); both give the same bytes.
void SetPicTransformSimd(bool enabled);
bool PicTransformSimdEnabled();

// Every operation checks its buffers: empty records, foreign formats and mismatched geometry make it
// do nothing (flag operations then return 1). Rectangles are clipped to the buffers.
class CQmPicBufAPI {
public:
    static void Init(SQmPicBuf& buf);
    // 0 = done, 1 = refused (invalid geometry, byte size beyond int32, allocation
    // failure); on refusal the record is left empty.
    [[nodiscard]] static uint8_t ReinitHeap(SQmPicBuf& buf,
                                            int32_t width,
                                            int32_t height,
                                            int32_t components,
                                            int32_t bitsPerComponent);
    [[nodiscard]] static uint8_t ReinitHeap(SQmPicBuf& dst, const SQmPicBuf& like);
    static void DoneHeap(SQmPicBuf& buf);

    static void Copy(SQmPicBuf& dst, const SQmPicBuf& src);
    static void Copy(SQmPicBuf& dst, const SQmPicBuf& src, const CQmRect<int>& rect);
    static void CopyRect(SQmPicBuf& dst,
                         const SQmPicBuf& src,
                         const CQmPoint<int>& dstPt,
                         const CQmPoint<int>& srcPt,
                         const CQmSize<int>& size);
    static void SetConst(SQmPicBuf& buf, const CQmRect<int>& rect, uint8_t value);

    [[nodiscard]] static uint8_t ConvertBpcComp(SQmPicBuf& buf, uint32_t bitsPerComponent, uint32_t components);
    [[nodiscard]] static uint8_t ExtractComponent(SQmPicBuf& plane, uint32_t index, const SQmPicBuf& src);
    [[nodiscard]] static uint8_t InsertComponent(SQmPicBuf& dst, uint32_t index, const SQmPicBuf& plane);

    static void TransformConstantFast(SQmPicBuf& dst, const SQmPicBuf& src, const CQmPicMap& map);
    static void TransformBilinearFast(SQmPicBuf& dst, const SQmPicBuf& src, const CQmPicMap& map);
    static void TransformBicubicFast(SQmPicBuf& dst, const SQmPicBuf& src, const CQmPicMap& map);
};
