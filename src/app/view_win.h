// The image view: rendering into the display surface, painting, zoom, pan and the mouse.
#pragma once

#include <windows.h>

#include "imaging/pic_buf.h"

enum ViewSlot { kSlotClear = 0, kSlotSource = 1, kSlotResult = 2 };

// Renders a slot into the display surface. useCache: resample the slot's cache as it is; otherwise
// refresh the cache from buffer first. redraw: resample into the view. Slots other than 1 and 2 fill
// the client area with grey.
void RenderView(int useCache, const SQmPicBuf* buffer, int slot, int redraw);
// Sends the main window its paint message, which copies the surface to the screen.
void RepaintMainWindow();
// The same for the part of the view band the last redraw changed.
void RepaintChangedView();
// The whole of resultBuffer rendered and repainted, and the result cache refreshed from it: a result in the
// view's form is rendered straight from its bytes and copied once on the screen, so it shows a copy sooner.
// Only while nothing else writes the result.
void ShowWholeResult();
// MSG_RESULT_CHANGED: ShowWholeResult, or only the rectangles of the change the sender named, where it named any.
void OnResultChanged();
// Anchors the view on the centre of the picture as it is shown (upright).
void CentreOnPicture();
// Fits the picture (anchors on its centre) into the view band; writes the zoom text, focuses the window.
void FitView();
// The zoom box text from the current zoom.
void WriteZoomText();
// Drops both caches.
void ReleaseRendererPictures();

// A point of the loaded picture (stored coordinates) in the window, through the upright view, and back.
POINT PictureToWindow(double x, double y);
void WindowToPicture(int32_t x, int32_t y, double& px, double& py);

// Message handlers of the main window.
void OnViewPaint(HWND window);
void OnViewZoomCommand(int command);
void OnZoomBoxNotify(int code);
void OnZoomTextCommit();
void OnViewMouseWheel(HWND window, WPARAM wParam, LPARAM lParam);
void OnViewLeftDown(HWND window, WPARAM wParam, LPARAM lParam);
void OnViewMouseMove(HWND window, WPARAM wParam, LPARAM lParam);
void OnViewLeftUp(HWND window, WPARAM wParam, LPARAM lParam);
void OnViewDoubleClick();
void OnViewRightDown();
void OnViewRightUp();
void OnViewSize();
// True when the request was turned into a mouse message (a processing dialog is open).
bool OnViewSetCursor(HWND window, LPARAM lParam);

LRESULT CALLBACK ZoomBoxSubclassProc(HWND box, UINT message, WPARAM wParam, LPARAM lParam);
