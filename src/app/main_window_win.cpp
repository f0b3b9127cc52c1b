// The main window of SolvanePictova: creation in its fixed order, the command table, drag and
// drop, the unsaved-result question and the shutdown order.
#include "app/main_window_win.h"

#include <commctrl.h>
#include <objbase.h>
#include <shellapi.h>

#include <iterator>
#include <optional>
#include <string>

#include "base/ascii_text.h"
#include "base/app_messages.h"
#include "app/app_state_win.h"
#include "app/dpi_scale.h"
#include "app/jobs_win.h"
#include "app/view_win.h"
#include "base/prompt_win.h"
#include "base/scoped_win.h"
#include "base/ui_state.h"
#include "fusion/fusion_dialog_win.h"
#include "fusion/prepare_win.h"
#include "imaging/main_window_link_win.h"
#include "imaging/metadata_copy_win.h"
#include "imaging/orientation.h"
#include "resources/resource.h"
#include "settings/settings_win.h"
#include "settings/string_table_win.h"
#include "imaging/save_win.h"

AppState gApp;
ImageDocument gDocument;

namespace {

constexpr int kZoomPlaceholderWidth = 85;
constexpr int kTitleChars = 100;

ScopedFont gZoomFont;
ScopedImageList gImages;
ScopedImageList gDisabledImages;
std::optional<ScopedCom> gCom;  // for the window's lifetime (the file dialogs need it)
UINT gDpi = 96;                 // of the screen the main window is on
HACCEL gAccelerators = nullptr;
MainUiEnables gUi;  // what the menus, buttons and zoom box show

struct ToolButton {
    int image;
    int command;
    BYTE style;
    int tooltip;  // string key
};

const ToolButton kToolButtons[] = {
    {1, CmdLoad, BTNS_BUTTON, kStrLoadImage},
    {0, CmdSaveAs, BTNS_BUTTON, kStrSaveAs},
    {0, 0, BTNS_SEP, 0},
    {5, CmdSmartContrast, BTNS_BUTTON, kStrSmartContrastMenu},
    {7, CmdSolvaneUp, BTNS_BUTTON, kStrSolvaneUp},
    {8, CmdSolvaneDown, BTNS_BUTTON, kStrSolvaneDown},
    {2, CmdZoomIn, BTNS_BUTTON, kStrZoomIn},
    {3, CmdZoomOut, BTNS_BUTTON, kStrZoomOut},
    {6, CmdZoom100, BTNS_BUTTON, kStrZoom100},
    {4, CmdZoomFit, BTNS_BUTTON, kStrZoomFit},
    {9, CmdZoomBox, BTNS_BUTTON, kStrSetZoom},
};

void SetTitleFromPath(HWND window, const wchar_t* path) {
    SetWindowTextW(window, (std::wstring(L"SolvanePictova - ") + path).c_str());
}

// The one place that enables and disables the menus, the toolbar buttons and the zoom box: the state
// after event, by the table. Other threads ask for it with MSG_UI_EVENT.
void ApplyUiEvent(UiEvent event) {
    const MainUiEnables s = NextUiState(gUi, event);
    const bool barChanged = s.menuBar != gUi.menuBar;
    gUi = s;
    HMENU menu = GetMenu(gApp.mainWindow);
    const UINT bar = s.menuBar ? MF_ENABLED : MF_GRAYED;
    for (UINT pos = 0; pos < 3; ++pos)
        EnableMenuItem(menu, pos, MF_BYPOSITION | bar);
    EnableMenuItem(menu, CmdSaveAs, MF_BYCOMMAND | (s.menuSaveAs ? MF_ENABLED : MF_GRAYED));
    EnableMenuItem(menu, CmdClose, MF_BYCOMMAND | (s.menuClose ? MF_ENABLED : MF_GRAYED));
    if (barChanged)
        DrawMenuBar(gApp.mainWindow);  // only a changed bar is redrawn
    const std::pair<int, bool> buttons[] = {{CmdLoad, s.toolLoad},
                                            {CmdSaveAs, s.toolSaveAs},
                                            {CmdSmartContrast, s.toolSmartContrast},
                                            {CmdSolvaneUp, s.toolSolvaneUp},
                                            {CmdSolvaneDown, s.toolSolvaneDown}};
    for (const auto& [command, enabled] : buttons)
        SendMessageW(gApp.toolbar, TB_ENABLEBUTTON, command, MAKELPARAM(enabled ? TRUE : FALSE, 0));
    EnableWindow(gApp.zoomBox, s.zoomBox ? TRUE : FALSE);
}

// What the tools' dialogs and workers may ask of this window.
class AppLink final : public MainWindowLink {
public:
    HWND Window() const override { return gApp.mainWindow; }
    POINT PictureToWindow(double x, double y) const override { return ::PictureToWindow(x, y); }
    void WindowToPicture(int32_t x, int32_t y, double& px, double& py) const override {
        ::WindowToPicture(x, y, px, py);
    }
    void WindowDeltaToPicture(double dx, double dy, double& px, double& py) const override {
        const double zoom = gApp.zoom > 0 ? gApp.zoom : 1.0;
        UnorientVector(gDocument.orientation, dx / zoom, dy / zoom, px, py);
    }
    void SetOverlay(int32_t* rect) override { gApp.renderer.overlayRect = rect; }
    void SetMouseTarget(HWND dialog) override { gApp.dialogMouseTarget = dialog; }
    void SetDialogOwnsDrag(bool owns) override { gApp.dialogOwnsDrag = owns ? 1 : 0; }
    void SetCursor(LPCWSTR cursor) override { SetMainCursor(cursor); }
    void SetStatusText(const wchar_t* text) override { ::SetStatusText(text); }
    void KeepSourceView(bool keep) override {
        if (!keep) {
            gApp.renderer.sourceCache.Reset();
        } else if (!gApp.renderer.sourceCache->data && gDocument.sourceBuffer.data) {
            RenderView(0, &gDocument.sourceBuffer, kSlotSource, 0);
        }
    }
    void ResultChanged(const CQmRect<int>* rects, int count) override {
        const ViewRenderer::Change change{rects, count};
        gApp.renderer.resultChange = &change;
        SendMain(MSG_RESULT_CHANGED);
        gApp.renderer.resultChange = nullptr;
    }
};
AppLink gLink;

// The save's wait for exiftool: the window keeps painting and zooming with the hourglass, while the
// commands that would change the picture or the file are refused as during any job.
DWORD WaitKeepingWindowAlive(HANDLE process, DWORD milliseconds) {
    if (!gApp.mainWindow)
        return WaitForSingleObject(process, milliseconds);
    ++gApp.runningJobs;
    ApplyUiEvent(UiEvent::JobStarted);
    SetMainCursor(IDC_WAIT);
    const ULONGLONG end = GetTickCount64() + milliseconds;
    DWORD result = WAIT_TIMEOUT;
    bool quit = false;
    WPARAM quitCode = 0;
    for (;;) {
        const ULONGLONG now = GetTickCount64();
        const DWORD left = now >= end ? 0 : static_cast<DWORD>(end - now);
        const DWORD woke = MsgWaitForMultipleObjects(1, &process, FALSE, left, QS_ALLINPUT);
        if (woke == WAIT_OBJECT_0 || woke != WAIT_OBJECT_0 + 1) {
            result = woke == WAIT_OBJECT_0 ? WAIT_OBJECT_0 : WAIT_TIMEOUT;
            break;
        }
        MSG msg;
        while (PeekMessageW(&msg, nullptr, 0, 0, PM_REMOVE)) {
            if (msg.message == WM_QUIT) {
                quit = true;
                quitCode = msg.wParam;
                continue;
            }
            if (PreTranslateMainMessage(msg))
                continue;
            TranslateMessage(&msg);
            DispatchMessageW(&msg);
        }
    }
    --gApp.runningJobs;
    if (gApp.mainWindow) {
        ApplyUiEvent(UiEvent::JobEnded);
        SetMainCursor(IDC_ARROW);
    }
    if (quit)
        PostQuitMessage(static_cast<int>(quitCode));
    return result;
}

// ---- creation -------------------------------------------------------------------------------

void CreateStatusBar(HWND window) {
    gApp.statusBar = CreateWindowExW(0, STATUSCLASSNAMEW, Str(kStrLoadImage), WS_CHILD | WS_VISIBLE, 0, 0, 0, 0, window,
                                     nullptr, MainInstance(), nullptr);
    SendMessageW(gApp.statusBar, SB_SIMPLE, TRUE, 0);
    SetStatusText(Str(kStrLoadImage));
}

// The strips drawn nearest the screen's DPI: images for enabled and for disabled buttons.
void LoadToolbarImages() {
    const int percent = ToolbarStripPercent(gDpi);
    const int enabledId = percent == 200 ? IDB_TOOLBAR_200 : percent == 150 ? IDB_TOOLBAR_150 : IDB_TOOLBAR;
    const int disabledId = percent == 200   ? IDB_TOOLBAR_DISABLED_200
                           : percent == 150 ? IDB_TOOLBAR_DISABLED_150
                                            : IDB_TOOLBAR_DISABLED;
    // Nine square images side by side; the strip's grey background becomes the button face.
    const int cell = percent == 200 ? 46 : percent == 150 ? 35 : 23;
    ScopedImageList images(ImageList_LoadImageW(MainInstance(), MAKEINTRESOURCEW(enabledId), cell, 0, CLR_NONE,
                                                IMAGE_BITMAP, LR_LOADMAP3DCOLORS | LR_CREATEDIBSECTION));
    ScopedImageList disabled(ImageList_LoadImageW(MainInstance(), MAKEINTRESOURCEW(disabledId), cell, 0, CLR_DEFAULT,
                                                  IMAGE_BITMAP, LR_CREATEDIBSECTION));
    SendMessageW(gApp.toolbar, TB_SETBITMAPSIZE, 0, MAKELPARAM(cell, cell));
    SendMessageW(gApp.toolbar, TB_SETIMAGELIST, 0, reinterpret_cast<LPARAM>(images.get()));
    SendMessageW(gApp.toolbar, TB_SETDISABLEDIMAGELIST, 0, reinterpret_cast<LPARAM>(disabled.get()));
    SendMessageW(gApp.toolbar, TB_SETBUTTONSIZE, 0, MAKELPARAM(cell, cell));
    // The toolbar now uses the new lists; the old ones go.
    gImages = std::move(images);
    gDisabledImages = std::move(disabled);
}

void SetZoomPlaceholderWidth() {
    TBBUTTONINFOW size{};
    size.cbSize = sizeof size;
    size.dwMask = TBIF_SIZE;
    size.cx = static_cast<WORD>(ScaleToDpi(kZoomPlaceholderWidth, gDpi));
    SendMessageW(gApp.toolbar, TB_SETBUTTONINFOW, CmdZoomBox, reinterpret_cast<LPARAM>(&size));
}

void CreateToolbar(HWND window) {
    HWND tb = CreateWindowExW(0, TOOLBARCLASSNAMEW, nullptr,
                              WS_CHILD | WS_VISIBLE | WS_BORDER | TBSTYLE_FLAT | TBSTYLE_TOOLTIPS, 0, 0, 0, 0, window,
                              reinterpret_cast<HMENU>(static_cast<INT_PTR>(IDC_TOOLBAR)), MainInstance(), nullptr);
    gApp.toolbar = tb;
    SendMessageW(tb, TB_BUTTONSTRUCTSIZE, sizeof(TBBUTTON), 0);
    SendMessageW(tb, TB_SETINDENT, ScaleToDpi(8, gDpi), 0);
    LoadToolbarImages();

    TBBUTTON buttons[std::size(kToolButtons)] = {};
    for (size_t i = 0; i < std::size(kToolButtons); ++i) {
        const ToolButton& b = kToolButtons[i];
        buttons[i].iBitmap = b.image;
        buttons[i].idCommand = b.command;
        buttons[i].fsStyle = b.style;
        buttons[i].fsState = b.command == CmdZoomBox || b.style == BTNS_SEP ? 0 : TBSTATE_ENABLED;
    }
    SendMessageW(tb, TB_ADDBUTTONSW, std::size(buttons), reinterpret_cast<LPARAM>(buttons));
    SendMessageW(tb, TB_AUTOSIZE, 0, 0);
    SetZoomPlaceholderWidth();
}

// The zoom box over its placeholder, and its font, at the screen's DPI.
void PlaceZoomBox() {
    RECT r{};
    const LRESULT index = SendMessageW(gApp.toolbar, TB_COMMANDTOINDEX, CmdZoomBox, 0);
    SendMessageW(gApp.toolbar, TB_GETITEMRECT, index, reinterpret_cast<LPARAM>(&r));
    ScopedFont font(CreateFontW(ScaleToDpi(16, gDpi), 0, 0, 0, 600, FALSE, FALSE, FALSE, ANSI_CHARSET,
                                OUT_DEFAULT_PRECIS, CLIP_DEFAULT_PRECIS, DEFAULT_QUALITY, FF_SWISS, L"Tahoma"));
    SendMessageW(gApp.zoomBox, WM_SETFONT, reinterpret_cast<WPARAM>(font.get()), TRUE);
    gZoomFont = std::move(font);  // the box uses the new font; the old one goes
    MoveWindow(gApp.zoomBox, r.left + ScaleToDpi(5, gDpi), r.top + ScaleToDpi(4, gDpi), r.right - r.left,
               (r.bottom - r.top) + ScaleToDpi(196, gDpi), TRUE);
}

void CreateZoomBox() {
    gApp.zoomBox = CreateWindowExW(
        0, L"ComboBox", nullptr, WS_CHILD | WS_VISIBLE | WS_VSCROLL | CBS_DROPDOWN | CBS_AUTOHSCROLL | CBS_HASSTRINGS,
        0, 0, 0, 0, gApp.toolbar, reinterpret_cast<HMENU>(static_cast<INT_PTR>(CmdZoomBox)), MainInstance(), nullptr);
    PlaceZoomBox();
    for (const char* text : kZoomListTexts)
        SendMessageW(gApp.zoomBox, CB_ADDSTRING, 0, reinterpret_cast<LPARAM>(WidenAscii(text).c_str()));
    SendMessageW(gApp.zoomBox, CB_SETCURSEL, 3, 0);
}

// Moved to a screen of another DPI: the window takes the size Windows suggests, and the toolbar, the
// zoom box and its font follow.
void OnDpiChanged(HWND window, UINT dpi, const RECT* suggested) {
    gDpi = dpi ? dpi : 96;
    SendMessageW(gApp.toolbar, TB_SETINDENT, ScaleToDpi(8, gDpi), 0);
    LoadToolbarImages();
    SetZoomPlaceholderWidth();
    SendMessageW(gApp.toolbar, TB_AUTOSIZE, 0, 0);
    PlaceZoomBox();
    if (suggested)
        SetWindowPos(window, nullptr, suggested->left, suggested->top, suggested->right - suggested->left,
                     suggested->bottom - suggested->top, SWP_NOZORDER | SWP_NOACTIVATE);
    InvalidateRect(window, nullptr, TRUE);
}

void SetMenuText(HMENU menu, UINT item, BOOL byPosition, const std::wstring& text) {
    MENUITEMINFOW mii{};
    mii.cbSize = sizeof mii;
    mii.fMask = MIIM_STRING;
    mii.dwTypeData = const_cast<wchar_t*>(text.c_str());
    SetMenuItemInfoW(menu, item, byPosition, &mii);
}

void LocaliseMenu(HWND window) {
    HMENU menu = GetMenu(window);
    SetMenuText(menu, 0, TRUE, Str(kStrMenuFile));
    SetMenuText(menu, 1, TRUE, Str(kStrMenuProcessing));
    SetMenuText(menu, 2, TRUE, Str(kStrMenuHelp));
    SetMenuText(menu, CmdLoad, FALSE, std::wstring(Str(kStrLoadImage)) + L"\tCtrl+O");
    SetMenuText(menu, CmdSaveAs, FALSE, std::wstring(Str(kStrSaveAs)) + L"\tCtrl+S");
    SetMenuText(menu, CmdClose, FALSE, Str(kStrClose));
    SetMenuText(menu, CmdOptions, FALSE, Str(kStrOptionsMenu));
    SetMenuText(menu, CmdExit, FALSE, Str(kStrExit));
    SetMenuText(menu, CmdSmartContrast, FALSE, Str(kStrSmartContrastMenu));
    SetMenuText(menu, CmdSolvaneUp, FALSE, Str(kStrSolvaneUp));
    SetMenuText(menu, CmdSolvaneDown, FALSE, Str(kStrSolvaneDown));
    SetMenuText(menu, CmdAbout, FALSE, Str(kStrAboutMenu));
    DrawMenuBar(window);
}

// The record is zero at process start; a window made again in the same process (tests) starts alike.
void ResetAppState() {
    gApp.zoomBoxDefaultProc = nullptr;
    gApp.SetPlacement(ViewPlacement{0, 0, 0, 0, 0});
    gApp.dragging = 0;
    gApp.lastMouseX = gApp.lastMouseY = gApp.dragAnchorX = gApp.dragAnchorY = 0;
    gSolvane.fusionUp = 0;
    gSolvane.abortRequested = 0;
    gSolvane.fusionSourcePath[0] = 0;
    gApp.dialogMouseTarget = nullptr;
    gApp.dialogOwnsDrag = 0;
    gApp.renderer.overlayRect = nullptr;
}

LRESULT OnCreate(HWND window) {
    ResetAppState();
    gApp.zoomShowsSource = 1;
    exposureCount = 0;
    gApp.unsavedResult = 0;
    LoadAppSettings();
    LoadStringTable();
    if (gAppSettings.crashedLastTime != 0)
        AskMessageBox(window, Str(kStrCrashedLastTime), Str(kStrWarning), MB_ICONINFORMATION | MB_OK);
    gApp.mainWindow = window;
    SetMainWindowLink(&gLink);
    CreateStatusBar(window);
    gCom.emplace();
    InitDocument(gDocument, window);

    ViewRenderer& r = gApp.renderer;
    r.ownerWindow = window;
    r.surface = &gDocument.displaySurface;
    r.overlayRect = nullptr;

    gDpi = GetDpiForWindow(window);
    if (gDpi == 0)
        gDpi = 96;
    CreateToolbar(window);
    CreateZoomBox();
    LocaliseMenu(window);
    gUi = MainUiEnables{};
    ApplyUiEvent(UiEvent::Created);
    SetProcessWaiter(WaitKeepingWindowAlive);
    DragAcceptFiles(window, TRUE);
    gApp.zoom = 1.0;
    gApp.zoomBoxDefaultProc = reinterpret_cast<WNDPROC>(
        SetWindowLongPtrW(gApp.zoomBox, GWLP_WNDPROC, reinterpret_cast<LONG_PTR>(ZoomBoxSubclassProc)));
    return 0;
}

void OnDestroy() {
    SetProcessWaiter(nullptr);
    // A flag that cannot be cleared only brings the crash notice once more at the next start.
    static_cast<void>(WriteCrashFlag(false));
    gSolvane.sourceBackup.Reset();
    gCom.reset();
    ReleaseDisplaySurface(gDocument);
    ReleaseDecodedBitmap(gDocument);
    ShutdownGdiplus();
    // Pictures, font and image list go too, so a window made again starts clean.
    ReleaseRendererPictures();
    gApp.renderer.surface = nullptr;
    CQmPicBufAPI::DoneHeap(gDocument.sourceBuffer);
    CQmPicBufAPI::DoneHeap(gDocument.resultBuffer);
    gZoomFont.reset();
    // The toolbar went with the window; its image lists are the program's.
    gImages.reset();
    gDisabledImages.reset();
    SetMainWindowLink(nullptr);
    gApp.mainWindow = gApp.statusBar = gApp.toolbar = gApp.zoomBox = nullptr;
    PostQuitMessage(0);
}

// ---- commands -------------------------------------------------------------------------------

// Close without the question: status, buttons, pictures, grey view, menus, decoded bitmap.
void CloseImage() {
    SetStatusText(L"");
    CQmPicBufAPI::DoneHeap(gDocument.sourceBuffer);
    CQmPicBufAPI::DoneHeap(gDocument.resultBuffer);
    gApp.renderer.sourceCache.Reset();
    gApp.renderer.resultCache.Reset();
    RenderView(0, nullptr, kSlotClear, 0);
    RepaintMainWindow();
    ApplyUiEvent(UiEvent::Closed);
    ReleaseDecodedBitmap(gDocument);
    gApp.unsavedResult = 0;
    gApp.zoomShowsSource = 0;
}

// After a successful load: title, status, result := source, fit, both caches, enables.
void ShowLoadedPicture(HWND window, const wchar_t* path, const wchar_t* status) {
    ImageDocument& doc = gDocument;
    if (CQmPicBufAPI::ReinitHeap(doc.resultBuffer, doc.sourceBuffer) != 0) {
        // No room for the result copy: say so and show no picture rather than a half-loaded one.
        AskMessageBox(window, Str(kStrPictureTooLarge), nullptr, MB_OK | MB_ICONWARNING);
        CloseImage();
        return;
    }
    CQmPicBufAPI::Copy(doc.resultBuffer, doc.sourceBuffer);
    SetTitleFromPath(window, path);
    SetStatusText(status);
    gApp.dragging = 0;
    gApp.lastMouseX = gApp.lastMouseY = gApp.dragAnchorX = gApp.dragAnchorY = 0;
    CentreOnPicture();
    FitView();
    // The picture first, then the source's cache.
    ShowWholeResult();
    RenderView(0, &doc.sourceBuffer, kSlotSource, 0);
    ApplyUiEvent(UiEvent::Loaded);
    gApp.unsavedResult = 0;
}

// A Solvane run that ended without a result: the file read again when named (an abort), then the
// source shown as the result, so what is seen and saved is the loaded picture.
void ShowSourceAsResult(const wchar_t* reloadPath) {
    ImageDocument& doc = gDocument;
    if (reloadPath && reloadPath[0]) {
        wchar_t path[kPathChars];
        lstrcpynW(path, reloadPath, kPathChars);
        // A file that cannot be read again was reported by the loader; the picture in memory stays.
        static_cast<void>(LoadImageFile(doc, path));
    }
    if (CQmPicBufAPI::ReinitHeap(doc.resultBuffer, doc.sourceBuffer) == 0)
        CQmPicBufAPI::Copy(doc.resultBuffer, doc.sourceBuffer);
    ShowWholeResult();
}

void OnLoad(HWND window) {
    if (JobRunning() || !AskContinueWithoutSaving())
        return;
    wchar_t path[kPathChars] = {};
    if (LoadImageFile(gDocument, path) != 0)
        return;
    ShowLoadedPicture(window, path, L"");
}

// A file dropped on the window or named on the command line: the unsaved question, then the load.
void OpenGivenFile(HWND window, const std::wstring& given) {
    // While a job runs the picture must not be replaced under it.
    if (JobRunning() || !AskContinueWithoutSaving())
        return;
    // A longer path would be cut into another file's name: such a file is refused whole.
    if (given.size() >= static_cast<size_t>(kPathChars)) {
        AskMessageBox(window, Str(kStrPathTooLong), nullptr, MB_OK | MB_ICONWARNING);
        return;
    }
    wchar_t path[kPathChars] = {};
    given.copy(path, given.size());
    if (path[0] && LoadImageFile(gDocument, path) == 0)
        ShowLoadedPicture(window, path, Str(kStrShowing));
}

void OnDropFiles(HWND window, HDROP drop) {
    const UINT length = DragQueryFileW(drop, 0, nullptr, 0);
    std::wstring path(length + 1, L'\0');
    if (length > 0 && DragQueryFileW(drop, 0, path.data(), length + 1) == length) {
        path.resize(length);
        OpenGivenFile(window, path);
    }
    DragFinish(drop);
}

void OnSaveAs(HWND window) {
    if (JobRunning())
        return;
    wchar_t name[kPathChars] = {};
    if (SaveImageFile(gDocument, name) == 0) {
        SetTitleFromPath(window, name);
        gApp.unsavedResult = 0;
    }
    RepaintMainWindow();
}

void OnCloseImage() {
    if (JobRunning() || !AskContinueWithoutSaving())
        return;
    CloseImage();
}

void OnAbout(HWND window) {
    AskMessageBox(window, L"SolvanePictova, Version 1.1", Str(kStrAbout), MB_OK | MB_ICONINFORMATION);
}

LRESULT OnCommand(HWND window, WPARAM wParam, LPARAM lParam) {
    SetForegroundWindow(window);
    const int id = LOWORD(wParam);
    switch (id) {
        case CmdLoad:
            OnLoad(window);
            return 0;
        case CmdSaveAs:
            OnSaveAs(window);
            return 0;
        case CmdClose:
            OnCloseImage();
            return 0;
        case CmdOptions:
            gAppHooks.showOptionsDialog(window);
            return 0;
        case CmdExit:
            if (!JobRunning())
                DestroyWindow(window);
            return 0;
        case CmdSmartContrast:
            OnSmartContrastCommand();
            return 0;
        case CmdSolvaneUp:
            OnSolvaneCommand(true);
            return 0;
        case CmdSolvaneDown:
            OnSolvaneCommand(false);
            return 0;
        case CmdAbout:
            OnAbout(window);
            return 0;
        case CmdZoomIn:
        case CmdZoomOut:
        case CmdZoomFit:
        case CmdZoom100:
            OnViewZoomCommand(id);
            return 0;
        case CmdZoomBox:
            OnZoomBoxNotify(HIWORD(wParam));
            return 0;
        case CmdFusionReady:
            // The worker waits in this call until the Fusion dialog has closed.
            RestoreSolvaneSource(gDocument);
            gApp.zoomShowsSource = 0;
            gAppHooks.runFusionDialog(gDocument);
            return 0;
        default:
            return DefWindowProcW(window, WM_COMMAND, wParam, lParam);
    }
}

LRESULT OnClose(HWND window) {
    // A running job still uses the document and the window: refuse rather than pull them away.
    if (JobRunning()) {
        MessageBeep(MB_ICONWARNING);
        return 0;
    }
    if (!AskContinueWithoutSaving())
        return 0;
    return DefWindowProcW(window, WM_CLOSE, 0, 0);
}

// Shutdown or logoff: an unsaved result gets the usual question, and a No (or a running job) holds the
// session back with a reason, as Windows shows it.
LRESULT OnQueryEndSession(HWND window) {
    const bool keep = JobRunning() || !AskContinueWithoutSaving();
    if (!keep)
        return TRUE;
    ShutdownBlockReasonCreate(window, Str(kStrUnsavedShutdown));
    return FALSE;
}

void OnEndSession(HWND window, bool ending) {
    ShutdownBlockReasonDestroy(window);
    // The process may end without its window being destroyed: this is the normal end of the run.
    if (ending)
        static_cast<void>(WriteCrashFlag(false));  // as at a normal end
}

LRESULT OnNotify(LPARAM lParam) {
    auto* header = reinterpret_cast<NMHDR*>(lParam);
    if (header->code != TTN_GETDISPINFOW)
        return 0;
    auto* info = reinterpret_cast<NMTTDISPINFOW*>(lParam);
    for (const ToolButton& b : kToolButtons) {
        if (b.command != 0 && static_cast<UINT_PTR>(b.command) == header->idFrom) {
            info->hinst = MainInstance();
            info->lpszText = const_cast<wchar_t*>(Str(b.tooltip));
        }
    }
    return 0;
}

void SetCursorMessage(LPCWSTR cursor) {
    SetMainCursor(cursor);
}

// The view is painted from the surface, so the window's own background is never erased. A flat
// (transparent) toolbar asks its parent for its background with its own DC: that one gets the face.
LRESULT OnEraseBackground(HWND window, HDC dc) {
    if (WindowFromDC(dc) != window) {
        RECT r{};
        GetClipBox(dc, &r);
        FillRect(dc, &r, GetSysColorBrush(COLOR_BTNFACE));
    }
    return 1;
}

}  // namespace

// ---- shared helpers -------------------------------------------------------------------------

bool AskContinueWithoutSaving() {
    if (!gApp.unsavedResult)
        return true;
    return AskMessageBox(gApp.mainWindow, Str(kStrContinueWithoutSaving), Str(kStrWarning),
                         MB_YESNO | MB_ICONINFORMATION) == IDYES;
}

void SetMainCursor(LPCWSTR cursor) {
    HCURSOR c = LoadCursorW(nullptr, cursor);
    SetClassLongPtrW(gApp.mainWindow, GCLP_HCURSOR, reinterpret_cast<LONG_PTR>(c));
    SetCursor(c);
}

void SetStatusText(const wchar_t* text) {
    SendMessageW(gApp.statusBar, SB_SETTEXTW, SB_SIMPLEID, reinterpret_cast<LPARAM>(text));
}

LRESULT CALLBACK MainWindowProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
    switch (message) {
        case WM_CREATE:
            return OnCreate(window);
        case WM_DESTROY:
            OnDestroy();
            return 0;
        case WM_SIZE:
            SendMessageW(gApp.statusBar, WM_SIZE, wParam, lParam);
            SendMessageW(gApp.toolbar, TB_AUTOSIZE, 0, 0);
            OnViewSize();
            return 0;
        case WM_PAINT:
            OnViewPaint(window);
            return 0;
        case WM_ERASEBKGND:
            return OnEraseBackground(window, reinterpret_cast<HDC>(wParam));
        case WM_CLOSE:
            return OnClose(window);
        case WM_QUERYENDSESSION:
            return OnQueryEndSession(window);
        case WM_DPICHANGED:
            OnDpiChanged(window, HIWORD(wParam), reinterpret_cast<const RECT*>(lParam));
            return 0;
        case WM_ENDSESSION:
            OnEndSession(window, wParam != FALSE);
            return 0;
        case WM_NOTIFY:
            return OnNotify(lParam);
        case WM_SETCURSOR:
            if (OnViewSetCursor(window, lParam))
                return TRUE;
            break;
        case WM_MOUSEMOVE:
            OnViewMouseMove(window, wParam, lParam);
            return 0;
        case WM_LBUTTONDOWN:
            OnViewLeftDown(window, wParam, lParam);
            return 0;
        case WM_LBUTTONUP:
            OnViewLeftUp(window, wParam, lParam);
            return 0;
        case WM_LBUTTONDBLCLK:
            OnViewDoubleClick();
            return 0;
        case WM_RBUTTONDOWN:
            OnViewRightDown();
            return 0;
        case WM_RBUTTONUP:
            OnViewRightUp();
            return 0;
        case WM_MOUSEWHEEL:
            OnViewMouseWheel(window, wParam, lParam);
            return 0;
        case WM_DROPFILES:
            OnDropFiles(window, reinterpret_cast<HDROP>(wParam));
            return 0;
        case WM_COMMAND:
            return OnCommand(window, wParam, lParam);
        case MSG_RESULT_CHANGED:
            OnResultChanged();
            return 0;
        case MSG_REDRAW_RESULT:
            RenderView(1, &gDocument.resultBuffer, kSlotResult, 1);
            RepaintChangedView();
            return 0;
        case MSG_CURSOR_WAIT:
            SetCursorMessage(IDC_WAIT);
            return 0;
        case MSG_CURSOR_ARROW:
            SetCursorMessage(IDC_ARROW);
            return 0;
        case MSG_CURSOR_SIZEALL:
            SetCursorMessage(IDC_SIZEALL);
            return 0;
        case MSG_ZOOM_TEXT_COMMIT:
            OnZoomTextCommit();
            return 0;
        case MSG_RESULT_UNSAVED:
            gApp.unsavedResult = 1;
            return 0;
        case MSG_UI_EVENT:
            ApplyUiEvent(static_cast<UiEvent>(wParam));
            return 0;
        case MSG_SOURCE_AS_RESULT:
            ShowSourceAsResult(reinterpret_cast<const wchar_t*>(lParam));
            return 0;
        default:
            break;
    }
    return DefWindowProcW(window, message, wParam, lParam);
}

// ---- process --------------------------------------------------------------------------------

HWND CreateMainWindow(HINSTANCE instance, int show) {
    wchar_t title[kTitleChars] = {}, className[kTitleChars] = {};
    LoadStringW(instance, IDS_APP_TITLE, title, kTitleChars);
    LoadStringW(instance, IDC_SOLVANEPICTOVA, className, kTitleChars);

    WNDCLASSEXW wc{};
    wc.cbSize = sizeof wc;
    wc.style = CS_HREDRAW | CS_VREDRAW | CS_DBLCLKS;
    wc.lpfnWndProc = MainWindowProc;
    wc.hInstance = instance;
    wc.hIcon = LoadIconW(instance, MAKEINTRESOURCEW(IDI_SOLVANEPICTOVA));
    wc.hIconSm = static_cast<HICON>(LoadImageW(instance, MAKEINTRESOURCEW(IDI_SOLVANEPICTOVA), IMAGE_ICON,
                                               GetSystemMetrics(SM_CXSMICON), GetSystemMetrics(SM_CYSMICON), 0));
    wc.hCursor = LoadCursorW(nullptr, IDC_ARROW);
    wc.hbrBackground = reinterpret_cast<HBRUSH>(COLOR_WINDOW + 1);
    wc.lpszMenuName = MAKEINTRESOURCEW(IDR_MAINFRAME);
    wc.lpszClassName = className;
    RegisterClassExW(&wc);  // already registered on a second window in the same process

    HWND window = CreateWindowExW(0, className, title, WS_OVERLAPPEDWINDOW, CW_USEDEFAULT, 0, CW_USEDEFAULT, 0, nullptr,
                                  nullptr, instance, nullptr);
    if (!window)
        return nullptr;
    ShowWindow(window, show);
    UpdateWindow(window);
    return window;
}

HACCEL MainAccelerators() {
    if (!gAccelerators)
        gAccelerators = LoadAcceleratorsW(MainInstance(), MAKEINTRESOURCEW(IDR_MAINFRAME));
    return gAccelerators;
}

bool PreTranslateMainMessage(MSG& msg) {
    // Translated for the message's own window: shortcuts act only where the main window has the focus.
    if (TranslateAcceleratorW(msg.hwnd, MainAccelerators(), &msg))
        return true;
    HWND progress = gDocument.progressDialog;
    return progress && IsDialogMessageW(progress, &msg);
}

void OpenStartupArgument(HWND window, const wchar_t* commandLine) {
    int count = 0;
    LPWSTR* arguments = commandLine && commandLine[0] ? CommandLineToArgvW(commandLine, &count) : nullptr;
    if (!arguments)
        return;
    // Explorer ("Open with", a double-click, a drop on the icon) names the file as the first argument;
    // further ones are ignored.
    std::wstring path = count >= 2 ? arguments[1] : L"";
    LocalFree(arguments);
    if (path.empty())
        return;
    const DWORD full = GetFullPathNameW(path.c_str(), 0, nullptr, nullptr);
    if (full > 0) {
        std::wstring absolute(full, L'\0');
        const DWORD got = GetFullPathNameW(path.c_str(), full, absolute.data(), nullptr);
        if (got > 0 && got < full)
            path.assign(absolute.c_str(), got);
    }
    OpenGivenFile(window, path);
}

int RunApplication(HINSTANCE instance, int show) {
    INITCOMMONCONTROLSEX icc{sizeof icc, ICC_WIN95_CLASSES | ICC_STANDARD_CLASSES};
    InitCommonControlsEx(&icc);
    HWND window = CreateMainWindow(instance, show);
    if (!window)
        return 0;
    OpenStartupArgument(window, GetCommandLineW());
    MSG msg;
    while (GetMessageW(&msg, nullptr, 0, 0) > 0) {
        if (PreTranslateMainMessage(msg))
            continue;
        TranslateMessage(&msg);
        DispatchMessageW(&msg);
    }
    return static_cast<int>(msg.wParam);
}
