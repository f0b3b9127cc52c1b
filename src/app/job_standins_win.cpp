// The hooks through which the shell reaches the dialogs and the preparation worker, with stand-ins
// that keep the jobs running end to end until each real one is hooked in (gAppHooks below).
#include <windows.h>

#include <commctrl.h>

#include "app/app_messages.h"
#include "app/app_state_win.h"
#include "app/jobs_win.h"
#include "app/main_window_win.h"
#include "contrast/contrast_dialog_win.h"
#include "fusion/fusion_dialog_win.h"
#include "fusion/prepare_win.h"
#include "resources/resource.h"
#include "settings/options_dialog_win.h"
#include "settings/string_table_win.h"

namespace {

void PlaceBesideMainWindow(HWND dialog) {
    RECT main{};
    GetWindowRect(gApp.mainWindow, &main);
    SetWindowPos(dialog, nullptr, main.left + 10, main.top + 30, 0, 0, SWP_NOSIZE | SWP_NOZORDER | SWP_ASYNCWINDOWPOS);
}

// A processing dialog that only takes over the view's mouse and ends with OK or Cancel.
[[maybe_unused]] INT_PTR CALLBACK StandInProcessingProc(HWND dialog, UINT message, WPARAM wParam, LPARAM lParam) {
    switch (message) {
        case WM_INITDIALOG:
            gApp.dialogMouseTarget = dialog;
            gApp.dialogOwnsDrag = 0;
            PlaceBesideMainWindow(dialog);
            EnableMainMenuBar(false);
            EnableJobButtons(false);
            return TRUE;
        case WM_MOUSEWHEEL:
            SendMessageW(gApp.mainWindow, WM_MOUSEWHEEL, wParam, lParam);
            return TRUE;
        case WM_COMMAND:
            if (LOWORD(wParam) == IDOK || LOWORD(wParam) == IDCANCEL) {
                EndDialog(dialog, LOWORD(wParam));
                gApp.renderer.overlayRect = nullptr;
                gApp.dialogMouseTarget = nullptr;
                SendMessageW(gApp.mainWindow, MSG_RESULT_CHANGED, 0, 0);
                return TRUE;
            }
            return FALSE;
        default:
            return FALSE;
    }
}

[[maybe_unused]] INT_PTR StandInRunFusionDialog(ImageDocument& document) {
    DialogBoxParamW(MainInstance(), MAKEINTRESOURCEW(IDD_FUSION), gApp.mainWindow, StandInProcessingProc,
                    reinterpret_cast<LPARAM>(&document));
    EnableMainMenuBar(true);
    EnableJobButtons(true);
    return 1;
}

// Shows the progress of 39 steps without making tiles; honours Abort like the real worker.
[[maybe_unused]] DWORD StandInPrepareExposures(ImageDocument& document) {
    SetMainCursor(IDC_WAIT);
    EnableMainMenuBar(false);
    EnableJobButtons(false);
    HWND progress = document.progressDialog;
    SetWindowTextW(progress, Str(1));
    SetProgressText(progress, Str(7));
    SendDlgItemMessageW(progress, IDC_PROGRESS_BAR, PBM_SETRANGE, 0, MAKELPARAM(0, 40));
    SendDlgItemMessageW(progress, IDC_PROGRESS_BAR, PBM_SETPOS, 0, 0);
    ShowWindow(progress, SW_SHOW);
    for (int n = 0; n < 39; ++n) {
        Sleep(20);
        if (!gApp.abortRequested) {
            wchar_t text[64];
            wsprintfW(text, L"%s%i%%", Str(14), n * 5 / 2 + 5);
            SetProgressText(progress, text);
        }
        SendDlgItemMessageW(progress, IDC_PROGRESS_BAR, PBM_SETPOS, n + 1, 0);
        if (gApp.abortRequested) break;
    }
    SendMessageW(progress, WM_COMMAND, IDOK, 0);
    if (gApp.abortRequested) {
        SetMainCursor(IDC_ARROW);
        LoadImageFile(document, gApp.fusionSourcePath);
    } else {
        SetMainCursor(IDC_ARROW);
        SendMessageW(gApp.mainWindow, WM_COMMAND, ID_FUSION_READY, 0);
    }
    EnableMainMenuBar(true);
    EnableJobButtons(true);
    return 0;
}

}  // namespace

AppHooks gAppHooks = {
    ShowOptionsDialog,
    SmartContrastDialogProc,
    RunFusionDialog,
    PrepareExposures,
};
