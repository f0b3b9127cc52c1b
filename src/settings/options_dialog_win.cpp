// The Options dialog: lists the languages of the localisation file and stores the chosen one.
#include "settings/options_dialog_win.h"

#include "base/prompt_win.h"
#include "resources/resource.h"
#include "settings/settings_win.h"
#include "settings/string_table_win.h"

namespace {

void CentreOnOwner(HWND dialog) {
    HWND owner = GetWindow(dialog, GW_OWNER);
    if (!owner)
        return;
    RECT o{}, d{};
    GetWindowRect(owner, &o);
    GetWindowRect(dialog, &d);
    const int left = o.left + (o.right - o.left) / 2 - (d.right - d.left) / 2;
    const int top = o.top + (o.bottom - o.top) / 2 - (d.bottom - d.top) / 2;
    SetWindowPos(dialog, nullptr, left, top, 0, 0, SWP_NOSIZE | SWP_NOZORDER | SWP_NOACTIVATE);
}

void OnInitDialog(HWND dialog) {
    CentreOnOwner(dialog);
    HWND list = GetDlgItem(dialog, IDC_OPT_LANGUAGE);
    SendMessageW(list, CB_RESETCONTENT, 0, 0);
    const AppSettings& s = gAppSettings;
    for (uint32_t i = 0; i < s.languageCount && i < s.languages.size(); ++i)
        SendMessageW(list, CB_ADDSTRING, 0, reinterpret_cast<LPARAM>(s.languages[i].c_str()));
    const int32_t current = s.currentLanguage;
    const bool listed = current >= 0 && current < static_cast<int32_t>(SendMessageW(list, CB_GETCOUNT, 0, 0));
    SendMessageW(list, CB_SETCURSEL, listed ? current : -1, 0);
    SetWindowTextW(dialog, Str(kStrOptions));
    SetDlgItemTextW(dialog, IDC_OPT_LABEL, Str(kStrSelectLanguage));
    SetDlgItemTextW(dialog, IDOK, Str(kStrOk));
    SetDlgItemTextW(dialog, IDCANCEL, Str(kStrCancel));
}

void OnOk(HWND dialog) {
    // CB_ERR is -1: no selection stores "-1", which the next start reads as all English.
    const int32_t chosen = static_cast<int32_t>(SendDlgItemMessageW(dialog, IDC_OPT_LANGUAGE, CB_GETCURSEL, 0, 0));
    if (!WriteLocalisationInt(L"Language Current", chosen)) {
        // Nothing would change at the next start: say so instead of announcing a restart.
        AskMessageBox(dialog, Str(kStrLanguageNotSaved), Str(kStrWarning), MB_ICONWARNING | MB_OK);
        EndDialog(dialog, IDCANCEL);
        return;
    }
    gAppSettings.currentLanguage = chosen;
    EndDialog(dialog, IDOK);
}

// The main window of this thread, found by its class name (string 109 of the resources).
HWND ThreadMainWindow() {
    struct Search {
        wchar_t className[100];
        HWND found;
    } search{};
    LoadStringW(GetModuleHandleW(nullptr), IDC_SOLVANEPICTOVA, search.className, 100);
    EnumThreadWindows(
        GetCurrentThreadId(),
        [](HWND window, LPARAM param) -> BOOL {
            auto* s = reinterpret_cast<Search*>(param);
            wchar_t name[100] = {};
            GetClassNameW(window, name, 100);
            if (lstrcmpiW(name, s->className) != 0)
                return TRUE;
            s->found = window;
            return FALSE;
        },
        reinterpret_cast<LPARAM>(&search));
    return search.found ? search.found : GetActiveWindow();
}

}  // namespace

INT_PTR CALLBACK OptionsDialogProc(HWND dialog, UINT message, WPARAM wParam, LPARAM) {
    switch (message) {
        case WM_INITDIALOG:
            OnInitDialog(dialog);
            return TRUE;
        case WM_COMMAND:
            switch (LOWORD(wParam)) {
                case IDOK:
                    OnOk(dialog);
                    return TRUE;
                case IDCANCEL:
                    EndDialog(dialog, IDCANCEL);
                    return TRUE;
                default:
                    return FALSE;
            }
        default:
            return FALSE;
    }
}

void ShowOptionsDialog(HWND owner) {
    const int32_t before = gAppSettings.currentLanguage;
    LoadAppSettings();  // the list shows the file as it is now
    const INT_PTR result =
        DialogBoxParamW(GetModuleHandleW(nullptr), MAKEINTRESOURCEW(IDD_OPTIONS), owner, OptionsDialogProc, 0);
    if (result != IDOK)
        return;
    // Only the notice speaks the new language; the rest of the table waits for the next start.
    ReloadString(47);
    ReloadString(38);
    if (gAppSettings.currentLanguage != before)
        AskMessageBox(owner, Str(kStrRestartForLanguage), Str(kStrReport), MB_ICONINFORMATION | MB_OK);
}

void ShowOptionsDialog() {
    ShowOptionsDialog(ThreadMainWindow());
}
