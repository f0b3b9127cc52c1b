// Commands of the main window. The menu, the accelerators and the toolbar refer to these ids only; one
// handler dispatches them. The resource compiler cannot read an enum, so it gets the same list as macros.
#pragma once

#ifdef RC_INVOKED
#define CmdAbout 104
#define CmdExit 105
#define CmdLoad 32771
#define CmdSaveAs 32773
#define CmdClose 32790
#define CmdZoomIn 32793
#define CmdZoomOut 32794
#define CmdZoomFit 32795
#define CmdZoom100 32809
#define CmdOptions 32813
#define CmdSmartContrast 32820
#define CmdSolvaneUp 32823
#define CmdSolvaneDown 32825
#define CmdZoomBox 32810
#else
enum Cmd : int {
    CmdAbout = 104,
    CmdExit = 105,
    CmdLoad = 32771,
    CmdSaveAs = 32773,
    CmdClose = 32790,
    CmdZoomIn = 32793,
    CmdZoomOut = 32794,
    CmdZoomFit = 32795,
    CmdZoom100 = 32809,
    CmdOptions = 32813,
    CmdSmartContrast = 32820,
    CmdSolvaneUp = 32823,
    CmdSolvaneDown = 32825,
    CmdZoomBox = 32810,     // the zoom box: a toolbar placeholder and the combo box over it
    CmdFusionReady = 4248,  // sent by the preparation worker when its tiles are ready
};
#endif
