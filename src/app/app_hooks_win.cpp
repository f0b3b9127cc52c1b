// The entry points through which the shell reaches the dialogs and the preparation worker of the
// other subsystems.
#include "app/app_hooks_win.h"

#include "contrast/contrast_dialog_win.h"
#include "fusion/fusion_dialog_win.h"
#include "fusion/prepare_win.h"
#include "settings/options_dialog_win.h"

AppHooks gAppHooks = {
    ShowOptionsDialog,
    SmartContrastDialogProc,
    RunFusionDialog,
    PrepareExposures,
};
