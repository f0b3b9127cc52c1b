// The main window in-process for the fusion tests: a program folder of their own, a fake prompter,
// photo-like pictures written as real files, and message pumping while jobs run.
#pragma once

#include <windows.h>

#include <functional>
#include <string>
#include <vector>

#include "app/app_state_win.h"
#include "imaging/pic_buf.h"
#include "support/fake_prompter_win.h"

#include <commctrl.h>

#include <cstring>
#include <memory>

#include "app/jobs_win.h"
#include "app/main_window_win.h"
#include "imaging/document_win.h"
#include "imaging/save_win.h"
#include "resources/resource.h"
#include "settings/settings_win.h"

// Owns a picture.
struct TestPicture {
    SQmPicBuf buf{};
    TestPicture() = default;
    TestPicture(const TestPicture&) = delete;
    TestPicture& operator=(const TestPicture&) = delete;
    TestPicture(TestPicture&& o) noexcept : buf(o.buf) { o.buf = SQmPicBuf{}; }
    TestPicture& operator=(TestPicture&& o) noexcept {
        if (this != &o) {
            CQmPicBufAPI::DoneHeap(buf);
            buf = o.buf;
            o.buf = SQmPicBuf{};
        }
        return *this;
    }
    ~TestPicture() { CQmPicBufAPI::DoneHeap(buf); }
};

class FusionApp {
public:
    // Creates the main window at (0, 0), 600 x 400, with the program folder in a temporary folder.
    static void Start();
    static void Stop();

    static FakePrompter& prompter();
    static const std::wstring& folder();  // the program folder
    static std::wstring TileFolder();     // its "tmpfolder"

    // Processes messages until done() holds or timeoutMs passes; false on timeout.
    static bool PumpUntil(const std::function<bool()>& done, int timeoutMs = 120000);
    // Loads path through the Load command (the prompter answers the file dialog).
    static bool Load(const std::wstring& path);
    // Sends Solvane UP or DOWN and waits until the worker has ended.
    static bool RunSolvane(bool up);
};

// A photo-like picture: sky gradient, textured ground, a few saturated patches and dark shadows.
TestPicture MakePhoto(int width, int height, unsigned seed);
// Writes picture as a BMP into the program folder; returns the path.
std::wstring WritePhoto(const std::wstring& name, const SQmPicBuf& picture);
TestPicture CopyOf(const SQmPicBuf& picture);
// Reads a file through the loader into a picture of its own (sourceFilePath changes).
TestPicture LoadCopy(const std::wstring& path);
bool SamePixels(const SQmPicBuf& a, const SQmPicBuf& b);

bool MenuBarEnabled();  // positions 0, 1 and 2 all enabled
bool ToolbarEnabled(int command);

// ---- definitions (header only: shared by the test files of one executable) ----

namespace fusion_harness {
inline std::unique_ptr<TempFolder> gFolder;
inline FakePrompter gPrompter;
}  // namespace fusion_harness
using fusion_harness::gFolder;
using fusion_harness::gPrompter;

inline void FusionApp::Start() {
    INITCOMMONCONTROLSEX icc{sizeof icc, ICC_WIN95_CLASSES | ICC_STANDARD_CLASSES};
    InitCommonControlsEx(&icc);
    gFolder = std::make_unique<TempFolder>();
    SetProgramDirectoryOverride(gFolder->path());
    SetPrompter(&gPrompter);
    // The pointer stays off the main window and the dialog, so the view re-issues no moves of its own.
    SetCursorPos(630, 470);
    HWND window = CreateMainWindow(GetModuleHandleW(nullptr), SW_SHOW);
    MoveWindow(window, 0, 0, 600, 400, TRUE);
    PumpUntil([] { return false; }, 100);
}

inline void FusionApp::Stop() {
    if (gApp.mainWindow)
        DestroyWindow(gApp.mainWindow);
    MSG msg;
    while (PeekMessageW(&msg, nullptr, 0, 0, PM_REMOVE)) {
    }
    SetPrompter(nullptr);
    SetProgramDirectoryOverride(L"");
    gFolder.reset();
}

inline FakePrompter& FusionApp::prompter() {
    return gPrompter;
}
inline const std::wstring& FusionApp::folder() {
    return gFolder->path();
}
inline std::wstring FusionApp::TileFolder() {
    return gFolder->path() + L"\\tmpfolder";
}

inline bool FusionApp::PumpUntil(const std::function<bool()>& done, int timeoutMs) {
    const ULONGLONG end = GetTickCount64() + static_cast<ULONGLONG>(timeoutMs);
    for (;;) {
        MSG msg;
        while (PeekMessageW(&msg, nullptr, 0, 0, PM_REMOVE)) {
            if (msg.message == WM_QUIT)
                return false;
            TranslateMessage(&msg);
            DispatchMessageW(&msg);
            if (done())
                return true;
        }
        if (done())
            return true;
        if (GetTickCount64() > end)
            return false;
        MsgWaitForMultipleObjects(0, nullptr, FALSE, 5, QS_ALLINPUT);
    }
}

inline bool FusionApp::Load(const std::wstring& path) {
    gApp.unsavedResult = 0;
    gPrompter.fileAnswers.push_back({true, path, 0});
    SendMessageW(gApp.mainWindow, WM_COMMAND, CmdLoad, 0);
    return sourceFilePath == path;
}

inline bool FusionApp::RunSolvane(bool up) {
    SendMessageW(gApp.mainWindow, WM_COMMAND, up ? CmdSolvaneUp : CmdSolvaneDown, 0);
    return PumpUntil([] { return !JobRunning(); });
}

inline TestPicture MakePhoto(int width, int height, unsigned seed) {
    TestPicture p;
    EXPECT_EQ(CQmPicBufAPI::ReinitHeap(p.buf, width, height, 3, 8), 0);
    uint32_t state = seed * 2654435761u + 1;
    auto noise = [&] {
        state = state * 1664525u + 1013904223u;
        return static_cast<int>((state >> 24) & 15) - 8;
    };
    auto clamp = [](int v) { return static_cast<uint8_t>(v < 0 ? 0 : v > 255 ? 255 : v); };
    for (int y = 0; y < height; ++y) {
        uint8_t* row = p.buf.data + static_cast<size_t>(y) * p.buf.stride;
        const double fy = static_cast<double>(y) / height;
        for (int x = 0; x < width; ++x) {
            const double fx = static_cast<double>(x) / width;
            int b, g, r;
            if (fy < 0.45) {  // sky: bright, bluish, brighter towards the top
                b = 235 - static_cast<int>(60 * fy);
                g = 200 - static_cast<int>(70 * fy);
                r = 170 - static_cast<int>(90 * fy);
            } else {  // ground: dark green-brown with texture
                const int t = static_cast<int>(25 * ((x * 7 + y * 3) % 23) / 23.0);
                b = 30 + t;
                g = 60 + t + static_cast<int>(40 * fx);
                r = 45 + t;
            }
            const double dx = fx - 0.7, dy = fy - 0.6;
            if (dx * dx + dy * dy < 0.01) {  // a red patch in shadow
                b = 20;
                g = 25;
                r = 120;
            }
            if (fx > 0.15 && fx < 0.3 && fy > 0.5) {  // a deep shadow
                b /= 3;
                g /= 3;
                r /= 3;
            }
            row[3 * x] = clamp(b + noise());
            row[3 * x + 1] = clamp(g + noise());
            row[3 * x + 2] = clamp(r + noise());
        }
    }
    return p;
}

inline std::wstring WritePhoto(const std::wstring& name, const SQmPicBuf& picture) {
    const std::wstring path = gFolder->path() + L"\\" + name;
    EXPECT_EQ(WriteColourBmp(path.c_str(), picture), 0);
    return path;
}

inline TestPicture CopyOf(const SQmPicBuf& picture) {
    TestPicture p;
    if (CQmPicBufAPI::ReinitHeap(p.buf, picture) == 0)
        CQmPicBufAPI::Copy(p.buf, picture);
    return p;
}

inline TestPicture LoadCopy(const std::wstring& path) {
    ImageDocument scratch{};
    wchar_t buffer[kPathChars] = {};
    lstrcpynW(buffer, path.c_str(), kPathChars);
    TestPicture p;
    if (LoadImageFile(scratch, buffer) == 0)
        p = CopyOf(scratch.sourceBuffer);
    CQmPicBufAPI::DoneHeap(scratch.sourceBuffer);
    ReleaseDecodedBitmap(scratch);
    return p;
}

inline bool SamePixels(const SQmPicBuf& a, const SQmPicBuf& b) {
    if (!a.data || !b.data || a.width != b.width || a.height != b.height || a.components != b.components ||
        a.bitsPerComponent != b.bitsPerComponent)
        return false;
    const size_t row = static_cast<size_t>(a.width) * a.components * (a.bitsPerComponent / 8);
    for (int y = 0; y < a.height; ++y)
        if (std::memcmp(a.data + static_cast<size_t>(y) * a.stride, b.data + static_cast<size_t>(y) * b.stride, row))
            return false;
    return true;
}

inline bool MenuBarEnabled() {
    HMENU menu = GetMenu(gApp.mainWindow);
    for (UINT pos = 0; pos < 3; ++pos)
        if (GetMenuState(menu, pos, MF_BYPOSITION) & (MF_GRAYED | MF_DISABLED))
            return false;
    return true;
}

inline bool ToolbarEnabled(int command) {
    return SendMessageW(gApp.toolbar, TB_ISBUTTONENABLED, command, 0) != 0;
}
