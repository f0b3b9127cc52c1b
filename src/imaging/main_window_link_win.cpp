// The registered main window link, and a link that does nothing before one is registered.
#include "imaging/main_window_link_win.h"

#include <atomic>

namespace {

class NoWindow final : public MainWindowLink {
public:
    HWND Window() const override { return nullptr; }
    CQmPicMap ViewMap() const override { return {}; }
    double Zoom() const override { return 1.0; }
    void SetOverlay(int32_t*) override {}
    void SetMouseTarget(HWND) override {}
    void SetDialogOwnsDrag(bool) override {}
    void SetCursor(LPCWSTR) override {}
    void SetStatusText(const wchar_t*) override {}
};

NoWindow gNoWindow;
std::atomic<MainWindowLink*> gLink{nullptr};

}  // namespace

void SetMainWindowLink(MainWindowLink* link) {
    gLink = link;
}

MainWindowLink& MainLink() {
    MainWindowLink* link = gLink.load();
    return link ? *link : gNoWindow;
}

HINSTANCE MainInstance() {
    return GetModuleHandleW(nullptr);
}

LRESULT SendMain(UINT message, WPARAM wParam, LPARAM lParam) {
    HWND window = MainLink().Window();
    return window ? SendMessageW(window, message, wParam, lParam) : 0;
}

void RequestUi(UiEvent event) {
    SendMain(MSG_UI_EVENT, static_cast<WPARAM>(event));
}
