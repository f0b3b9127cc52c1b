// The "Solvane Fusion" dialog: three sliders and the stretch box, a draggable 400 x 400 preview
// region in the main window's view, and the whole-picture fusion on OK.
#pragma once

#include <windows.h>

#include <atomic>
#include <cstdint>
#include <thread>

#include "fusion/exposure.h"
#include "fusion/fusion.h"
#include "fusion/preview_region.h"
#include "imaging/document_win.h"
#include "imaging/pic_buf.h"
#include "imaging/picture.h"

struct FusionDialogState {
    int32_t exposureValue = 128;
    int32_t flatnessValue = 3;
    int32_t powerValue = 15;
    // The values the last preview was computed with: a slider event recomputes when its value differs.
    int32_t previewedExposure = 0, previewedFlatness = 0, previewedPower = 0;
    RegionF previewRectF{};              // as dragged; may leave the picture
    int32_t previewRect[4] = {};         // x0, y0, x1, y1 rounded and clamped; the view outlines it
    int32_t lastPreviewRect[4] = {};     // of the last computed preview
    int32_t pointerX = 0, pointerY = 0;  // main-window client position of the last move
    int32_t dragX = 0, dragY = 0;        // position at the previous drag step
    uint8_t dragActive = 0;
    Picture previewPicture;  // the fused preview region
    Picture tile;            // a whole tile (the final fusion; a preview's fallback)
    // The tiles' crops of the work region, kept between previews while the region stays: made from the source
    // by each tile's table while its file is unchanged, so a preview reads no file.
    Picture crops[kExposureTileCount];
    bool cropKept[kExposureTileCount] = {};
    Region cropsRegion{};

    // The whole fusion after OK runs on fuser into fused; the dialog then shows progress and waits.
    std::thread fuser;
    Picture fused;
    HWND progress = nullptr;
    bool fusing = false;                            // UI thread only
    std::atomic<bool> cancelFusion{false};          // set by the progress dialog's Cancel
    FusionStatus fuseStatus = FusionStatus::kDone;  // written by the worker before it posts the end
    ImageDocument* document = nullptr;
    HWND dialog = nullptr;

    // The whole run's planes, made on preparer while the user looks at a preview (a moment after it, one plane
    // at a time, never while the next preview is computed) and handed to the run on OK: the picture comes
    // sooner after OK, as its memory is in place already.
    std::thread preparer;
    FusionPyramid prepared;
    std::atomic<bool> stopPreparing{false};
    std::atomic<bool> previewing{false};
    std::atomic<bool> runPrepared{false};  // every plane made

    // Preview computations carried out and the outcome of the last run (preview or final).
    int32_t previewRuns = 0;
    FusionStatus lastStatus = FusionStatus::kDone;
};

extern FusionDialogState gFusionDialog;

Region CurrentPreviewRect();

// When the preparation hands over: the source as it was when the command was given (the backup is then
// dropped).
void RestoreSolvaneSource(ImageDocument& document);

// Runs template 152 modally over the main window, then asks for the interface back. Returns 1.
INT_PTR RunFusionDialog(ImageDocument& document);

INT_PTR CALLBACK FusionDialogProc(HWND dialog, UINT message, WPARAM wParam, LPARAM lParam);
