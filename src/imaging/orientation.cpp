// Reading the EXIF orientation and turning pictures and points upright.
#include "imaging/orientation.h"

#include <cstring>
#include <utility>

#include "base/thread_pool.h"

namespace {

uint32_t Read16(const uint8_t* p, bool little) {
    return little ? p[0] | (p[1] << 8) : (p[0] << 8) | p[1];
}

uint32_t Read32(const uint8_t* p, bool little) {
    return little ? p[0] | (p[1] << 8) | (p[2] << 16) | (static_cast<uint32_t>(p[3]) << 24)
                  : (static_cast<uint32_t>(p[0]) << 24) | (p[1] << 16) | (p[2] << 8) | p[3];
}

// The orientation entry of IFD0 of a TIFF structure (a TIFF file, or the body of an Exif segment).
int TiffOrientation(const uint8_t* tiff, size_t size) {
    if (size < 8)
        return 1;
    bool little;
    if (tiff[0] == 'I' && tiff[1] == 'I') {
        little = true;
    } else if (tiff[0] == 'M' && tiff[1] == 'M') {
        little = false;
    } else {
        return 1;
    }
    if (Read16(tiff + 2, little) != 42)
        return 1;
    const uint32_t ifd = Read32(tiff + 4, little);
    if (ifd < 8 || ifd > size - 2)
        return 1;
    const uint32_t count = Read16(tiff + ifd, little);
    for (uint32_t i = 0; i < count; ++i) {
        const size_t at = ifd + 2 + static_cast<size_t>(i) * 12;
        if (at + 12 > size)
            return 1;
        if (Read16(tiff + at, little) != 0x0112)
            continue;
        // SHORT, one value, held in the entry itself.
        if (Read16(tiff + at + 2, little) != 3 || Read32(tiff + at + 4, little) != 1)
            return 1;
        const uint32_t value = Read16(tiff + at + 8, little);
        return value >= 1 && value <= 8 ? static_cast<int>(value) : 1;
    }
    return 1;
}

}  // namespace

int ReadOrientation(const uint8_t* data, size_t size) {
    if (!data || size < 4)
        return 1;
    if ((data[0] == 'I' && data[1] == 'I') || (data[0] == 'M' && data[1] == 'M'))
        return TiffOrientation(data, size);
    if (data[0] != 0xFF || data[1] != 0xD8)
        return 1;
    // JPEG: the markers before the image data, looking for APP1 "Exif".
    size_t at = 2;
    while (at + 4 <= size && data[at] == 0xFF) {
        const uint8_t marker = data[at + 1];
        if (marker == 0xD9 || marker == 0xDA)
            break;  // end of image, start of scan
        const size_t length = (static_cast<size_t>(data[at + 2]) << 8) | data[at + 3];
        if (length < 2 || at + 2 + length > size)
            break;
        const uint8_t* body = data + at + 4;
        const size_t bodySize = length - 2;
        if (marker == 0xE1 && bodySize >= 6 && std::memcmp(body, "Exif\0\0", 6) == 0)
            return TiffOrientation(body + 6, bodySize - 6);
        at += 2 + length;
    }
    return 1;
}

void OrientPoint(int o, double w, double h, double x, double y, double& ux, double& uy) {
    switch (o) {
        case 2:
            ux = w - x, uy = y;
            break;
        case 3:
            ux = w - x, uy = h - y;
            break;
        case 4:
            ux = x, uy = h - y;
            break;
        case 5:
            ux = y, uy = x;
            break;
        case 6:
            ux = h - y, uy = x;
            break;
        case 7:
            ux = h - y, uy = w - x;
            break;
        case 8:
            ux = y, uy = w - x;
            break;
        default:
            ux = x, uy = y;
            break;
    }
}

void UnorientPoint(int o, double w, double h, double ux, double uy, double& x, double& y) {
    // The inverse turn, of the upright picture: 6 and 8 undo each other, every other value undoes itself.
    const int inverse = o == 6 ? 8 : o == 8 ? 6 : o;
    if (OrientationSwapsSides(o))
        std::swap(w, h);  // the upright picture's sides
    OrientPoint(inverse, w, h, ux, uy, x, y);
}

void UnorientVector(int o, double dx, double dy, double& sx, double& sy) {
    // The linear part of UnorientPoint.
    double x0, y0, x1, y1;
    UnorientPoint(o, 0, 0, 0, 0, x0, y0);
    UnorientPoint(o, 0, 0, dx, dy, x1, y1);
    sx = x1 - x0;
    sy = y1 - y0;
}

bool OrientPicture(SQmPicBuf& dst, const SQmPicBuf& src, int o) {
    if (!src.data || src.components != 3 || src.bitsPerComponent != 8)
        return false;
    const int32_t w = src.width, h = src.height;
    const bool swap = OrientationSwapsSides(o);
    const int32_t uw = swap ? h : w, uh = swap ? w : h;
    // The block is kept while the shape stays (the view refreshes its cache on every recompute).
    const bool sameShape =
        dst.data && dst.width == uw && dst.height == uh && dst.components == 3 && dst.bitsPerComponent == 8;
    if (!sameShape && CQmPicBufAPI::ReinitHeap(dst, uw, uh, 3, 8) != 0)
        return false;
    // Each upright row reads the stored pixel that UnorientPoint names for its pixel centres.
    return ParallelRows(uh, uw,
                        [&](int32_t begin, int32_t end) {
                            for (int32_t uy = begin; uy < end; ++uy) {
                                uint8_t* out = dst.data + static_cast<ptrdiff_t>(uy) * dst.stride;
                                for (int32_t ux = 0; ux < uw; ++ux) {
                                    double sx, sy;
                                    UnorientPoint(o, w, h, ux + 0.5, uy + 0.5, sx, sy);
                                    const uint8_t* in = src.data + static_cast<ptrdiff_t>(sy) * src.stride +
                                                        static_cast<ptrdiff_t>(sx) * 3;
                                    out[ux * 3 + 0] = in[0];
                                    out[ux * 3 + 1] = in[1];
                                    out[ux * 3 + 2] = in[2];
                                }
                            }
                        })
        .ok();
}
