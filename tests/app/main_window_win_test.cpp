#include "app/app_fixture_win.h"
#include "app/view_readback_win.h"
#include "fusion/prepare_win.h"

#include <thread>

#include "base/app_messages.h"
#include "app/view_math.h"
#include "settings/string_table.h"

TEST_F(MainWindowTest, CreationStateAndGreySurface) {
    EXPECT_EQ(WindowText(window), L"IDRPictova");
    EXPECT_TRUE(MenuItemGrayed(CmdSaveAs));
    EXPECT_TRUE(MenuItemGrayed(CmdClose));
    EXPECT_FALSE(MenuItemGrayed(CmdLoad));
    EXPECT_FALSE(MenuItemGrayed(CmdSmartContrast));
    EXPECT_TRUE(ButtonEnabled(CmdLoad));
    for (int id : {CmdSaveAs, CmdSmartContrast, CmdSolvaneUp, CmdSolvaneDown, CmdZoomBox})
        EXPECT_FALSE(ButtonEnabled(id)) << id;
    for (int id : {CmdZoomIn, CmdZoomOut, CmdZoom100, CmdZoomFit})
        EXPECT_TRUE(ButtonEnabled(id)) << id;
    EXPECT_FALSE(IsWindowEnabled(gApp.zoomBox));
    EXPECT_EQ(ZoomText(), L"100.0 %");
    EXPECT_EQ(SendMessageW(gApp.zoomBox, CB_GETCOUNT, 0, 0), 8);
    EXPECT_EQ(StatusText(), L"Load Image...");
    EXPECT_EQ(gApp.zoom, 1.0);
    EXPECT_EQ(gApp.zoomShowsSource, 1);
    EXPECT_EQ(gApp.unsavedResult, 0);
    EXPECT_TRUE(prompter.messages.empty());

    // Localised menu: bar titles by position, items with their shortcuts.
    wchar_t text[128] = {};
    GetMenuStringW(GetMenu(window), 1, text, 128, MF_BYPOSITION);
    EXPECT_STREQ(text, L"Processing");
    GetMenuStringW(GetMenu(window), CmdLoad, text, 128, MF_BYCOMMAND);
    EXPECT_STREQ(text, L"Load Image...\tCtrl+O");
    GetMenuStringW(GetMenu(window), CmdSolvaneDown, text, 128, MF_BYCOMMAND);
    EXPECT_STREQ(text, L"Solvane DOWN...");

    // Nothing has been drawn over the grey surface.
    const RECT c = Client();
    bool grey = true;
    for (int y = 0; y < c.bottom && grey; ++y)
        for (int x = 0; x < c.right * 3 && grey; ++x)
            grey = SurfacePixel(0, y)[x] == 190;
    EXPECT_TRUE(grey);

    // The zoom commands do nothing without a picture.
    Command(CmdZoomIn);
    EXPECT_EQ(gApp.zoom, 1.0);
    TakeScreenshot("empty_window");
}

TEST_F(MainWindowTest, CrashWarningOnlyAfterAnInterruptedRun) {
    EXPECT_TRUE(prompter.messages.empty());
    EXPECT_EQ(ReadIniText(LocalisationFilePath(), L"General", L"Crashed Last Time", L""), L"1");
    Destroy();
    EXPECT_EQ(ReadIniText(LocalisationFilePath(), L"General", L"Crashed Last Time", L""), L"0");
    // A run that never reached its shutdown leaves "1".
    EXPECT_TRUE(WriteIniText(LocalisationFilePath(), L"General", L"Crashed Last Time", L"1"));
    Create();
    ASSERT_EQ(prompter.messages.size(), 1u);
    EXPECT_EQ(prompter.messages[0].text, L"The application crashed last time. It's probably caused by low memory.");
    EXPECT_EQ(prompter.messages[0].caption, L"Warning");
    EXPECT_EQ(prompter.messages[0].type, static_cast<UINT>(MB_ICONINFORMATION | MB_OK));
    Destroy();
    Create();
    EXPECT_EQ(prompter.messages.size(), 1u);
}

TEST_F(MainWindowTest, LoadShowsTheFittedPictureAndEnablesCommands) {
    const std::wstring path = LoadPicture(400, 300);
    EXPECT_EQ(WindowText(window), L"SolvanePictova - " + path);
    EXPECT_EQ(StatusText(), L"");
    ASSERT_EQ(prompter.dialogs.size(), 1u);
    EXPECT_FALSE(prompter.dialogs[0].save);

    const SQmPicBuf& src = gDocument.sourceBuffer;
    const SQmPicBuf& res = gDocument.resultBuffer;
    ASSERT_EQ(src.width, 400);
    ASSERT_EQ(res.width, 400);
    ASSERT_EQ(res.height, 300);
    EXPECT_EQ(std::memcmp(src.data, res.data, static_cast<size_t>(src.size)), 0);
    for (const SQmPicBuf* cache : {&gApp.renderer.sourceCache.buf(), &gApp.renderer.resultCache.buf()}) {
        EXPECT_EQ(cache->width, 400);
        EXPECT_EQ(cache->components, 3);
        EXPECT_EQ(cache->bitsPerComponent, 8);
        ASSERT_NE(cache->data, nullptr);
        EXPECT_EQ(std::memcmp(cache->data, src.data, static_cast<size_t>(src.size)), 0);
    }

    // Fit: the picture's limiting side spans the band, centred.
    const RECT c = Client();
    const int top = ToolbarClientBottom() + 2, bottom = c.bottom - 20, h = bottom - top;
    const double expected = std::min((c.right * 0.5) / 200.0, (h * 0.5) / 150.0);
    EXPECT_DOUBLE_EQ(gApp.zoom, expected);
    EXPECT_DOUBLE_EQ(gApp.anchorWinX, c.right * 0.5);
    EXPECT_DOUBLE_EQ(gApp.anchorWinY, h * 0.5 + top);
    EXPECT_EQ(
        ZoomText(), std::wstring(L"") + [&] {
            const std::string t = FormatZoomText(expected);
            return std::wstring(t.begin(), t.end());
        }());
    // The picture reaches from the band's top to its bottom (red is 0 inside, 190 outside).
    const int cx = c.right / 2;
    EXPECT_EQ(SurfacePixel(cx, top + 1)[2], 0);
    EXPECT_EQ(SurfacePixel(cx, bottom - 2)[2], 0);
    EXPECT_EQ(SurfacePixel(cx, bottom + 1)[2], 190);
    const int halfWidth = static_cast<int>(200 * gApp.zoom);
    EXPECT_EQ(SurfacePixel(cx - halfWidth + 2, (top + bottom) / 2)[2], 0);
    EXPECT_EQ(SurfacePixel(cx - halfWidth - 2, (top + bottom) / 2)[2], 190);
    EXPECT_EQ(SurfacePixel(cx + halfWidth + 2, (top + bottom) / 2)[2], 190);

    EXPECT_FALSE(MenuItemGrayed(CmdSaveAs));
    EXPECT_FALSE(MenuItemGrayed(CmdClose));
    for (int id : {CmdLoad, CmdSaveAs, CmdSmartContrast, CmdSolvaneUp, CmdSolvaneDown})
        EXPECT_TRUE(ButtonEnabled(id)) << id;
    EXPECT_TRUE(IsWindowEnabled(gApp.zoomBox));
    EXPECT_EQ(gApp.unsavedResult, 0);
}

TEST_F(MainWindowTest, CancelledLoadChangesNothing) {
    const std::wstring path = LoadPicture();
    const double zoom = gApp.zoom;
    Command(CmdLoad);  // no answer queued: the dialog is cancelled
    EXPECT_EQ(WindowText(window), L"SolvanePictova - " + path);
    EXPECT_EQ(gApp.zoom, zoom);
    EXPECT_EQ(gDocument.sourceBuffer.width, 400);
}

TEST_F(MainWindowTest, DropOfThreeFilesLoadsTheFirst) {
    const std::wstring a = folder.File(L"a.bmp"), b = folder.File(L"b.bmp"), c = folder.File(L"c.bmp");
    WriteTestBmp(a, 120, 80);
    WriteTestBmp(b, 50, 50);
    WriteTestBmp(c, 60, 70);
    SendMessageW(window, WM_DROPFILES, reinterpret_cast<WPARAM>(MakeDrop({a, b, c})), 0);
    EXPECT_EQ(WindowText(window), L"SolvanePictova - " + a);
    EXPECT_EQ(gDocument.sourceBuffer.width, 120);
    EXPECT_EQ(gDocument.sourceBuffer.height, 80);
    EXPECT_EQ(StatusText(), L"Showing");
    EXPECT_TRUE(prompter.dialogs.empty());  // the loader did not ask
    EXPECT_FALSE(MenuItemGrayed(CmdClose));
    EXPECT_TRUE(ButtonEnabled(CmdSolvaneUp));
}

TEST_F(MainWindowTest, UnsavedQuestionAnsweredNoLeavesEverythingUnchanged) {
    const std::wstring path = LoadPicture();
    SendMessageW(window, MSG_RESULT_UNSAVED, 0, 0);
    ASSERT_EQ(gApp.unsavedResult, 1);
    prompter.defaultReply = IDNO;
    const std::wstring other = folder.File(L"other.bmp");
    WriteTestBmp(other, 30, 30);
    const std::vector<uint8_t> result(gDocument.resultBuffer.data,
                                      gDocument.resultBuffer.data + gDocument.resultBuffer.size);
    const std::vector<uint8_t> surface = SurfaceSnapshot();

    auto unchanged = [&](const char* what) {
        SCOPED_TRACE(what);
        EXPECT_TRUE(IsWindow(window));
        EXPECT_EQ(WindowText(window), L"SolvanePictova - " + path);
        EXPECT_EQ(gApp.unsavedResult, 1);
        EXPECT_EQ(gDocument.sourceBuffer.width, 400);
        EXPECT_EQ(std::vector<uint8_t>(gDocument.resultBuffer.data,
                                       gDocument.resultBuffer.data + gDocument.resultBuffer.size),
                  result);
        EXPECT_EQ(SurfaceSnapshot(), surface);
        EXPECT_FALSE(JobRunning());
        EXPECT_EQ(gDocument.progressDialog.load(), nullptr);
        ASSERT_FALSE(prompter.messages.empty());
        EXPECT_EQ(prompter.messages.back().text,
                  L"The image was created but not saved, do you want to continue without saving?");
        EXPECT_EQ(prompter.messages.back().caption, L"Warning");
        EXPECT_EQ(prompter.messages.back().type, static_cast<UINT>(MB_YESNO | MB_ICONINFORMATION));
    };
    size_t asked = prompter.messages.size();
    prompter.fileAnswers.push_back({true, other, 0});
    Command(CmdLoad);
    unchanged("load");
    EXPECT_EQ(prompter.fileAnswers.size(), 1u);  // the open dialog never came
    SendMessageW(window, WM_DROPFILES, reinterpret_cast<WPARAM>(MakeDrop({other})), 0);
    unchanged("drop");
    Command(CmdClose);
    unchanged("close");
    SendMessageW(window, WM_CLOSE, 0, 0);
    unchanged("window close");
    Command(CmdSmartContrast);
    unchanged("smart contrast");
    Command(CmdSolvaneUp);
    unchanged("up");
    EXPECT_EQ(gSolvane.fusionUp.load(), 1);
    Command(CmdSolvaneDown);
    unchanged("down");
    EXPECT_EQ(gSolvane.fusionUp.load(), 0);
    EXPECT_EQ(prompter.messages.size(), asked + 7);

    // Save As, the zoom commands and Exit never ask.
    asked = prompter.messages.size();
    Command(CmdZoomIn);
    Command(CmdExit);
    EXPECT_EQ(prompter.messages.size(), asked);
    EXPECT_FALSE(IsWindow(window));
}

TEST_F(MainWindowTest, CloseMakesTheViewGreyAndKeepsTheTitle) {
    const std::wstring path = LoadPicture();
    Command(CmdClose);
    EXPECT_EQ(WindowText(window), L"SolvanePictova - " + path);
    const RECT c = Client();
    bool grey = true;
    for (int y = 0; y < c.bottom && grey; ++y)
        for (int x = 0; x < c.right * 3 && grey; ++x)
            grey = SurfacePixel(0, y)[x] == 190;
    EXPECT_TRUE(grey);
    EXPECT_TRUE(MenuItemGrayed(CmdSaveAs));
    EXPECT_TRUE(MenuItemGrayed(CmdClose));
    EXPECT_FALSE(IsWindowEnabled(gApp.zoomBox));
    EXPECT_TRUE(ButtonEnabled(CmdLoad));
    EXPECT_FALSE(ButtonEnabled(CmdSaveAs));
    EXPECT_TRUE(ButtonEnabled(CmdSmartContrast));  // keeps its state
    EXPECT_EQ(gDocument.sourceBuffer.data, nullptr);
    EXPECT_FALSE(gDocument.decodedBitmap);
    EXPECT_EQ(gApp.renderer.resultCache->data, nullptr);
    EXPECT_EQ(StatusText(), L"");
    EXPECT_EQ(gApp.zoomShowsSource, 0);
    // Nothing to save now.
    Command(CmdSaveAs);
    EXPECT_TRUE(prompter.dialogs.size() == 1u);

    // The whole surface is grey, not only the window's part: an enlarged window shows no old picture.
    LoadPicture(2400, 1800);
    SetWindowPos(window, nullptr, 0, 0, 500, 400, SWP_NOMOVE | SWP_NOZORDER);
    Pump();
    Command(CmdClose);
    const SQmPicBuf& s = gDocument.displaySurface;
    EXPECT_EQ(std::count(s.data, s.data + s.size, 190), s.size);
}

// The working copy is overwritten through the window: the processed picture lands in the loaded file.
TEST_F(MainWindowTest, SaveAsOntoTheLoadedFile) {
    const std::wstring path = LoadPicture(320, 240, L"working copy.bmp");
    SQmPicBuf& r = gDocument.resultBuffer;
    for (int32_t i = 0; i < r.size; ++i)
        r.data[i] = static_cast<uint8_t>(255 - r.data[i]);
    SendMessageW(window, MSG_RESULT_CHANGED, 0, 0);
    gApp.unsavedResult = 1;
    prompter.fileAnswers.push_back({true, path, 1});
    Command(CmdSaveAs);
    EXPECT_TRUE(prompter.messages.empty());
    EXPECT_EQ(gApp.unsavedResult, 0);
    EXPECT_EQ(WindowText(window), L"SolvanePictova - " + path);
    const std::vector<uint8_t> bytes = ReadWholeFile(path);
    ASSERT_GT(bytes.size(), 54u + 3 * 320);
    const uint8_t* lastRow = bytes.data() + 54;  // bottom-up: picture row 239 comes first
    EXPECT_EQ(lastRow[3 * 5], 255 - 5);
    EXPECT_EQ(lastRow[3 * 5 + 1], 255 - 239);
    TakeScreenshot("saved_over_the_loaded_file");

    // A logoff now, with the real question on screen while a screenshot is taken, answered No.
    if (ScreenshotsWanted()) {
        gApp.unsavedResult = 1;
        ScopedPrompter real(nullptr);
        // Answered from the question's own message loop once the box has been on screen a while.
        SetTimer(nullptr, 0, 4000, [](HWND, UINT, UINT_PTR id, DWORD) {
            KillTimer(nullptr, id);
            if (HWND box = FindWindowW(L"#32770", L"Warning"))
                PostMessageW(box, WM_COMMAND, IDNO, 0);
        });
        EXPECT_EQ(SendMessageW(window, WM_QUERYENDSESSION, 0, ENDSESSION_LOGOFF), FALSE);
        gApp.unsavedResult = 0;
    }
}

// Logoff or shutdown: an unsaved result is asked about, No holds the session back, and a real end
// is a normal end of the run (no crash warning next time).
TEST_F(MainWindowTest, SessionEndAsksAboutUnsavedWorkAndClearsTheCrashFlag) {
    EXPECT_EQ(SendMessageW(window, WM_QUERYENDSESSION, 0, ENDSESSION_LOGOFF), TRUE);
    EXPECT_TRUE(prompter.messages.empty());
    LoadPicture();
    gApp.unsavedResult = 1;
    prompter.messageReplies = {IDNO, IDYES};
    EXPECT_EQ(SendMessageW(window, WM_QUERYENDSESSION, 0, 0), FALSE);
    ASSERT_EQ(prompter.messages.size(), 1u);
    EXPECT_EQ(prompter.messages[0].text, EnglishString(21));
    SendMessageW(window, WM_ENDSESSION, FALSE, 0);  // the shutdown was cancelled
    EXPECT_EQ(ReadIniText(LocalisationFilePath(), L"General", L"Crashed Last Time", L""), L"1");
    EXPECT_EQ(SendMessageW(window, WM_QUERYENDSESSION, 0, 0), TRUE);
    SendMessageW(window, WM_ENDSESSION, TRUE, ENDSESSION_LOGOFF);
    EXPECT_EQ(ReadIniText(LocalisationFilePath(), L"General", L"Crashed Last Time", L""), L"0");
}

TEST_F(MainWindowTest, AboutAndTooltips) {
    Command(CmdAbout);
    ASSERT_EQ(prompter.messages.size(), 1u);
    EXPECT_EQ(prompter.messages[0].text, L"SolvanePictova, Version 1.1");
    EXPECT_EQ(prompter.messages[0].caption, L"About");

    NMTTDISPINFOW info{};
    info.hdr.code = TTN_GETDISPINFOW;
    info.hdr.idFrom = CmdZoomFit;
    SendMessageW(window, WM_NOTIFY, 0, reinterpret_cast<LPARAM>(&info));
    ASSERT_NE(info.lpszText, nullptr);
    EXPECT_STREQ(info.lpszText, L"Zoom Image to Fit the Window");
    info.hdr.idFrom = CmdZoomBox;
    SendMessageW(window, WM_NOTIFY, 0, reinterpret_cast<LPARAM>(&info));
    EXPECT_STREQ(info.lpszText, L"Set Zoom");
}

TEST_F(MainWindowTest, AcceleratorsActOnTheMainWindow) {
    LoadPicture();
    Command(CmdZoom100);
    MSG msg{window, WM_CHAR, '+', 0, 0, {}};
    EXPECT_TRUE(PreTranslateMainMessage(msg));
    EXPECT_EQ(ZoomText(), L"120.0 %");
    // The same key in the zoom box's edit field does not zoom: the table is for the main window.
    MSG inBox{GetWindow(gApp.zoomBox, GW_CHILD), WM_CHAR, '-', 0, 0, {}};
    PreTranslateMainMessage(inBox);
    EXPECT_EQ(ZoomText(), L"120.0 %");
}

// The whole view band read back from the window equals the surface (rows go to the window in strips, columns
// four at a time).
TEST_F(MainWindowTest, PaintCopiesTheSurfaceToTheWindow) {
    LoadPicture(997, 743);
    Command(CmdZoom100);
    const RECT c = Client();
    const int top = ToolbarClientBottom() + 3;
    RedrawWindow(window, nullptr, nullptr, RDW_INVALIDATE | RDW_UPDATENOW);
    EXPECT_EQ(WindowPixelsUnlikeSurface(window, top, c.bottom - 30), 0);  // above the status bar
}

// Opened from Explorer: the first argument, quoted with blanks and any script, loads as a drop does.
TEST_F(MainWindowTest, TheStartupArgumentLoadsAsADrop) {
    OpenStartupArgument(window, L"SolvanePictova.exe");
    EXPECT_EQ(gDocument.sourceBuffer.data, nullptr);
    const std::wstring path = folder.File(L"Urlaub \u00dcbersicht \u5199\u771f.bmp");
    ASSERT_TRUE(WriteTestBmp(path, 64, 48));
    OpenStartupArgument(window, (L"\"C:\\Program Files\\SolvanePictova.exe\" \"" + path + L"\" second.bmp").c_str());
    EXPECT_EQ(std::wstring(sourceFilePath), path);
    EXPECT_EQ(gDocument.sourceBuffer.width, 64);
    EXPECT_EQ(WindowText(window), L"SolvanePictova - " + path);
    EXPECT_EQ(StatusText(), L"Showing");
    EXPECT_TRUE(prompter.messages.empty());
    OpenStartupArgument(window, (L"SolvanePictova.exe \"" + folder.File(L"gone.jpg") + L"\"").c_str());
    ASSERT_EQ(prompter.messages.size(), 1u);
    EXPECT_EQ(prompter.messages[0].text, EnglishString(41));
    EXPECT_EQ(std::wstring(sourceFilePath), path);
}
