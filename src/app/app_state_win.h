// AppState: the main window's process-wide state, the view renderer and the one document.
#pragma once

#include <windows.h>

#include <atomic>
#include <cstdint>

#include "app/view_math.h"
#include "imaging/document_win.h"
#include "imaging/pic_buf.h"
#include "imaging/picture.h"

// Renders the document's pictures into its display surface (see RenderView).
struct ViewRenderer {
    HWND ownerWindow = nullptr;    // its client size is the size rendered
    SQmPicBuf* surface = nullptr;  // the document's displaySurface
    Picture sourceCache;           // slot 1: sourceBuffer as 8 bits x 3 components
    Picture resultCache;           // slot 2: resultBuffer the same way
    // x0, y0, x1, y1 in picture coordinates, outlined inverted; set by the Fusion dialog.
    std::atomic<int32_t*> overlayRect{nullptr};
    // What the surface shows since the last redraw, so that a pan can move it and render only what it uncovers,
    // and a change of the outline or of a part of the result renders only what it reaches. Not valid after a
    // cache changed without a redraw.
    struct Shown {
        bool valid = false;
        const uint8_t* surface = nullptr;
        const uint8_t* cache = nullptr;
        int slot = 0;
        int width = 0, height = 0;
        ViewPlacement placement{};
        bool outlined = false;  // an outline is inverted into the surface, with these window corners
        long long outline[4] = {};
    } shown;
    // The rectangles of the result that changed, while MSG_RESULT_CHANGED is handled; null: all of it.
    struct Change {
        const CQmRect<int>* rects;
        int count;
    };
    std::atomic<const Change*> resultChange{nullptr};
    // What the last redraw changed in the surface (window pixels); empty: everything.
    CQmRect<int> changed{};
    // Set while a repaint copies only part of the view band.
    RECT paintOnly{};
};

struct AppState {
    HWND mainWindow = nullptr;
    HWND statusBar = nullptr;
    HWND toolbar = nullptr;
    HWND zoomBox = nullptr;
    WNDPROC zoomBoxDefaultProc = nullptr;

    // View placement: window = anchorWin + zoom * (image - anchorImg).
    double zoom = 0;
    double anchorWinX = 0, anchorWinY = 0;
    double anchorImgX = 0, anchorImgY = 0;

    uint8_t dragging = 0;
    int32_t lastMouseX = 0, lastMouseY = 0, dragAnchorX = 0, dragAnchorY = 0;

    uint8_t unsavedResult = 0;
    uint8_t zoomShowsSource = 0;
    std::atomic<HWND> dialogMouseTarget{nullptr};  // processing dialog that gets the view's mouse
    std::atomic<uint8_t> dialogOwnsDrag{0};        // the Fusion dialog owns the left-button drag

    ViewRenderer renderer;

    // Jobs (dialog threads, preparation workers) not yet finished; while any runs, the window
    // refuses to close and the commands that replace the picture do nothing.
    std::atomic<int> runningJobs{0};

    ViewPlacement Placement() const { return {zoom, anchorWinX, anchorWinY, anchorImgX, anchorImgY}; }
    void SetPlacement(const ViewPlacement& p) {
        zoom = p.zoom;
        anchorWinX = p.anchorWinX;
        anchorWinY = p.anchorWinY;
        anchorImgX = p.anchorImgX;
        anchorImgY = p.anchorImgY;
    }
};

extern AppState gApp;
extern ImageDocument gDocument;

// The view map of the current placement (what the view and the dialogs map points with).
inline CQmPicMap CurrentViewMap() {
    return ViewMap(gApp.Placement());
}

// Class cursor and current cursor of the main window (IDC_WAIT, IDC_ARROW, IDC_SIZEALL).
void SetMainCursor(LPCWSTR cursor);
// The status bar's one text.
void SetStatusText(const wchar_t* text);
