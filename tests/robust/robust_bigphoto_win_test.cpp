// A 12000 x 8000 colour photo end to end through the real main window: load, a pan step and a wheel zoom,
// Smart Contrast (open, a slider change, OK), Solvane UP (preparation, preview, the region dragged, a preview after the
// drag, whole fusion) and Save As. Too slow for the test run: scripts/bigphoto.sh and scripts/bench-program.sh run it
// and report the time of each step and the memory. SP_BIGPHOTO_CLIENT sets the main window's client area (3840x2160 for
// a 4K screen; the virtual screen must be larger).
#include <windows.h>
// After windows.h:
#include <gtest/gtest.h>
#include <psapi.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <functional>

#include "app/app_fixture_win.h"
#include "app/view_win.h"
#include "contrast/contrast_dialog_win.h"
#include "fusion/fusion_dialog_win.h"
#include "fusion/prepare_win.h"
#include "imaging/gdiplus_fixtures_win.h"
#include "robust/robust_watchdog_win.h"

namespace {

double Seconds(std::chrono::steady_clock::time_point since) {
    return std::chrono::duration<double>(std::chrono::steady_clock::now() - since).count();
}

void Report(const char* step, double seconds) {
    PROCESS_MEMORY_COUNTERS_EX m{};
    GetProcessMemoryInfo(GetCurrentProcess(), reinterpret_cast<PROCESS_MEMORY_COUNTERS*>(&m), sizeof m);
    std::printf("[bigphoto] %-40s %8.3f s   working set %6zu MB, peak so far %6zu MB\n", step, seconds,
                m.WorkingSetSize >> 20, m.PeakWorkingSetSize >> 20);
    std::fflush(stdout);
}

std::function<void(HWND)> gFusionScript;

// When the main window finished its first paint since gFirstPaint was cleared, and its last one: from then on
// the user sees what it painted.
std::chrono::steady_clock::time_point gFirstPaint, gLastPaint;
WNDPROC gMainProc = nullptr;

LRESULT CALLBACK PaintTimingProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
    const LRESULT result = CallWindowProcW(gMainProc, window, message, wParam, lParam);
    if (message == WM_PAINT) {
        gLastPaint = std::chrono::steady_clock::now();
        if (gFirstPaint == std::chrono::steady_clock::time_point{})
            gFirstPaint = gLastPaint;
    }
    return result;
}

void CALLBACK FusionTick(HWND, UINT, UINT_PTR id, DWORD) {
    HWND dialog = gFusionDialog.dialog;
    if (!dialog || !IsWindowVisible(dialog))
        return;
    KillTimer(nullptr, id);
    std::function<void(HWND)> script = std::move(gFusionScript);
    gFusionScript = nullptr;
    if (script)
        script(dialog);
}

class BigPhoto : public MainWindowTest {};

TEST_F(BigPhoto, DISABLED_TwelveThousandByEightThousandEndToEnd) {
    int width = 12000, height = 8000;
    if (const char* size = std::getenv("SP_BIGPHOTO_SIZE"))
        std::sscanf(size, "%dx%d", &width, &height);
    using Clock = std::chrono::steady_clock;
    Watchdog watchdog(3600000);  // names the step on a fault

    // A photo-like JPEG: sky gradient, textured ground, a dark patch.
    auto t = Clock::now();
    const std::wstring photo = folder.File(L"big photo.jpg");
    {
        ScopedGpBitmap bitmap = MakeBitmap(width, height, PixelFormat24bppRGB, [&](uint8_t* row, int y) {
            for (int x = 0; x < width; ++x) {
                const bool sky = y < height * 2 / 5;
                const int tex = ((x * 7 + y * 3) % 23) + ((x ^ y) & 7);
                const bool shadow = x > width / 6 && x < width / 3 && y > height / 2;
                int b = sky ? 235 - 60 * y / height : 30 + tex,
                    g = sky ? 200 - 70 * y / height : 60 + tex + 40 * x / width;
                int r = sky ? 170 - 90 * y / height : 45 + tex;
                if (shadow)
                    b /= 3, g /= 3, r /= 3;
                row[3 * x] = static_cast<uint8_t>(b);
                row[3 * x + 1] = static_cast<uint8_t>(g);
                row[3 * x + 2] = static_cast<uint8_t>(r);
            }
        });
        ASSERT_TRUE(bitmap);
        ASSERT_TRUE(SaveBitmap(bitmap.get(), photo, L"image/jpeg"));
    }
    std::printf("[bigphoto] %d x %d photo, %zu MB as JPEG\n", width, height, ReadWholeFile(photo).size() >> 20);
    Report("write the photo (test setup)", Seconds(t));

    if (const char* client = std::getenv("SP_BIGPHOTO_CLIENT")) {
        int cw = 0, ch = 0;
        std::sscanf(client, "%dx%d", &cw, &ch);
        RECT r{0, 0, cw, ch};
        AdjustWindowRectEx(&r, WS_OVERLAPPEDWINDOW, TRUE, 0);
        SetWindowPos(window, nullptr, 0, 0, r.right - r.left, r.bottom - r.top, SWP_NOZORDER);
        Pump();
        const RECT got = Client();
        std::printf("[bigphoto] client area %ld x %ld\n", got.right, got.bottom);
    }

    gMainProc =
        reinterpret_cast<WNDPROC>(SetWindowLongPtrW(window, GWLP_WNDPROC, reinterpret_cast<LONG_PTR>(PaintTimingProc)));
    watchdog.Begin(L"load");
    Pump();
    t = Clock::now();
    gFirstPaint = {};
    prompter.fileAnswers.push_back({true, photo, 0});
    Command(CmdLoad);
    ASSERT_EQ(std::wstring(sourceFilePath), photo);
    ASSERT_EQ(gDocument.sourceBuffer.width, width);
    ASSERT_NE(gFirstPaint, Clock::time_point{}) << "the loaded picture was never painted";
    Report("load: picture shown", std::chrono::duration<double>(gFirstPaint - t).count());
    Report("load", Seconds(t));

    // The view renders and paints inside these calls.
    {
        const RECT c = Client();
        const int cx = c.right / 2, cy = c.bottom / 2;
        SendMessageW(window, WM_LBUTTONDOWN, MK_LBUTTON, MAKELPARAM(cx, cy));
        t = Clock::now();
        SendMessageW(window, WM_MOUSEMOVE, MK_LBUTTON, MAKELPARAM(cx + 40, cy + 30));
        Report("view: pan step", Seconds(t));
        SendMessageW(window, WM_LBUTTONUP, 0, MAKELPARAM(cx + 40, cy + 30));
        POINT screen{cx, cy};
        ClientToScreen(window, &screen);
        t = Clock::now();
        SendMessageW(window, WM_MOUSEWHEEL, MAKEWPARAM(0, WHEEL_DELTA), MAKELPARAM(screen.x, screen.y));
        Report("view: wheel zoom", Seconds(t));
        Command(CmdZoomFit);
    }

    watchdog.Begin(L"Smart Contrast");
    t = Clock::now();
    Command(CmdSmartContrast);
    HWND contrast = nullptr;
    ASSERT_TRUE(PumpUntil(
        [&] {
            contrast = gApp.dialogMouseTarget.load();
            return (contrast && IsWindowVisible(contrast)) || !JobRunning();
        },
        600000));
    ASSERT_TRUE(contrast && JobRunning()) << "Smart Contrast refused the photo";
    Report("Smart Contrast: open (pyramid, render)", Seconds(t));
    t = Clock::now();
    const auto painted = gLastPaint;
    const uint32_t recomputes = SmartContrastRecomputeCount();
    PostMessageW(contrast, MSG_SC_RECOMPUTE, 1, 0);
    ASSERT_TRUE(PumpUntil([&] { return SmartContrastRecomputeCount() > recomputes; }, 600000));
    Pump();  // the dialog's thread waits until the view has taken the new result
    ASSERT_GT(gLastPaint, painted) << "the new result was never painted";
    Report("Smart Contrast: slider change until shown", std::chrono::duration<double>(gLastPaint - t).count());
    t = Clock::now();
    SendMessageW(contrast, WM_COMMAND, IDOK, 0);
    ASSERT_TRUE(PumpUntil([] { return !JobRunning(); }, 600000));
    Report("Smart Contrast: OK", Seconds(t));

    // Solvane UP: the dialog opens with its first preview once the 39 tiles are written.
    gApp.unsavedResult = 0;
    double preview = 0, fuse = 0;
    FusionStatus fused = FusionStatus::kNoPictures;
    gFusionScript = [&](HWND dialog) {
        auto s = Clock::now();
        SendMessageW(dialog, WM_LBUTTONUP, 1, 0);  // a forced preview
        preview = Seconds(s);
        Report("Solvane UP: preview", preview);
        // The region dragged by the mouse through the main window, then released: one preview.
        const Region r = CurrentPreviewRect();
        const POINT p = PictureToWindow((r.x0 + r.x1) / 2.0, (r.y0 + r.y1) / 2.0);
        SendMessageW(window, WM_MOUSEMOVE, 0, MAKELPARAM(p.x, p.y));
        SendMessageW(window, WM_LBUTTONDOWN, MK_LBUTTON, MAKELPARAM(p.x, p.y));
        s = Clock::now();
        for (int k = 1; k <= 8; ++k)
            SendMessageW(window, WM_MOUSEMOVE, MK_LBUTTON, MAKELPARAM(p.x - 5 * k, p.y - 3 * k));
        const double moves = Seconds(s);
        Report("Solvane UP: region drag step (outline)", moves / 8);
        preview += moves;
        s = Clock::now();
        SendMessageW(window, WM_LBUTTONUP, 0, MAKELPARAM(p.x - 40, p.y - 24));
        const double dragged = Seconds(s);
        Report("Solvane UP: preview after a drag", dragged);
        preview += dragged;
        // A user looks at the preview before OK (SP_BIGPHOTO_LOOK_MS, 0 by default: OK at once).
        const char* look = std::getenv("SP_BIGPHOTO_LOOK_MS");
        s = Clock::now();
        const auto lookEnd = s + std::chrono::milliseconds(look ? std::atoi(look) : 0);
        PumpUntil([&] { return Clock::now() >= lookEnd; }, 60000);
        preview += Seconds(s);  // not the preparation's
        s = Clock::now();
        SendMessageW(dialog, WM_COMMAND, IDOK, 0);  // the fusion runs on a worker; the dialog closes at its end
        PumpUntil([] { return !gFusionDialog.fusing; }, 3600000);
        fuse = Seconds(s);
        fused = gFusionDialog.lastStatus;
    };
    watchdog.Begin(L"Solvane UP");
    t = Clock::now();
    SetTimer(nullptr, 0, 50, FusionTick);
    Command(CmdSolvaneUp);
    ASSERT_TRUE(PumpUntil([] { return !JobRunning(); }, 3600000));
    EXPECT_EQ(exposureCount, 39);
    EXPECT_EQ(fused, FusionStatus::kDone);
    Report("Solvane UP: prepare + first preview", Seconds(t) - preview - fuse);
    Report("Solvane UP: whole fusion (OK)", fuse);

    watchdog.Begin(L"save");
    t = Clock::now();
    const std::wstring saved = folder.File(L"big photo-Solvane.jpg");
    prompter.fileAnswers.push_back({true, saved, 4});
    Command(CmdSaveAs);
    EXPECT_TRUE(FileExists(saved));
    EXPECT_EQ(prompter.messages.size(), 0u);
    Report("save as JPEG", Seconds(t));
    SetWindowLongPtrW(window, GWLP_WNDPROC, reinterpret_cast<LONG_PTR>(gMainProc));
    watchdog.End();
}

}  // namespace
