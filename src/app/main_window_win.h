// The main window: class, creation, commands, drag and drop, shutdown, and the message loop.
#pragma once

#include <windows.h>

#include "imaging/main_window_link_win.h"  // MainInstance

// Registers the class and creates the window (nullptr when creation fails); shows it with show.
HWND CreateMainWindow(HINSTANCE instance, int show);
// The accelerator table of the main window (loaded once).
HACCEL MainAccelerators();
// One message through the accelerators and the progress dialog; false when it still needs dispatching.
bool PreTranslateMainMessage(MSG& msg);
// The picture named by the first argument of a command line (the program's own name first), loaded as
// a dropped file is; nothing without one.
void OpenStartupArgument(HWND window, const wchar_t* commandLine);
// Common controls, window, message loop; returns the quit code (0 when the window cannot be made).
int RunApplication(HINSTANCE instance, int show);

// The unsaved-result question when a result is pending; true when the command may go on.
bool AskContinueWithoutSaving();

LRESULT CALLBACK MainWindowProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam);
