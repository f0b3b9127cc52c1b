#include "app/app_fixture_win.h"
#include "fusion/prepare_win.h"

#include <atomic>
#include <thread>

#include "base/app_messages.h"
#include "app/view_win.h"
#include "base/alloc.h"
#include "settings/string_table_win.h"
#include "imaging/save_win.h"
#include "resources/resource.h"

namespace {

// Ends the processing dialog as soon as it is open, from another thread, as a user would.
class DialogCloser {
public:
    explicit DialogCloser(WPARAM button)
        : thread_([this, button] {
              while (!stop_) {
                  if (HWND dialog = gApp.dialogMouseTarget.load()) {
                      ++opened_;
                      PostMessageW(dialog, WM_COMMAND, button, 0);
                      while (!stop_ && gApp.dialogMouseTarget.load() == dialog)
                          Sleep(5);
                  }
                  Sleep(5);
              }
          }) {}
    ~DialogCloser() {
        stop_ = true;
        thread_.join();
    }
    int opened() const { return opened_; }

private:
    std::atomic<bool> stop_{false};
    std::atomic<int> opened_{0};
    std::thread thread_;
};

std::wstring ProgressText(HWND progress) {
    return WindowText(ProgressTextControl(progress));
}

}  // namespace

TEST_F(MainWindowTest, SolvaneRefusesGreyAnd16BitPictures) {
    const std::wstring grey = folder.File(L"grey.bmp");
    ASSERT_TRUE(WriteGreyBmp(grey, 64, 48));
    prompter.fileAnswers.push_back({true, grey, 0});
    Command(CmdLoad);
    ASSERT_EQ(gDocument.sourceBuffer.components, 1);
    const std::vector<uint8_t> result(gDocument.resultBuffer.data,
                                      gDocument.resultBuffer.data + gDocument.resultBuffer.size);
    Command(CmdSolvaneUp);
    ASSERT_EQ(prompter.messages.size(), 1u);
    EXPECT_EQ(prompter.messages[0].text, L"Image format not supported!");
    EXPECT_TRUE(prompter.messages[0].defaultCaption);
    EXPECT_EQ(prompter.messages[0].type, static_cast<UINT>(MB_OK));
    EXPECT_FALSE(JobRunning());
    EXPECT_EQ(gDocument.progressDialog.load(), nullptr);
    EXPECT_FALSE(MenuBarGrayed(0));
    EXPECT_TRUE(ButtonEnabled(CmdSolvaneUp));
    // The refused command leaves the result as it was (it could still be saved), the backup is taken.
    EXPECT_EQ(
        std::vector<uint8_t>(gDocument.resultBuffer.data, gDocument.resultBuffer.data + gDocument.resultBuffer.size),
        result);
    EXPECT_EQ(gSolvane.sourceBackup->width, 64);

    // A 16-bit colour picture is refused the same way.
    LoadPicture(40, 30);
    ASSERT_EQ(CQmPicBufAPI::ReinitHeap(gDocument.sourceBuffer, 40, 30, 3, 16), 0);
    std::memset(gDocument.sourceBuffer.data, 0x40, static_cast<size_t>(gDocument.sourceBuffer.size));
    Command(CmdSolvaneDown);
    ASSERT_EQ(prompter.messages.size(), 2u);
    EXPECT_EQ(prompter.messages[1].text, L"Image format not supported!");
    EXPECT_EQ(gSolvane.fusionUp.load(), 0);
    EXPECT_FALSE(JobRunning());
}

TEST_F(MainWindowTest, SolvaneRunHandsOverToTheFusionDialogAndRefusesToClose) {
    LoadPicture(120, 90);
    DialogCloser closer(IDCANCEL);
    Command(CmdSolvaneDown);
    HWND progress = gDocument.progressDialog.load();
    ASSERT_NE(progress, nullptr);
    EXPECT_TRUE(JobRunning());
    EXPECT_EQ(StatusText(), L"");
    EXPECT_EQ(gSolvane.abortRequested.load(), 0);
    EXPECT_EQ(std::wstring(gSolvane.fusionSourcePath), std::wstring(folder.File(L"pic.bmp")));
    // Closing the window while the job runs is refused; so is another job.
    SendMessageW(window, WM_CLOSE, 0, 0);
    EXPECT_TRUE(IsWindow(window));
    Command(CmdExit);
    EXPECT_TRUE(IsWindow(window));
    const std::wstring other = folder.File(L"other.bmp");
    WriteTestBmp(other, 20, 20);
    SendMessageW(window, WM_DROPFILES, reinterpret_cast<WPARAM>(MakeDrop({other})), 0);
    EXPECT_EQ(WindowText(window), L"SolvanePictova - " + folder.File(L"pic.bmp"));
    ASSERT_TRUE(PumpUntil([] { return !JobRunning(); }));
    EXPECT_EQ(closer.opened(), 1);
    EXPECT_FALSE(IsWindow(progress));  // destroyed at the end of its run
    EXPECT_EQ(gDocument.progressDialog.load(), nullptr);
    EXPECT_EQ(gApp.zoomShowsSource, 0);
    for (int pos = 0; pos < 3; ++pos)
        EXPECT_FALSE(MenuBarGrayed(pos)) << pos;
    for (int id : {CmdLoad, CmdSaveAs, CmdSmartContrast, CmdSolvaneUp, CmdSolvaneDown})
        EXPECT_TRUE(ButtonEnabled(id)) << id;
    EXPECT_EQ(gApp.dialogMouseTarget.load(), nullptr);
    // The window closes normally afterwards.
    SendMessageW(window, WM_CLOSE, 0, 0);
    EXPECT_FALSE(IsWindow(window));
}

TEST_F(MainWindowTest, AbortShowsCancelingAndReloadsTheFile) {
    const std::wstring path = LoadPicture(300, 200);
    DialogCloser closer(IDCANCEL);
    Command(CmdSolvaneUp);
    HWND progress = gDocument.progressDialog.load();
    ASSERT_NE(progress, nullptr);
    wchar_t button[32] = {};
    GetDlgItemTextW(progress, IDCANCEL, button, 32);
    EXPECT_STREQ(button, L"Abort");
    // Esc reaches the modeless dialog through the main message loop and means Abort.
    MSG esc{progress, WM_KEYDOWN, VK_ESCAPE, 0, 0, {}};
    EXPECT_TRUE(PreTranslateMainMessage(esc));
    EXPECT_EQ(gSolvane.abortRequested.load(), 1);
    EXPECT_EQ(ProgressText(progress), L"Canceling ...");
    ASSERT_TRUE(PumpUntil([] { return !JobRunning(); }));
    EXPECT_EQ(closer.opened(), 0);  // no Fusion dialog after an abort
    EXPECT_FALSE(IsWindow(progress));
    EXPECT_EQ(gDocument.sourceBuffer.width, 300);
    EXPECT_EQ(gDocument.sourceBuffer.data[3 * 7 + 0], 7);  // the file was read again
    EXPECT_FALSE(MenuBarGrayed(1));
    EXPECT_TRUE(ButtonEnabled(CmdSaveAs));
    EXPECT_EQ(WindowText(window), L"SolvanePictova - " + path);
}

TEST_F(MainWindowTest, SmartContrastJobDisablesTheInterfaceAndTheViewStillPans) {
    LoadPicture();
    Command(CmdSmartContrast);
    ASSERT_TRUE(PumpUntil([] { return gApp.dialogMouseTarget.load() != nullptr; }));
    EXPECT_TRUE(JobRunning());
    PumpUntil([] { return MenuBarGrayed(0) && !ButtonEnabled(CmdSolvaneDown); }, 3000);
    for (int pos = 0; pos < 3; ++pos)
        EXPECT_TRUE(MenuBarGrayed(pos)) << pos;
    for (int id : {CmdLoad, CmdSaveAs, CmdSmartContrast, CmdSolvaneUp, CmdSolvaneDown})
        EXPECT_FALSE(ButtonEnabled(id)) << id;

    // The modal dialog disables the window: its mouse comes back through the cursor requests.
    POINT start{300, 300};
    ClientToScreen(window, &start);
    // The pointer moves asynchronously on a virtual desktop, and a motion event still on its way from the X
    // server can put it back: wait until it is where it was put and stays there.
    auto moveCursor = [](int x, int y) {
        auto there = [&] {
            POINT p{};
            return GetCursorPos(&p) && p.x == x && p.y == y;
        };
        for (int attempt = 0; attempt < 10; ++attempt) {
            SetCursorPos(x, y);
            if (PumpUntil(there, 1000)) {
                PumpUntil([] { return false; }, 100);
                if (there())
                    return;
            }
        }
    };
    moveCursor(start.x, start.y);
    const double ax = gApp.anchorImgX, ay = gApp.anchorImgY;
    SendMessageW(window, WM_SETCURSOR, reinterpret_cast<WPARAM>(window), MAKELPARAM(HTERROR, WM_LBUTTONDOWN));
    EXPECT_EQ(gApp.dragging, 1);
    moveCursor(start.x + 20, start.y + 10);
    SendMessageW(window, WM_SETCURSOR, reinterpret_cast<WPARAM>(window), MAKELPARAM(HTERROR, WM_MOUSEMOVE));
    EXPECT_DOUBLE_EQ(gApp.anchorImgX, ax - 20 / gApp.zoom);
    EXPECT_DOUBLE_EQ(gApp.anchorImgY, ay - 10 / gApp.zoom);
    SendMessageW(window, WM_SETCURSOR, reinterpret_cast<WPARAM>(window), MAKELPARAM(HTERROR, WM_LBUTTONUP));
    EXPECT_EQ(gApp.dragging, 0);

    SendMessageW(window, WM_CLOSE, 0, 0);
    EXPECT_TRUE(IsWindow(window));
    PostMessageW(gApp.dialogMouseTarget.load(), WM_COMMAND, IDCANCEL, 0);
    ASSERT_TRUE(PumpUntil([] { return !JobRunning(); }));
    for (int pos = 0; pos < 3; ++pos)
        EXPECT_FALSE(MenuBarGrayed(pos)) << pos;
    for (int id : {CmdLoad, CmdSaveAs, CmdSmartContrast, CmdSolvaneUp, CmdSolvaneDown})
        EXPECT_TRUE(ButtonEnabled(id)) << id;
    EXPECT_EQ(gApp.dialogMouseTarget.load(), nullptr);
    // Without a dialog the cursor request gets the default handling.
    SendMessageW(window, WM_SETCURSOR, reinterpret_cast<WPARAM>(window), MAKELPARAM(HTCLIENT, WM_LBUTTONDOWN));
    EXPECT_EQ(gApp.dragging, 0);
}

TEST_F(MainWindowTest, CursorAndResultMessages) {
    SendMessageW(window, MSG_CURSOR_WAIT, 0, 0);
    EXPECT_EQ(reinterpret_cast<HCURSOR>(GetClassLongPtrW(window, GCLP_HCURSOR)), LoadCursorW(nullptr, IDC_WAIT));
    SendMessageW(window, MSG_CURSOR_SIZEALL, 0, 0);
    EXPECT_EQ(reinterpret_cast<HCURSOR>(GetClassLongPtrW(window, GCLP_HCURSOR)), LoadCursorW(nullptr, IDC_SIZEALL));
    SendMessageW(window, MSG_CURSOR_ARROW, 0, 0);
    EXPECT_EQ(reinterpret_cast<HCURSOR>(GetClassLongPtrW(window, GCLP_HCURSOR)), LoadCursorW(nullptr, IDC_ARROW));
    EXPECT_EQ(SendMessageW(window, MSG_RESULT_UNSAVED, 0, 0), 0);
    EXPECT_EQ(gApp.unsavedResult, 1);
}

TEST_F(MainWindowTest, SolvaneWithoutMemoryForTheBackupStartsNothing) {
    LoadPicture(200, 100);
    const std::vector<uint8_t> result(gDocument.resultBuffer.data,
                                      gDocument.resultBuffer.data + gDocument.resultBuffer.size);
    SetAllocationLimit(1000);
    Command(CmdSolvaneUp);
    SetAllocationLimit(0);
    ASSERT_EQ(prompter.messages.size(), 1u);
    EXPECT_EQ(prompter.messages[0].text, Str(kStrPictureTooLarge));
    EXPECT_FALSE(JobRunning());
    EXPECT_EQ(gDocument.progressDialog.load(), nullptr);
    EXPECT_EQ(
        std::vector<uint8_t>(gDocument.resultBuffer.data, gDocument.resultBuffer.data + gDocument.resultBuffer.size),
        result);
}

// Screenshots of the dialogs over a loaded picture, for a person to look at (SP_SCREENSHOT_DIR).
TEST_F(MainWindowTest, DialogsOnScreen) {
    if (!ScreenshotsWanted())
        GTEST_SKIP() << "SP_SCREENSHOT_DIR not set";
    LoadPicture(900, 600);

    HWND progress =
        CreateDialogParamW(GetModuleHandleW(nullptr), MAKEINTRESOURCEW(IDD_PROGRESS), window, ProgressDialogProc, 0);
    SetWindowTextW(progress, L"Preparing images ...");
    SetProgressText(progress, L"Progress: 42%");
    SendDlgItemMessageW(progress, IDC_PROGRESS_BAR, PBM_SETRANGE, 0, MAKELPARAM(0, 40));
    SendDlgItemMessageW(progress, IDC_PROGRESS_BAR, PBM_SETPOS, 17, 0);
    ShowWindow(progress, SW_SHOW);
    TakeScreenshot("progress_dialog");
    DestroyWindow(progress);

    Command(CmdSmartContrast);
    ASSERT_TRUE(PumpUntil([] { return gApp.dialogMouseTarget.load() != nullptr; }));
    PumpUntil([] { return false; }, 1000);
    TakeScreenshot("smart_contrast_dialog");
    PostMessageW(gApp.dialogMouseTarget.load(), WM_COMMAND, IDCANCEL, 0);
    ASSERT_TRUE(PumpUntil([] { return !JobRunning(); }));

    std::thread fusionShot([] {
        HWND dialog = nullptr;
        for (int i = 0; i < 6000 && !(dialog = gApp.dialogMouseTarget.load()); ++i)
            Sleep(10);
        Sleep(1500);
        TakeScreenshotNoPump("fusion_dialog");
        if (dialog)
            PostMessageW(dialog, WM_COMMAND, IDCANCEL, 0);
    });
    Command(CmdSolvaneUp);
    EXPECT_TRUE(PumpUntil([] { return !JobRunning(); }, 90000));
    fusionShot.join();

    std::thread optionsShot([] {
        HWND dialog = nullptr;
        for (int i = 0; i < 500 && !(dialog = FindWindowW(L"#32770", L"Options")); ++i)
            Sleep(10);
        Sleep(500);
        TakeScreenshotNoPump("options_dialog");
        if (dialog)
            PostMessageW(dialog, WM_COMMAND, IDCANCEL, 0);
    });
    Command(CmdOptions);
    optionsShot.join();
}

TEST_F(MainWindowTest, SmartContrastOkLeavesAnUnsavedResultThatLoadAsksAbout) {
    LoadPicture(200, 150);
    DialogCloser closer(IDOK);
    Command(CmdSmartContrast);
    ASSERT_TRUE(PumpUntil([] { return !JobRunning(); }));
    EXPECT_EQ(closer.opened(), 1);
    EXPECT_EQ(gApp.unsavedResult, 1);
    prompter.defaultReply = IDNO;
    Command(CmdLoad);
    ASSERT_EQ(prompter.messages.size(), 1u);
    EXPECT_EQ(prompter.messages[0].caption, L"Warning");
    EXPECT_TRUE(prompter.dialogs.size() == 1u);  // only the first load's dialog
}

TEST_F(MainWindowTest, OptionsCommandOpensTheOptionsDialog) {
    std::atomic<bool> found{false};
    std::thread user([&] {
        HWND dialog = nullptr;
        for (int i = 0; i < 500 && !(dialog = FindWindowW(L"#32770", L"Options")); ++i)
            Sleep(10);
        found = dialog != nullptr;
        if (dialog)
            PostMessageW(dialog, WM_COMMAND, IDCANCEL, 0);
    });
    Command(CmdOptions);
    user.join();
    EXPECT_TRUE(found);
    EXPECT_TRUE(prompter.messages.empty());  // Cancel: no language notice
}

namespace {

// Every text as long as a translation may be (1023 characters): the window, the tool dialogs, the
// preparation with its progress text, the options, the save strip and the messages all run as usual.
TEST_F(MainWindowTest, TranslationsAsLongAsTheirSlotsRunEverywhere) {
    Destroy();
    const std::wstring file = LocalisationFilePath();
    EXPECT_TRUE(WriteIniText(file, L"General", L"Languages No", L"1"));
    EXPECT_TRUE(WriteIniText(file, L"General", L"Language Current", L"0"));
    EXPECT_TRUE(WriteIniText(file, L"0", L"Language", std::wstring(1023, L'L').c_str()));
    for (int n = 1; n <= kStringSlots; ++n) {
        std::wstring text(1023, static_cast<wchar_t>(L'A' + n % 26));
        if (n == kStrTilesNotWritten)
            text.replace(0, 2, L"%s");
        EXPECT_TRUE(WriteIniText(file, L"0", (L"string" + std::to_wstring(n)).c_str(), text.c_str()));
    }
    Create();
    ASSERT_EQ(wcslen(Str(kStrProgress)), 1023u);
    EXPECT_EQ(StatusText(), std::wstring(Str(kStrLoadImage)));
    LoadPicture(240, 160);
    prompter.defaultReply = IDYES;  // to go on without saving
    {
        DialogCloser closer(IDOK);
        Command(CmdSmartContrast);
        ASSERT_TRUE(PumpUntil([] { return !JobRunning(); }));
        EXPECT_EQ(closer.opened(), 1);
    }
    {
        DialogCloser closer(IDOK);
        Command(CmdSolvaneUp);
        ASSERT_TRUE(PumpUntil([] { return !JobRunning(); }, 90000));
        EXPECT_EQ(closer.opened(), 1);
        EXPECT_EQ(gApp.unsavedResult, 1);
    }
    std::thread user([] {
        HWND dialog = nullptr;
        for (int i = 0; i < 500 && !dialog; ++i, Sleep(10)) {
            HWND found = FindWindowW(L"#32770", nullptr);
            if (found && GetWindow(found, GW_OWNER) == gApp.mainWindow)
                dialog = found;
        }
        if (dialog)
            PostMessageW(dialog, WM_COMMAND, IDCANCEL, 0);
    });
    Command(CmdOptions);
    user.join();

    // The save dialog's quality strip, as the dialog makes it.
    HWND strip = CreateDialogParamW(GetModuleHandleW(nullptr), MAKEINTRESOURCEW(IDD_SAVE_QUALITY), window,
                                    reinterpret_cast<DLGPROC>(QualityHookProc), 0);
    ASSERT_NE(strip, nullptr);
    EXPECT_EQ(WindowText(GetDlgItem(strip, IDC_SAVE_QUALITY_LABEL)), std::wstring(Str(kStrJpegQuality)));
    DestroyWindow(strip);

    // A message and the tooltips.
    NMTTDISPINFOW tip{};
    tip.hdr.code = TTN_GETDISPINFOW;
    tip.hdr.idFrom = CmdSolvaneUp;
    SendMessageW(window, WM_NOTIFY, 0, reinterpret_cast<LPARAM>(&tip));
    EXPECT_EQ(std::wstring(tip.lpszText), std::wstring(Str(kStrSolvaneUp)));
    Command(CmdClose);
    ASSERT_FALSE(prompter.messages.empty());
    EXPECT_EQ(prompter.messages.back().text, std::wstring(Str(kStrContinueWithoutSaving)));
}

}  // namespace
