// Point map between a source picture and a destination picture.
#include <cmath>
#include <cstdint>

#include "imaging/pic_buf.h"

namespace {

// Nearest integer (halves upward), saturated to the 32-bit range; NaN gives 0.
int32_t RoundToInt32(double v) {
    if (!(v == v))
        return 0;
    double r = std::floor(v + 0.5);
    if (r <= static_cast<double>(INT32_MIN))
        return INT32_MIN;
    if (r >= static_cast<double>(INT32_MAX))
        return INT32_MAX;
    return static_cast<int32_t>(r);
}

}  // namespace

CQmPicMap::CQmPicMap(double dstCentreX,
                     double dstCentreY,
                     double srcCentreX,
                     double srcCentreY,
                     double angle,
                     double scale) {
    Compute(dstCentreX, dstCentreY, srcCentreX, srcCentreY, angle, scale);
}

void CQmPicMap::Compute(double dstCentreX,
                        double dstCentreY,
                        double srcCentreX,
                        double srcCentreY,
                        double angle,
                        double scale) {
    dstCentreX_ = dstCentreX;
    dstCentreY_ = dstCentreY;
    srcCentreX_ = srcCentreX;
    srcCentreY_ = srcCentreY;
    angle_ = angle;
    scale_ = scale;
}

void CQmPicMap::MapPointSrcToDst(int32_t& dstX, int32_t& dstY, double srcX, double srcY) const {
    dstX = RoundToInt32(dstCentreX_ + scale_ * (srcX - srcCentreX_));
    dstY = RoundToInt32(dstCentreY_ + scale_ * (srcY - srcCentreY_));
}

void CQmPicMap::MapPointDstToSrc(double& srcX, double& srcY, int32_t dstX, int32_t dstY) const {
    // A zero scale has no inverse: everything comes from the source centre.
    if (scale_ == 0) {
        srcX = srcCentreX_;
        srcY = srcCentreY_;
        return;
    }
    srcX = srcCentreX_ + (dstX - dstCentreX_) / scale_;
    srcY = srcCentreY_ + (dstY - dstCentreY_) / scale_;
}
