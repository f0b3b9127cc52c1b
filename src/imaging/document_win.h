// The image document: display surface, decoded file, loaded and processed pictures; loading
// and saving through GDI+.
#pragma once

#include <windows.h>
#include <objidl.h>

#include <cstdint>
#include <memory>

#include "imaging/pic_buf.h"

namespace Gdiplus {
class GpBitmap;
}

struct StreamRelease {
    void operator()(IStream* stream) const {
        if (stream) stream->Release();
    }
};
using ScopedStream = std::unique_ptr<IStream, StreamRelease>;

struct ImageDocument {
    HDC memoryDC = nullptr;
    HWND ownerWindow = nullptr;           // owner of the file dialogs and messages
    HBITMAP surfaceBitmap = nullptr;      // the 24-bit top-down section, at least 3000 x 2000
    HGDIOBJ previousBitmap = nullptr;     // what surfaceBitmap replaced in memoryDC
    Gdiplus::GpBitmap* decodedBitmap = nullptr;  // owned; null before the first load
    // The loaded file's bytes. The file is closed once loading ends (so a save may replace it); GDI+
    // reads decodedBitmap from these as long as it lives, and a save over the file takes its metadata
    // from them.
    ScopedStream loadedFile;
    SQmPicBuf displaySurface{};           // over the section's bits; what the view paints
    SQmPicBuf sourceBuffer{};             // the picture as loaded
    SQmPicBuf resultBuffer{};             // the picture as processed; what is saved
    uint8_t isGreyPalette = 0;            // 8-bit indexed file whose used colours are all grey
    HWND progressDialog = nullptr;        // the progress dialog of the running preparation
};

constexpr int kPathChars = 1024;
constexpr int kSurfaceWidth = 3000;
constexpr int kSurfaceHeight = 2000;
constexpr uint8_t kSurfaceGrey = 190;

// Save dialog extension template and its controls.
constexpr int kSaveTemplateId = 159;
constexpr int kIdQualityTrackbar = 1072;
constexpr int kIdQualityLabel = 1083;
constexpr int kIdQualityPercent = 1084;
constexpr int kIdQualityValue = 1086;
constexpr int kIdFileTypeList = 1136;  // the save dialog's own file type combo box (cmb1)

// The path most recently handed to LoadImageFile.
extern wchar_t sourceFilePath[kPathChars];
// JPEG quality in percent, read from "jpeg" each time the save dialog opens.
extern int32_t jpegQuality;

// Sets up the display surface, empty buffers and starts GDI+. Once, while the main window is created.
void InitDocument(ImageDocument& document, HWND ownerWindow);

// Makes the display surface at least width x height (it never shrinks): one new section of the larger
// size, grey, with the old contents at its top left. False when it could not be made; the old surface
// then stays.
bool EnsureDisplaySurface(ImageDocument& document, int width, int height);

// GDI+ start-up (idempotent; InitDocument calls it) and shutdown (last, at process end).
bool StartGdiplus();
void ShutdownGdiplus();

// Shutdown helpers for the main window, in this order after COM: surface, then decoded bitmap.
void ReleaseDisplaySurface(ImageDocument& document);  // select back, delete section and DC
void ReleaseDecodedBitmap(ImageDocument& document);   // also used by Close (and the loaded file's bytes)

// 0 = the picture is in sourceBuffer, 1 = cancelled or refused (the user has been told).
// path: 1024 characters in/out; empty asks with the open dialog.
uint8_t LoadImageFile(ImageDocument& document, wchar_t* path);

// 0 = resultBuffer saved, its path in name (1024 characters, passed empty); 1 = nothing saved.
uint8_t SaveImageFile(ImageDocument& document, wchar_t* name);

// Plain 24-bit BMP of an 8-bit 3-component buffer, written as a scratch file (the exposure tiles: not
// flushed to the disk). 0 = written, 1 = refused or failed
// (no partial file is left under path).
uint8_t WriteColourBmp(const wchar_t* path, const SQmPicBuf& buffer);

// Index of the first GDI+ encoder with exactly this MIME type, its CLSID in clsid; -1 if none.
int32_t FindEncoderByMime(const wchar_t* mimeType, CLSID* clsid);

// Hook of the save dialog: the JPEG quality strip of template 159.
UINT_PTR CALLBACK QualityHookProc(HWND dialog, UINT message, WPARAM wParam, LPARAM lParam);
