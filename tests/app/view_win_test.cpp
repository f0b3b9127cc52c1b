#include "app/app_fixture_win.h"

#include <windowsx.h>

#include <chrono>
#include <cstdio>

#include "base/app_messages.h"
#include "app/dpi_scale.h"
#include "app/view_math.h"
#include "app/view_win.h"
#include "imaging/gdiplus_fixtures_win.h"
#include "imaging/main_window_link_win.h"
#include "imaging/orientation.h"

namespace {

void TypeZoom(const wchar_t* text) {
    SetWindowTextW(gApp.zoomBox, text);
    // What the box's edit field asks when Enter is pressed.
    SendMessageW(gApp.zoomBox, CB_GETDROPPEDSTATE, 0, 0);
}

LPARAM ScreenPoint(HWND window, int x, int y) {
    POINT pt{x, y};
    ClientToScreen(window, &pt);
    return MAKELPARAM(pt.x, pt.y);
}

}  // namespace

TEST_F(MainWindowTest, ZoomButtonsWriteTheirTexts) {
    LoadPicture();
    Command(CmdZoom100);
    EXPECT_EQ(ZoomText(), L"100.0 %");
    Command(CmdZoomIn);
    EXPECT_EQ(ZoomText(), L"120.0 %");
    Command(CmdZoom100);
    Command(CmdZoomOut);
    EXPECT_EQ(ZoomText(), L"83.3 %");
    Command(CmdZoom100);
    for (int i = 0; i < 5; ++i)
        Command(CmdZoomIn);
    EXPECT_EQ(ZoomText(), L"248.8 %");
    EXPECT_EQ(GetFocus(), window);
}

TEST_F(MainWindowTest, ZoomBoxListAndTypedPercentages) {
    LoadPicture();
    SendMessageW(gApp.zoomBox, CB_SETCURSEL, 6, 0);
    SendMessageW(window, WM_COMMAND, MAKEWPARAM(CmdZoomBox, CBN_SELCHANGE), reinterpret_cast<LPARAM>(gApp.zoomBox));
    EXPECT_EQ(gApp.zoom, 4.0);
    EXPECT_EQ(ZoomText(), L"400.0 %");

    TypeZoom(L"5");
    EXPECT_EQ(ZoomText(), L"10.0 %");
    EXPECT_DOUBLE_EQ(gApp.zoom, 0.1);
    TypeZoom(L"1500");
    EXPECT_EQ(ZoomText(), L"800.0 %");
    TypeZoom(L"75.5%");
    EXPECT_EQ(ZoomText(), L"75.5 %");
    EXPECT_DOUBLE_EQ(gApp.zoom, 0.755);
    TypeZoom(L"abc");
    EXPECT_EQ(ZoomText(), L"75.5 %");
    EXPECT_DOUBLE_EQ(gApp.zoom, 0.755);
    EXPECT_EQ(GetFocus(), window);
    // The wheel over the box neither scrolls its list nor zooms; it hands the focus back.
    SetFocus(gApp.zoomBox);
    SendMessageW(gApp.zoomBox, WM_MOUSEWHEEL, MAKEWPARAM(0, WHEEL_DELTA), 0);
    EXPECT_EQ(GetFocus(), window);
    EXPECT_EQ(ZoomText(), L"75.5 %");
    EXPECT_EQ(SendMessageW(gApp.zoomBox, CB_GETCURSEL, 0, 0), 6);
}

TEST_F(MainWindowTest, EnterInTheZoomBoxCommitsTheTypedZoom) {
    LoadPicture();
    HWND edit = GetWindow(gApp.zoomBox, GW_CHILD);
    ASSERT_NE(edit, nullptr);
    SetWindowTextW(gApp.zoomBox, L"150,5");
    SendMessageW(edit, WM_CHAR, VK_RETURN, 0);  // what Enter becomes after TranslateMessage
    EXPECT_EQ(ZoomText(), L"150.5 %");

    // Far beyond 800 % by the wheel and buttons: Enter over the box's own text keeps that zoom.
    for (int i = 0; i < 40; ++i)
        Command(CmdZoomIn);
    const double zoomed = gApp.zoom;
    const std::wstring shown = ZoomText();
    ASSERT_GT(shown.size(), 9u);
    SendMessageW(edit, WM_CHAR, VK_RETURN, 0);
    EXPECT_EQ(gApp.zoom, zoomed);
    EXPECT_EQ(ZoomText(), shown);
}

TEST_F(MainWindowTest, WheelStaysBetweenHundredPixelsAndEightHundredPercent) {
    LoadPicture(4000, 3000, L"big.bmp");
    const RECT c = Client();
    const LPARAM at = ScreenPoint(window, c.right / 2, c.bottom / 2);
    for (int i = 0; i < 40; ++i) {
        SendMessageW(window, WM_MOUSEWHEEL, MAKEWPARAM(0, -WHEEL_DELTA), at);
        EXPECT_GE(gApp.zoom, 100.0 / 4000);
    }
    EXPECT_EQ(ZoomText(), L"2.5 %");
    for (int i = 0; i < 40; ++i) {
        SendMessageW(window, WM_MOUSEWHEEL, MAKEWPARAM(0, WHEEL_DELTA), at);
        EXPECT_LE(gApp.zoom, 8.0);
    }
    EXPECT_EQ(ZoomText(), L"800.0 %");
    // Not while a drag is in progress.
    gApp.dragging = 1;
    SendMessageW(window, WM_MOUSEWHEEL, MAKEWPARAM(0, -WHEEL_DELTA), at);
    EXPECT_EQ(gApp.zoom, 8.0);
    gApp.dragging = 0;
}

TEST_F(MainWindowTest, WheelKeepsThePictureUnderTheCursor) {
    LoadPicture();
    const int x = 300, y = 250;
    double ix, iy;
    CurrentViewMap().MapPointDstToSrc(ix, iy, x, y);
    SendMessageW(window, WM_MOUSEWHEEL, MAKEWPARAM(0, WHEEL_DELTA), ScreenPoint(window, x, y));
    int wx, wy;
    CurrentViewMap().MapPointSrcToDst(wx, wy, ix, iy);
    EXPECT_EQ(wx, x);
    EXPECT_EQ(wy, y);
    EXPECT_EQ(gApp.lastMouseX, x);
}

TEST_F(MainWindowTest, RightButtonShowsTheSource) {
    LoadPicture();
    std::memset(gDocument.resultBuffer.data, 255, static_cast<size_t>(gDocument.resultBuffer.size));
    SendMessageW(window, MSG_RESULT_CHANGED, 0, 0);
    const RECT c = Client();
    const int x = c.right / 2, y = static_cast<int>(gApp.anchorWinY);
    EXPECT_EQ(SurfacePixel(x, y)[2], 255);
    SendMessageW(window, WM_RBUTTONDOWN, MK_RBUTTON, MAKELPARAM(x, y));
    EXPECT_EQ(SurfacePixel(x, y)[2], 0);  // the source has no red
    SendMessageW(window, WM_RBUTTONUP, 0, MAKELPARAM(x, y));
    EXPECT_EQ(SurfacePixel(x, y)[2], 255);
    // The zoom commands show the loaded picture until the first fusion.
    Command(CmdZoomIn);
    EXPECT_EQ(SurfacePixel(x, y)[2], 0);
    // Pan, wheel and size change show the result.
    SendMessageW(window, WM_SIZE, SIZE_RESTORED, MAKELPARAM(c.right, c.bottom));
    EXPECT_EQ(SurfacePixel(x, y)[2], 255);

    // With the view's copy of the source given up (a whole fusion runs), the button shows the same pixels
    // from the source itself; the copy comes back afterwards.
    SendMessageW(window, WM_RBUTTONDOWN, MK_RBUTTON, MAKELPARAM(x, y));
    const std::vector<uint8_t> withCopy = SurfaceSnapshot();
    SendMessageW(window, WM_RBUTTONUP, 0, MAKELPARAM(x, y));
    MainLink().KeepSourceView(false);
    EXPECT_EQ(gApp.renderer.sourceCache->data, nullptr);
    SendMessageW(window, WM_RBUTTONDOWN, MK_RBUTTON, MAKELPARAM(x, y));
    EXPECT_EQ(SurfaceSnapshot(), withCopy);
    SendMessageW(window, WM_RBUTTONUP, 0, MAKELPARAM(x, y));
    MainLink().KeepSourceView(true);
    ASSERT_NE(gApp.renderer.sourceCache->data, nullptr);
    EXPECT_EQ(std::memcmp(gApp.renderer.sourceCache->data, gDocument.sourceBuffer.data,
                          static_cast<size_t>(gDocument.sourceBuffer.size)),
              0);
}

// Whatever the zoom and pan, the view is the picture resampled over grey, to the last pixel at its edges
// (the surface is not cleared whole before each redraw, and a pan moves what stays and renders only what it
// uncovers).
TEST_F(MainWindowTest, TheViewIsThePictureResampledOverGrey) {
    LoadPicture(401, 299);
    const RECT c = Client();
    auto expectView = [&](const char* what) {
        Picture expected;
        ASSERT_EQ(CQmPicBufAPI::ReinitHeap(expected.buf(), c.right, c.bottom, 3, 8), 0);
        CQmPicBufAPI::SetConst(expected.buf(), {0, 0, c.right, c.bottom}, kViewGrey);
        CQmPicBufAPI::TransformBilinearFast(expected.buf(), gApp.renderer.resultCache.buf(), CurrentViewMap());
        int differing = 0;
        for (int y = 0; y < c.bottom; ++y)
            differing += std::memcmp(SurfacePixel(0, y), expected->data + y * expected->stride, c.right * 3) != 0;
        EXPECT_EQ(differing, 0) << what;
    };
    // Drag steps in every direction, one of them farther than the window is wide.
    auto dragAndExpect = [&](const char* what) {
        const POINT steps[] = {{300, 300}, {307, 289}, {281, 301}, {281, 340}, {322, 340}, {-700, 300}, {300, 300}};
        SendMessageW(window, WM_LBUTTONDOWN, MK_LBUTTON, MAKELPARAM(steps[0].x, steps[0].y));
        for (const POINT& p : steps) {
            SendMessageW(window, WM_MOUSEMOVE, MK_LBUTTON, MAKELPARAM(p.x, p.y));
            expectView(what);
        }
        SendMessageW(window, WM_LBUTTONUP, 0, MAKELPARAM(300, 300));
    };
    expectView("fitted");
    dragAndExpect("dragged, fitted");
    POINT corner{c.right - 5, c.bottom - 40};
    ClientToScreen(window, &corner);
    for (int i = 0; i < 3; ++i)
        SendMessageW(window, WM_MOUSEWHEEL, MAKEWPARAM(0, WHEEL_DELTA), MAKELPARAM(corner.x, corner.y));
    expectView("zoomed in at a corner");
    dragAndExpect("dragged, zoomed in");
    SendMessageW(window, WM_LBUTTONDOWN, MK_LBUTTON, MAKELPARAM(400, 300));
    SendMessageW(window, WM_MOUSEMOVE, MK_LBUTTON, MAKELPARAM(131, 77));
    SendMessageW(window, WM_LBUTTONUP, 0, MAKELPARAM(131, 77));
    expectView("panned partly off the window");
    for (int i = 0; i < 12; ++i)
        SendMessageW(window, WM_MOUSEWHEEL, MAKEWPARAM(0, -WHEEL_DELTA), MAKELPARAM(corner.x, corner.y));
    expectView("zoomed out");
    dragAndExpect("dragged, zoomed out");
}

TEST_F(MainWindowTest, PanningMovesThePictureOneToOne) {
    LoadPicture();
    Command(CmdZoom100);
    const RECT c = Client();
    const int x0 = c.right / 2 - 25, y0 = c.bottom / 2 - 25;
    std::vector<uint8_t> before;
    for (int y = y0; y < y0 + 50; ++y)
        before.insert(before.end(), SurfacePixel(x0, y), SurfacePixel(x0 + 50, y));
    SendMessageW(window, WM_LBUTTONDOWN, MK_LBUTTON, MAKELPARAM(300, 300));
    EXPECT_EQ(gApp.dragging, 1);
    SendMessageW(window, WM_MOUSEMOVE, MK_LBUTTON, MAKELPARAM(310, 295));
    SendMessageW(window, WM_MOUSEMOVE, MK_LBUTTON, MAKELPARAM(317, 289));
    SendMessageW(window, WM_LBUTTONUP, 0, MAKELPARAM(317, 289));
    EXPECT_EQ(gApp.dragging, 0);
    std::vector<uint8_t> after;
    for (int y = y0 - 11; y < y0 + 50 - 11; ++y)
        after.insert(after.end(), SurfacePixel(x0 + 17, y), SurfacePixel(x0 + 17 + 50, y));
    EXPECT_EQ(before, after);
    // Moves without the button, or after the release, do not pan.
    const double ax = gApp.anchorImgX;
    SendMessageW(window, WM_MOUSEMOVE, 0, MAKELPARAM(100, 100));
    EXPECT_EQ(gApp.anchorImgX, ax);
    // Presses on the toolbar do not start a drag.
    SendMessageW(window, WM_LBUTTONDOWN, MK_LBUTTON, MAKELPARAM(300, 1));
    EXPECT_EQ(gApp.dragging, 0);
}

TEST_F(MainWindowTest, DoubleClickFitsAgain) {
    LoadPicture();
    const double fitted = gApp.zoom;
    Command(CmdZoomIn);
    SendMessageW(window, WM_LBUTTONDOWN, MK_LBUTTON, MAKELPARAM(300, 300));
    SendMessageW(window, WM_MOUSEMOVE, MK_LBUTTON, MAKELPARAM(340, 300));
    SendMessageW(window, WM_LBUTTONDBLCLK, MK_LBUTTON, MAKELPARAM(340, 300));
    EXPECT_EQ(gApp.zoom, fitted);
    EXPECT_EQ(gApp.anchorImgX, 200.0);
    EXPECT_EQ(gApp.dragging, 0);
}

TEST_F(MainWindowTest, OverlayOutlineInvertsEachPixelOnce) {
    LoadPicture();
    SendMessageW(window, MSG_REDRAW_RESULT, 0, 0);
    const std::vector<uint8_t> plain = SurfaceSnapshot();
    int32_t rect[4] = {50, 40, 250, 200};
    gApp.renderer.overlayRect = rect;
    SendMessageW(window, MSG_REDRAW_RESULT, 0, 0);
    const std::vector<uint8_t> outlined = SurfaceSnapshot();
    gApp.renderer.overlayRect = nullptr;

    const RECT c = Client();
    int X0, Y0, X1, Y1;
    CurrentViewMap().MapPointSrcToDst(X0, Y0, rect[0], rect[1]);
    CurrentViewMap().MapPointSrcToDst(X1, Y1, rect[2], rect[3]);
    ASSERT_GE(X1 - X0, 3);
    size_t inverted = 0, kept = 0, wrong = 0;
    for (int y = 0; y < c.bottom; ++y) {
        for (int x = 0; x < c.right; ++x) {
            const bool onOutline = (x >= X0 && x <= X1 && y >= Y0 && y <= Y1) &&
                                   (x <= X0 + 1 || x >= X1 - 1 || y <= Y0 + 1 || y >= Y1 - 1);
            for (int k = 0; k < 3; ++k) {
                const size_t i = (static_cast<size_t>(y) * c.right + x) * 3 + k;
                const uint8_t want = onOutline ? static_cast<uint8_t>(~plain[i]) : plain[i];
                if (outlined[i] != want)
                    ++wrong;
            }
            (onOutline ? inverted : kept)++;
        }
    }
    EXPECT_EQ(wrong, 0u);
    EXPECT_EQ(inverted, static_cast<size_t>((X1 - X0 + 1) * (Y1 - Y0 + 1) - (X1 - X0 - 3) * (Y1 - Y0 - 3)));
}

// A maximised window on a 5K screen: the surface grows with the window, and the window shows the picture
// to its far corner, read back from the screen. Runs on the large virtual screen only.
TEST_F(MainWindowTest, LargeScreenViewIsPaintedToTheFarCorner) {
    if (GetSystemMetrics(SM_CXSCREEN) < 5120 || GetSystemMetrics(SM_CYSCREEN) < 2880)
        GTEST_SKIP() << "needs a 5120 x 2880 screen (ctest's win_app_large_screen)";
    LoadPicture(1600, 800);  // wider than the band: fitted, it spans the whole width
    SetWindowPos(window, nullptr, 0, 0, 5120, 2880, SWP_NOZORDER);
    Pump();
    const RECT c = Client();
    ASSERT_GT(c.right, 3000);
    ASSERT_GT(c.bottom, 2000);
    const SQmPicBuf& s = gDocument.displaySurface;
    ASSERT_GE(s.width, c.right);
    ASSERT_GE(s.height, c.bottom);
    std::printf("[large] client %ld x %ld, surface %d x %d, %.1f MB\n", c.right, c.bottom, s.width, s.height,
                s.size / 1e6);

    Command(CmdZoomFit);
    const auto start = std::chrono::steady_clock::now();
    SendMessageW(window, MSG_REDRAW_RESULT, 0, 0);
    RedrawWindow(window, nullptr, nullptr, RDW_INVALIDATE | RDW_UPDATENOW);
    std::printf("[large] redraw at this size: %.1f ms\n",
                std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now() - start).count());
    Pump();

    const int band = (ToolbarClientBottom() + c.bottom) / 2;
    HDC dc = GetDC(window);
    for (const POINT p : {POINT{c.right - 4, band}, POINT{4000, band + 1100}, POINT{3100, band - 1000}}) {
        const uint8_t* px = SurfacePixel(p.x, p.y);
        EXPECT_EQ(px[2], 0) << "the picture, not the grey, at " << p.x << ", " << p.y;
        EXPECT_EQ(GetPixel(dc, p.x, p.y), RGB(px[2], px[1], px[0])) << "the window at " << p.x << ", " << p.y;
    }
    ReleaseDC(window, dc);
    TakeScreenshot("large_screen");

    // Made smaller again, the larger surface stays and the view is as before.
    SetWindowPos(window, nullptr, 0, 0, 960, 720, SWP_NOZORDER);
    Pump();
    EXPECT_EQ(gDocument.displaySurface.width, s.width);
}

TEST_F(MainWindowTest, PhotoOnScreen) {
    wchar_t photo[1024] = {};
    if (!GetEnvironmentVariableW(L"SP_PHOTO", photo, 1024))
        GTEST_SKIP() << "SP_PHOTO not set";
    prompter.fileAnswers.push_back({true, photo, 0});
    Command(CmdLoad);
    ASSERT_NE(gDocument.sourceBuffer.data, nullptr);
    TakeScreenshot("loaded_photo");
    SendMessageW(gApp.zoomBox, CB_SETCURSEL, 6, 0);
    SendMessageW(window, WM_COMMAND, MAKEWPARAM(CmdZoomBox, CBN_SELCHANGE), reinterpret_cast<LPARAM>(gApp.zoomBox));
    EXPECT_EQ(ZoomText(), L"400.0 %");
    TakeScreenshot("zoomed_400");
    int32_t rect[4] = {gDocument.sourceBuffer.width / 2 - 40, gDocument.sourceBuffer.height / 2 - 30,
                       gDocument.sourceBuffer.width / 2 + 40, gDocument.sourceBuffer.height / 2 + 30};
    gApp.renderer.overlayRect = rect;
    SendMessageW(window, MSG_REDRAW_RESULT, 0, 0);
    TakeScreenshot("overlay_outline");
    gApp.renderer.overlayRect = nullptr;
}

// The toolbar images, the buttons, the zoom box and its font follow the screen's DPI, at start and when
// the window moves to a screen of another DPI. Runs at 96 DPI here and at 144 and 192 in ctest's
// win_app_dpi144 and win_app_dpi192.
TEST_F(MainWindowTest, DpiScalesTheToolbarAndTheZoomBox) {
    auto expectScaled = [&](UINT dpi) {
        SCOPED_TRACE(testing::Message() << dpi << " DPI");
        const int cell = dpi > 168 ? 46 : dpi > 120 ? 35 : 23;
        int cx = 0, cy = 0;
        ImageList_GetIconSize(reinterpret_cast<HIMAGELIST>(SendMessageW(gApp.toolbar, TB_GETIMAGELIST, 0, 0)), &cx,
                              &cy);
        EXPECT_EQ(cx, cell);
        EXPECT_EQ(cy, cell);
        ImageList_GetIconSize(reinterpret_cast<HIMAGELIST>(SendMessageW(gApp.toolbar, TB_GETDISABLEDIMAGELIST, 0, 0)),
                              &cx, &cy);
        EXPECT_EQ(cx, cell);
        RECT button{}, placeholder{}, box{};
        SendMessageW(gApp.toolbar, TB_GETITEMRECT, 0, reinterpret_cast<LPARAM>(&button));
        EXPECT_GE(button.right - button.left, cell);
        SendMessageW(gApp.toolbar, TB_GETITEMRECT, SendMessageW(gApp.toolbar, TB_COMMANDTOINDEX, CmdZoomBox, 0),
                     reinterpret_cast<LPARAM>(&placeholder));
        EXPECT_EQ(placeholder.right - placeholder.left, ScaleToDpi(85, dpi));
        GetWindowRect(gApp.zoomBox, &box);
        EXPECT_EQ(box.right - box.left, placeholder.right - placeholder.left);
        LOGFONTW font{};
        GetObjectW(reinterpret_cast<HFONT>(SendMessageW(gApp.zoomBox, WM_GETFONT, 0, 0)), sizeof font, &font);
        EXPECT_EQ(font.lfHeight, ScaleToDpi(16, dpi));
    };
    const UINT dpi = GetDpiForWindow(window);
    expectScaled(dpi);
    TakeScreenshot(("dpi_" + std::to_string(dpi)).c_str());
    if (dpi != 96)
        return;
    // Dragged to a 200 % screen and back, with the sizes Windows suggests.
    RECT r{};
    GetWindowRect(window, &r);
    RECT large{r.left, r.top, r.left + 2 * (r.right - r.left), r.top + 2 * (r.bottom - r.top)};
    SendMessageW(window, WM_DPICHANGED, MAKEWPARAM(192, 192), reinterpret_cast<LPARAM>(&large));
    expectScaled(192);
    SendMessageW(window, WM_DPICHANGED, MAKEWPARAM(96, 96), reinterpret_cast<LPARAM>(&r));
    expectScaled(96);
    RECT now{};
    GetWindowRect(window, &now);
    EXPECT_EQ(now.right - now.left, r.right - r.left);
}

namespace {

// A 2:1 JPEG of four flat quadrants (red, green / blue, white) with an Exif APP1 naming orientation o.
std::wstring WriteOrientedJpeg(const std::wstring& path, int o) {
    ScopedGpBitmap bitmap = MakeBitmap(80, 40, PixelFormat24bppRGB, [](uint8_t* row, int y) {
        for (int x = 0; x < 80; ++x) {
            const bool right = x >= 40, bottom = y >= 20;
            const uint8_t b = bottom ? 255 : 0, g = right ? 255 : 0,
                          r = !bottom ? (right ? 0 : 255) : (right ? 255 : 0);
            row[x * 3 + 0] = bottom && right ? 255 : b;
            row[x * 3 + 1] = bottom && right ? 255 : g;
            row[x * 3 + 2] = r;
        }
    });
    EXPECT_TRUE(bitmap && SaveBitmap(bitmap.get(), path, L"image/jpeg"));
    std::vector<uint8_t> bytes = ReadWholeFile(path);
    const uint8_t exif[] = {0xFF,
                            0xE1,
                            0,
                            34,
                            'E',
                            'x',
                            'i',
                            'f',
                            0,
                            0,
                            'I',
                            'I',
                            42,
                            0,
                            8,
                            0,
                            0,
                            0,
                            1,
                            0,
                            0x12,
                            0x01,
                            3,
                            0,
                            1,
                            0,
                            0,
                            0,
                            static_cast<uint8_t>(o),
                            0,
                            0,
                            0,
                            0,
                            0,
                            0,
                            0};
    bytes.insert(bytes.begin() + 2, std::begin(exif), std::end(exif));
    EXPECT_TRUE(WriteWholeFile(path, bytes.data(), bytes.size()));
    return path;
}

}  // namespace

// Photos are shown upright as their orientation tag says, and the mouse maps through the turned view: each
// quadrant appears where a viewer shows it, and a window point leads back to the stored pixel under it.
TEST_F(MainWindowTest, PhotosShowUprightByTheirOrientationTag) {
    Create();
    // Stored quadrant centres and their colours (blue, green, red).
    const struct {
        double x, y;
        uint8_t b, g, r;
    } quadrants[] = {{20, 10, 0, 0, 255}, {60, 10, 0, 255, 0}, {20, 30, 255, 0, 0}, {60, 30, 255, 255, 255}};
    for (int o = 1; o <= 8; ++o) {
        const std::wstring path = WriteOrientedJpeg(folder.File(L"turned" + std::to_wstring(o) + L".jpg"), o);
        prompter.fileAnswers.push_back({true, path, 0});
        Command(CmdLoad);
        Pump();
        ASSERT_EQ(gDocument.sourceBuffer.width, 80) << o;  // the pixels stay as stored
        EXPECT_EQ(gDocument.orientation, o);
        // Fitted upright: portrait for the tags that turn by 90 degrees.
        const POINT tl = PictureToWindow(0, 0), br = PictureToWindow(80, 40);
        const long shownWidth = std::abs(br.x - tl.x), shownHeight = std::abs(br.y - tl.y);
        EXPECT_EQ(shownWidth < shownHeight, o >= 5) << o;
        for (const auto& q : quadrants) {
            double ux, uy;
            OrientPoint(o, 80, 40, q.x, q.y, ux, uy);
            // Where the upright picture's point lies in the window, by the placement alone.
            const int wx = static_cast<int>(gApp.anchorWinX + gApp.zoom * (ux - gApp.anchorImgX));
            const int wy = static_cast<int>(gApp.anchorWinY + gApp.zoom * (uy - gApp.anchorImgY));
            const uint8_t* p = SurfacePixel(wx, wy);
            EXPECT_NEAR(p[0], q.b, 40) << o << " at " << q.x << "," << q.y;
            EXPECT_NEAR(p[1], q.g, 40) << o << " at " << q.x << "," << q.y;
            EXPECT_NEAR(p[2], q.r, 40) << o << " at " << q.x << "," << q.y;
            double px, py;
            WindowToPicture(wx, wy, px, py);
            EXPECT_NEAR(px, q.x, 1.0) << o;
            EXPECT_NEAR(py, q.y, 1.0) << o;
        }
    }
}
