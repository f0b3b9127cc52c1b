// The Smart Contrast dialog end to end: the real main window, a loaded picture, the dialog on its
// own thread, driven by messages as the controls would send them.
#include <windows.h>

#include <commctrl.h>

#include <gtest/gtest.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <functional>
#include <string>
#include <thread>
#include <vector>

#include "app/app_state_win.h"
#include "app/jobs_win.h"
#include "app/main_window_win.h"
#include "app/view_readback_win.h"
#include "app/view_win.h"
#include "base/alloc.h"
#include "contrast/contrast_dialog_win.h"
#include "contrast/contrast_pyramid.h"
#include "resources/resource.h"
#include "settings/options_dialog_win.h"
#include "settings/settings_win.h"
#include "settings/string_table.h"
#include "support/fake_prompter_win.h"
#include "imaging/save_win.h"

namespace {

constexpr int kSliders[8] = {IDC_SC_SLIDER_0, IDC_SC_SLIDER_1, IDC_SC_SLIDER_2, IDC_SC_SLIDER_3,
                             IDC_SC_SLIDER_4, IDC_SC_SLIDER_5, IDC_SC_SLIDER_6, IDC_SC_SLIDER_7};
constexpr int kValues[8] = {IDC_SC_VALUE_0, IDC_SC_VALUE_1, IDC_SC_VALUE_2, IDC_SC_VALUE_3,
                            IDC_SC_VALUE_4, IDC_SC_VALUE_5, IDC_SC_VALUE_6, IDC_SC_VALUE_7};
constexpr int kLabels[8] = {IDC_SC_LABEL_0, IDC_SC_LABEL_1, IDC_SC_LABEL_2, IDC_SC_LABEL_3,
                            IDC_SC_LABEL_4, IDC_SC_LABEL_5, IDC_SC_LABEL_6, IDC_SC_LABEL_7};

// Runs this thread's messages (the main window's) until done() or the timeout.
bool PumpUntil(const std::function<bool()>& done, DWORD timeoutMs = 60000) {
    const DWORD start = GetTickCount();
    for (;;) {
        MSG msg;
        while (PeekMessageW(&msg, nullptr, 0, 0, PM_REMOVE)) {
            if (msg.message == WM_QUIT)
                continue;  // posted by a destroyed main window
            TranslateMessage(&msg);
            DispatchMessageW(&msg);
        }
        if (done())
            return true;
        if (GetTickCount() - start > timeoutMs)
            return false;
        MsgWaitForMultipleObjects(0, nullptr, FALSE, 5, QS_ALLINPUT);
    }
}

// A photo-like picture: smooth shading, edges and a little noise, so every detail band has content.
std::vector<uint8_t> PhotoPixels(int w, int h, int stride) {
    std::vector<uint8_t> px(static_cast<size_t>(stride) * h);
    uint32_t seed = 12345;
    for (int y = 0; y < h; ++y) {
        for (int x = 0; x < w; ++x) {
            seed = seed * 1664525u + 1013904223u;
            const int noise = static_cast<int>(seed >> 28) - 8;
            const int edge = ((x / 37 + y / 23) & 1) ? 40 : 0;
            for (int c = 0; c < 3; ++c) {
                int v = 60 + (x * (c + 1) * 97 / (w + 1)) % 120 + (y * 80 / (h + 1)) + edge + noise;
                px[static_cast<size_t>(y) * stride + x * 3 + c] = static_cast<uint8_t>(v < 0 ? 0 : v > 255 ? 255 : v);
            }
        }
    }
    return px;
}

std::wstring ReadWhole(const std::wstring& path) {
    std::vector<uint8_t> bytes = ReadWholeFile(path);
    return std::wstring(bytes.begin(), bytes.end());
}

class SmartContrastDialogTest : public ::testing::Test {
protected:
    void SetUp() override {
        INITCOMMONCONTROLSEX icc{sizeof icc, ICC_WIN95_CLASSES | ICC_STANDARD_CLASSES};
        InitCommonControlsEx(&icc);
        SetProgramDirectoryOverride(folder_.path());
        main_ = CreateMainWindow(GetModuleHandleW(nullptr), SW_SHOW);
        ASSERT_NE(main_, nullptr);
        MoveWindow(main_, 40, 20, 1000, 700, TRUE);
        PumpUntil([] { return false; }, 50);
    }
    void TearDown() override {
        if (HWND d = gApp.dialogMouseTarget.load())
            SendMessageW(d, WM_COMMAND, IDCANCEL, 0);
        PumpUntil([] { return !JobRunning(); });
        SetAllocationLimit(0);
        DestroyWindow(main_);
        PumpUntil([] { return false; }, 20);
        SetProgramDirectoryOverride(L"");
    }

    // Writes a w x h colour BMP and loads it through the File menu's Load.
    void Load(int w, int h) {
        SQmPicBuf pic{};
        CQmPicBufAPI::Init(pic);
        ASSERT_EQ(CQmPicBufAPI::ReinitHeap(pic, w, h, 3, 8), 0);
        std::vector<uint8_t> px = PhotoPixels(w, h, pic.stride);
        std::memcpy(pic.data, px.data(), px.size());
        // A new name each time: the document keeps the last loaded file open.
        const std::wstring path = folder_.File(L"picture" + std::to_wstring(++loads_) + L".bmp");
        ASSERT_EQ(WriteColourBmp(path.c_str(), pic), 0);
        CQmPicBufAPI::DoneHeap(pic);
        prompter_.fileAnswers.push_back({true, path, 0});
        SendMessageW(main_, WM_COMMAND, CmdLoad, 0);
        ASSERT_EQ(gDocument.sourceBuffer.width, w);
        ASSERT_EQ(gDocument.sourceBuffer.height, h);
    }

    // Starts the command and waits until the dialog is shown (null when it never showed).
    HWND Open() {
        const uint32_t before = SmartContrastRecomputeCount();
        SendMessageW(main_, WM_COMMAND, CmdSmartContrast, 0);
        HWND dialog = nullptr;
        PumpUntil([&] {
            dialog = gApp.dialogMouseTarget.load();
            return (dialog && IsWindowVisible(dialog)) || !JobRunning();
        });
        if (!JobRunning())
            return nullptr;
        firstRecompute_ = SmartContrastRecomputeCount() - before;
        return dialog;
    }
    void Close(HWND dialog, int button) {
        SendMessageW(dialog, WM_COMMAND, button, 0);
        EXPECT_TRUE(PumpUntil([] { return !JobRunning(); }));
    }

    static std::wstring Text(HWND dialog, int id) {
        wchar_t text[256] = {};
        GetDlgItemTextW(dialog, id, text, 256);
        return text;
    }
    static int Position(HWND dialog, int k) {
        return static_cast<int>(SendDlgItemMessageW(dialog, kSliders[k], TBM_GETPOS, 0, 0));
    }
    static bool ResultEqualsSource() {
        const SQmPicBuf& s = gDocument.sourceBuffer;
        const SQmPicBuf& r = gDocument.resultBuffer;
        return s.size == r.size && std::memcmp(s.data, r.data, static_cast<size_t>(s.size)) == 0;
    }
    // What the view shows: its result cache, refreshed by MSG_RESULT_CHANGED.
    static bool ViewShowsResult() {
        const SQmPicBuf& c = gApp.renderer.resultCache.buf();
        const SQmPicBuf& r = gDocument.resultBuffer;
        return c.size == r.size && std::memcmp(c.data, r.data, static_cast<size_t>(r.size)) == 0;
    }
    static bool MenusEnabled() {
        HMENU menu = GetMenu(gApp.mainWindow);
        for (int i = 0; i < 3; ++i)
            if (GetMenuState(menu, i, MF_BYPOSITION) & (MF_GRAYED | MF_DISABLED))
                return false;
        for (int id : {CmdLoad, CmdSaveAs, CmdSmartContrast, CmdSolvaneUp, CmdSolvaneDown})
            if (!SendMessageW(gApp.toolbar, TB_ISBUTTONENABLED, id, 0))
                return false;
        return true;
    }
    static bool MenusDisabled() {
        HMENU menu = GetMenu(gApp.mainWindow);
        for (int i = 0; i < 3; ++i)
            if (!(GetMenuState(menu, i, MF_BYPOSITION) & MF_GRAYED))
                return false;
        for (int id : {CmdLoad, CmdSaveAs, CmdSmartContrast, CmdSolvaneUp, CmdSolvaneDown})
            if (SendMessageW(gApp.toolbar, TB_ISBUTTONENABLED, id, 0))
                return false;
        return true;
    }
    // The result a given set of slider values must give, rendered here from a pyramid of our own.
    static std::vector<uint8_t> Expected(const int32_t lod[8]) {
        ContrastPyramid pyramid;
        EXPECT_EQ(pyramid.Build(gDocument.sourceBuffer), 0);
        SQmPicBuf out{};
        CQmPicBufAPI::Init(out);
        EXPECT_EQ(CQmPicBufAPI::ReinitHeap(out, gDocument.sourceBuffer), 0);
        CQmPicBufAPI::Copy(out, gDocument.sourceBuffer);
        EXPECT_EQ(ApplySmartContrast(out, pyramid, lod), 0);
        std::vector<uint8_t> bytes(out.data, out.data + out.size);
        CQmPicBufAPI::DoneHeap(out);
        return bytes;
    }
    static bool ResultIs(const std::vector<uint8_t>& bytes) {
        const SQmPicBuf& r = gDocument.resultBuffer;
        return bytes.size() == static_cast<size_t>(r.size) && std::memcmp(bytes.data(), r.data, bytes.size()) == 0;
    }

    TempFolder folder_;
    FakePrompter prompter_;
    ScopedPrompter scoped_{&prompter_};
    HWND main_ = nullptr;
    uint32_t firstRecompute_ = 0;
    int loads_ = 0;
};

TEST_F(SmartContrastDialogTest, OpensWithDefaultsAndCancelRestoresTheSource) {
    Load(640, 480);
    HWND dialog = Open();
    ASSERT_NE(dialog, nullptr);
    EXPECT_EQ(firstRecompute_, 1u);

    // Placement, texts, the state the main window sees while it is open.
    RECT m{}, d{};
    GetWindowRect(main_, &m);
    GetWindowRect(dialog, &d);
    EXPECT_EQ(d.left, m.left + 10);
    EXPECT_EQ(d.top, m.top + 30);
    wchar_t caption[64] = {};
    GetWindowTextW(dialog, caption, 64);
    EXPECT_STREQ(caption, L"Smart Contrast");
    EXPECT_EQ(Text(dialog, IDC_SC_DEFAULTS), L"Set Defaults");
    EXPECT_EQ(Text(dialog, IDC_SC_LABEL_7), L"one hundred twenty-eight");
    EXPECT_EQ(Text(dialog, IDC_SC_HEADER_LEVEL), L"Level of details(pixels)");
    EXPECT_TRUE(MenusDisabled());
    EXPECT_EQ(gApp.renderer.overlayRect.load(), nullptr);

    // No settings file: every level at "10", and the picture is the source up to truncation.
    for (int k = 0; k < 8; ++k) {
        EXPECT_EQ(Text(dialog, kValues[k]), L"10") << k;
        EXPECT_EQ(Position(dialog, k), 10) << k;
    }
    const SQmPicBuf& s = gDocument.sourceBuffer;
    const SQmPicBuf& r = gDocument.resultBuffer;
    size_t lower = 0, other = 0;
    for (int32_t i = 0; i < s.size; ++i) {
        if (r.data[i] + 1 == s.data[i])
            ++lower;
        else if (r.data[i] != s.data[i])
            ++other;
    }
    EXPECT_EQ(other, 0u);
    EXPECT_LT(lower, static_cast<size_t>(s.size) / 4);
    EXPECT_TRUE(ViewShowsResult());

    // A change, then Cancel: the source is back, on screen too, and nothing was written.
    HWND slider = GetDlgItem(dialog, kSliders[0]);
    SendMessageW(dialog, WM_HSCROLL, MAKEWPARAM(TB_THUMBPOSITION, 30), reinterpret_cast<LPARAM>(slider));
    EXPECT_FALSE(ResultEqualsSource());
    Close(dialog, IDCANCEL);
    EXPECT_TRUE(ResultEqualsSource());
    EXPECT_TRUE(ViewShowsResult());
    EXPECT_FALSE(FileExists(SettingsFilePath()));
    EXPECT_EQ(gApp.unsavedResult, 0);
    EXPECT_EQ(gApp.dialogMouseTarget.load(), nullptr);
    EXPECT_TRUE(MenusEnabled());
    EXPECT_TRUE(IsWindowEnabled(gApp.zoomBox));
    EXPECT_TRUE(prompter_.messages.empty());
}

TEST_F(SmartContrastDialogTest, RowsBeyondThePicturesLevelsAreDisabled) {
    struct Case {
        int w, h, levels;
    };
    for (Case c : {Case{1000, 700, 7}, Case{150, 100, 4}, Case{1300, 1280, 8}}) {
        Load(c.w, c.h);
        HWND dialog = Open();
        ASSERT_NE(dialog, nullptr);
        for (int k = 0; k < 8; ++k) {
            const bool enabled = k < c.levels;
            EXPECT_EQ(IsWindowEnabled(GetDlgItem(dialog, kSliders[k])) != 0, enabled) << c.w << " " << k;
            EXPECT_EQ(IsWindowEnabled(GetDlgItem(dialog, kLabels[k])) != 0, enabled) << c.w << " " << k;
            EXPECT_EQ(IsWindowEnabled(GetDlgItem(dialog, kValues[k])) != 0, enabled) << c.w << " " << k;
        }
        Close(dialog, IDCANCEL);
    }
}

TEST_F(SmartContrastDialogTest, SliderEventsStepAndRecomputeByTheRules) {
    EXPECT_TRUE(WriteSettingsText(L"LOD_2", L"30"));
    Load(320, 240);
    HWND dialog = Open();
    ASSERT_NE(dialog, nullptr);
    const std::vector<uint8_t> first(gDocument.resultBuffer.data,
                                     gDocument.resultBuffer.data + gDocument.resultBuffer.size);

    // Right arrow on the slider at 10: the control steps to 11, the dialog once more to 12.
    HWND s0 = GetDlgItem(dialog, kSliders[0]);
    uint32_t n = SmartContrastRecomputeCount();
    SendMessageW(s0, WM_KEYDOWN, VK_RIGHT, 0);
    SendMessageW(s0, WM_KEYUP, VK_RIGHT, 0xC0000001);
    EXPECT_EQ(Position(dialog, 0), 12);
    EXPECT_EQ(Text(dialog, kValues[0]), L"12");
    EXPECT_EQ(SmartContrastRecomputeCount(), n + 1);
    int32_t lod[8] = {12, 10, 30, 10, 10, 10, 10, 10};
    EXPECT_TRUE(ResultIs(Expected(lod)));
    EXPECT_TRUE(ViewShowsResult());
    // The view shows the new result, and a pan after it moves that picture, not the one before.
    EXPECT_TRUE(SurfaceIsAWholeRedraw());
    SendMessageW(gApp.mainWindow, WM_LBUTTONDOWN, MK_LBUTTON, MAKELPARAM(200, 200));
    SendMessageW(gApp.mainWindow, WM_MOUSEMOVE, MK_LBUTTON, MAKELPARAM(230, 215));
    SendMessageW(gApp.mainWindow, WM_LBUTTONUP, 0, MAKELPARAM(230, 215));
    EXPECT_TRUE(SurfaceIsAWholeRedraw());

    // At 30 the arrow changes nothing and nothing is recomputed.
    HWND s2 = GetDlgItem(dialog, kSliders[2]);
    n = SmartContrastRecomputeCount();
    SendMessageW(s2, WM_KEYDOWN, VK_RIGHT, 0);
    SendMessageW(s2, WM_KEYUP, VK_RIGHT, 0xC0000001);
    EXPECT_EQ(Position(dialog, 2), 30);
    EXPECT_EQ(Text(dialog, kValues[2]), L"30");
    EXPECT_EQ(SmartContrastRecomputeCount(), n);

    // Home: to 0, recomputed.
    n = SmartContrastRecomputeCount();
    SendMessageW(s2, WM_KEYDOWN, VK_HOME, 0);
    SendMessageW(s2, WM_KEYUP, VK_HOME, 0xC0000001);
    EXPECT_EQ(Position(dialog, 2), 0);
    EXPECT_EQ(Text(dialog, kValues[2]), L"0");
    EXPECT_EQ(SmartContrastRecomputeCount(), n + 1);

    // Dragging shows the value live; the picture follows on release only.
    HWND s1 = GetDlgItem(dialog, kSliders[1]);
    n = SmartContrastRecomputeCount();
    for (int v : {14, 19, 25}) {
        SendMessageW(s1, TBM_SETPOS, TRUE, v);
        SendMessageW(dialog, WM_HSCROLL, MAKEWPARAM(TB_THUMBTRACK, v), reinterpret_cast<LPARAM>(s1));
    }
    EXPECT_EQ(Text(dialog, kValues[1]), L"25");
    EXPECT_EQ(SmartContrastRecomputeCount(), n);
    SendMessageW(dialog, WM_HSCROLL, MAKEWPARAM(TB_THUMBPOSITION, 25), reinterpret_cast<LPARAM>(s1));
    SendMessageW(dialog, WM_HSCROLL, MAKEWPARAM(TB_ENDTRACK, 0), reinterpret_cast<LPARAM>(s1));
    EXPECT_EQ(SmartContrastRecomputeCount(), n + 1);
    int32_t lod2[8] = {12, 25, 0, 10, 10, 10, 10, 10};
    EXPECT_TRUE(ResultIs(Expected(lod2)));

    // Page steps (page size 0) move by one; a notification from elsewhere changes nothing.
    SendMessageW(s1, WM_KEYDOWN, VK_NEXT, 0);
    EXPECT_EQ(Position(dialog, 1), 26);
    n = SmartContrastRecomputeCount();
    SendMessageW(dialog, WM_HSCROLL, MAKEWPARAM(TB_LINEDOWN, 0), 0);
    EXPECT_EQ(SmartContrastRecomputeCount(), n);
    EXPECT_EQ(Position(dialog, 1), 26);

    Close(dialog, IDOK);
    EXPECT_EQ(gApp.unsavedResult, 1);
    const std::wstring file = SettingsFilePath();
    const wchar_t* expected[8] = {L"12", L"26", L"0", L"10", L"10", L"10", L"10", L"10"};
    for (int k = 0; k < 8; ++k) {
        wchar_t key[8];
        swprintf(key, 8, L"LOD_%d", k);
        EXPECT_EQ(ReadIniText(file, L"General", key, L"missing"), expected[k]) << k;
    }
    EXPECT_NE(std::memcmp(first.data(), gDocument.resultBuffer.data, first.size()), 0);
}

TEST_F(SmartContrastDialogTest, StoredValuesBeyondTheRangeKeepTheirGainAndText) {
    EXPECT_TRUE(WriteSettingsText(L"LOD_0", L"100"));
    EXPECT_TRUE(WriteSettingsText(L"LOD_3", L"abc"));
    EXPECT_TRUE(WriteSettingsText(L"LOD_5", L" +7x"));
    Load(320, 240);
    HWND dialog = Open();
    ASSERT_NE(dialog, nullptr);
    EXPECT_EQ(Position(dialog, 0), 30);
    EXPECT_EQ(Text(dialog, kValues[0]), L"100");
    EXPECT_EQ(Position(dialog, 3), 0);
    EXPECT_EQ(Text(dialog, kValues[3]), L"abc");
    EXPECT_EQ(Position(dialog, 5), 7);
    int32_t lod[8] = {100, 10, 10, 0, 10, 7, 10, 10};
    EXPECT_TRUE(ResultIs(Expected(lod)));
    Close(dialog, IDOK);
    const std::wstring file = SettingsFilePath();
    EXPECT_EQ(ReadIniText(file, L"General", L"LOD_0", L""), L"100");
    EXPECT_EQ(ReadIniText(file, L"General", L"LOD_3", L""), L"abc");
    EXPECT_EQ(ReadIniText(file, L"General", L"LOD_7", L""), L"10");
    EXPECT_TRUE(ResultIs(Expected(lod)));  // OK keeps the last computation
}

TEST_F(SmartContrastDialogTest, SetDefaultsThenCancelLeavesTheSettingsFileAlone) {
    for (int k = 0; k < 8; ++k) {
        wchar_t key[8], value[8];
        swprintf(key, 8, L"LOD_%d", k);
        swprintf(value, 8, L"%d", 3 * k + 1);
        EXPECT_TRUE(WriteSettingsText(key, value));
    }
    const std::wstring before = ReadWhole(SettingsFilePath());
    Load(320, 240);
    HWND dialog = Open();
    ASSERT_NE(dialog, nullptr);
    EXPECT_EQ(Text(dialog, kValues[4]), L"13");
    const uint32_t n = SmartContrastRecomputeCount();
    SendMessageW(dialog, WM_COMMAND, IDC_SC_DEFAULTS, 0);
    EXPECT_EQ(SmartContrastRecomputeCount(), n + 1);
    for (int k = 0; k < 8; ++k) {
        EXPECT_EQ(Text(dialog, kValues[k]), L"10");
        EXPECT_EQ(Position(dialog, k), 10);
    }
    Close(dialog, IDCANCEL);
    EXPECT_EQ(ReadWhole(SettingsFilePath()), before);
    EXPECT_TRUE(ResultEqualsSource());
}

TEST_F(SmartContrastDialogTest, PicturesItCannotTakeAreRefusedWithAMessage) {
    // Below 10 pixels there is no detail band.
    Load(9, 40);
    std::memset(gDocument.resultBuffer.data, 7, static_cast<size_t>(gDocument.resultBuffer.size));
    EXPECT_EQ(Open(), nullptr);
    ASSERT_EQ(prompter_.messages.size(), 1u);
    EXPECT_EQ(prompter_.messages[0].text, EnglishString(kStrContrastTooSmall));
    EXPECT_EQ(prompter_.messages[0].caption, L"Smart Contrast");
    EXPECT_EQ(prompter_.messages[0].owner, main_);
    for (int32_t i = 0; i < gDocument.resultBuffer.size; ++i)
        ASSERT_EQ(gDocument.resultBuffer.data[i], 7);
    EXPECT_TRUE(MenusEnabled());
    EXPECT_EQ(gApp.dialogMouseTarget.load(), nullptr);

    // A pyramid that does not fit in memory: the planes of a 200 x 200 picture need 160000 bytes each.
    Load(200, 200);
    std::memset(gDocument.resultBuffer.data, 9, static_cast<size_t>(gDocument.resultBuffer.size));
    SetAllocationLimit(150000);
    EXPECT_EQ(Open(), nullptr);
    SetAllocationLimit(0);
    ASSERT_EQ(prompter_.messages.size(), 2u);
    EXPECT_EQ(prompter_.messages[1].text, EnglishString(kStrContrastNoMemory));
    for (int32_t i = 0; i < gDocument.resultBuffer.size; ++i)
        ASSERT_EQ(gDocument.resultBuffer.data[i], 9);
    EXPECT_TRUE(MenusEnabled());
    EXPECT_FALSE(FileExists(SettingsFilePath()));
}

TEST_F(SmartContrastDialogTest, WithoutAPictureEveryRowIsDisabledAndOkStillCloses) {
    const uint32_t n = SmartContrastRecomputeCount();
    HWND dialog = Open();
    ASSERT_NE(dialog, nullptr);
    for (int k = 0; k < 8; ++k)
        EXPECT_FALSE(IsWindowEnabled(GetDlgItem(dialog, kSliders[k])));
    // While it is open the whole interface is the job's.
    HMENU menu = GetMenu(main_);
    for (UINT pos = 0; pos < 3; ++pos)
        EXPECT_TRUE(GetMenuState(menu, pos, MF_BYPOSITION) & MF_GRAYED) << pos;
    EXPECT_FALSE(SendMessageW(gApp.toolbar, TB_ISBUTTONENABLED, CmdLoad, 0));
    SendMessageW(dialog, WM_COMMAND, IDC_SC_DEFAULTS, 0);
    Close(dialog, IDOK);
    EXPECT_EQ(SmartContrastRecomputeCount(), n);
    EXPECT_EQ(ReadIniText(SettingsFilePath(), L"General", L"LOD_7", L""), L"10");
    // Afterwards there is still nothing to save or process: only Load and the menus come back.
    for (UINT pos = 0; pos < 3; ++pos)
        EXPECT_FALSE(GetMenuState(menu, pos, MF_BYPOSITION) & MF_GRAYED) << pos;
    EXPECT_TRUE(GetMenuState(menu, CmdSaveAs, MF_BYCOMMAND) & MF_GRAYED);
    EXPECT_TRUE(SendMessageW(gApp.toolbar, TB_ISBUTTONENABLED, CmdLoad, 0));
    for (int command : {CmdSaveAs, CmdSmartContrast, CmdSolvaneUp, CmdSolvaneDown})
        EXPECT_FALSE(SendMessageW(gApp.toolbar, TB_ISBUTTONENABLED, command, 0)) << command;
    EXPECT_FALSE(IsWindowEnabled(gApp.zoomBox));
    EXPECT_TRUE(prompter_.messages.empty());
}

TEST_F(SmartContrastDialogTest, TheWheelOverTheDialogZoomsTheView) {
    Load(640, 480);
    HWND dialog = Open();
    ASSERT_NE(dialog, nullptr);
    RECT c{};
    GetClientRect(main_, &c);
    POINT centre{c.right / 2, c.bottom / 2};
    ClientToScreen(main_, &centre);
    const double zoom = gApp.zoom;
    SendMessageW(dialog, WM_MOUSEWHEEL, MAKEWPARAM(0, WHEEL_DELTA), MAKELPARAM(centre.x, centre.y));
    PumpUntil([] { return false; }, 20);
    EXPECT_DOUBLE_EQ(gApp.zoom, zoom * 1.2);
    Close(dialog, IDOK);
}

TEST_F(SmartContrastDialogTest, TheMainWindowReachesBothDialogsThroughItsHooks) {
    EXPECT_EQ(gAppHooks.smartContrastDialogProc, &SmartContrastDialogProc);
    // File > Options... opens the language dialog centred on the main window.
    RECT seen{};
    const DWORD ui = GetCurrentThreadId();
    std::thread driver([&] {
        for (int i = 0; i < 1000; ++i, Sleep(10)) {
            HWND found = nullptr;
            EnumThreadWindows(
                ui,
                [](HWND w, LPARAM p) -> BOOL {
                    wchar_t cls[16] = {};
                    GetClassNameW(w, cls, 16);
                    if (lstrcmpW(cls, L"#32770") != 0 || !IsWindowVisible(w) ||
                        GetWindow(w, GW_OWNER) != gApp.mainWindow)
                        return TRUE;
                    *reinterpret_cast<HWND*>(p) = w;
                    return FALSE;
                },
                reinterpret_cast<LPARAM>(&found));
            if (found) {
                GetWindowRect(found, &seen);
                SendMessageW(found, WM_COMMAND, IDCANCEL, 0);
                return;
            }
        }
    });
    SendMessageW(main_, WM_COMMAND, CmdOptions, 0);
    driver.join();
    RECT m{};
    GetWindowRect(main_, &m);
    EXPECT_GT(seen.right, seen.left);
    EXPECT_EQ(seen.left, m.left + (m.right - m.left) / 2 - (seen.right - seen.left) / 2);
    EXPECT_EQ(seen.top, m.top + (m.bottom - m.top) / 2 - (seen.bottom - seen.top) / 2);
    EXPECT_TRUE(prompter_.messages.empty());
}

// Not a check: loads the photo named by SP_SHOWCASE_PHOTO, sets a few sliders the way a user does
// (a click on a slider's channel, an arrow key, a drag released) and keeps the dialog open for
// SP_SHOWCASE_SECONDS so a screenshot can be taken of the display.
TEST_F(SmartContrastDialogTest, DISABLED_ShowcaseForAScreenshot) {
    const char* photo = std::getenv("SP_SHOWCASE_PHOTO");
    ASSERT_NE(photo, nullptr);
    const int seconds = std::getenv("SP_SHOWCASE_SECONDS") ? std::atoi(std::getenv("SP_SHOWCASE_SECONDS")) : 20;
    wchar_t path[kPathChars] = {};
    MultiByteToWideChar(CP_UTF8, 0, photo, -1, path, kPathChars);
    ShowWindow(main_, SW_MAXIMIZE);
    prompter_.fileAnswers.push_back({true, path, 0});
    SendMessageW(main_, WM_COMMAND, CmdLoad, 0);
    ASSERT_NE(gDocument.sourceBuffer.data, nullptr);
    HWND dialog = Open();
    ASSERT_NE(dialog, nullptr);

    // Real input: the dialog's thread takes this thread's keyboard and mouse state.
    const DWORD dialogThread = GetWindowThreadProcessId(dialog, nullptr);
    AttachThreadInput(GetCurrentThreadId(), dialogThread, TRUE);
    SetForegroundWindow(dialog);
    HWND s3 = GetDlgItem(dialog, kSliders[3]);
    SetFocus(s3);
    INPUT keys[2] = {};
    keys[0].type = keys[1].type = INPUT_KEYBOARD;
    keys[0].ki.wVk = keys[1].ki.wVk = VK_RIGHT;
    keys[1].ki.dwFlags = KEYEVENTF_KEYUP;
    SendInput(2, keys, sizeof(INPUT));
    PumpUntil([&] { return Position(dialog, 3) != 10; }, 3000);
    std::printf("after the right arrow on 'eight': %d, label %ls\n", Position(dialog, 3),
                Text(dialog, kValues[3]).c_str());

    RECT r{};
    HWND s0 = GetDlgItem(dialog, kSliders[0]);
    GetWindowRect(s0, &r);
    SetCursorPos(r.right - 6, (r.top + r.bottom) / 2);
    INPUT click[2] = {};
    click[0].type = click[1].type = INPUT_MOUSE;
    click[0].mi.dwFlags = MOUSEEVENTF_LEFTDOWN;
    click[1].mi.dwFlags = MOUSEEVENTF_LEFTUP;
    SendInput(2, click, sizeof(INPUT));
    PumpUntil([] { return false; }, 1500);
    std::printf("after a click right of the thumb of 'one': %d, label %ls\n", Position(dialog, 0),
                Text(dialog, kValues[0]).c_str());

    for (int k : {0, 1, 2}) {
        HWND s = GetDlgItem(dialog, kSliders[k]);
        const int v = 24 - 2 * k;
        SendMessageW(s, TBM_SETPOS, TRUE, v);
        SendMessageW(dialog, WM_HSCROLL, MAKEWPARAM(TB_THUMBTRACK, v), reinterpret_cast<LPARAM>(s));
        SendMessageW(dialog, WM_HSCROLL, MAKEWPARAM(TB_THUMBPOSITION, v), reinterpret_cast<LPARAM>(s));
    }
    AttachThreadInput(GetCurrentThreadId(), dialogThread, FALSE);
    std::printf("showing for %d s\n", seconds);
    std::fflush(stdout);
    PumpUntil([] { return false; }, static_cast<DWORD>(seconds) * 1000);
    Close(dialog, IDCANCEL);
}

// Not a check: prints how long one recompute of a 12-megapixel picture takes here.
TEST_F(SmartContrastDialogTest, DISABLED_RecomputeTimeOf12Megapixels) {
    Load(4000, 3000);
    auto t0 = std::chrono::steady_clock::now();
    HWND dialog = Open();
    auto t1 = std::chrono::steady_clock::now();
    ASSERT_NE(dialog, nullptr);
    for (int i = 0; i < 3; ++i) {
        auto a = std::chrono::steady_clock::now();
        SendMessageW(dialog, MSG_SC_RECOMPUTE, 1, 0);
        auto b = std::chrono::steady_clock::now();
        std::printf("recompute %d: %.0f ms\n", i, std::chrono::duration<double, std::milli>(b - a).count());
    }
    std::printf("open (build + first recompute): %.0f ms\n",
                std::chrono::duration<double, std::milli>(t1 - t0).count());
    Close(dialog, IDCANCEL);
}

}  // namespace
