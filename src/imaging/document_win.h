// The image document: display surface, decoded file, loaded and processed pictures; loading
// and saving through GDI+.
#pragma once

#include <windows.h>
#include <objidl.h>

#include <atomic>
#include <cstdint>
#include <memory>

#include "base/scoped_win.h"
#include "base/status.h"
#include "imaging/pic_buf.h"
#include "imaging/picture.h"

struct StreamRelease {
    void operator()(IStream* stream) const {
        if (stream)
            stream->Release();
    }
};
using ScopedStream = std::unique_ptr<IStream, StreamRelease>;

// The one document. It owns everything it holds; the pictures are freed with it at the latest.
struct ImageDocument {
    ImageDocument() {
        CQmPicBufAPI::Init(sourceBuffer);
        CQmPicBufAPI::Init(resultBuffer);
    }
    ~ImageDocument() {
        CQmPicBufAPI::DoneHeap(sourceBuffer);
        CQmPicBufAPI::DoneHeap(resultBuffer);
    }
    ImageDocument(const ImageDocument&) = delete;
    ImageDocument& operator=(const ImageDocument&) = delete;

    // In this order, so that going they first select the original bitmap back, then delete the section,
    // then the DC.
    ScopedMemoryDc memoryDC;
    ScopedBitmap surfaceBitmap;       // the 24-bit top-down section, at least 3000 x 2000
    ScopedSelection surfaceSelected;  // surfaceBitmap in memoryDC
    // Rows of the surface turned into 32-bit pixels on their way to the window (PaintDisplaySurface).
    ScopedMemoryDc stripDC;
    ScopedBitmap stripBitmap;
    ScopedSelection stripSelected;
    uint32_t* stripBits = nullptr;
    int stripWidth = 0;
    HWND ownerWindow = nullptr;  // owner of the file dialogs and messages
    // The loaded file's bytes. The file is closed once loading ends (so a save may replace it); GDI+
    // reads decodedBitmap from these as long as it lives, and a save over the file takes its metadata
    // from them. Declared first, so it outlives the bitmap.
    ScopedStream loadedFile;
    ScopedGpBitmap decodedBitmap;  // null before the first load
    SQmPicBuf displaySurface{};    // over the section's bits; what the view paints
    SQmPicBuf sourceBuffer{};      // the picture as loaded
    SQmPicBuf resultBuffer{};      // the picture as processed; what is saved
    int orientation = 1;           // the file's EXIF orientation: how the view turns the pictures upright
    // The progress dialog of the running preparation: made and cleared on the UI thread, read by the
    // worker.
    std::atomic<HWND> progressDialog{nullptr};
};

// A picture file decoded: its pixels in the program's layout, the decoded bitmap (what a save takes
// the metadata from) and the file's bytes that the bitmap reads.
struct DecodedFile {
    ScopedStream file;
    ScopedGpBitmap bitmap;
    Picture picture;
    int orientation = 1;  // EXIF tag 0x0112 of the file; 1 without one
};

// Reads and decodes the file at path. On failure messageKey is the string that tells the user why.
[[nodiscard]] Status DecodePictureFile(const wchar_t* path, DecodedFile& decoded, int& messageKey);

constexpr int kPathChars = 1024;
constexpr int kSurfaceWidth = 3000;
constexpr int kSurfaceHeight = 2000;
constexpr uint8_t kSurfaceGrey = 190;

// The path most recently handed to LoadImageFile.
extern wchar_t sourceFilePath[kPathChars];

// Sets up the display surface, empty buffers and starts GDI+. Once, while the main window is created.
void InitDocument(ImageDocument& document, HWND ownerWindow);

// Makes the display surface at least width x height (it never shrinks): one new section of the larger
// size, grey, with the old contents at its top left. False when it could not be made; the old surface
// then stays.
[[nodiscard]] bool EnsureDisplaySurface(ImageDocument& document, int width, int height);

// Copies the rectangle r of the display surface to the same place in dc. The rows go as 32-bit pixels, a
// strip at a time: a screen takes those as they are, where it would turn each 24-bit pixel itself, several
// times slower. Straight from the surface when the strip cannot be had.
void PaintDisplaySurface(ImageDocument& document, HDC dc, const RECT& r);

// GDI+ start-up (idempotent; InitDocument calls it) and shutdown (last, at process end).
[[nodiscard]] bool StartGdiplus();
void ShutdownGdiplus();

// Shutdown helpers for the main window, in this order after COM: surface, then decoded bitmap.
void ReleaseDisplaySurface(ImageDocument& document);  // select back, delete section and DC
void ReleaseDecodedBitmap(ImageDocument& document);   // also used by Close (and the loaded file's bytes)

// 0 = the picture is in sourceBuffer, 1 = cancelled or refused (the user has been told).
// path: 1024 characters in/out; empty asks with the open dialog.
[[nodiscard]] uint8_t LoadImageFile(ImageDocument& document, wchar_t* path);
