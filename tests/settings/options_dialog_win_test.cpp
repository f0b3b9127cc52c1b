// The Options dialog under Wine: the language list, what OK and Cancel store, and the notice.
#include "settings/options_dialog_win.h"

#include <commctrl.h>

#include <gtest/gtest.h>

#include <functional>
#include <string>
#include <thread>
#include <vector>

#include "base/write_fault.h"
#include "resources/resource.h"
#include "settings/settings_win.h"
#include "settings/string_table_win.h"
#include "support/fake_prompter_win.h"

namespace {

// What the driver saw in the open dialog.
struct Seen {
    HWND dialog = nullptr;
    RECT rect{};
    int selection = -2;
    std::vector<std::wstring> items;
    std::wstring caption, label, ok, cancel;
};

// The first visible dialog of the given thread owned by owner, or null.
HWND FindOwnedDialog(DWORD thread, HWND owner) {
    struct Search {
        HWND owner, found;
    } s{owner, nullptr};
    EnumThreadWindows(
        thread,
        [](HWND w, LPARAM p) -> BOOL {
            auto* s = reinterpret_cast<Search*>(p);
            wchar_t cls[16] = {};
            GetClassNameW(w, cls, 16);
            if (lstrcmpW(cls, L"#32770") == 0 && IsWindowVisible(w) && GetWindow(w, GW_OWNER) == s->owner) {
                s->found = w;
                return FALSE;
            }
            return TRUE;
        },
        reinterpret_cast<LPARAM>(&s));
    return s.found;
}

std::wstring TextOf(HWND w) {
    wchar_t t[256] = {};
    GetWindowTextW(w, t, 256);
    return t;
}

// Runs ShowOptionsDialog(owner) on this thread while another thread looks at the dialog and then
// selects the entry select (unless -2) and presses button.
Seen RunOptions(HWND owner, int select, int button) {
    Seen seen;
    const DWORD ui = GetCurrentThreadId();
    std::thread driver([&] {
        HWND d = nullptr;
        for (int i = 0; i < 1000 && !(d = FindOwnedDialog(ui, owner)); ++i)
            Sleep(10);
        if (!d)
            return;
        seen.dialog = d;
        GetWindowRect(d, &seen.rect);
        HWND list = GetDlgItem(d, IDC_OPT_LANGUAGE);
        seen.selection = static_cast<int>(SendMessageW(list, CB_GETCURSEL, 0, 0));
        const int n = static_cast<int>(SendMessageW(list, CB_GETCOUNT, 0, 0));
        for (int i = 0; i < n; ++i) {
            wchar_t t[256] = {};
            SendMessageW(list, CB_GETLBTEXT, i, reinterpret_cast<LPARAM>(t));
            seen.items.push_back(t);
        }
        seen.caption = TextOf(d);
        seen.label = TextOf(GetDlgItem(d, IDC_OPT_LABEL));
        seen.ok = TextOf(GetDlgItem(d, IDOK));
        seen.cancel = TextOf(GetDlgItem(d, IDCANCEL));
        if (select != -2)
            SendMessageW(list, CB_SETCURSEL, select, 0);
        SendMessageW(d, WM_COMMAND, button, 0);
    });
    ShowOptionsDialog(owner);
    driver.join();
    return seen;
}

class OptionsDialogTest : public ::testing::Test {
protected:
    void SetUp() override {
        INITCOMMONCONTROLSEX icc{sizeof icc, ICC_WIN95_CLASSES | ICC_STANDARD_CLASSES};
        InitCommonControlsEx(&icc);
        SetProgramDirectoryOverride(folder_.path());
        owner_ = CreateWindowExW(0, L"STATIC", L"owner", WS_OVERLAPPEDWINDOW | WS_VISIBLE, 100, 80, 701, 503, nullptr,
                                 nullptr, GetModuleHandleW(nullptr), nullptr);
        ASSERT_NE(owner_, nullptr);
    }
    void TearDown() override {
        DestroyWindow(owner_);
        SetProgramDirectoryOverride(L"");
    }
    void WriteLocalisation(int count, int current) {
        const std::wstring file = LocalisationFilePath();
        EXPECT_TRUE(WriteIniText(file, L"General", L"Languages No", std::to_wstring(count).c_str()));
        EXPECT_TRUE(WriteIniText(file, L"General", L"Language Current", std::to_wstring(current).c_str()));
        EXPECT_TRUE(WriteIniText(file, L"0", L"Language", L"English"));
        EXPECT_TRUE(WriteIniText(file, L"1", L"Language", L"Deutsch"));
        EXPECT_TRUE(WriteIniText(file, L"1", L"string45", L"Gut"));
        EXPECT_TRUE(WriteIniText(file, L"1", L"string47", L"Bitte neu starten"));
        EXPECT_TRUE(WriteIniText(file, L"1", L"string38", L"Hinweis"));
        EXPECT_TRUE(WriteIniText(file, L"2", L"Language", L"Francais"));
        // Start-up as the main window does it.
        LoadAppSettings();
        LoadStringTable();
    }
    std::wstring StoredLanguage() {
        return ReadIniText(LocalisationFilePath(), L"General", L"Language Current", L"missing");
    }

    TempFolder folder_;
    FakePrompter prompter_;
    ScopedPrompter scoped_{&prompter_};
    HWND owner_ = nullptr;
};

TEST_F(OptionsDialogTest, AnotherLanguageIsStoredAndAnnouncedOnceInThatLanguage) {
    WriteLocalisation(3, 0);
    Seen first = RunOptions(owner_, 1, IDOK);
    ASSERT_NE(first.dialog, nullptr);
    EXPECT_EQ(first.items, (std::vector<std::wstring>{L"English", L"Deutsch", L"Francais"}));
    EXPECT_EQ(first.selection, 0);
    EXPECT_EQ(first.caption, L"Options");
    EXPECT_EQ(first.label, L"Select Language:");
    EXPECT_EQ(first.ok, L"OK");
    EXPECT_EQ(first.cancel, L"Cancel");

    // Centred on the owner, halves truncated.
    RECT o{};
    GetWindowRect(owner_, &o);
    const int w = first.rect.right - first.rect.left, h = first.rect.bottom - first.rect.top;
    EXPECT_EQ(first.rect.left, o.left + (o.right - o.left) / 2 - w / 2);
    EXPECT_EQ(first.rect.top, o.top + (o.bottom - o.top) / 2 - h / 2);

    EXPECT_EQ(StoredLanguage(), L"1");
    EXPECT_EQ(gAppSettings.currentLanguage, 1);
    ASSERT_EQ(prompter_.messages.size(), 1u);
    EXPECT_EQ(prompter_.messages[0].text, L"Bitte neu starten");
    EXPECT_EQ(prompter_.messages[0].caption, L"Hinweis");
    EXPECT_EQ(prompter_.messages[0].owner, owner_);
    EXPECT_EQ(prompter_.messages[0].type, static_cast<UINT>(MB_ICONINFORMATION | MB_OK));
    EXPECT_STREQ(Str(kStrOk), L"OK");  // the rest of the interface waits for the next start

    // Opened again: the stored choice is preselected; OK on it writes again and says nothing.
    EXPECT_TRUE(WriteIniText(LocalisationFilePath(), L"General", L"Language Current", L"1 "));
    Seen second = RunOptions(owner_, -2, IDOK);
    EXPECT_EQ(second.selection, 1);
    EXPECT_EQ(StoredLanguage(), L"1");
    EXPECT_EQ(prompter_.messages.size(), 1u);
}

TEST_F(OptionsDialogTest, CancelStoresNothing) {
    WriteLocalisation(3, 0);
    Seen seen = RunOptions(owner_, 2, IDCANCEL);
    ASSERT_NE(seen.dialog, nullptr);
    EXPECT_EQ(StoredLanguage(), L"0");
    EXPECT_EQ(gAppSettings.currentLanguage, 0);
    EXPECT_TRUE(prompter_.messages.empty());
    // The close box and Esc arrive as the same command.
    RunOptions(owner_, 1, IDCANCEL);
    EXPECT_EQ(StoredLanguage(), L"0");
}

TEST_F(OptionsDialogTest, ListFollowsTheFileAndSelectsNothingOutsideIt) {
    WriteLocalisation(2, 0);
    EXPECT_TRUE(WriteIniText(LocalisationFilePath(), L"General", L"Language Current", L"5"));
    Seen seen = RunOptions(owner_, -2, IDCANCEL);
    EXPECT_EQ(seen.items, (std::vector<std::wstring>{L"English", L"Deutsch"}));
    EXPECT_EQ(seen.selection, -1);
}

TEST_F(OptionsDialogTest, WithoutLanguagesOkStoresMinusOneAndTellsInEnglish) {
    WriteLocalisation(0, 0);
    Seen seen = RunOptions(owner_, -2, IDOK);
    EXPECT_TRUE(seen.items.empty());
    EXPECT_EQ(StoredLanguage(), L"-1");
    ASSERT_EQ(prompter_.messages.size(), 1u);
    EXPECT_EQ(prompter_.messages[0].text, L"You have to restart application to affect the language change");
    EXPECT_EQ(prompter_.messages[0].caption, L"Report");
}

// A folder where the choice cannot be written: said so, and no restart is announced for nothing.
TEST_F(OptionsDialogTest, AChoiceThatCannotBeStoredIsReportedNotAnnounced) {
    WriteLocalisation(3, 0);
    SetWriteFaultAfter(0);
    Seen seen = RunOptions(owner_, 1, IDOK);
    SetWriteFaultAfter(-1);
    ASSERT_NE(seen.dialog, nullptr);
    EXPECT_EQ(StoredLanguage(), L"0");
    EXPECT_EQ(gAppSettings.currentLanguage, 0);
    ASSERT_EQ(prompter_.messages.size(), 1u);
    EXPECT_EQ(prompter_.messages[0].text, EnglishString(kStrLanguageNotSaved));
}

}  // namespace
