// The EXIF orientation of a photo (tag 0x0112, 1 to 8): how the stored pixels are turned and mirrored to be
// seen upright. The pixels themselves stay as stored; only the view applies it.
#pragma once

#include <cstddef>
#include <cstdint>

#include "imaging/pic_buf.h"

// 1 = as stored; 2 mirrored left-right; 3 turned 180 degrees; 4 mirrored top-bottom; 5 mirrored along the
// main diagonal; 6 turned 90 degrees clockwise; 7 mirrored along the other diagonal; 8 turned 90 degrees
// counter-clockwise. 5 to 8 swap the sides.
inline bool OrientationSwapsSides(int orientation) {
    return orientation >= 5 && orientation <= 8;
}

// The tag of a JPEG (APP1 Exif) or TIFF file in these bytes; 1 when there is none or it is not 1 to 8.
[[nodiscard]] int ReadOrientation(const uint8_t* data, size_t size);

// A point of the stored w x h picture in the upright picture, and back (continuous coordinates: pixel i
// covers [i, i + 1)).
void OrientPoint(int orientation, double w, double h, double x, double y, double& ux, double& uy);
void UnorientPoint(int orientation, double w, double h, double ux, double uy, double& x, double& y);
// A displacement seen in the upright picture, in stored coordinates.
void UnorientVector(int orientation, double dx, double dy, double& sx, double& sy);

// dst := src seen upright (8-bit, 3 components; dst is re-shaped). False when it cannot be had.
[[nodiscard]] bool OrientPicture(SQmPicBuf& dst, const SQmPicBuf& src, int orientation);
