// Saving the result: the Save As dialog with its JPEG quality strip, the encoders, and the plain BMP
// writer of the exposure tiles.
#pragma once

#include <windows.h>

#include <cstdint>

#include "imaging/document_win.h"

constexpr int kIdFileTypeList = 1136;  // the save dialog's own file type combo box (cmb1)

// JPEG quality in percent, read from "jpeg" each time the save dialog opens.
extern int32_t jpegQuality;

// 0 = resultBuffer saved, its path in name (1024 characters, passed empty); 1 = nothing saved.
[[nodiscard]] uint8_t SaveImageFile(ImageDocument& document, wchar_t* name);

// Plain 24-bit BMP of an 8-bit 3-component buffer, written as a scratch file (the exposure tiles: not
// flushed to the disk). 0 = written, 1 = refused or failed
// (no partial file is left under path).
[[nodiscard]] uint8_t WriteColourBmp(const wchar_t* path, const SQmPicBuf& buffer);

// Index of the first GDI+ encoder with exactly this MIME type, its CLSID in clsid; -1 if none.
[[nodiscard]] int32_t FindEncoderByMime(const wchar_t* mimeType, CLSID* clsid);

// Hook of the save dialog: the JPEG quality strip of template IDD_SAVE_QUALITY.
UINT_PTR CALLBACK QualityHookProc(HWND dialog, UINT message, WPARAM wParam, LPARAM lParam);
