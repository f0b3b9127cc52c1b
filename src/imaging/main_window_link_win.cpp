// The registered main window link, and a link that does nothing before one is registered.
#include "imaging/main_window_link_win.h"

#include <atomic>

namespace {

class NoWindow final : public MainWindowLink {
public:
    HWND Window() const override { return nullptr; }
    POINT PictureToWindow(double x, double y) const override { return {static_cast<LONG>(x), static_cast<LONG>(y)}; }
    void WindowToPicture(int32_t x, int32_t y, double& px, double& py) const override { px = x, py = y; }
    void WindowDeltaToPicture(double dx, double dy, double& px, double& py) const override { px = dx, py = dy; }
    void SetOverlay(int32_t*) override {}
    void SetMouseTarget(HWND) override {}
    void SetDialogOwnsDrag(bool) override {}
    void SetCursor(LPCWSTR) override {}
    void SetStatusText(const wchar_t*) override {}
    void KeepSourceView(bool) override {}
    void ResultChanged(const CQmRect<int>*, int) override {}
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
