// Background jobs: the Smart Contrast dialog thread and the Solvane preparation worker.
#pragma once

#include <windows.h>

#include "app/app_hooks_win.h"
#include "imaging/document_win.h"

DWORD WINAPI SmartContrastThread(LPVOID document);
DWORD WINAPI PreparationThread(LPVOID document);

// Command handlers on the UI thread.
void OnSmartContrastCommand();
void OnSolvaneCommand(bool up);

// True while a job runs (dialog thread or preparation worker).
bool JobRunning();
