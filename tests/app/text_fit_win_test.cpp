// Every shipped language, every text the program puts into a control: measured with the control's own
// font against the control, in the main window and each dialog.
#include "app/app_fixture_win.h"
#include "fusion/prepare_win.h"

#include <atomic>
#include <cstdio>
#include <string>
#include <thread>
#include <vector>

#include "settings/string_table_win.h"
#include "imaging/save_win.h"
#include "resources/resource.h"

namespace {

std::string Narrow(const std::wstring& text) {
    std::string out(
        static_cast<size_t>(WideCharToMultiByte(CP_UTF8, 0, text.c_str(), -1, nullptr, 0, nullptr, nullptr)), '\0');
    WideCharToMultiByte(CP_UTF8, 0, text.c_str(), -1, out.data(), static_cast<int>(out.size()), nullptr, nullptr);
    out.resize(out.size() - 1);
    return out;
}

// What the control draws: '&' marks a mnemonic unless the control says otherwise.
std::wstring Drawn(const std::wstring& text, bool prefixes) {
    if (!prefixes)
        return text;
    std::wstring out;
    for (size_t i = 0; i < text.size(); ++i) {
        if (text[i] == L'&' && i + 1 < text.size())
            ++i;
        out += text[i];
    }
    return out;
}

// Each control of window whose text does not fit it, as "where: id 'text' needs W x H of W x H".
void CollectCut(HWND window, const std::string& where, std::vector<std::string>& cut) {
    for (HWND c = GetWindow(window, GW_CHILD); c; c = GetWindow(c, GW_HWNDNEXT)) {
        wchar_t cls[32] = {};
        GetClassNameW(c, cls, 32);
        const std::wstring text = WindowText(c);
        const bool button = lstrcmpiW(cls, L"Button") == 0, label = lstrcmpiW(cls, L"Static") == 0;
        if (text.empty() || !(button || label) || !IsWindowVisible(c))
            continue;
        const LONG style = GetWindowLongW(c, GWL_STYLE);
        RECT r{};
        GetClientRect(c, &r);
        HDC dc = GetDC(c);
        HGDIOBJ old = SelectObject(dc, reinterpret_cast<HFONT>(SendMessageW(c, WM_GETFONT, 0, 0)));
        RECT need{0, 0, r.right, 0};
        int room = r.right;
        if (button) {
            const LONG type = style & BS_TYPEMASK;
            const bool box = type == BS_CHECKBOX || type == BS_AUTOCHECKBOX || type == BS_RADIOBUTTON ||
                             type == BS_AUTORADIOBUTTON || type == BS_3STATE || type == BS_AUTO3STATE;
            // The box and the gap after it; a push button's frame and its focus rectangle.
            room -= box ? GetSystemMetrics(SM_CXMENUCHECK) + 4 : 6;
            const std::wstring drawn = Drawn(text, true);
            SIZE size{};
            GetTextExtentPoint32W(dc, drawn.c_str(), static_cast<int>(drawn.size()), &size);
            need.right = size.cx;
            need.bottom = size.cy;
        } else {
            const std::wstring drawn = Drawn(text, !(style & SS_NOPREFIX));
            DrawTextW(dc, drawn.c_str(), -1, &need, DT_CALCRECT | DT_WORDBREAK | DT_NOPREFIX);
        }
        SelectObject(dc, old);
        ReleaseDC(c, dc);
        if (need.right > room || need.bottom > r.bottom) {
            char line[160];
            std::snprintf(line, sizeof line, "%s: control %d needs %ld x %ld in %d x %ld: ", where.c_str(),
                          GetDlgCtrlID(c), need.right, need.bottom, room, r.bottom);
            cut.push_back(line + Narrow(text));
        }
    }
}

class TextFitTest : public MainWindowTest {
protected:
    // The shipped localisation file in the test's program folder, with `language` current.
    void StartIn(int language) {
        Destroy();
        wchar_t module[MAX_PATH] = {};
        GetModuleFileNameW(nullptr, module, MAX_PATH);
        std::wstring shipped(module);
        shipped = shipped.substr(0, shipped.rfind(L'\\')) + L"\\SolvanePictova_loc.ini";
        ASSERT_TRUE(CopyFileW(shipped.c_str(), LocalisationFilePath().c_str(), FALSE));
        EXPECT_TRUE(
            WriteIniText(LocalisationFilePath(), L"General", L"Language Current", std::to_wstring(language).c_str()));
        Create();
    }

    // Runs command and measures the dialog it opens from another thread, then closes it with Cancel: the
    // processing dialog that takes the view's mouse, or else the first dialog the main window owns.
    void MeasureOwnedDialog(int command,
                            const std::string& where,
                            std::vector<std::string>& cut,
                            const std::string& shot = "") {
        std::atomic<bool> seen{false};
        std::vector<std::string> found;
        std::thread user([&] {
            HWND dialog = nullptr;
            for (int i = 0; i < 3000 && !dialog; ++i, Sleep(10)) {
                HWND d = gApp.dialogMouseTarget.load();
                if (!d && command == CmdOptions) {
                    HWND w = FindWindowW(L"#32770", nullptr);
                    if (w && GetWindow(w, GW_OWNER) == gApp.mainWindow && IsWindowVisible(w))
                        d = w;
                }
                dialog = d;
            }
            if (!dialog)
                return;
            Sleep(200);  // its texts are set while it opens
            seen = true;
            CollectCut(dialog, where, found);
            if (!shot.empty())
                TakeScreenshotNoPump(shot.c_str());
            PostMessageW(dialog, WM_COMMAND, IDCANCEL, 0);
        });
        Command(command);
        PumpUntil([] { return !JobRunning(); }, 90000);
        user.join();
        EXPECT_TRUE(seen) << where << " did not open";
        cut.insert(cut.end(), found.begin(), found.end());
    }
};

TEST_F(TextFitTest, EveryTextFitsItsControlInEveryLanguage) {
    std::vector<std::string> cut;
    for (int language = 0; language < 12; ++language) {
        StartIn(language);
        const std::string lang = "language " + std::to_string(language);
        ASSERT_EQ(gAppSettings.languageCount, 12u);
        LoadPicture(64, 48);
        prompter.defaultReply = IDYES;

        // Status bar and menus size themselves; the texts are there.
        SIZE size{};
        HDC dc = GetDC(gApp.statusBar);
        HGDIOBJ old = SelectObject(dc, reinterpret_cast<HFONT>(SendMessageW(gApp.statusBar, WM_GETFONT, 0, 0)));
        GetTextExtentPoint32W(dc, Str(kStrTuneParameters), static_cast<int>(wcslen(Str(kStrTuneParameters))), &size);
        SelectObject(dc, old);
        ReleaseDC(gApp.statusBar, dc);
        if (size.cx > Client().right)
            cut.push_back(lang + " status bar: " + Narrow(Str(kStrTuneParameters)));
        wchar_t item[256] = {};
        GetMenuStringW(GetMenu(window), CmdSaveAs, item, 256, MF_BYCOMMAND);
        EXPECT_EQ(std::wstring(item), std::wstring(Str(kStrSaveAs)) + L"\tCtrl+S") << lang;

        // Screenshots for a person to look at, in German, Russian and Japanese.
        const bool shots = ScreenshotsWanted() && (language == 1 || language == 8 || language == 9);
        const std::string tag = "lang" + std::to_string(language) + "_";
        // Tooltips size themselves too: each button has its text.
        for (int command : {CmdLoad, CmdSaveAs, CmdSmartContrast, CmdSolvaneUp, CmdSolvaneDown, CmdZoomIn, CmdZoomOut,
                            CmdZoom100, CmdZoomFit, CmdZoomBox}) {
            NMTTDISPINFOW tip{};
            tip.hdr.code = TTN_GETDISPINFOW;
            tip.hdr.idFrom = static_cast<UINT_PTR>(command);
            SendMessageW(window, WM_NOTIFY, 0, reinterpret_cast<LPARAM>(&tip));
            EXPECT_TRUE(tip.lpszText && tip.lpszText[0]) << lang << " tooltip of " << command;
        }

        MeasureOwnedDialog(CmdSmartContrast, lang + " Smart Contrast", cut, shots ? tag + "smart_contrast" : "");
        MeasureOwnedDialog(CmdSolvaneUp, lang + " Solvane Fusion", cut, shots ? tag + "fusion" : "");
        MeasureOwnedDialog(CmdOptions, lang + " Options", cut, shots ? tag + "options" : "");

        // The progress dialog with each text the preparation and the whole fusion show in it.
        HWND progress = CreateDialogParamW(GetModuleHandleW(nullptr), MAKEINTRESOURCEW(IDD_PROGRESS), window,
                                           ProgressDialogProc, 0);
        ShowWindow(progress, SW_SHOW);
        for (const std::wstring& text : {std::wstring(Str(kStrProgressZero)), Str(kStrProgress) + std::wstring(L"100%"),
                                         std::wstring(Str(kStrCanceling)), std::wstring(Str(kStrFusing))}) {
            SetProgressText(progress, text.c_str());
            CollectCut(progress, lang + " progress", cut);
        }
        if (shots)
            TakeScreenshot((tag + "progress").c_str());
        DestroyWindow(progress);

        // The save dialog's quality strip, as the hook fills it.
        HWND strip = CreateDialogParamW(GetModuleHandleW(nullptr), MAKEINTRESOURCEW(IDD_SAVE_QUALITY), window,
                                        reinterpret_cast<DLGPROC>(QualityHookProc), 0);
        CollectCut(strip, lang + " save strip", cut);
        if (shots)
            TakeScreenshot((tag + "save_strip").c_str());
        DestroyWindow(strip);
        gApp.unsavedResult = 0;
    }
    for (const std::string& line : cut)
        std::printf("[cut] %s\n", line.c_str());
    EXPECT_TRUE(cut.empty()) << cut.size() << " texts do not fit";
}

}  // namespace
