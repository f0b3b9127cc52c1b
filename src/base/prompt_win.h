// The one seam through which the program shows message boxes and the common file dialogs.
// The shell asks through it; tests install a fake that answers and records.
#pragma once

#include <windows.h>
#include <commdlg.h>

class Prompter {
public:
    virtual ~Prompter() = default;
    // As MessageBoxW: returns the button pressed (IDOK, IDYES, ...).
    virtual int ShowMessageBox(HWND owner, const wchar_t* text, const wchar_t* caption, UINT type) = 0;
    // As GetOpenFileNameW / GetSaveFileNameW: TRUE with the chosen path in ofn.lpstrFile
    // (and the chosen filter in ofn.nFilterIndex), FALSE when cancelled.
    virtual BOOL ShowOpenDialog(OPENFILENAMEW& ofn) = 0;
    virtual BOOL ShowSaveDialog(OPENFILENAMEW& ofn) = 0;
};

// The prompter in use: the system's unless a test installed another.
Prompter& CurrentPrompter();
// Installs a prompter (null: the system's again); returns the one it replaces.
Prompter* SetPrompter(Prompter* prompter);

// Shorthands for CurrentPrompter().
int AskMessageBox(HWND owner, const wchar_t* text, const wchar_t* caption, UINT type);
BOOL AskOpenFileName(OPENFILENAMEW& ofn);
BOOL AskSaveFileName(OPENFILENAMEW& ofn);

// Installs a prompter for one scope and restores the previous one afterwards.
class ScopedPrompter {
public:
    explicit ScopedPrompter(Prompter* prompter) : previous_(SetPrompter(prompter)) {}
    ~ScopedPrompter() { SetPrompter(previous_); }
    ScopedPrompter(const ScopedPrompter&) = delete;
    ScopedPrompter& operator=(const ScopedPrompter&) = delete;

private:
    Prompter* previous_;
};
