// The exposure preparation worker: renders the 39 exposures of the loaded picture into BMP tiles in
// "tmpfolder" beside the program and lists them from darkest to brightest for the Fusion dialog.
#pragma once

#include <windows.h>

#include <cstdint>
#include <string>

#include "fusion/exposure.h"
#include "imaging/document_win.h"

constexpr int kExposurePathChars = 2048;

// The tiles of the last completed preparation, in ascending score order. Written by the worker
// only; the Fusion dialog reads them after the worker has handed over with ID_FUSION_READY.
extern wchar_t exposureFiles[kExposureTileCount][kExposurePathChars];
extern int32_t exposureCount;
extern int32_t fusionTileIndex;  // entry the Fusion dialog starts from; 0 after every run

// "<program folder>\tmpfolder"; empty when the program folder is unknown.
std::wstring TemporaryFolderPath();

// Body of the preparation thread (the progress dialog comes with the document). Returns 0.
DWORD PrepareExposures(ImageDocument& document);
