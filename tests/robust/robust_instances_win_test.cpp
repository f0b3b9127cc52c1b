// Two copies of the real program on the same settings files: a second start while the first runs,
// closing them in either order, and a start after a copy that was killed.
#include <gtest/gtest.h>

#include <string>

#include "settings/ini_values.h"
#include "settings/settings_win.h"
#include "support/fake_prompter_win.h"

namespace {

std::wstring ProgramBuilt() {
    wchar_t module[MAX_PATH];
    GetModuleFileNameW(nullptr, module, MAX_PATH);
    std::wstring folder(module);
    for (int up = 0; up < 3; ++up)
        folder = folder.substr(0, folder.rfind(L'\\'));
    return folder + L"\\SolvanePictova.exe";
}

struct Instance {
    PROCESS_INFORMATION process{};
    bool Start(const std::wstring& exe) {
        STARTUPINFOW startup{};
        startup.cb = sizeof startup;
        std::wstring line = L"\"" + exe + L"\"";
        return CreateProcessW(exe.c_str(), line.data(), nullptr, nullptr, FALSE, 0, nullptr, nullptr, &startup,
                              &process) != FALSE;
    }
    // The first visible top-level window of this process whose class is (or is not) a dialog box.
    HWND Find(bool dialog) const {
        struct Search {
            DWORD pid;
            bool dialog;
            HWND found;
        } search{process.dwProcessId, dialog, nullptr};
        EnumWindows(
            [](HWND w, LPARAM p) -> BOOL {
                auto* s = reinterpret_cast<Search*>(p);
                DWORD pid = 0;
                GetWindowThreadProcessId(w, &pid);
                wchar_t cls[64] = {};
                GetClassNameW(w, cls, 64);
                if (pid == s->pid && IsWindowVisible(w) && (std::wstring(cls) == L"#32770") == s->dialog) {
                    s->found = w;
                    return FALSE;
                }
                return TRUE;
            },
            reinterpret_cast<LPARAM>(&search));
        return search.found;
    }
    // Waits for the main window or a message box, whichever shows first.
    void WaitShown(HWND& main, HWND& box) const {
        main = box = nullptr;
        for (int i = 0; i < 600 && !main && !box; ++i, Sleep(50)) {
            box = Find(true);
            main = box ? nullptr : Find(false);
        }
    }
    // Presses OK in the message box and waits for the main window behind it.
    void Dismiss(HWND box, HWND& main) const {
        PostMessageW(box, WM_COMMAND, IDOK, 0);
        for (int i = 0; i < 600 && IsWindow(box) && IsWindowVisible(box); ++i)
            Sleep(50);
        HWND again = nullptr;
        WaitShown(main, again);
    }
    bool CloseAndWait(HWND main) {
        PostMessageW(main, WM_CLOSE, 0, 0);
        const bool ended = WaitForSingleObject(process.hProcess, 30000) == WAIT_OBJECT_0;
        DWORD code = 1;
        GetExitCodeProcess(process.hProcess, &code);
        Done();
        return ended && code == 0;
    }
    void Kill() {
        TerminateProcess(process.hProcess, 7);
        WaitForSingleObject(process.hProcess, 30000);
        Done();
    }
    void Done() {
        if (process.hProcess) {
            CloseHandle(process.hThread);
            CloseHandle(process.hProcess);
        }
        process = PROCESS_INFORMATION{};
    }
    ~Instance() {
        if (process.hProcess)
            Kill();
    }
};

TEST(Instances, ASecondStartWhileTheFirstRunsIsNoCrashAndTheLastToEndClearsTheFlag) {
    const std::wstring built = ProgramBuilt();
    if (GetFileAttributesW(built.c_str()) == INVALID_FILE_ATTRIBUTES)
        GTEST_SKIP() << "SolvanePictova.exe is not built beside the tests";
    TempFolder folder;
    const std::wstring exe = folder.File(L"SolvanePictova.exe");
    ASSERT_TRUE(CopyFileW(built.c_str(), exe.c_str(), FALSE));
    const std::wstring localisation = LocalisationPathIn(folder.path());
    auto flag = [&] { return ParseIniInt(ReadIniText(localisation, L"General", L"Crashed Last Time", L"-1").c_str()); };

    Instance first, second;
    HWND firstMain, secondMain, box;
    ASSERT_TRUE(first.Start(exe));
    first.WaitShown(firstMain, box);
    ASSERT_NE(firstMain, nullptr);
    EXPECT_EQ(box, nullptr);
    EXPECT_EQ(flag(), 1);

    // The first one's "1" is no crash: the second starts without the warning.
    ASSERT_TRUE(second.Start(exe));
    second.WaitShown(secondMain, box);
    EXPECT_EQ(box, nullptr) << "the crash warning was shown for a copy that is still running";
    if (box)
        second.Dismiss(box, secondMain);
    ASSERT_NE(secondMain, nullptr);

    // The second ends first: the first still runs, so the flag stays set.
    EXPECT_TRUE(second.CloseAndWait(secondMain));
    EXPECT_EQ(flag(), 1);
    EXPECT_TRUE(first.CloseAndWait(firstMain));
    EXPECT_EQ(flag(), 0);

    // A copy that is killed leaves the flag set, and the next start warns about it.
    Instance killed, next;
    HWND killedMain, nextMain;
    ASSERT_TRUE(killed.Start(exe));
    killed.WaitShown(killedMain, box);
    ASSERT_NE(killedMain, nullptr);
    killed.Kill();
    EXPECT_EQ(flag(), 1);
    ASSERT_TRUE(next.Start(exe));
    next.WaitShown(nextMain, box);
    ASSERT_NE(box, nullptr) << "no warning after a run that did not end normally";
    next.Dismiss(box, nextMain);
    ASSERT_NE(nextMain, nullptr);
    EXPECT_TRUE(next.CloseAndWait(nextMain));
    EXPECT_EQ(flag(), 0);

    // The settings file stayed a settings file through all of it.
    const std::vector<uint8_t> bytes = ReadWholeFile(localisation);
    const std::string text(bytes.begin(), bytes.end());
    EXPECT_NE(text.find("[General]"), std::string::npos);
    EXPECT_NE(text.find("Crashed Last Time=0"), std::string::npos);
}

}  // namespace
