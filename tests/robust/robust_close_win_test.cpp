// Closing at the wrong moment: the close box and Exit while the preparation, the Fusion dialog or a
// Smart Contrast recompute runs, and Exit with an unsaved result. Nothing may crash, the settings files
// stay whole, and the crash flag is "1" while the window lives and "0" once it is gone.
#include <gtest/gtest.h>

#include <functional>
#include <thread>

#include "app/app_fixture_win.h"
#include "base/app_messages.h"
#include "contrast/contrast_dialog_win.h"
#include "fusion/fusion_dialog_win.h"
#include "fusion/prepare_win.h"
#include "robust/robust_watchdog_win.h"
#include "settings/string_table.h"

namespace {

// Runs inside a modal loop (the Fusion dialog's) once the dialog is shown.
std::function<void(HWND)> gInDialog;

void CALLBACK InDialogTick(HWND, UINT, UINT_PTR id, DWORD) {
    HWND dialog = gFusionDialog.dialog;
    if (!dialog || !IsWindowVisible(dialog))
        return;
    KillTimer(nullptr, id);
    std::function<void(HWND)> script = std::move(gInDialog);
    gInDialog = nullptr;
    if (script)
        script(dialog);
}

class CloseTest : public MainWindowTest {
protected:
    int CrashFlag() { return ReadLocalisationInt(L"Crashed Last Time", -1); }
    bool WindowAlive() { return IsWindow(window) && gApp.mainWindow == window; }
    // The settings file still reads as a settings file: every line a section or a key.
    void ExpectWholeIniFiles() {
        for (const std::wstring& file : {SettingsFilePath(), LocalisationFilePath()}) {
            const std::vector<uint8_t> bytes = ReadWholeFile(file);
            std::string text(bytes.begin(), bytes.end());
            size_t start = 0;
            while (start < text.size()) {
                size_t end = text.find('\n', start);
                if (end == std::string::npos)
                    end = text.size();
                const std::string line = text.substr(start, end - start);
                EXPECT_TRUE(line.empty() || line == "\r" || line[0] == '[' || line.find('=') != std::string::npos)
                    << "stray line in the INI file: " << line;
                start = end + 1;
            }
        }
    }
    void Close() { SendMessageW(window, WM_CLOSE, 0, 0); }
};

TEST_F(CloseTest, CloseBoxAndExitDuringThePreparationAndTheFusionDialogAreRefused) {
    LoadPicture(1200, 800);
    ASSERT_EQ(CrashFlag(), 1);
    bool refusedInDialog = false;
    gInDialog = [&](HWND dialog) {
        Close();
        Command(CmdExit);
        refusedInDialog = IsWindow(window) != FALSE;
        SendMessageW(dialog, WM_COMMAND, IDCANCEL, 0);
    };
    SetTimer(nullptr, 0, 20, InDialogTick);
    Command(CmdSolvaneUp);
    ASSERT_TRUE(JobRunning());
    Close();
    Command(CmdExit);
    EXPECT_TRUE(WindowAlive()) << "closed under the running preparation";
    ASSERT_TRUE(PumpUntil([] { return !JobRunning(); }, 120000));
    EXPECT_TRUE(refusedInDialog);
    EXPECT_TRUE(WindowAlive());
    EXPECT_EQ(exposureCount, 39);
    EXPECT_FALSE(MenuBarGrayed(0));
    EXPECT_EQ(CrashFlag(), 1);

    // Once the job is over the window closes, and the flag says the run ended normally.
    Close();
    Pump();
    EXPECT_FALSE(IsWindow(window));
    EXPECT_EQ(CrashFlag(), 0);
    ExpectWholeIniFiles();
}

TEST_F(CloseTest, CloseRequestsDuringTheFusionDialogsWholeRunEndCleanly) {
    LoadPicture(1000, 700);
    gInDialog = [&](HWND dialog) {
        // Asked from another thread while the whole-picture fusion blocks this one.
        std::thread closer([this] {
            Sleep(50);
            PostMessageW(window, WM_CLOSE, 0, 0);
            PostMessageW(window, WM_COMMAND, CmdExit, 0);
        });
        SendMessageW(dialog, WM_COMMAND, IDOK, 0);
        closer.join();
    };
    SetTimer(nullptr, 0, 20, InDialogTick);
    Command(CmdSolvaneDown);
    ASSERT_TRUE(PumpUntil([] { return !JobRunning(); }, 120000));
    Pump();
    if (IsWindow(window)) {
        // The requests came while the job still ran: refused, the fused result kept and unsaved.
        EXPECT_EQ(gApp.unsavedResult, 1);
        EXPECT_EQ(CrashFlag(), 1);
        Command(CmdExit);
        Pump();
    }
    EXPECT_FALSE(IsWindow(window));
    EXPECT_EQ(CrashFlag(), 0);
    ExpectWholeIniFiles();
}

TEST_F(CloseTest, CloseAndExitDuringASmartContrastRecomputeAreRefused) {
    LoadPicture(1600, 1200);
    Command(CmdSmartContrast);
    HWND dialog = nullptr;
    ASSERT_TRUE(PumpUntil([&] {
        dialog = gApp.dialogMouseTarget.load();
        return dialog && IsWindowVisible(dialog);
    }));
    const uint32_t recomputes = SmartContrastRecomputeCount();
    for (int i = 0; i < 3; ++i) {
        PostMessageW(dialog, MSG_SC_RECOMPUTE, 1, 0);  // runs on the dialog's thread
        Close();
        Command(CmdExit);
        EXPECT_TRUE(WindowAlive());
        Pump();
    }
    ASSERT_TRUE(PumpUntil([&] { return SmartContrastRecomputeCount() >= recomputes + 3; }, 60000));
    SendMessageW(dialog, WM_COMMAND, IDOK, 0);
    ASSERT_TRUE(PumpUntil([] { return !JobRunning(); }));
    EXPECT_EQ(gApp.unsavedResult, 1);
    EXPECT_EQ(CrashFlag(), 1);
    // The close box now asks about the unsaved result; No keeps the window.
    prompter.messageReplies.push_back(IDNO);
    Close();
    EXPECT_TRUE(WindowAlive());
    ASSERT_FALSE(prompter.messages.empty());
    EXPECT_EQ(prompter.messages.back().text, EnglishString(21));
    ExpectWholeIniFiles();
}

TEST_F(CloseTest, ExitWithAnUnsavedResultClosesAtOnceAndClearsTheCrashFlag) {
    LoadPicture(300, 200);
    SendMessageW(window, MSG_RESULT_UNSAVED, 0, 0);
    ASSERT_EQ(CrashFlag(), 1);
    const size_t messages = prompter.messages.size();
    Command(CmdExit);
    Pump();
    EXPECT_FALSE(IsWindow(window));
    EXPECT_EQ(prompter.messages.size(), messages) << "Exit asks nothing";
    EXPECT_EQ(CrashFlag(), 0);
    ExpectWholeIniFiles();
}

}  // namespace
