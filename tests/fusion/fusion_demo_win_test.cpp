// A user's session with a real photograph, for looking at: load, Solvane UP with a dragged preview
// and OK, then Solvane DOWN with the stretch and OK, pausing at each step so a screenshot can be taken
// from outside (import -window root). Prints the times of the preparation and the fusions.
// Run with SP_DEMO_PHOTO=<photo> and --gtest_also_run_disabled_tests.
#include <windows.h>

#include <gtest/gtest.h>

#include <cstdio>
#include <cstdlib>
#include <string>

#include "app/jobs_win.h"
#include "fusion/fusion_dialog_win.h"
#include "fusion/prepare_win.h"
#include "fusion_app_harness_win.h"
#include "resources/resource.h"

namespace {

ULONGLONG gHandoverTick = 0;
bool gUp = true;

void Pause(int ms) {
    FusionApp::PumpUntil([] { return false; }, ms);
}

void Note(const char* what) {
    std::printf("[demo %8.3f s] %s\n", GetTickCount64() / 1000.0, what);
    std::fflush(stdout);
}

void CALLBACK Script(HWND, UINT, UINT_PTR id, DWORD) {
    HWND dialog = gFusionDialog.dialog;
    if (!dialog || !IsWindowVisible(dialog))
        return;
    KillTimer(nullptr, id);
    std::printf("first preview: %.2f s\n", (GetTickCount64() - gHandoverTick) / 1000.0);
    Note("dialog open");
    Pause(2500);
    if (gUp) {
        // Drag the region a little to the left and up, as a user would.
        POINT c{};
        int32_t rx0, ry0, rx1, ry1;
        const RegionF& f = gFusionDialog.previewRectF;
        CurrentViewMap().MapPointSrcToDst(rx0, ry0, f.x0, f.y0);
        CurrentViewMap().MapPointSrcToDst(rx1, ry1, f.x1, f.y1);
        c.x = (rx0 + rx1) / 2;
        c.y = (ry0 + ry1) / 2;
        SendMessageW(gApp.mainWindow, WM_MOUSEMOVE, MK_LBUTTON, MAKELPARAM(c.x, c.y));
        SendMessageW(gApp.mainWindow, WM_LBUTTONDOWN, 0, MAKELPARAM(c.x, c.y));
        for (int i = 1; i <= 40; ++i)
            SendMessageW(gApp.mainWindow, WM_MOUSEMOVE, MK_LBUTTON, MAKELPARAM(c.x - 4 * i, c.y - 2 * i));
        const ULONGLONG t = GetTickCount64();
        SendMessageW(gApp.mainWindow, WM_LBUTTONUP, 0, MAKELPARAM(c.x - 160, c.y - 80));
        std::printf("preview after drag: %.2f s\n", (GetTickCount64() - t) / 1000.0);
        Note("dragged");
        Pause(2500);
    } else {
        SendDlgItemMessageW(dialog, IDC_FU_STRETCH, BM_CLICK, 0, 0);
        Note("stretch on");
        Pause(2500);
    }
    const ULONGLONG t = GetTickCount64();
    SendMessageW(dialog, WM_COMMAND, IDOK, 0);  // the fusion runs on a worker; the dialog closes at its end
    FusionApp::PumpUntil([] { return !gFusionDialog.fusing; }, 600000);
    std::printf("fusion on OK (with closing): %.2f s\n", (GetTickCount64() - t) / 1000.0);
}

INT_PTR TimedFusionDialog(ImageDocument& document) {
    gHandoverTick = GetTickCount64();
    SetTimer(nullptr, 0, 50, Script);
    return RunFusionDialog(document);
}

TEST(FusionDemo, DISABLED_UserSessionWithScreenshots) {
    const char* photo = std::getenv("SP_DEMO_PHOTO");
    ASSERT_TRUE(photo);
    FusionApp::Start();
    MoveWindow(gApp.mainWindow, 0, 0, 1400, 950, TRUE);
    const std::string narrow(photo);
    ASSERT_TRUE(FusionApp::Load(std::wstring(narrow.begin(), narrow.end())));
    Note("loaded");
    Pause(3000);
    INT_PTR (*saved)(ImageDocument&) = gAppHooks.runFusionDialog;
    gAppHooks.runFusionDialog = TimedFusionDialog;
    for (bool up : {true, false}) {
        gUp = up;
        gApp.unsavedResult = 0;
        const ULONGLONG t = GetTickCount64();
        SendMessageW(gApp.mainWindow, WM_COMMAND, up ? CmdSolvaneUp : CmdSolvaneDown, 0);
        FusionApp::PumpUntil([] { return gHandoverTick != 0 || !JobRunning(); });
        std::printf("%s preparation: %.2f s\n", up ? "UP" : "DOWN", (gHandoverTick - t) / 1000.0);
        FusionApp::PumpUntil([] { return !JobRunning(); });
        gHandoverTick = 0;
        Note(up ? "UP done" : "DOWN done");
        Pause(3500);
    }
    gAppHooks.runFusionDialog = saved;
    FusionApp::Stop();
}

}  // namespace
