// The Smart Contrast dialog (template 153): eight level sliders over the contrast pyramid. It runs
// modally on SmartContrastThread and recomputes the document's result picture on every change.
#pragma once

#include <windows.h>

#include <cstdint>

// Sent by the dialog to itself, synchronously, whenever the picture must be recomputed.
constexpr UINT MSG_SC_RECOMPUTE = 0x10A5;

// The dialog procedure; the creation parameter is the ImageDocument.
INT_PTR CALLBACK SmartContrastDialogProc(HWND dialog, UINT message, WPARAM wParam, LPARAM lParam);

// Recomputes that reached the picture since the process started (for tests and diagnostics).
uint32_t SmartContrastRecomputeCount();
