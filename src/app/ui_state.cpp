// Enable states of the main window's commands.
#include "app/ui_state.h"

MainUiEnables NextUiState(const MainUiEnables& current, UiEvent event) {
    MainUiEnables s = current;
    switch (event) {
        case UiEvent::Created:
            s = MainUiEnables{};
            break;
        case UiEvent::Loaded:
            s.menuSaveAs = s.menuClose = true;
            s.toolLoad = s.toolSaveAs = s.toolSmartContrast = s.toolSolvaneUp = s.toolSolvaneDown = true;
            s.zoomBox = true;
            break;
        case UiEvent::Closed:
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
            s.menuBar = true;
            s.toolLoad = s.toolSaveAs = s.toolSmartContrast = s.toolSolvaneUp = s.toolSolvaneDown = true;
            break;
    }
    return s;
}
