// The Options dialog (template 158): the language of the user interface, effective at the next start.
#pragma once

#include <windows.h>

// Runs the dialog modally, owned by owner (the main window), on the calling thread. On OK the choice
// is stored in "Language Current"; when it changed, a notice in the chosen language says that it
// takes effect after a restart.
void ShowOptionsDialog(HWND owner);
// The same, owned by the calling thread's main window (the menu command's handler).
void ShowOptionsDialog();

INT_PTR CALLBACK OptionsDialogProc(HWND dialog, UINT message, WPARAM wParam, LPARAM lParam);
