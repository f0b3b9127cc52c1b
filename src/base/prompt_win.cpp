// The system prompter and the switch that lets tests replace it.
#include "base/prompt_win.h"

#include <atomic>

namespace {

class SystemPrompter final : public Prompter {
public:
    int ShowMessageBox(HWND owner, const wchar_t* text, const wchar_t* caption, UINT type) override {
        return MessageBoxW(owner, text, caption, type);
    }
    BOOL ShowOpenDialog(OPENFILENAMEW& ofn) override { return GetOpenFileNameW(&ofn); }
    BOOL ShowSaveDialog(OPENFILENAMEW& ofn) override { return GetSaveFileNameW(&ofn); }
};

SystemPrompter gSystemPrompter;
// Worker threads may report too, so the pointer is read atomically.
std::atomic<Prompter*> gPrompter{&gSystemPrompter};

}  // namespace

Prompter& CurrentPrompter() {
    return *gPrompter.load();
}

Prompter* SetPrompter(Prompter* prompter) {
    Prompter* previous = gPrompter.exchange(prompter ? prompter : &gSystemPrompter);
    return previous == &gSystemPrompter ? nullptr : previous;
}

int AskMessageBox(HWND owner, const wchar_t* text, const wchar_t* caption, UINT type) {
    return CurrentPrompter().ShowMessageBox(owner, text, caption, type);
}

BOOL AskOpenFileName(OPENFILENAMEW& ofn) {
    return CurrentPrompter().ShowOpenDialog(ofn);
}

BOOL AskSaveFileName(OPENFILENAMEW& ofn) {
    return CurrentPrompter().ShowSaveDialog(ofn);
}
