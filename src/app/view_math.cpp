// Pure arithmetic of the image view.
#include "app/view_math.h"

#include <algorithm>
#include <cmath>
#include <cstdio>

const double kZoomListValues[kZoomListCount] = {0.1, 0.25, 0.5, 1.0, 1.5, 2.0, 4.0, 8.0};
const char* const kZoomListTexts[kZoomListCount] = {"10.0 %",  "25.0 %",  "50.0 %",  "100.0 %",
                                                    "150.0 %", "200.0 %", "400.0 %", "800.0 %"};

double ZoomForListEntry(int index) {
    if (index < 0 || index >= kZoomListCount)
        return 1.0;
    return kZoomListValues[index];
}

CQmPicMap ViewMap(const ViewPlacement& p) {
    return CQmPicMap(p.anchorWinX, p.anchorWinY, p.anchorImgX, p.anchorImgY, 0.0, p.zoom);
}

bool ViewShiftOf(const ViewPlacement& before, const ViewPlacement& after, int& dx, int& dy) {
    if (before.zoom != after.zoom || before.anchorWinX != after.anchorWinX || before.anchorWinY != after.anchorWinY)
        return false;
    // A picture point's window position moves by zoom x (anchor before - anchor after).
    const double fx = (before.anchorImgX - after.anchorImgX) * after.zoom;
    const double fy = (before.anchorImgY - after.anchorImgY) * after.zoom;
    if (!(std::abs(fx) < 1e6 && std::abs(fy) < 1e6))
        return false;
    const double rx = std::round(fx), ry = std::round(fy);
    if (std::abs(fx - rx) > 1e-6 || std::abs(fy - ry) > 1e-6)
        return false;
    dx = static_cast<int>(rx);
    dy = static_cast<int>(ry);
    return true;
}

std::string FormatZoomText(double zoom) {
    char text[64];
    std::snprintf(text, sizeof text, "%.1f %s", zoom * 100.0, "%");
    return text;
}

namespace {

template <typename Str>
ZoomTextResult ScanZoomText(const Str& text) {
    double value = 0;
    int fractionDigits = 0;
    bool fraction = false, invalid = false;
    const size_t n = std::min<size_t>(text.size(), 9);
    for (size_t i = 0; i < n; ++i) {
        const auto c = text[i];
        if (c == 0 || c == ' ' || c == '%')
            break;
        if (c == '.' || c == ',') {
            fraction = true;
        } else if (c >= '0' && c <= '9') {
            value = value * 10 + static_cast<int>(c - '0');
            if (fraction)
                ++fractionDigits;
        } else {
            invalid = true;
        }
    }
    if (invalid)
        return {false, 0};
    double p = value;
    for (int i = 0; i < fractionDigits; ++i)
        p /= 10;
    if (p <= 10)
        p = 10;
    else if (p >= 800)
        p = 800;
    return {true, p};
}

}  // namespace

ZoomTextResult ParseZoomText(const std::u16string& text) {
    return ScanZoomText(text);
}
ZoomTextResult ParseZoomText(const std::string& text) {
    return ScanZoomText(text);
}

FitBand FitBandFor(int toolbarBottom, int clientBottom) {
    return {toolbarBottom + 2, clientBottom - 20};
}

void FitPlacement(ViewPlacement& p, int clientWidth, const FitBand& band) {
    const int h = band.bottom - band.top;
    p.anchorWinX = clientWidth * 0.5;
    const double zx = p.anchorWinX / p.anchorImgX;
    const double zy = (h * 0.5) / p.anchorImgY;
    p.zoom = zx > zy ? zy : zx;
    p.anchorWinY = h * 0.5 + band.top;
}

void HundredPercentPlacement(ViewPlacement& p, int clientWidth, const FitBand& band) {
    const int h = band.bottom - band.top;
    p.anchorWinX = clientWidth * 0.5;
    p.anchorWinY = h * 0.5 + band.top;
    p.zoom = 1.0;
}

void CentreAnchors(ViewPlacement& p, int sourceWidth, int sourceHeight) {
    p.anchorImgX = sourceWidth * 0.5;
    p.anchorImgY = sourceHeight * 0.5;
}

void WheelPlacement(ViewPlacement& p,
                    int& cx,
                    int& cy,
                    bool forward,
                    int resultWidth,
                    int resultHeight,
                    int sourceWidth,
                    int sourceHeight) {
    const CQmPicMap before = ViewMap(p);
    int x0, y0, x1, y1;
    before.MapPointSrcToDst(x0, y0, 0.0, 0.0);
    before.MapPointSrcToDst(x1, y1, resultWidth, resultHeight);
    cx = std::min(std::max(cx, x0), x1);
    cy = std::min(std::max(cy, y0), y1);
    const double factor = forward ? kZoomInFactor : kZoomOutFactor;
    before.MapPointDstToSrc(p.anchorImgX, p.anchorImgY, cx, cy);
    p.anchorWinX = cx;
    p.anchorWinY = cy;
    p.zoom *= factor;
    if (p.zoom >= kWheelMaxZoom)
        p.zoom = kWheelMaxZoom;
    const double minZoom = 100.0 / std::max(sourceWidth, sourceHeight);
    if (p.zoom <= minZoom)
        p.zoom = minZoom;
}

void PanPlacement(ViewPlacement& p, int fromX, int fromY, int toX, int toY) {
    p.anchorImgX += (fromX - toX) / p.zoom;
    p.anchorImgY += (fromY - toY) / p.zoom;
}
