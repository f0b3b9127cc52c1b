// Window messages through which jobs and dialogs act on the main window. The numbers are fixed.
#pragma once

enum AppMessage : unsigned {
    MSG_RESULT_CHANGED = 0x1097,    // reload the result cache from resultBuffer, render, repaint
    MSG_REDRAW_RESULT = 0x109C,     // render the result cache again, repaint
    MSG_CURSOR_WAIT = 0x10A1,       // class and current cursor := hourglass
    MSG_CURSOR_ARROW = 0x10A2,      // class and current cursor := arrow
    MSG_CURSOR_SIZEALL = 0x10A3,    // class and current cursor := four-way arrow
    MSG_ZOOM_TEXT_COMMIT = 0x10AF,  // apply the percentage typed into the zoom box
    MSG_RESULT_UNSAVED = 0x10B1,    // a dialog accepted a result: unsavedResult := 1
    MSG_UI_EVENT = 0x10B2,          // wParam: a UiEvent for the state of the menus, buttons and zoom box
    // A Solvane run ended without reaching the Fusion dialog: read the file at lParam (a path; none for
    // 0) into sourceBuffer again, then show the source as the result.
    MSG_SOURCE_AS_RESULT = 0x10B3,
};
