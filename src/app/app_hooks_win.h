// The entry points through which the main window starts the dialogs and the preparation worker of the
// tools; tests may point a hook elsewhere.
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
