// GDI+ flat API with owners for its bitmaps and locks.
#pragma once

#include "base/scoped_win.h"

namespace gdip = Gdiplus::DllExports;
using Gdiplus::GpBitmap;
using Gdiplus::GpImage;
using Gdiplus::GpStatus;

// The whole bitmap locked in a pixel format; unlocked when the owner goes.
class ScopedBitmapLock {
public:
    ScopedBitmapLock(GpBitmap* bitmap, UINT mode, Gdiplus::PixelFormat format) : bitmap_(bitmap) {
        UINT width = 0, height = 0;
        gdip::GdipGetImageWidth(bitmap, &width);
        gdip::GdipGetImageHeight(bitmap, &height);
        Gdiplus::GpRect rect(0, 0, static_cast<INT>(width), static_cast<INT>(height));
        status_ = gdip::GdipBitmapLockBits(bitmap, &rect, mode, format, &data_);
    }
    ~ScopedBitmapLock() {
        if (status_ == Gdiplus::Ok)
            gdip::GdipBitmapUnlockBits(bitmap_, &data_);
    }
    ScopedBitmapLock(const ScopedBitmapLock&) = delete;
    ScopedBitmapLock& operator=(const ScopedBitmapLock&) = delete;

    bool ok() const { return status_ == Gdiplus::Ok; }
    GpStatus status() const { return status_; }
    uint8_t* Row(UINT y) const { return static_cast<uint8_t*>(data_.Scan0) + static_cast<ptrdiff_t>(y) * data_.Stride; }
    INT Stride() const { return data_.Stride; }
    UINT Width() const { return data_.Width; }
    UINT Height() const { return data_.Height; }

private:
    GpBitmap* bitmap_;
    Gdiplus::BitmapData data_{};
    GpStatus status_ = Gdiplus::GenericError;
};
