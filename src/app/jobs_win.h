// Background jobs: the Smart Contrast dialog thread and the Solvane preparation worker.
#pragma once

#include <windows.h>

#include "imaging/document_win.h"

// Entry points of the dialogs and the worker; tests may point a hook elsewhere.
struct AppHooks {
    void (*showOptionsDialog)(HWND owner);
    DLGPROC smartContrastDialogProc;                      // runs template 153 on its thread
    INT_PTR (*runFusionDialog)(ImageDocument& document);  // template 152 on the UI thread
    DWORD (*prepareExposures)(ImageDocument& document);   // the preparation worker's body
};
extern AppHooks gAppHooks;

DWORD WINAPI SmartContrastThread(LPVOID document);
DWORD WINAPI PreparationThread(LPVOID document);

// Command handlers on the UI thread.
void OnSmartContrastCommand();
void OnSolvaneCommand(bool up);

// True while a job runs (dialog thread or preparation worker).
bool JobRunning();
