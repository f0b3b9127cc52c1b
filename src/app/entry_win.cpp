// Process entry of SolvanePictova.exe: everything else lives in the shell libraries.
#include <windows.h>

#include "app/main_window_win.h"

int WINAPI wWinMain(HINSTANCE instance, HINSTANCE, PWSTR, int show) {
    return RunApplication(instance, show);
}
