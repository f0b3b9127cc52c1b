// The Smart Contrast dialog: builds the pyramid once, recomputes the result at full resolution on
// every slider change and tells the main window to redraw; OK keeps the values, Cancel the source.
#include "contrast/contrast_dialog_win.h"

#include <commctrl.h>

#include <atomic>
#include <cstring>
#include <cwchar>
#include <memory>

#include "base/app_messages.h"
#include "base/page_alloc.h"
#include "base/prompt_win.h"
#include "contrast/contrast_dialog.h"
#include "contrast/contrast_pyramid.h"
#include "imaging/document_win.h"
#include "imaging/main_window_link_win.h"
#include "resources/resource.h"
#include "settings/ini_values.h"
#include "settings/settings_win.h"
#include "settings/string_table_win.h"

static_assert(kSliderLineUp == TB_LINEUP && kSliderPageDown == TB_PAGEDOWN &&
              kSliderThumbPosition == TB_THUMBPOSITION && kSliderThumbTrack == TB_THUMBTRACK &&
              kSliderEndTrack == TB_ENDTRACK);

namespace {

// One row per level k: detail of 2^k pixels.
constexpr int kSliderIds[kLodCount] = {IDC_SC_SLIDER_0, IDC_SC_SLIDER_1, IDC_SC_SLIDER_2, IDC_SC_SLIDER_3,
                                       IDC_SC_SLIDER_4, IDC_SC_SLIDER_5, IDC_SC_SLIDER_6, IDC_SC_SLIDER_7};
constexpr int kValueIds[kLodCount] = {IDC_SC_VALUE_0, IDC_SC_VALUE_1, IDC_SC_VALUE_2, IDC_SC_VALUE_3,
                                      IDC_SC_VALUE_4, IDC_SC_VALUE_5, IDC_SC_VALUE_6, IDC_SC_VALUE_7};
constexpr int kLabelIds[kLodCount] = {IDC_SC_LABEL_0, IDC_SC_LABEL_1, IDC_SC_LABEL_2, IDC_SC_LABEL_3,
                                      IDC_SC_LABEL_4, IDC_SC_LABEL_5, IDC_SC_LABEL_6, IDC_SC_LABEL_7};
constexpr int kLabelStrings[kLodCount] = {kStrLevelOne,       kStrLevelTwo,           kStrLevelFour,
                                          kStrLevelEight,     kStrLevelSixteen,       kStrLevelThirtyTwo,
                                          kStrLevelSixtyFour, kStrLevelOneTwentyEight};
constexpr const wchar_t* kLodKeys[kLodCount] = {L"LOD_0", L"LOD_1", L"LOD_2", L"LOD_3",
                                                L"LOD_4", L"LOD_5", L"LOD_6", L"LOD_7"};

struct DialogState {
    ImageDocument* document = nullptr;
    ContrastPyramid pyramid;
    int32_t lod[kLodCount] = {};
    bool closed = false;  // OK or Cancel handled: late messages change nothing
};

std::atomic<uint32_t> gRecomputes{0};

DialogState* StateOf(HWND dialog) {
    return reinterpret_cast<DialogState*>(GetWindowLongPtrW(dialog, DWLP_USER));
}

// The dialog class is shared, so its cursor is set on the class as well as for the moment.
void SetCursors(HWND dialog, LPCWSTR cursor, UINT mainMessage) {
    HCURSOR c = LoadCursorW(nullptr, cursor);
    SetClassLongPtrW(dialog, GCLP_HCURSOR, reinterpret_cast<LONG_PTR>(c));
    SetCursor(c);
    SendMain(mainMessage);
}

void ShowValue(HWND dialog, int k, int32_t value) {
    wchar_t text[16];
    swprintf(text, 16, L"%i", value);
    SetDlgItemTextW(dialog, kValueIds[k], text);
}

void LocaliseTexts(HWND dialog) {
    SetDlgItemTextW(dialog, IDOK, Str(kStrOk));
    SetDlgItemTextW(dialog, IDCANCEL, Str(kStrCancel));
    SetDlgItemTextW(dialog, IDC_SC_DEFAULTS, Str(kStrSetDefaults));
    for (int k = 0; k < kLodCount; ++k)
        SetDlgItemTextW(dialog, kLabelIds[k], Str(kLabelStrings[k]));
    SetDlgItemTextW(dialog, IDC_SC_HEADER_LEVEL, Str(kStrLevelOfDetails));
    SetDlgItemTextW(dialog, IDC_SC_HEADER_POWER, Str(kStrPowerHeader));
    SetWindowTextW(dialog, Str(kStrSmartContrast));
}

// Refuses a picture the dialog cannot work on: tells the user and ends before anything changed.
bool Refuse(HWND dialog, int text) {
    AskMessageBox(MainLink().Window(), Str(text), Str(kStrSmartContrast), MB_OK | MB_ICONWARNING);
    MainLink().SetMouseTarget(nullptr);
    EndDialog(dialog, IDCANCEL);
    return false;
}

// Returns false when the dialog was refused and has already ended.
bool OnInitDialog(HWND dialog, DialogState& s) {
    MainLink().SetMouseTarget(dialog);
    MainLink().SetDialogOwnsDrag(false);
    const SQmPicBuf& source = s.document->sourceBuffer;

    switch (ClassifyContrastSource(source)) {
        case ContrastOpening::TooSmall:
            return Refuse(dialog, kStrContrastTooSmall);
        case ContrastOpening::Unsupported:
            return Refuse(dialog, 41);
        case ContrastOpening::Ready:
            if (s.pyramid.Build(source) != 0) {
                s.pyramid.Release();
                return Refuse(dialog, kStrContrastNoMemory);
            }
            break;
        case ContrastOpening::Empty:
            break;  // no levels: every row disabled, nothing rendered
    }

    SetCursors(dialog, IDC_WAIT, MSG_CURSOR_WAIT);
    ShowWindow(MainLink().Window(), SW_SHOW);
    RECT main{};
    GetWindowRect(MainLink().Window(), &main);
    SetWindowPos(dialog, nullptr, main.left + 10, main.top + 30, 0, 0, SWP_NOSIZE | SWP_NOZORDER | SWP_NOACTIVATE);

    // The labels show the stored text as it is; the gain is its leading number.
    for (int k = 0; k < kLodCount; ++k) {
        const std::wstring text = ReadSettingsText(kLodKeys[k], L"10");
        SetDlgItemTextW(dialog, kValueIds[k], text.c_str());
        s.lod[k] = ParseIniInt(text.c_str());
    }

    RequestUi(UiEvent::JobStarted);

    for (int k = 0; k < kLodCount; ++k) {
        HWND slider = GetDlgItem(dialog, kSliderIds[k]);
        SendMessageW(slider, TBM_SETRANGE, FALSE, MAKELPARAM(kLodMin, kLodMax));
        SendMessageW(slider, TBM_SETPOS, TRUE, s.lod[k]);
        SendMessageW(slider, TBM_SETPAGESIZE, 0, 0);
    }
    const uint32_t levels = s.pyramid.Renderable() ? s.pyramid.levelCount : 0;
    for (uint32_t k = levels; k < static_cast<uint32_t>(kLodCount); ++k) {
        EnableWindow(GetDlgItem(dialog, kSliderIds[k]), FALSE);
        EnableWindow(GetDlgItem(dialog, kLabelIds[k]), FALSE);
        EnableWindow(GetDlgItem(dialog, kValueIds[k]), FALSE);
    }

    SendMessageW(dialog, MSG_SC_RECOMPUTE, 1, 0);
    SetCursors(dialog, IDC_ARROW, MSG_CURSOR_ARROW);
    LocaliseTexts(dialog);
    SetFocus(dialog);
    return true;
}

void Recompute(HWND dialog, DialogState& s) {
    SetCursors(dialog, IDC_WAIT, MSG_CURSOR_WAIT);
    if (ApplySmartContrast(s.document->resultBuffer, s.pyramid, s.lod) == 0)
        ++gRecomputes;
    // The main window reads the result only inside this call, never while it is being rewritten.
    SendMain(MSG_RESULT_CHANGED);
    // What changed in the dialog (a value, a thumb) is painted now; repainting every control as well cost
    // a 4K screen under Wine about 28 ms a step.
    RedrawWindow(dialog, nullptr, nullptr, RDW_ALLCHILDREN | RDW_UPDATENOW);
    SetCursors(dialog, IDC_ARROW, MSG_CURSOR_ARROW);
}

void OnSlider(HWND dialog, DialogState& s, WPARAM wParam, HWND control) {
    int k = 0;
    while (k < kLodCount && GetDlgItem(dialog, kSliderIds[k]) != control)
        ++k;
    if (k < kLodCount) {
        const int32_t code = LOWORD(wParam);
        const int32_t p = static_cast<int32_t>(SendMessageW(control, TBM_GETPOS, 0, 0));
        const int32_t v = SliderTargetValue(code, p, static_cast<int16_t>(HIWORD(wParam)));
        SendMessageW(control, TBM_SETPOS, TRUE, v);
        const int32_t q = static_cast<int32_t>(SendMessageW(control, TBM_GETPOS, 0, 0));
        const int32_t previous = s.lod[k];
        s.lod[k] = q;
        ShowValue(dialog, k, q);
        if (SliderNeedsRecompute(code, previous, q))
            SendMessageW(dialog, MSG_SC_RECOMPUTE, 1, 0);
    }
    SetFocus(dialog);
}

void OnSetDefaults(HWND dialog, DialogState& s) {
    for (int k = 0; k < kLodCount; ++k) {
        SendDlgItemMessageW(dialog, kSliderIds[k], TBM_SETPOS, TRUE, kLodDefault);
        ShowValue(dialog, k, kLodDefault);
        s.lod[k] = kLodDefault;
    }
    SendMessageW(dialog, MSG_SC_RECOMPUTE, 1, 0);
}

void OnClose(HWND dialog, DialogState& s, int button) {
    s.closed = true;
    SetCursors(dialog, IDC_ARROW, MSG_CURSOR_ARROW);
    ImageDocument& doc = *s.document;
    if (button == IDCANCEL) {
        MainLink().SetOverlay(nullptr);
        // Same geometry only: the result is never written past its own block.
        const SQmPicBuf& src = doc.sourceBuffer;
        SQmPicBuf& dst = doc.resultBuffer;
        if (src.data && dst.data && src.size == dst.size)
            std::memcpy(dst.data, src.data, static_cast<size_t>(src.size));
        SendMain(MSG_RESULT_CHANGED);
        SetFocus(MainLink().Window());
    } else {
        // The file gets exactly what the labels show, a stored out-of-range value included.
        std::vector<IniEntry> entries;
        for (int k = 0; k < kLodCount; ++k) {
            wchar_t text[kIniValueChars] = {};
            GetDlgItemTextW(dialog, kValueIds[k], text, kIniValueChars);
            entries.push_back({kLodKeys[k], text});
        }
        // One rewrite of the file, not eight. A file that cannot be written keeps its old values; the
        // accepted picture stays accepted.
        static_cast<void>(WriteSettingsTexts(entries));
        SendMain(MSG_RESULT_UNSAVED);
    }
    s.pyramid.Release();
    ReleaseKeptPages();  // nothing reuses the pyramid's blocks soon: the idle program gives them back
    EndDialog(dialog, button);
    MainLink().SetOverlay(nullptr);
    MainLink().SetMouseTarget(nullptr);
    SendMain(MSG_RESULT_CHANGED);
    SetFocus(MainLink().Window());
    MainLink().SetStatusText(L"");
}

}  // namespace

uint32_t SmartContrastRecomputeCount() {
    return gRecomputes.load();
}

INT_PTR CALLBACK SmartContrastDialogProc(HWND dialog, UINT message, WPARAM wParam, LPARAM lParam) {
    DialogState* s = StateOf(dialog);
    switch (message) {
        case WM_INITDIALOG: {
            // The window owns its state from here until WM_NCDESTROY.
            auto owned = std::make_unique<DialogState>();
            owned->document = reinterpret_cast<ImageDocument*>(lParam);
            s = owned.get();
            SetWindowLongPtrW(dialog, DWLP_USER, reinterpret_cast<LONG_PTR>(owned.release()));
            MainLink().SetOverlay(nullptr);
            if (!OnInitDialog(dialog, *s))
                s->closed = true;
            return FALSE;  // the focus is set already
        }
        case MSG_SC_RECOMPUTE:
            if (s && !s->closed)
                Recompute(dialog, *s);
            return TRUE;
        case WM_HSCROLL:
            if (s && !s->closed)
                OnSlider(dialog, *s, wParam, reinterpret_cast<HWND>(lParam));
            return TRUE;
        case WM_MOUSEWHEEL:
            SendMain(WM_MOUSEWHEEL, wParam, lParam);
            return TRUE;
        case WM_COMMAND:
            if (!s || s->closed)
                return FALSE;
            switch (LOWORD(wParam)) {
                case IDC_SC_DEFAULTS:
                    OnSetDefaults(dialog, *s);
                    return TRUE;
                case IDOK:
                case IDCANCEL:
                    OnClose(dialog, *s, LOWORD(wParam));
                    return TRUE;
                default:
                    return FALSE;
            }
        case WM_NCDESTROY:
            SetWindowLongPtrW(dialog, DWLP_USER, 0);
            std::unique_ptr<DialogState>{s}.reset();
            return FALSE;
        default:
            return FALSE;
    }
}
