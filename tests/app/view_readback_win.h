// What the view shows, checked the way a user would see it: the window's pixels read back against the display
// surface, and the surface against a whole redraw of the result.
#pragma once

#include <windows.h>

#include <algorithm>
#include <cstdint>
#include <cstring>
#include <vector>

#include "app/app_state_win.h"
#include "app/view_win.h"
#include "base/scoped_win.h"

// Pixels of client rows [top, bottom) that the window shows unlike the surface; -1 when they cannot be read.
inline int WindowPixelsUnlikeSurface(HWND window, int top, int bottom) {
    RECT c{};
    GetClientRect(window, &c);
    const SQmPicBuf& s = gDocument.displaySurface;
    const int w = std::min<int>(c.right, s.width);
    bottom = std::min<int>(bottom, s.height);
    const int h = bottom - top;
    if (w <= 0 || h <= 0)
        return 0;
    BITMAPINFO info{};
    info.bmiHeader = {sizeof(BITMAPINFOHEADER), w, -h, 1, 32, BI_RGB, 0, 0, 0, 0, 0};
    void* raw = nullptr;
    ScopedBitmap shot(CreateDIBSection(nullptr, &info, DIB_RGB_COLORS, &raw, nullptr, 0));
    ScopedMemoryDc shotDc(CreateCompatibleDC(nullptr));
    if (!shot || !shotDc || !raw)
        return -1;
    ScopedSelection selected(shotDc.get(), shot.get());
    HDC dc = GetDC(window);
    BitBlt(shotDc.get(), 0, 0, w, h, dc, 0, top, SRCCOPY);
    ReleaseDC(window, dc);
    GdiFlush();
    int wrong = 0;
    for (int y = 0; y < h; y++) {
        const uint8_t* row = s.data + static_cast<ptrdiff_t>(top + y) * s.stride;
        for (int x = 0; x < w; x++) {
            const uint8_t* p = row + 3 * x;
            const uint32_t got = static_cast<const uint32_t*>(raw)[static_cast<size_t>(y) * w + x] & 0xFFFFFF;
            wrong += got != (uint32_t{p[0]} | uint32_t{p[1]} << 8 | uint32_t{p[2]} << 16);
        }
    }
    return wrong;
}

// Whether the surface is what a whole redraw of the result leaves there (which it then holds).
inline bool SurfaceIsAWholeRedraw() {
    const SQmPicBuf& s = gDocument.displaySurface;
    const std::vector<uint8_t> shown(s.data, s.data + static_cast<size_t>(s.stride) * s.height);
    gApp.renderer.shown.valid = false;
    RenderView(1, &gDocument.resultBuffer, kSlotResult, 1);
    return std::memcmp(shown.data(), s.data, shown.size()) == 0;
}
