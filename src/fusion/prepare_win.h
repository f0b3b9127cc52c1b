// The exposure preparation: the checks and the progress dialog before the worker starts, and the
// worker, which renders the 39 exposures of the loaded picture into BMP tiles in "tmpfolder" beside
// the program and lists them from darkest to brightest for the Fusion dialog.
#pragma once

#include <windows.h>

#include <atomic>
#include <cstdint>
#include <string>

#include "fusion/exposure.h"
#include "imaging/document_win.h"
#include "imaging/picture.h"

constexpr int kExposurePathChars = 2048;

// One Solvane UP or DOWN run, from the command to the end of the Fusion dialog.
struct SolvaneRun {
    std::atomic<uint8_t> fusionUp{0};        // set by the command, read by the worker
    std::atomic<uint8_t> abortRequested{0};  // set by Abort, polled by the worker once per tile
    Picture sourceBackup;                    // the source when the command was given
    wchar_t fusionSourcePath[kPathChars]{};  // sourceFilePath at that moment
};
extern SolvaneRun gSolvane;

// The tiles of the last completed preparation, in ascending score order. Written by the worker
// only; the Fusion dialog reads them after the worker has handed over with CmdFusionReady.
extern wchar_t exposureFiles[kExposureTileCount][kExposurePathChars];
extern int32_t exposureCount;

// How each listed tile was made, and its file as the worker wrote it: while the file is unchanged, the tile's
// pixels can be made again from the source by its table (the same bytes by construction) instead of being
// read back.
struct ExposureTileOrigin {
    ExposureStep step{};
    bool up = false;
    bool stamped = false;  // the file's size and time could be read after writing
    uint64_t size = 0;
    uint64_t writeTime = 0;
};
extern ExposureTileOrigin exposureOrigins[kExposureTileCount];
// True while listed tile i's file has the size and write time it had when written.
[[nodiscard]] bool ExposureTileUnchanged(int32_t i);

// "<program folder>\tmpfolder"; empty when the program folder is unknown.
std::wstring TemporaryFolderPath();

// On the UI thread, after the command's own checks: backs up the source, refuses (with a message) a
// picture the worker cannot take, gives the result the source's geometry and makes the hidden progress
// dialog. True when the worker may start.
[[nodiscard]] bool BeginSolvaneRun(ImageDocument& document);

// Body of the preparation thread (the progress dialog comes with the document). Returns 0.
DWORD PrepareExposures(ImageDocument& document);

// The progress dialog (template 161) of the preparation, and its text line.
INT_PTR CALLBACK ProgressDialogProc(HWND dialog, UINT message, WPARAM wParam, LPARAM lParam);
HWND ProgressTextControl(HWND progressDialog);
void SetProgressText(HWND progressDialog, const wchar_t* text);
