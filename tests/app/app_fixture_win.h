// The real main window made in-process, with a fake prompter and a program folder of its own.
#pragma once

#include <windows.h>

#include <commctrl.h>
#include <shlobj.h>
#include <gtest/gtest.h>

#include <chrono>
#include <cstdint>
#include <cstring>
#include <memory>
#include <string>
#include <vector>

#include "app/app_state_win.h"
#include "app/jobs_win.h"
#include "app/main_window_win.h"
#include "resources/resource.h"
#include "settings/settings_win.h"
#include "support/fake_prompter_win.h"

// A 24-bit BMP whose pixel (x, y) is blue x, green y, red 0 (never the view's grey).
inline bool WriteTestBmp(const std::wstring& path, int width, int height) {
    const int stride = (width * 3 + 3) & ~3;
    std::vector<uint8_t> file(54 + static_cast<size_t>(stride) * height, 0);
    auto put16 = [&](size_t at, uint16_t v) { std::memcpy(&file[at], &v, 2); };
    auto put32 = [&](size_t at, uint32_t v) { std::memcpy(&file[at], &v, 4); };
    file[0] = 'B';
    file[1] = 'M';
    put32(2, static_cast<uint32_t>(file.size()));
    put32(10, 54);
    put32(14, 40);
    put32(18, static_cast<uint32_t>(width));
    put32(22, static_cast<uint32_t>(height));
    put16(26, 1);
    put16(28, 24);
    for (int y = 0; y < height; ++y) {
        uint8_t* row = &file[54 + static_cast<size_t>(stride) * (height - 1 - y)];
        for (int x = 0; x < width; ++x) {
            row[x * 3 + 0] = static_cast<uint8_t>(x);
            row[x * 3 + 1] = static_cast<uint8_t>(y);
            row[x * 3 + 2] = 0;
        }
    }
    return WriteWholeFile(path, file.data(), file.size());
}

// An 8-bit indexed BMP with a grey palette: loads as one component.
inline bool WriteGreyBmp(const std::wstring& path, int width, int height) {
    const int stride = (width + 3) & ~3;
    const uint32_t offset = 54 + 256 * 4;
    std::vector<uint8_t> file(offset + static_cast<size_t>(stride) * height, 0);
    auto put16 = [&](size_t at, uint16_t v) { std::memcpy(&file[at], &v, 2); };
    auto put32 = [&](size_t at, uint32_t v) { std::memcpy(&file[at], &v, 4); };
    file[0] = 'B';
    file[1] = 'M';
    put32(2, static_cast<uint32_t>(file.size()));
    put32(10, offset);
    put32(14, 40);
    put32(18, static_cast<uint32_t>(width));
    put32(22, static_cast<uint32_t>(height));
    put16(26, 1);
    put16(28, 8);
    put32(46, 256);
    for (uint32_t i = 0; i < 256; ++i)
        put32(54 + i * 4, i | (i << 8) | (i << 16));
    for (int y = 0; y < height; ++y)
        for (int x = 0; x < width; ++x)
            file[offset + static_cast<size_t>(stride) * y + x] = static_cast<uint8_t>(x + y);
    return WriteWholeFile(path, file.data(), file.size());
}

inline std::wstring WindowText(HWND window) {
    wchar_t text[2048] = {};
    GetWindowTextW(window, text, 2048);
    return text;
}

inline std::wstring StatusText() {
    wchar_t text[1024] = {};
    SendMessageW(gApp.statusBar, SB_GETTEXTW, 0, reinterpret_cast<LPARAM>(text));
    return text;
}

inline bool MenuItemGrayed(int command) {
    return (GetMenuState(GetMenu(gApp.mainWindow), command, MF_BYCOMMAND) & MF_GRAYED) != 0;
}

inline bool MenuBarGrayed(int position) {
    return (GetMenuState(GetMenu(gApp.mainWindow), position, MF_BYPOSITION) & MF_GRAYED) != 0;
}

inline bool ButtonEnabled(int command) {
    return SendMessageW(gApp.toolbar, TB_ISBUTTONENABLED, command, 0) != 0;
}

inline const uint8_t* SurfacePixel(int x, int y) {
    const SQmPicBuf& s = gDocument.displaySurface;
    return s.data + static_cast<ptrdiff_t>(y) * s.stride + x * 3;
}

inline RECT Client() {
    RECT r{};
    GetClientRect(gApp.mainWindow, &r);
    return r;
}

inline int ToolbarClientBottom() {
    RECT r{};
    GetClientRect(gApp.toolbar, &r);
    return r.bottom;
}

// Copies of the client part of the surface, row by row.
inline std::vector<uint8_t> SurfaceSnapshot() {
    const RECT c = Client();
    std::vector<uint8_t> out;
    for (int y = 0; y < c.bottom; ++y)
        out.insert(out.end(), SurfacePixel(0, y), SurfacePixel(c.right, y));
    return out;
}

inline void Pump() {
    MSG msg;
    while (PeekMessageW(&msg, nullptr, 0, 0, PM_REMOVE)) {
        if (msg.message == WM_QUIT)
            continue;
        if (PreTranslateMainMessage(msg))
            continue;
        TranslateMessage(&msg);
        DispatchMessageW(&msg);
    }
}

// Pumps until cond holds or the time is up; returns cond. Waits for messages as the program's loop does, so a
// message another thread sends is handled at once, not after a sleep (the benchmark times these steps).
template <typename Cond>
bool PumpUntil(Cond cond, int milliseconds = 20000) {
    const auto end = std::chrono::steady_clock::now() + std::chrono::milliseconds(milliseconds);
    while (!cond()) {
        if (std::chrono::steady_clock::now() > end)
            return false;
        Pump();
        if (!cond())
            MsgWaitForMultipleObjects(0, nullptr, FALSE, 5, QS_ALLINPUT);
    }
    return true;
}

class MainWindowTest : public ::testing::Test {
protected:
    TempFolder folder;
    FakePrompter prompter;
    std::unique_ptr<ScopedPrompter> scopedPrompter;
    HWND window = nullptr;

    void SetUp() override {
        static const bool controls = [] {
            INITCOMMONCONTROLSEX icc{sizeof icc, ICC_WIN95_CLASSES | ICC_STANDARD_CLASSES};
            return InitCommonControlsEx(&icc) != FALSE;
        }();
        (void)controls;
        SetProgramDirectoryOverride(folder.path());
        scopedPrompter = std::make_unique<ScopedPrompter>(&prompter);
        Create();
    }

    void TearDown() override {
        PumpUntil([] { return !JobRunning(); });
        Destroy();
        scopedPrompter.reset();
        SetProgramDirectoryOverride(L"");
    }

    void Create() {
        window = CreateMainWindow(GetModuleHandleW(nullptr), SW_SHOWNORMAL);
        ASSERT_NE(window, nullptr);
        SetWindowPos(window, HWND_TOP, 20, 20, 960, 720, SWP_SHOWWINDOW);
        Pump();
    }

    void Destroy() {
        if (window && IsWindow(window))
            DestroyWindow(window);
        window = nullptr;
        Pump();
    }

    LRESULT Command(int id) { return SendMessageW(window, WM_COMMAND, id, 0); }

    // Loads a test picture through the Load command and the open dialog.
    std::wstring LoadPicture(int width = 400, int height = 300, const std::wstring& name = L"pic.bmp") {
        const std::wstring path = folder.File(name);
        EXPECT_TRUE(WriteTestBmp(path, width, height));
        prompter.fileAnswers.push_back({true, path, 0});
        Command(CmdLoad);
        Pump();
        return path;
    }

    std::wstring ZoomText() const { return WindowText(gApp.zoomBox); }
};

// Dropped files as the shell hands them over.
inline HGLOBAL MakeDrop(const std::vector<std::wstring>& files) {
    size_t chars = 1;
    for (const auto& f : files)
        chars += f.size() + 1;
    HGLOBAL memory = GlobalAlloc(GHND, sizeof(DROPFILES) + chars * sizeof(wchar_t));
    auto* drop = static_cast<DROPFILES*>(GlobalLock(memory));
    drop->pFiles = sizeof(DROPFILES);
    drop->fWide = TRUE;
    auto* p = reinterpret_cast<wchar_t*>(drop + 1);
    for (const auto& f : files) {
        std::memcpy(p, f.c_str(), f.size() * sizeof(wchar_t));
        p += f.size() + 1;
    }
    GlobalUnlock(memory);
    return memory;
}

// Screenshots of the virtual display for a person to look at, when SP_SCREENSHOT_DIR names a Linux
// folder. The NoPump variant is for threads other than the window's.
inline bool ScreenshotsWanted() {
    return GetEnvironmentVariableA("SP_SCREENSHOT_DIR", nullptr, 0) > 0;
}

inline void TakeScreenshotNoPump(const char* name) {
    char dir[512] = {};
    if (!GetEnvironmentVariableA("SP_SCREENSHOT_DIR", dir, sizeof dir))
        return;
    std::string command = std::string("Z:\\usr\\bin\\import -window root ") + dir + "/" + name + ".png";
    STARTUPINFOA si{};
    si.cb = sizeof si;
    PROCESS_INFORMATION pi{};
    std::vector<char> line(command.begin(), command.end());
    line.push_back(0);
    if (CreateProcessA(nullptr, line.data(), nullptr, nullptr, FALSE, 0, nullptr, nullptr, &si, &pi)) {
        WaitForSingleObject(pi.hProcess, 15000);
        CloseHandle(pi.hThread);
        CloseHandle(pi.hProcess);
    }
}

inline void TakeScreenshot(const char* name) {
    if (!ScreenshotsWanted())
        return;
    Pump();
    Sleep(300);
    Pump();
    char dir[512] = {};
    GetEnvironmentVariableA("SP_SCREENSHOT_DIR", dir, sizeof dir);
    std::string command = std::string("Z:\\usr\\bin\\import -window root ") + dir + "/" + name + ".png";
    STARTUPINFOA si{};
    si.cb = sizeof si;
    PROCESS_INFORMATION pi{};
    std::vector<char> line(command.begin(), command.end());
    line.push_back(0);
    if (CreateProcessA(nullptr, line.data(), nullptr, nullptr, FALSE, 0, nullptr, nullptr, &si, &pi)) {
        PumpUntil([&] { return WaitForSingleObject(pi.hProcess, 0) == WAIT_OBJECT_0; }, 15000);
        CloseHandle(pi.hThread);
        CloseHandle(pi.hProcess);
    }
}
