// Which menu items, toolbar buttons and the zoom box are usable in each state of the main window.
#pragma once

struct MainUiEnables {
    bool menuBar = true;  // top-level positions 0, 1 and 2
    bool menuSaveAs = false, menuClose = false;
    bool toolLoad = true, toolSaveAs = false, toolSmartContrast = false, toolSolvaneUp = false,
         toolSolvaneDown = false;
    bool zoomBox = false;

    bool operator==(const MainUiEnables&) const = default;
};

enum class UiEvent {
    Created,    // end of window creation: no image
    Loaded,     // Load or Drop succeeded: image shown
    Closed,     // Close: no image, the processing buttons keep their state
    JobStarted, // a dialog or the preparation worker disabled the interface
    JobEnded,   // the job re-enabled it, Save As included
};

MainUiEnables NextUiState(const MainUiEnables& current, UiEvent event);
