// Background jobs: the Smart Contrast dialog thread, the Solvane preparation worker with its
// progress dialog, and the Fusion dialog started when the worker is ready.
#pragma once

#include <windows.h>

#include "imaging/document_win.h"

// Entry points provided by the dialogs' and the worker's own subsystems (app_hooks_win.cpp); tests
// may point a hook elsewhere.
struct AppHooks {
    void (*showOptionsDialog)(HWND owner);
    DLGPROC smartContrastDialogProc;                   // runs template 153 on its thread
    INT_PTR (*runFusionDialog)(ImageDocument& document);  // template 152 on the UI thread, then re-enables
    DWORD (*prepareExposures)(ImageDocument& document);  // the preparation worker's body
};
extern AppHooks gAppHooks;

DWORD WINAPI SmartContrastThread(LPVOID document);
DWORD WINAPI PreparationThread(LPVOID document);
INT_PTR CALLBACK ProgressDialogProc(HWND dialog, UINT message, WPARAM wParam, LPARAM lParam);

// Command handlers on the UI thread.
void OnSmartContrastCommand();
void OnSolvaneCommand(bool up);
void OnFusionReady();

// The progress dialog's text line (control -1).
HWND ProgressTextControl(HWND progressDialog);
void SetProgressText(HWND progressDialog, const wchar_t* text);

// True while a job runs (dialog thread or preparation worker).
bool JobRunning();
