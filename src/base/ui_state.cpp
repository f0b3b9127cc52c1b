// Enable states of the main window's commands.
#include "base/ui_state.h"

MainUiEnables NextUiState(const MainUiEnables& current, UiEvent event) {
    MainUiEnables s = current;
    switch (event) {
        case UiEvent::Created:
            s = MainUiEnables{};
            break;
        case UiEvent::Loaded:
            s.picture = true;
            s.menuSaveAs = s.menuClose = true;
            s.toolLoad = s.toolSaveAs = s.toolSmartContrast = s.toolSolvaneUp = s.toolSolvaneDown = true;
            s.zoomBox = true;
            break;
        case UiEvent::Closed:
            s.picture = false;
            s.menuSaveAs = s.menuClose = false;
            s.toolLoad = true;
            s.toolSaveAs = false;
            s.zoomBox = false;
            break;
        case UiEvent::JobStarted:
            s.menuBar = false;
            s.toolLoad = s.toolSaveAs = s.toolSmartContrast = s.toolSolvaneUp = s.toolSolvaneDown = false;
            break;
        case UiEvent::JobEnded:
            // Everything comes back; without a picture there is nothing to save or to process, so those
            // buttons stay off (a Smart Contrast run can start from the menu with no picture).
            s.menuBar = true;
            s.toolLoad = true;
            s.menuSaveAs = s.menuClose = s.zoomBox = s.picture;
            s.toolSaveAs = s.toolSmartContrast = s.toolSolvaneUp = s.toolSolvaneDown = s.picture;
            break;
    }
    return s;
}
