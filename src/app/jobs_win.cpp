// Starting and ending the background jobs.
#include "app/jobs_win.h"

#include "app/app_state_win.h"
#include "app/main_window_win.h"
#include "base/scoped_win.h"
#include "fusion/prepare_win.h"
#include "imaging/main_window_link_win.h"
#include "resources/resource.h"

namespace {

// A job counts from its start on the UI thread to the end of its thread.
bool StartJobThread(LPTHREAD_START_ROUTINE routine) {
    ++gApp.runningJobs;
    const ScopedHandle thread(CreateThread(nullptr, 0, routine, &gDocument, 0, nullptr));  // never waited for
    if (!thread) {
        --gApp.runningJobs;
        return false;
    }
    return true;
}

}  // namespace

bool JobRunning() {
    return gApp.runningJobs.load() > 0;
}

DWORD WINAPI SmartContrastThread(LPVOID document) {
    DialogBoxParamW(MainInstance(), MAKEINTRESOURCEW(IDD_SMART_CONTRAST), gApp.mainWindow,
                    gAppHooks.smartContrastDialogProc, reinterpret_cast<LPARAM>(document));
    RequestUi(UiEvent::JobEnded);
    --gApp.runningJobs;
    return 1;
}

DWORD WINAPI PreparationThread(LPVOID document) {
    gAppHooks.prepareExposures(*static_cast<ImageDocument*>(document));
    --gApp.runningJobs;
    return 0;
}

void OnSmartContrastCommand() {
    if (JobRunning() || !AskContinueWithoutSaving())
        return;
    static_cast<void>(StartJobThread(SmartContrastThread));  // no thread: nothing started, nothing to say
}

void OnSolvaneCommand(bool up) {
    gSolvane.fusionUp = up ? 1 : 0;
    if (JobRunning() || !AskContinueWithoutSaving())
        return;
    if (!BeginSolvaneRun(gDocument))
        return;
    if (!StartJobThread(PreparationThread)) {
        // No worker: the hidden progress dialog goes again and the picture stays as it was.
        if (HWND progress = gDocument.progressDialog.load())
            SendMessageW(progress, WM_COMMAND, IDOK, 0);
        SendMessageW(gApp.mainWindow, MSG_SOURCE_AS_RESULT, 0, 0);
    }
}
