// MainWindowLink: what the tools' dialogs and workers may ask of the main window. The main window
// implements it and registers itself; the tools see only this, never the window's own code.
#pragma once

#include <windows.h>

#include <cstdint>

#include "base/app_messages.h"
#include "base/ui_state.h"
#include "imaging/pic_buf.h"

class MainWindowLink {
public:
    virtual ~MainWindowLink() = default;

    virtual HWND Window() const = 0;
    // Points of the loaded picture (stored pixel coordinates) and window pixels of the view as it is placed
    // and turned upright now; a displacement of the mouse in the picture's coordinates.
    virtual POINT PictureToWindow(double x, double y) const = 0;
    virtual void WindowToPicture(int32_t x, int32_t y, double& px, double& py) const = 0;
    virtual void WindowDeltaToPicture(double dx, double dy, double& px, double& py) const = 0;
    // x0, y0, x1, y1 in picture coordinates, outlined inverted in the view; null for none. The array
    // must live until it is taken away again.
    virtual void SetOverlay(int32_t* rect) = 0;
    // The processing dialog that gets the view's mouse messages; null for none.
    virtual void SetMouseTarget(HWND dialog) = 0;
    // While true the left-button drag belongs to the dialog (the Fusion preview region).
    virtual void SetDialogOwnsDrag(bool owns) = 0;
    // Class cursor and current cursor of the main window (IDC_WAIT, IDC_ARROW, IDC_SIZEALL).
    virtual void SetCursor(LPCWSTR cursor) = 0;
    virtual void SetStatusText(const wchar_t* text) = 0;
    // While false the view holds no copy of the loaded picture, for a run that needs the memory more; the
    // right button then shows the picture from the source itself where it is already in the view's form.
    virtual void KeepSourceView(bool keep) = 0;
    // Sends MSG_RESULT_CHANGED after only these rectangles of the result changed (picture coordinates, at
    // most two; none: all of it): the view then copies, renders and repaints only what they reach.
    virtual void ResultChanged(const CQmRect<int>* rects, int count) = 0;
};

// The main window registers itself at creation and unregisters when it goes; until then a link that
// does nothing answers.
void SetMainWindowLink(MainWindowLink* link);
MainWindowLink& MainLink();

HINSTANCE MainInstance();

// A synchronous message to the main window (nothing without one).
LRESULT SendMain(UINT message, WPARAM wParam = 0, LPARAM lParam = 0);
// Asks the main window to move its menus, buttons and zoom box to the state after event.
void RequestUi(UiEvent event);
