// Which menu items, toolbar buttons and the zoom box are usable in each state of the main window.
#pragma once

struct MainUiEnables {
    bool picture = false;  // a picture is loaded
    bool menuBar = true;   // top-level positions 0, 1 and 2
    bool menuSaveAs = false, menuClose = false;
    bool toolLoad = true, toolSaveAs = false, toolSmartContrast = false, toolSolvaneUp = false, toolSolvaneDown = false;
    bool zoomBox = false;

    bool operator==(const MainUiEnables&) const = default;
};

enum class UiEvent {
    Created,     // end of window creation: no picture
    Loaded,      // Load or Drop succeeded: picture shown
    Closed,      // Close: no picture, the processing buttons keep their state
    JobStarted,  // a dialog, the preparation worker or a save's wait took over
    JobEnded,    // it is over
};

MainUiEnables NextUiState(const MainUiEnables& current, UiEvent event);
