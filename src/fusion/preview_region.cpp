// Geometry and slider rules of the Solvane Fusion dialog.
#include "fusion/preview_region.h"

#include <algorithm>
#include <cmath>

namespace {

// One axis of the placement: centred on c where the picture allows, inside 0..extent.
void PlaceAxis(int64_t c, int32_t extent, double& lo, double& hi) {
    int64_t v1 = std::min<int64_t>(c + kPreviewSide / 2, extent);
    int64_t v0 = v1 - kPreviewSide;
    if (v0 <= 0)
        v0 = 0;
    v1 = std::min<int64_t>(v0 + kPreviewSide, extent);
    lo = static_cast<double>(v0);
    hi = static_cast<double>(v1);
}

int32_t RoundClamp(double v, int32_t extent) {
    const double t = std::trunc(v + 0.5);
    if (!(t > 0))
        return 0;  // also NaN
    if (t >= extent)
        return extent;
    return static_cast<int32_t>(t);
}

}  // namespace

RegionF PlacePreviewRegion(double px, double py, int32_t width, int32_t height) {
    // A point far outside any picture would overflow the integer arithmetic; it clamps the same way.
    const double limit = 1e12;
    const int64_t cx = static_cast<int64_t>(std::floor(std::clamp(px + 0.5, -limit, limit)));
    const int64_t cy = static_cast<int64_t>(std::floor(std::clamp(py + 0.5, -limit, limit)));
    RegionF r{};
    PlaceAxis(cy, height, r.y0, r.y1);
    PlaceAxis(cx, width, r.x0, r.x1);
    return r;
}

Region RoundClampRegion(const RegionF& r, int32_t width, int32_t height) {
    return {RoundClamp(r.x0, width), RoundClamp(r.y0, height), RoundClamp(r.x1, width), RoundClamp(r.y1, height)};
}

Region GrowClampRegion(const Region& r, int32_t margin, int32_t width, int32_t height) {
    auto clamp = [](int64_t v, int32_t extent) { return static_cast<int32_t>(std::clamp<int64_t>(v, 0, extent)); };
    return {clamp(int64_t{r.x0} - margin, width), clamp(int64_t{r.y0} - margin, height),
            clamp(int64_t{r.x1} + margin, width), clamp(int64_t{r.y1} + margin, height)};
}

RegionF MoveRegion(const RegionF& r, double dx, double dy) {
    return {r.x0 + dx, r.y0 + dy, r.x1 + dx, r.y1 + dy};
}

bool PointInWindowRegion(int32_t x, int32_t y, int32_t rx0, int32_t ry0, int32_t rx1, int32_t ry1) {
    return rx0 <= x && x < rx1 && ry0 <= y && y < ry1;
}
