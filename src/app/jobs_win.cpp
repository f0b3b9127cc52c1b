// Starting and ending the background jobs, the progress dialog and the Fusion hand-over.
#include "app/jobs_win.h"

#include <commctrl.h>

#include "app/app_messages.h"
#include "app/app_state_win.h"
#include "app/main_window_win.h"
#include "base/prompt_win.h"
#include "resources/resource.h"
#include "settings/string_table_win.h"

namespace {

// A job counts from its start on the UI thread to the end of its thread.
bool StartJobThread(LPTHREAD_START_ROUTINE routine) {
    ++gApp.runningJobs;
    HANDLE thread = CreateThread(nullptr, 0, routine, &gDocument, 0, nullptr);
    if (!thread) {
        --gApp.runningJobs;
        return false;
    }
    CloseHandle(thread);  // never waited for
    return true;
}

}  // namespace

bool JobRunning() { return gApp.runningJobs.load() > 0; }

DWORD WINAPI SmartContrastThread(LPVOID document) {
    DialogBoxParamW(MainInstance(), MAKEINTRESOURCEW(IDD_SMART_CONTRAST), gApp.mainWindow,
                    gAppHooks.smartContrastDialogProc, reinterpret_cast<LPARAM>(document));
    EnableMainMenuBar(true);
    EnableJobButtons(true);
    --gApp.runningJobs;
    return 1;
}

DWORD WINAPI PreparationThread(LPVOID document) {
    gAppHooks.prepareExposures(*static_cast<ImageDocument*>(document));
    --gApp.runningJobs;
    return 0;
}

void OnSmartContrastCommand() {
    if (JobRunning() || !AskContinueWithoutSaving()) return;
    StartJobThread(SmartContrastThread);
}

void OnSolvaneCommand(bool up) {
    gApp.fusionUp = up ? 1 : 0;
    if (JobRunning() || !AskContinueWithoutSaving()) return;
    ImageDocument& doc = gDocument;
    wcsncpy(gApp.fusionSourcePath, sourceFilePath, kPathChars - 1);
    gApp.fusionSourcePath[kPathChars - 1] = 0;
    if (CQmPicBufAPI::ReinitHeap(gApp.sourceBackup, doc.sourceBuffer) == 0)
        CQmPicBufAPI::Copy(gApp.sourceBackup, doc.sourceBuffer);
    // The result is re-shaped only for a picture the worker accepts: re-shaping leaves its pixels
    // undefined, and a refused command must not leave a garbled result to be saved.
    if (doc.sourceBuffer.bitsPerComponent != 8 || doc.sourceBuffer.components != 3 || !doc.sourceBuffer.data) {
        AskMessageBox(gApp.mainWindow, Str(41), nullptr, MB_OK);
        return;
    }
    if (!gApp.sourceBackup.data || CQmPicBufAPI::ReinitHeap(doc.resultBuffer, doc.sourceBuffer) != 0) {
        // The backup or the result could not be made: the run would lose the picture.
        AskMessageBox(gApp.mainWindow, Str(kStrPictureTooLarge), nullptr, MB_OK | MB_ICONWARNING);
        return;
    }
    doc.progressDialog = CreateDialogParamW(MainInstance(), MAKEINTRESOURCEW(IDD_PROGRESS), gApp.mainWindow,
                                            ProgressDialogProc, 0);
    SetStatusText(L"");
    gApp.abortRequested = 0;
    StartJobThread(PreparationThread);
}

void OnFusionReady() {
    ImageDocument& doc = gDocument;
    if (gApp.sourceBackup.data && gApp.sourceBackup.size == doc.sourceBuffer.size)
        CQmPicBufAPI::Copy(doc.sourceBuffer, gApp.sourceBackup);
    gApp.zoomShowsSource = 0;
    gAppHooks.runFusionDialog(doc);
}

HWND ProgressTextControl(HWND progressDialog) {
    // Control -1: ids of static texts are not unique, so look for the first static child.
    for (HWND child = GetWindow(progressDialog, GW_CHILD); child; child = GetWindow(child, GW_HWNDNEXT)) {
        wchar_t cls[16] = {};
        GetClassNameW(child, cls, 16);
        if (lstrcmpiW(cls, L"Static") == 0) return child;
    }
    return nullptr;
}

void SetProgressText(HWND progressDialog, const wchar_t* text) {
    if (HWND line = ProgressTextControl(progressDialog)) SetWindowTextW(line, text);
}

INT_PTR CALLBACK ProgressDialogProc(HWND dialog, UINT message, WPARAM wParam, LPARAM) {
    switch (message) {
        case WM_INITDIALOG:
            SetDlgItemTextW(dialog, IDCANCEL, Str(68));
            return 0;
        case WM_COMMAND:
            if (LOWORD(wParam) == IDCANCEL) {
                gApp.abortRequested = 1;
                SetProgressText(dialog, Str(57));
                return 0;
            }
            if (LOWORD(wParam) == IDOK) {
                // The worker is done: this dialog is not reused, so it goes now.
                if (gDocument.progressDialog == dialog) gDocument.progressDialog = nullptr;
                DestroyWindow(dialog);
                return 1;
            }
            return 0;
        default:
            return 0;
    }
}
