// The image view of the main window. Every change renders into the document's display surface and
// then repaints; painting only copies the surface.
#include "app/view_win.h"

#include <windowsx.h>

#include <algorithm>
#include <array>
#include <cstdlib>
#include <cstring>
#include <string>

#include "base/ascii_text.h"
#include "base/app_messages.h"
#include "app/app_state_win.h"
#include "app/view_math.h"
#include "imaging/orientation.h"
#include "resources/resource.h"

namespace {

bool SourceShown() {
    const SQmPicBuf& s = gDocument.sourceBuffer;
    return s.width != 0 && s.height != 0 && s.data != nullptr;
}

int ToolbarBottom() {
    RECT r{};
    GetClientRect(gApp.toolbar, &r);
    return r.bottom;
}

int StatusBarHeight() {
    RECT r{};
    GetClientRect(gApp.statusBar, &r);
    return r.bottom;
}

RECT MainClient() {
    RECT r{};
    GetClientRect(gApp.mainWindow, &r);
    return r;
}

FitBand CurrentFitBand() {
    return FitBandFor(ToolbarBottom(), MainClient().bottom);
}

// The sides of the picture as the view shows it (upright).
void UprightSize(const SQmPicBuf& picture, int& width, int& height) {
    const bool swap = OrientationSwapsSides(gDocument.orientation);
    width = swap ? picture.height : picture.width;
    height = swap ? picture.width : picture.height;
}

// Inverts the outline of the picture rectangle and gives its window corners.
void InvertOutline(SQmPicBuf& target, const int32_t* rect, long long corners[4]) {
    const POINT a = PictureToWindow(rect[0], rect[1]), b = PictureToWindow(rect[2], rect[3]);
    const int X0 = std::min(a.x, b.x), Y0 = std::min(a.y, b.y), X1 = std::max(a.x, b.x), Y1 = std::max(a.y, b.y);
    ForEachOutlinePixel(X0, Y0, X1, Y1, target.width, target.height, [&](int x, int y) {
        uint8_t* p = target.data + static_cast<ptrdiff_t>(y) * target.stride + x * 3;
        p[0] = static_cast<uint8_t>(~p[0]);
        p[1] = static_cast<uint8_t>(~p[1]);
        p[2] = static_cast<uint8_t>(~p[2]);
    });
    corners[0] = X0, corners[1] = Y0, corners[2] = X1, corners[3] = Y1;
}

using WindowRect = CQmRect<int>;

// [x0, x1) x [y0, y1) cut to the W x H view (64-bit: corners may lie far outside at high zoom).
WindowRect CutToView(long long x0, long long y0, long long x1, long long y1, int W, int H) {
    auto cut = [](long long v, int most) { return static_cast<int>(std::clamp<long long>(v, 0, most)); };
    return {cut(x0, W), cut(y0, H), cut(x1, W), cut(y1, H)};
}

bool Empty(const WindowRect& a) {
    return a.right <= a.left || a.bottom <= a.top;
}

// Grows `into` (empty: nothing yet) to cover a.
void Cover(WindowRect& into, const WindowRect& a) {
    if (Empty(a))
        return;
    if (Empty(into)) {
        into = a;
        return;
    }
    into = {std::min(into.left, a.left), std::min(into.top, a.top), std::max(into.right, a.right),
            std::max(into.bottom, a.bottom)};
}

// Every pixel of the outline with window corners c moved by (dx, dy), as four runs; they also hold the pixels a
// degenerate outline reaches beside its corners.
std::array<WindowRect, 4> OutlineRuns(const long long c[4], int dx, int dy, int W, int H) {
    const long long x0 = c[0] + dx, y0 = c[1] + dy, x1 = c[2] + dx, y1 = c[3] + dy;
    return {CutToView(x0, y0, x1 + 1, y0 + 2, W, H), CutToView(x0, y1 - 1, x1 + 1, y1 + 1, W, H),
            CutToView(x0, y0, x0 + 2, y1 + 1, W, H), CutToView(x1 - 1, y0, x1 + 1, y1 + 1, W, H)};
}

// The view pixels that sample a picture rectangle: a pixel blends the four picture pixels around its point,
// so two picture pixels and two window pixels of margin cover them at every zoom.
WindowRect ViewAreaOf(const CQmRect<int>& picture, int W, int H) {
    const POINT a = PictureToWindow(picture.left - 2.0, picture.top - 2.0);
    const POINT b = PictureToWindow(picture.right + 2.0, picture.bottom + 2.0);
    return CutToView(std::min<long long>(a.x, b.x) - 2, std::min<long long>(a.y, b.y) - 2,
                     std::max<long long>(a.x, b.x) + 3, std::max<long long>(a.y, b.y) + 3, W, H);
}

// Every zoom row ends the same way: text, focus, render the slot the zoom commands show, repaint.
void RenderZoomed() {
    WriteZoomText();
    SetFocus(gApp.mainWindow);
    if (gApp.zoomShowsSource)
        RenderView(1, &gDocument.sourceBuffer, kSlotSource, 1);
    else
        RenderView(1, &gDocument.resultBuffer, kSlotResult, 1);
    RepaintMainWindow();
}

// The picture over grey in the rectangle a of the view, as the whole view would have it there: grey where the
// picture does not reach, then the picture. Inside its footprint shrunk by a pixel every pixel centre falls on
// the picture, so the transform writes all of it and the grey is needed only outside.
void RenderViewArea(const SQmPicBuf& view, const SQmPicBuf& cache, const ViewPlacement& p, CQmRect<int> a) {
    const int w = a.right - a.left, h = a.bottom - a.top;
    if (w <= 0 || h <= 0)
        return;
    SQmPicBuf area = view;
    area.data = view.data + static_cast<ptrdiff_t>(a.top) * view.stride + 3 * a.left;
    area.width = w;
    area.height = h;
    area.size = view.stride * (h - 1) + 3 * w;
    // The same map with the area's corner as its origin: whole-pixel offsets, so every pixel samples the same
    // picture point as in the whole view.
    const CQmPicMap map(p.anchorWinX - a.left, p.anchorWinY - a.top, p.anchorImgX, p.anchorImgY, 0.0, p.zoom);
    int32_t x0 = 0, y0 = 0, x1 = 0, y1 = 0;
    map.MapPointSrcToDst(x0, y0, 0, 0);
    map.MapPointSrcToDst(x1, y1, cache.width, cache.height);
    const int ix0 = std::clamp(std::min(x0, x1) + 1, 0, w), ix1 = std::clamp(std::max(x0, x1) - 1, 0, w);
    const int iy0 = std::clamp(std::min(y0, y1) + 1, 0, h), iy1 = std::clamp(std::max(y0, y1) - 1, 0, h);
    if (ix0 >= ix1 || iy0 >= iy1) {
        CQmPicBufAPI::SetConst(area, {0, 0, w, h}, kViewGrey);
    } else {
        CQmPicBufAPI::SetConst(area, {0, 0, w, iy0}, kViewGrey);
        CQmPicBufAPI::SetConst(area, {0, iy1, w, h}, kViewGrey);
        CQmPicBufAPI::SetConst(area, {0, iy0, ix0, iy1}, kViewGrey);
        CQmPicBufAPI::SetConst(area, {ix1, iy0, w, iy1}, kViewGrey);
    }
    CQmPicBufAPI::TransformBilinearFast(area, cache, map);
}

// Moves the view's pixels by (dx, dy), each less than the view's size; the uncovered bands keep what they had.
void MoveView(const SQmPicBuf& view, int dx, int dy) {
    const size_t bytes = 3 * static_cast<size_t>(view.width - std::abs(dx));
    const int to = dx > 0 ? 3 * dx : 0, from = dx < 0 ? -3 * dx : 0;
    auto row = [&](int y) { return view.data + static_cast<ptrdiff_t>(y) * view.stride; };
    // Rows in the order that reads each before it is overwritten.
    if (dy > 0) {
        for (int y = view.height - 1; y >= dy; --y)
            std::memmove(row(y) + to, row(y - dy) + from, bytes);
    } else {
        for (int y = 0; y < view.height + dy; ++y)
            std::memmove(row(y) + to, row(y - dy) + from, bytes);
    }
}

void ResetMousePositions() {
    gApp.lastMouseX = gApp.lastMouseY = gApp.dragAnchorX = gApp.dragAnchorY = 0;
}

POINT CursorInClient(HWND window) {
    POINT pt{};
    GetCursorPos(&pt);
    ScreenToClient(window, &pt);
    return pt;
}

// The cache holds the picture as the view shows it: 8 bits x 3 components, turned upright by the file's
// orientation. Its block is kept while the shape stays (every recompute): fresh pages would cost more than the
// copy. A turned colour picture is turned straight into it. False, the cache dropped, when memory runs out: a
// stale or half-converted cache must not be shown.
bool FillCache(SQmPicBuf& cache, const SQmPicBuf& buffer) {
    const int orientation = gDocument.orientation;
    if (orientation != 1 && buffer.components == 3 && buffer.bitsPerComponent == 8) {
        if (!OrientPicture(cache, buffer, orientation)) {
            CQmPicBufAPI::DoneHeap(cache);
            return false;
        }
        return true;
    }
    const bool sameShape = cache.data && cache.width == buffer.width && cache.height == buffer.height &&
                           cache.components == buffer.components && cache.bitsPerComponent == buffer.bitsPerComponent;
    if (!sameShape && CQmPicBufAPI::ReinitHeap(cache, buffer) != 0)
        return false;
    CQmPicBufAPI::Copy(cache, buffer);
    if (CQmPicBufAPI::ConvertBpcComp(cache, 8, 3) != 0) {
        CQmPicBufAPI::DoneHeap(cache);
        return false;
    }
    if (orientation != 1) {
        Picture upright;
        if (!OrientPicture(upright.buf(), cache, orientation)) {
            CQmPicBufAPI::DoneHeap(cache);
            return false;
        }
        std::swap(cache, upright.buf());
    }
    return true;
}

// A picture the view can sample as it is, without its cache.
bool InViewForm(const SQmPicBuf* p) {
    return p != nullptr && p->data != nullptr && p->components == 3 && p->bitsPerComponent == 8 &&
           gDocument.orientation == 1;
}

// How a render reaches the picture: through the cache as it is, through the cache refreshed from the buffer
// first, or straight from a buffer in the view's form (the cache left as it is).
enum class CacheUse { kUse, kRefresh, kBypass };

// RenderView; changed: rectangles of the cache (picture coordinates) that differ from what the surface shows.
void RenderViewParts(CacheUse use,
                     const SQmPicBuf* buffer,
                     int slot,
                     int redraw,
                     const CQmRect<int>* changed,
                     int changedCount) {
    const bool useCache = use == CacheUse::kUse;
    ViewRenderer& r = gApp.renderer;
    r.changed = {};
    if (r.surface == nullptr || r.surface->data == nullptr)
        return;
    if (slot != kSlotSource && slot != kSlotResult) {
        // The whole surface, not only the window's part: a window enlarged later must not uncover the
        // picture that was there before.
        SQmPicBuf whole = *r.surface;
        whole.components = 3;
        whole.bitsPerComponent = 8;
        CQmPicBufAPI::SetConst(whole, {0, 0, whole.width, whole.height}, kViewGrey);
        r.shown.valid = false;
        return;
    }
    RECT client{};
    GetClientRect(r.ownerWindow, &client);
    const int W = std::min<int>(client.right - client.left, r.surface->width);
    const int H = std::min<int>(client.bottom - client.top, r.surface->height);
    if (W <= 0 || H <= 0)
        return;

    SQmPicBuf target = *r.surface;  // the surface seen as a W x H picture with its own stride
    target.width = W;
    target.height = H;
    target.components = 3;
    target.bitsPerComponent = 8;
    const CQmRect<int> all{0, 0, W, H};

    SQmPicBuf& cache = slot == kSlotSource ? r.sourceCache.buf() : r.resultCache.buf();
    // Without its cache (the source's, given up for a whole fusion) a picture already in the view's form is
    // shown from its own buffer.
    const SQmPicBuf* shownPicture = &cache;
    if (use == CacheUse::kBypass) {
        if (!InViewForm(buffer))
            return;
        shownPicture = buffer;
    } else if (useCache) {
        if (cache.data == nullptr) {
            if (!InViewForm(buffer))
                return;
            shownPicture = buffer;
        }
    } else {
        if (buffer == nullptr || buffer->data == nullptr || !FillCache(cache, *buffer))
            return;
    }
    ViewRenderer::Shown& shown = r.shown;
    if (redraw) {
        const ViewPlacement placement = gApp.Placement();
        int dx = 0, dy = 0;
        const SQmPicBuf& picture = *shownPicture;
        const bool movable = useCache && shown.valid && shown.surface == target.data && shown.cache == picture.data &&
                             shown.slot == slot && shown.width == W && shown.height == H &&
                             ViewShiftOf(shown.placement, placement, dx, dy) && std::abs(dx) < W && std::abs(dy) < H;
        if (movable) {
            // A pan: what stays in the window moves, and only the uncovered bands are rendered. Without a move,
            // only the outline's old place and the changed rectangles are.
            WindowRect touched{};
            if (dx != 0 || dy != 0)
                MoveView(target, dx, dy);
            if (shown.outlined) {
                for (const WindowRect& run : OutlineRuns(shown.outline, dx, dy, W, H)) {
                    RenderViewArea(target, picture, placement, run);
                    Cover(touched, run);
                }
            }
            for (int i = 0; i < changedCount; ++i) {
                const WindowRect area = ViewAreaOf(changed[i], W, H);
                RenderViewArea(target, picture, placement, area);
                Cover(touched, area);
            }
            if (dx == 0 && dy == 0)
                r.changed = touched;
            if (dy != 0)
                RenderViewArea(target, picture, placement, {0, dy > 0 ? 0 : H + dy, W, dy > 0 ? dy : H});
            if (dx != 0) {
                RenderViewArea(target, picture, placement,
                               {dx > 0 ? 0 : W + dx, dy > 0 ? dy : 0, dx > 0 ? dx : W, dy < 0 ? H + dy : H});
            }
        } else {
            RenderViewArea(target, picture, placement, all);
        }
        shown = {true, target.data, picture.data, slot, W, H, placement, false, {}};
    } else if (use == CacheUse::kRefresh && slot == shown.slot) {
        // The cache changed under the picture shown. The other slot's cache (the source's, copied after every
        // load) leaves the shown picture as it is, so the first pan after a load still moves it.
        shown.valid = false;
    }
    if (const int32_t* overlay = r.overlayRect.load()) {
        long long corners[4];
        InvertOutline(target, overlay, corners);
        if (redraw) {
            shown.outlined = true;
            std::copy(corners, corners + 4, shown.outline);
            if (!Empty(r.changed)) {
                for (const WindowRect& run : OutlineRuns(corners, 0, 0, W, H))
                    Cover(r.changed, run);
            }
        } else {
            shown.valid = false;  // inverted again over what was there: no longer known
        }
    }
}

}  // namespace

void RenderView(int useCache, const SQmPicBuf* buffer, int slot, int redraw) {
    RenderViewParts(useCache ? CacheUse::kUse : CacheUse::kRefresh, buffer, slot, redraw, nullptr, 0);
}

void OnResultChanged() {
    ViewRenderer& r = gApp.renderer;
    const ViewRenderer::Change* change = r.resultChange.load();
    const SQmPicBuf& result = gDocument.resultBuffer;
    const SQmPicBuf& cache = r.resultCache.buf();
    // The named rectangles alone go into the cache where it holds the result as it is (upright, 8 bits x 3).
    const bool inPlace = change && change->count > 0 && change->count <= 2 && gDocument.orientation == 1 &&
                         result.data && result.components == 3 && result.bitsPerComponent == 8 && cache.data &&
                         cache.width == result.width && cache.height == result.height && cache.components == 3 &&
                         cache.bitsPerComponent == 8;
    if (!inPlace) {
        ShowWholeResult();
        return;
    }
    CQmRect<int> parts[2];
    int count = 0;
    for (int i = 0; i < change->count; ++i) {
        const CQmRect<int>& c = change->rects[i];
        const CQmRect<int> a{std::max(c.left, 0), std::max(c.top, 0), std::min(c.right, result.width),
                             std::min(c.bottom, result.height)};
        if (Empty(a))
            continue;
        CQmPicBufAPI::CopyRect(r.resultCache.buf(), result, {a.left, a.top}, {a.left, a.top},
                               {a.right - a.left, a.bottom - a.top});
        parts[count++] = a;
    }
    RenderViewParts(CacheUse::kUse, &result, kSlotResult, 1, parts, count);
    RepaintChangedView();
}

void ShowWholeResult() {
    ViewRenderer& r = gApp.renderer;
    const SQmPicBuf& result = gDocument.resultBuffer;
    if (!InViewForm(&result)) {
        RenderView(0, &result, kSlotResult, 1);
        RepaintMainWindow();
        return;
    }
    // Nothing else writes the result meanwhile (its writers wait for this, or are this thread): the view shows it
    // straight from its bytes, and the cache takes them once they are on the screen.
    RenderViewParts(CacheUse::kBypass, &result, kSlotResult, 1, nullptr, 0);
    RepaintMainWindow();
    const bool shownWhole = r.shown.valid && r.shown.cache == result.data;
    if (FillCache(r.resultCache.buf(), result) && shownWhole)
        r.shown.cache = r.resultCache->data;
    else
        r.shown.valid = false;
}

void RepaintMainWindow() {
    if (gApp.mainWindow)
        SendMessageW(gApp.mainWindow, WM_PAINT, 0, 0);
}

void RepaintChangedView() {
    ViewRenderer& r = gApp.renderer;
    r.paintOnly = {r.changed.left, r.changed.top, r.changed.right, r.changed.bottom};
    RepaintMainWindow();
    r.paintOnly = {};
}

void OnViewPaint(HWND window) {
    RECT band{};
    GetClientRect(window, &band);
    band.top = ToolbarBottom() + 3;
    band.bottom -= StatusBarHeight();
    // A repaint of what a redraw changed copies that part (and whatever else waits to be painted) alone.
    RECT only{};
    const bool part = IntersectRect(&only, &gApp.renderer.paintOnly, &band) != FALSE;
    InvalidateRect(window, part ? &only : &band, FALSE);
    PAINTSTRUCT ps;
    HDC dc = BeginPaint(window, &ps);
    RECT r = ps.rcPaint;
    if (part) {
        if (!IntersectRect(&r, &r, &band))
            r = {};
    } else if (r.bottom != 0) {
        r.top = band.top;
        r.bottom = band.bottom;
    }
    // What lies beyond the surface (only when it could not grow) stays unpainted; the rest is copied.
    PaintDisplaySurface(gDocument, dc, r);
    EndPaint(window, &ps);
}

void WriteZoomText() {
    const std::string text = FormatZoomText(gApp.zoom);
    SetWindowTextW(gApp.zoomBox, WidenAscii(text).c_str());
}

void FitView() {
    ViewPlacement p = gApp.Placement();
    FitPlacement(p, MainClient().right, CurrentFitBand());
    gApp.SetPlacement(p);
    WriteZoomText();
    SetFocus(gApp.mainWindow);
}

POINT PictureToWindow(double x, double y) {
    const SQmPicBuf& s = gDocument.sourceBuffer;
    double ux, uy;
    OrientPoint(gDocument.orientation, s.width, s.height, x, y, ux, uy);
    int32_t wx = 0, wy = 0;
    CurrentViewMap().MapPointSrcToDst(wx, wy, ux, uy);
    return {wx, wy};
}

void WindowToPicture(int32_t x, int32_t y, double& px, double& py) {
    const SQmPicBuf& s = gDocument.sourceBuffer;
    double ux = 0, uy = 0;
    CurrentViewMap().MapPointDstToSrc(ux, uy, x, y);
    UnorientPoint(gDocument.orientation, s.width, s.height, ux, uy, px, py);
}

void CentreOnPicture() {
    ViewPlacement p = gApp.Placement();
    int w = 0, h = 0;
    UprightSize(gDocument.sourceBuffer, w, h);
    CentreAnchors(p, w, h);
    gApp.SetPlacement(p);
}

void ReleaseRendererPictures() {
    gApp.renderer.sourceCache.Reset();
    gApp.renderer.resultCache.Reset();
    gApp.renderer.shown.valid = false;
}

void OnViewZoomCommand(int command) {
    if (!SourceShown())
        return;
    switch (command) {
        case CmdZoomIn:
            gApp.zoom *= kZoomInFactor;
            break;
        case CmdZoomOut:
            gApp.zoom *= kZoomOutFactor;
            break;
        case CmdZoom100: {
            ResetMousePositions();
            ViewPlacement p = gApp.Placement();
            HundredPercentPlacement(p, MainClient().right, CurrentFitBand());
            gApp.SetPlacement(p);
            break;
        }
        case CmdZoomFit:
            ResetMousePositions();
            CentreOnPicture();
            FitView();
            break;
        default:
            return;
    }
    RenderZoomed();
}

void OnZoomBoxNotify(int code) {
    if (code == CBN_SELCHANGE) {
        const int index = static_cast<int>(SendMessageW(gApp.zoomBox, CB_GETCURSEL, 0, 0));
        gApp.zoom = ZoomForListEntry(index);
        gApp.dragAnchorX = gApp.dragAnchorY = 0;
        RenderZoomed();
    } else if (code == CBN_CLOSEUP) {
        SetFocus(gApp.mainWindow);
    }
}

void OnZoomTextCommit() {
    const int length = GetWindowTextLengthW(gApp.zoomBox);
    std::wstring text(static_cast<size_t>(length > 0 ? length : 0) + 1, L'\0');
    text.resize(static_cast<size_t>(GetWindowTextW(gApp.zoomBox, text.data(), static_cast<int>(text.size()))));
    // Enter, Esc or an arrow key over the box's own text is no typed zoom: a long zoom-in ("248832.0 %")
    // would otherwise be read as a request for the limit.
    const std::string own = FormatZoomText(gApp.zoom);
    if (text == std::wstring(own.begin(), own.end())) {
        SetFocus(gApp.mainWindow);
        return;
    }
    std::u16string typed;
    for (wchar_t c : text)
        typed.push_back(static_cast<char16_t>(c));
    const ZoomTextResult r = ParseZoomText(typed);
    if (!r.ok) {
        WriteZoomText();
        SetFocus(gApp.mainWindow);
        return;
    }
    gApp.zoom = r.percent / 100;
    WriteZoomText();
    SetFocus(gApp.mainWindow);
    gApp.dragAnchorX = gApp.dragAnchorY = 0;
    RenderZoomed();
}

void OnViewMouseWheel(HWND window, WPARAM wParam, LPARAM lParam) {
    if (!SourceShown() || gApp.dragging)
        return;
    POINT pt{GET_X_LPARAM(lParam), GET_Y_LPARAM(lParam)};
    ScreenToClient(window, &pt);
    int cx = pt.x, cy = pt.y;
    ViewPlacement p = gApp.Placement();
    int rw = 0, rh = 0, sw = 0, sh = 0;
    UprightSize(gDocument.resultBuffer, rw, rh);
    UprightSize(gDocument.sourceBuffer, sw, sh);
    WheelPlacement(p, cx, cy, GET_WHEEL_DELTA_WPARAM(wParam) > 0, rw, rh, sw, sh);
    gApp.lastMouseX = cx;
    gApp.lastMouseY = cy;
    gApp.SetPlacement(p);
    WriteZoomText();
    SetFocus(gApp.mainWindow);
    RenderView(1, &gDocument.resultBuffer, kSlotResult, 1);
    RepaintMainWindow();
}

void OnViewLeftDown(HWND window, WPARAM wParam, LPARAM lParam) {
    const int x = GET_X_LPARAM(lParam), y = GET_Y_LPARAM(lParam);
    gApp.lastMouseX = x;
    gApp.lastMouseY = y;
    if (y < ToolbarBottom() + 2 || y > MainClient().bottom - StatusBarHeight())
        return;
    HWND dialog = gApp.dialogMouseTarget.load();
    if (dialog && gApp.dialogOwnsDrag.load() == 1) {
        SendMessageW(dialog, WM_LBUTTONDOWN, wParam, lParam);
        return;
    }
    (void)window;
    gApp.dragging = 1;
    gApp.dragAnchorX = x;
    gApp.dragAnchorY = y;
}

void OnViewMouseMove(HWND, WPARAM wParam, LPARAM lParam) {
    if (HWND dialog = gApp.dialogMouseTarget.load()) {
        SendMessageW(dialog, WM_MOUSEMOVE, wParam, lParam);
        if (gApp.dialogOwnsDrag.load() == 1)
            return;
    }
    const int x = GET_X_LPARAM(lParam), y = GET_Y_LPARAM(lParam);
    gApp.lastMouseX = x;
    gApp.lastMouseY = y;
    if ((wParam & MK_LBUTTON) && gApp.dragging == 1) {
        ViewPlacement p = gApp.Placement();
        PanPlacement(p, gApp.dragAnchorX, gApp.dragAnchorY, x, y);
        gApp.SetPlacement(p);
        RenderView(1, &gDocument.resultBuffer, kSlotResult, 1);
        RepaintMainWindow();
        gApp.dragAnchorX = x;
        gApp.dragAnchorY = y;
    }
}

void OnViewLeftUp(HWND, WPARAM wParam, LPARAM lParam) {
    if (HWND dialog = gApp.dialogMouseTarget.load())
        SendMessageW(dialog, WM_LBUTTONUP, wParam, lParam);
    gApp.dragging = 0;
}

void OnViewDoubleClick() {
    if (!SourceShown())
        return;
    gApp.dragging = 0;
    ResetMousePositions();
    CentreOnPicture();
    FitView();
    RenderView(1, &gDocument.resultBuffer, kSlotResult, 1);
    RepaintMainWindow();
}

void OnViewRightDown() {
    if (gDocument.sourceBuffer.data)
        RenderView(1, &gDocument.sourceBuffer, kSlotSource, 1);
    RepaintMainWindow();
}

void OnViewRightUp() {
    if (gDocument.resultBuffer.data)
        RenderView(1, &gDocument.resultBuffer, kSlotResult, 1);
    RepaintMainWindow();
}

void OnViewSize() {
    // A window larger than the surface (a maximised window on a 4K or 5K screen) gets a larger one.
    const RECT client = MainClient();
    // Without memory for a larger one the old surface stays, and painting keeps to it.
    static_cast<void>(EnsureDisplaySurface(gDocument, client.right, client.bottom));
    RenderView(1, &gDocument.resultBuffer, kSlotResult, 1);
    RepaintMainWindow();
}

bool OnViewSetCursor(HWND window, LPARAM lParam) {
    HWND dialog = gApp.dialogMouseTarget.load();
    if (!dialog)
        return false;
    const UINT cause = HIWORD(lParam);
    const POINT pt = CursorInClient(window);
    const LPARAM at = MAKELPARAM(pt.x, pt.y);
    switch (cause) {
        case WM_LBUTTONDOWN:
            SendMessageW(window, WM_LBUTTONDOWN, 0, at);
            SetFocus(dialog);
            break;
        case WM_LBUTTONUP:
        case WM_LBUTTONDBLCLK:
        case WM_RBUTTONDOWN:
        case WM_RBUTTONUP:
            SendMessageW(window, cause, 0, at);
            break;
        case WM_MOUSEMOVE:
            SendMessageW(window, WM_MOUSEMOVE, MK_LBUTTON, at);
            break;
        default:
            break;
    }
    return true;
}

LRESULT CALLBACK ZoomBoxSubclassProc(HWND box, UINT message, WPARAM wParam, LPARAM lParam) {
    switch (message) {
        case CB_GETDROPPEDSTATE:
            // The edit field asks this on Enter: commit the typed zoom first.
            SendMessageW(gApp.mainWindow, MSG_ZOOM_TEXT_COMMIT, 0, 0);
            break;
        case WM_MOUSEWHEEL:
            SetFocus(gApp.mainWindow);
            return 0;
        default:
            break;
    }
    return CallWindowProcW(gApp.zoomBoxDefaultProc, box, message, wParam, lParam);
}
