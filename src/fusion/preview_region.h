// Geometry and control rules of the Solvane Fusion dialog: where the preview region lies, how it is
// rounded and clamped, the margin the preview is computed with, and how the sliders step.
#pragma once

#include "base/slider_rule.h"

#include <cstdint>

constexpr int32_t kPreviewSide = 400;
constexpr int32_t kPreviewMargin = 128;

// A region in picture coordinates, right and bottom exclusive. RegionF is the one the user drags
// (it may leave the picture); Region is its rounded, clamped form.
struct RegionF {
    double x0, y0, x1, y1;
};
struct Region {
    int32_t x0, y0, x1, y1;
    int32_t Width() const { return x1 - x0; }
    int32_t Height() const { return y1 - y0; }
    bool Empty() const { return x1 <= x0 || y1 <= y0; }
    friend bool operator==(const Region&, const Region&) = default;
};

// The 400 x 400 region (less for a smaller picture) around the picture point (px, py), kept inside
// a width x height picture.
RegionF PlacePreviewRegion(double px, double py, int32_t width, int32_t height);

// Each edge rounded as trunc(v + 0.5) and clamped to 0..width or 0..height on its own, so a region
// dragged past an edge shrinks while the dragged one keeps its size.
Region RoundClampRegion(const RegionF& r, int32_t width, int32_t height);

// The region grown by margin on every side, clamped to the picture.
Region GrowClampRegion(const Region& r, int32_t margin, int32_t width, int32_t height);

RegionF MoveRegion(const RegionF& r, double dx, double dy);

// x0 <= x < x1 and y0 <= y < y1 for a region already mapped to window pixels.
bool PointInWindowRegion(int32_t x, int32_t y, int32_t rx0, int32_t ry0, int32_t rx1, int32_t ry1);

// The progress percentage shown after tile n (0-based): 5, 7, 10, 12, ... 100.
inline int32_t PreparationPercent(int32_t n) {
    return n * 5 / 2 + 5;
}
