// Scalar reference resampling: one window per output sample, taps in row order, no shortcuts.
#include "support/pyramid_ref.h"

void RefReducePlane(float* dst,
                    const float* src,
                    int32_t dstWidth,
                    int32_t dstHeight,
                    int32_t srcWidth,
                    int32_t srcHeight,
                    const float* kernel) {
    if (dstWidth < 5 || dstHeight < 5)
        return;
    for (int32_t y = 0; y < dstHeight; y++) {
        for (int32_t x = 0; x < dstWidth; x++) {
            int32_t sy = y <= 1 ? 0 : 2 * y - 2;
            if (sy + 5 > srcHeight)
                sy = srcHeight - 5;
            int32_t sx = x <= 1 ? 0 : 2 * x - 2;
            if (sx + 5 > srcWidth)
                sx = srcWidth - 5;
            float acc = 0.0f;
            for (int32_t r = 0; r < 5; r++) {
                for (int32_t c = 0; c < 5; c++) {
                    float p = kernel[r * 5 + c] * src[(sy + r) * srcWidth + (sx + c)];
                    acc = p + acc;
                }
            }
            dst[y * dstWidth + x] = acc;
        }
    }
}

void RefExpandPlane(float* dst,
                    const float* src,
                    int32_t dstWidth,
                    int32_t dstHeight,
                    int32_t srcWidth,
                    int32_t srcHeight,
                    const float* kernel) {
    if (dstWidth < 5 || dstHeight < 5)
        return;
    for (int32_t y = 0; y < dstHeight; y++) {
        for (int32_t x = 0; x < dstWidth; x++) {
            int32_t wy = y <= 2 ? 0 : y - 2;
            if (wy + 5 > dstHeight)
                wy = dstHeight - 5;
            int32_t wx = x <= 2 ? 0 : x - 2;
            if (wx + 5 > dstWidth)
                wx = dstWidth - 5;
            int32_t ey = wy % 2 == 0 ? wy : wy + 1;
            int32_t ex = wx % 2 == 0 ? wx : wx + 1;
            int32_t rowLimit = wy + 5 < 2 * srcHeight ? wy + 5 : 2 * srcHeight;
            int32_t colLimit = wx + 5 < 2 * srcWidth ? wx + 5 : 2 * srcWidth;
            float acc = 0.0f;
            for (int32_t j = ey; j < rowLimit; j += 2) {
                for (int32_t i = ex; i < colLimit; i += 2) {
                    float p = src[(j / 2) * srcWidth + (i / 2)] * kernel[(j - wy) * 5 + (i - wx)];
                    acc = p + acc;
                }
            }
            dst[y * dstWidth + x] = acc * 4.0f;
        }
    }
}
