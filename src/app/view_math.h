// Pure arithmetic of the image view: placement, zoom steps, fit, wheel and the zoom box text.
#pragma once

#include <cstdint>
#include <string>

#include "imaging/pic_buf.h"

// The placement: picture point (anchorImgX, anchorImgY) is shown at window point
// (anchorWinX, anchorWinY), distances multiplied by zoom.
struct ViewPlacement {
    double zoom = 1.0;
    double anchorWinX = 0, anchorWinY = 0;
    double anchorImgX = 0, anchorImgY = 0;
};

// The whole window pixels (dx, dy) by which the view of `after` is that of `before` moved; false when the two
// differ by more than such a move (another zoom, another window anchor, a fraction of a pixel).
[[nodiscard]] bool ViewShiftOf(const ViewPlacement& before, const ViewPlacement& after, int& dx, int& dy);

inline constexpr double kZoomInFactor = 1.2;
inline constexpr double kZoomOutFactor = 0.8333333333333334;  // 1 / 1.2
inline constexpr double kWheelMaxZoom = 8.0;
inline constexpr uint8_t kViewGrey = 190;

// The zoom box list, entry i -> zoom.
inline constexpr int kZoomListCount = 8;
extern const double kZoomListValues[kZoomListCount];
extern const char* const kZoomListTexts[kZoomListCount];
double ZoomForListEntry(int index);  // 1.0 when no entry (or an unknown one) is selected

// The map from picture to window that the view and the dialogs use.
CQmPicMap ViewMap(const ViewPlacement& p);

// "%.1f %" of zoom x 100.
std::string FormatZoomText(double zoom);

// The typed percentage, clamped to 10..800; ok is false when the text holds anything but digits,
// '.', ',', and a closing space or '%'.
struct ZoomTextResult {
    bool ok;
    double percent;
};
// text is what the box holds; at most the first 9 characters are read.
ZoomTextResult ParseZoomText(const std::u16string& text);
ZoomTextResult ParseZoomText(const std::string& text);

// The band the view fits into: top = toolbar bottom + 2, bottom = client bottom - 20.
struct FitBand {
    int top;
    int bottom;
};
FitBand FitBandFor(int toolbarBottom, int clientBottom);

// FitView with the anchors already on the picture centre: sets zoom, anchorWinX, anchorWinY.
void FitPlacement(ViewPlacement& p, int clientWidth, const FitBand& band);
// 100 %: view centre as anchor window point, zoom 1, picture anchor unchanged.
void HundredPercentPlacement(ViewPlacement& p, int clientWidth, const FitBand& band);
// Anchors to the picture centre.
void CentreAnchors(ViewPlacement& p, int sourceWidth, int sourceHeight);

// Mouse wheel about the client point (cx, cy): the point is clamped to the result picture's window
// rectangle, becomes the anchor, and zoom is limited to [100 / longer source side, 8].
// Returns the clamped point through cx, cy.
void WheelPlacement(ViewPlacement& p,
                    int& cx,
                    int& cy,
                    bool forward,
                    int resultWidth,
                    int resultHeight,
                    int sourceWidth,
                    int sourceHeight);

// Panning: the picture follows the mouse one to one in screen pixels.
void PanPlacement(ViewPlacement& p, int fromX, int fromY, int toX, int toY);

// The inverted two-pixel outline of the overlay rectangle; visit(x, y) is called once per pixel
// inside 0 <= x < w, 0 <= y < h (pixels may repeat when the rectangle is thinner than 3).
template <typename Visit>
void ForEachOutlinePixel(int X0, int Y0, int X1, int Y1, int w, int h, Visit visit) {
    // 64-bit: mapped corners may sit at the ends of the int range at extreme zoom.
    const long long x0 = X0, y0 = Y0, x1 = X1, y1 = Y1;
    auto put = [&](long long x, long long y) {
        if (x >= 0 && x < w && y >= 0 && y < h)
            visit(static_cast<int>(x), static_cast<int>(y));
    };
    // Loops are cut to the window first: at high zoom the corners lie far outside it.
    const long long xa = x0 + 2 > 0 ? x0 + 2 : 0, xb = x1 - 2 < w - 1 ? x1 - 2 : w - 1;
    for (long long x = xa; x <= xb; ++x) {
        put(x, y0);
        put(x, y1);
        put(x, y0 + 1);
        put(x, y1 - 1);
    }
    const long long ya = y0 > 0 ? y0 : 0, yb = y1 < h - 1 ? y1 : h - 1;
    for (long long y = ya; y <= yb; ++y) {
        put(x0, y);
        put(x1, y);
        put(x0 + 1, y);
        put(x1 - 1, y);
    }
}
