// The Solvane Fusion dialog. It runs modally on the UI thread; the view forwards its mouse to it
// (the link's mouse target) and outlines previewRect. Tiles are read into the dialog's own pictures:
// the document's source, decoded bitmap and path stay as they were loaded.
#include "fusion/fusion_dialog_win.h"

#include <commctrl.h>
#include <windowsx.h>

#include <algorithm>
#include <filesystem>
#include <system_error>
#include <thread>

#include "base/app_messages.h"
#include "base/page_alloc.h"
#include "base/prompt_win.h"
#include "fusion/prepare_win.h"
#include "imaging/bmp_tile.h"
#include "imaging/main_window_link_win.h"
#include "resources/resource.h"
#include "settings/ini_values.h"
#include "settings/settings_win.h"
#include "settings/string_table_win.h"

FusionDialogState gFusionDialog;

namespace {

// Posted by the fusion worker to the dialog: a rendering taken (wParam: how many before it), the run over.
constexpr UINT MSG_FU_PROGRESS = WM_APP + 1;
constexpr UINT MSG_FU_FUSED = WM_APP + 2;

// A preview's end starts this timer; when it fires, the whole run's planes are made.
constexpr UINT_PTR kPrepareTimer = 1;
constexpr UINT kPrepareDelayMs = 400;

// Asked by the preparer before each plane: waits while a preview is computed; false once it is to stop.
bool MayPrepare() {
    const FusionDialogState& st = gFusionDialog;
    while (st.previewing.load() && !st.stopPreparing.load())
        Sleep(2);
    return !st.stopPreparing.load();
}

void StartPreparingRun() {
    FusionDialogState& st = gFusionDialog;
    if (st.preparer.joinable() || st.fusing || !st.document)
        return;
    st.stopPreparing = false;
    st.runPrepared = false;
    const SQmPicBuf like = st.document->sourceBuffer;  // the shape alone is read
    try {
        st.preparer = std::thread([like] {
            FusionDialogState& s = gFusionDialog;
            s.runPrepared = PrepareFusionRun(s.prepared, like, kMinSideFinal, MayPrepare).ok();
        });
    } catch (const std::system_error&) {
        // No thread: the run makes its planes itself.
    }
}

// Stops the preparer and waits for it (at most one plane); keep: the planes stay for the run.
void EndPreparingRun(HWND dialog, bool keep) {
    FusionDialogState& st = gFusionDialog;
    if (dialog)
        KillTimer(dialog, kPrepareTimer);
    st.stopPreparing = true;
    if (st.preparer.joinable())
        st.preparer.join();
    if (!keep) {
        DonePyramid(st.prepared);
        st.runPrepared = false;
    }
}

struct SliderInfo {
    int slider;
    int label;
    const wchar_t* key;
    const wchar_t* defaultText;
    int32_t low, high;
    int32_t FusionDialogState::*value;
    int32_t FusionDialogState::*previewed;
};

const SliderInfo kSliders[] = {
    {IDC_FU_EXPOSURE_SLIDER, IDC_FU_EXPOSURE_VALUE, L"Exposure", L"128", 64, 164, &FusionDialogState::exposureValue,
     &FusionDialogState::previewedExposure},
    {IDC_FU_FLATNESS_SLIDER, IDC_FU_FLATNESS_VALUE, L"Flatness", L"3", 2, 8, &FusionDialogState::flatnessValue,
     &FusionDialogState::previewedFlatness},
    {IDC_FU_POWER_SLIDER, IDC_FU_POWER_VALUE, L"Power", L"15", 3, 39, &FusionDialogState::powerValue,
     &FusionDialogState::previewedPower},
};

const SliderInfo* SliderFor(int id) {
    for (const SliderInfo& s : kSliders)
        if (s.slider == id)
            return &s;
    return nullptr;
}

void StoreRegion(int32_t out[4], const Region& r) {
    out[0] = r.x0;
    out[1] = r.y0;
    out[2] = r.x1;
    out[3] = r.y1;
}

Region LoadRegion(const int32_t in[4]) {
    return {in[0], in[1], in[2], in[3]};
}

bool SameShape(const SQmPicBuf& a, const SQmPicBuf& b) {
    return a.data && b.data && a.width == b.width && a.height == b.height && a.components == b.components &&
           a.bitsPerComponent == b.bitsPerComponent;
}

// dst := src, re-shaping dst when it differs.
[[nodiscard]] bool CopyPicture(SQmPicBuf& dst, const SQmPicBuf& src) {
    if (!src.data)
        return false;
    if (!SameShape(dst, src) && CQmPicBufAPI::ReinitHeap(dst, src) != 0)
        return false;
    CQmPicBufAPI::Copy(dst, src);
    return true;
}

// Tile i of the prepared set decoded by the loader's decoder into the dialog's tile picture; null unless
// it is shaped like the loaded picture. Nothing is said here: the dialog reports a failed run once.
const SQmPicBuf* DecodeTile(int32_t i) {
    FusionDialogState& st = gFusionDialog;
    if (i < 0 || i >= exposureCount || i >= kExposureTileCount || exposureFiles[i][0] == 0)
        return nullptr;
    wchar_t path[kPathChars];
    lstrcpynW(path, exposureFiles[i], kPathChars);
    DecodedFile decoded;
    int messageKey = 0;
    if (!DecodePictureFile(path, decoded, messageKey).ok() ||
        !SameShape(decoded.picture.buf(), st.document->sourceBuffer))
        return nullptr;
    st.tile = std::move(decoded.picture);
    return &st.tile.buf();
}

// What of resultBuffer differs from sourceBuffer: after a preview only its region, so the next one puts back
// that region instead of copying the whole picture twice. Not known at the start and after a failed copy.
struct ShownPreview {
    bool known = false;
    Region region{};
};
ShownPreview gShown;

enum class TileRead { kRead, kUseLoader, kUnavailable };

// The rectangle of tile i read straight from the file, when it is one of the program's own tiles: only the
// rows of the rectangle are read. Anything the reader does not accept goes through the loader instead.
TileRead ReadTileRect(int32_t i, const CQmRect<int>& rect, SQmPicBuf& dst) {
    const SQmPicBuf& source = gFusionDialog.document->sourceBuffer;
    if (i < 0 || i >= exposureCount || i >= kExposureTileCount || exposureFiles[i][0] == 0)
        return TileRead::kUnavailable;
    wchar_t path[kPathChars];
    lstrcpynW(path, exposureFiles[i], kPathChars);
    BmpTileReader reader;
    if (!reader.Open(std::filesystem::path(path)))
        return TileRead::kUseLoader;
    // The loader would read it too, and then refuse it for its shape.
    if (reader.Info().width != source.width || reader.Info().height != source.height)
        return TileRead::kUnavailable;
    return reader.ReadRect(rect, dst) ? TileRead::kRead : TileRead::kUseLoader;
}

// Listed tile i's rectangle from (x0, y0), the size of dst, made from the source by the tile's table: the
// same bytes as the file while it is as the worker wrote it, which the caller has checked.
bool RenderTileRect(int32_t i, int32_t x0, int32_t y0, SQmPicBuf& dst) {
    const ExposureTileOrigin& o = exposureOrigins[i];
    return RenderExposureRect(dst, gFusionDialog.document->sourceBuffer, x0, y0, o.step.gammaStep, o.step.clipStep,
                              o.up) == 0;
}

// RenderTileRect where the tile's file is unchanged; false otherwise, and the file is read instead.
bool MakeTileRect(int32_t i, int32_t x0, int32_t y0, SQmPicBuf& dst) {
    return ExposureTileUnchanged(i) && RenderTileRect(i, x0, y0, dst);
}

// Crops are kept between previews only while all of them together stay this small: a large region (a big
// picture seen whole) would otherwise add to the dialog's peak memory what the previews save in time.
constexpr int64_t kKeptCropBytes = int64_t{32} << 20;

// Tile i's crop of the work region from memory: kept from the last preview of the same region, or made now
// (into scratch when the crops are too large to keep). Null when the tile's file changed or memory ran out;
// the caller then reads the file.
const SQmPicBuf* CropFromMemory(int32_t i, const Region& work, SQmPicBuf& scratch) {
    FusionDialogState& st = gFusionDialog;
    if (i < 0 || i >= kExposureTileCount)
        return nullptr;
    if (!(st.cropsRegion == work)) {
        std::fill(std::begin(st.cropKept), std::end(st.cropKept), false);
        st.cropsRegion = work;
    }
    if (!ExposureTileUnchanged(i)) {
        st.cropKept[i] = false;
        return nullptr;
    }
    const int64_t tiles = std::min(st.powerValue, exposureCount);
    const bool keep = int64_t{work.Width()} * work.Height() * 3 * tiles <= kKeptCropBytes;
    SQmPicBuf& crop = keep ? st.crops[i].buf() : scratch;
    if (keep && st.cropKept[i])
        return &crop;
    const bool made = ((crop.data && crop.width == work.Width() && crop.height == work.Height()) ||
                       CQmPicBufAPI::ReinitHeap(crop, work.Width(), work.Height(), 3, 8) == 0) &&
                      RenderTileRect(i, work.x0, work.y0, crop);  // its file was checked above
    if (keep)
        st.cropKept[i] = made;
    return made ? &crop : nullptr;
}

void DropKeptCrops() {
    FusionDialogState& st = gFusionDialog;
    for (int32_t i = 0; i < kExposureTileCount; ++i) {
        st.crops[i].Reset();
        st.cropKept[i] = false;
    }
    st.cropsRegion = Region{};
}

FusionRunParams RunParams(HWND dialog, uint32_t minSide) {
    const FusionDialogState& st = gFusionDialog;
    FusionRunParams p;
    p.count = st.powerValue;  // RunFusion limits it to the tiles there are
    p.minSide = minSide;
    p.midTone = st.exposureValue;
    p.flatness = st.flatnessValue;
    p.stretch = IsDlgButtonChecked(dialog, IDC_FU_STRETCH) == BST_CHECKED;
    return p;
}

void ReportFailedRun(HWND owner) {
    AskMessageBox(owner, Str(kStrFusionFailed), Str(kStrWarning), MB_OK | MB_ICONWARNING);
}

// The one way to ask for a preview now, whatever the region: the dialog's own WM_LBUTTONUP with wParam 1
// (a real button release sends 0 and recomputes only when the region moved).
void RequestPreview(HWND dialog) {
    SendMessageW(dialog, WM_LBUTTONUP, 1, 0);
}

// The fused preview of region r, computed on the work region around it, into previewPicture.
FusionStatus ComputePreview(HWND dialog, const Region& r, const Region& work) {
    FusionDialogState& st = gFusionDialog;
    Picture crop, fused;
    if (CQmPicBufAPI::ReinitHeap(st.previewPicture.buf(), r.Width(), r.Height(), 3, 8) != 0 ||
        CQmPicBufAPI::ReinitHeap(crop.buf(), work.Width(), work.Height(), 3, 8) != 0 ||
        CQmPicBufAPI::ReinitHeap(fused.buf(), work.Width(), work.Height(), 3, 8) != 0)
        return FusionStatus::kAllocationFailed;
    auto source = [&](int32_t i) -> const SQmPicBuf* {
        if (const SQmPicBuf* made = CropFromMemory(i, work, crop.buf()))
            return made;
        switch (ReadTileRect(i, {work.x0, work.y0, work.x1, work.y1}, crop.buf())) {
            case TileRead::kRead:
                return &crop.buf();
            case TileRead::kUnavailable:
                return nullptr;
            case TileRead::kUseLoader:
                break;
        }
        const SQmPicBuf* tile = DecodeTile(i);
        if (!tile)
            return nullptr;
        CQmPicBufAPI::CopyRect(crop.buf(), *tile, {0, 0}, {work.x0, work.y0}, {work.Width(), work.Height()});
        st.tile.Reset();  // a whole tile is not kept for a preview
        return &crop.buf();
    };
    const FusionStatus status = RunFusion(fused.buf(), exposureCount, source, RunParams(dialog, kMinSidePreview));
    if (status == FusionStatus::kDone)
        CQmPicBufAPI::CopyRect(st.previewPicture.buf(), fused.buf(), {0, 0}, {r.x0 - work.x0, r.y0 - work.y0},
                               {r.Width(), r.Height()});
    return status;
}

// WM_LBUTTONUP: a real release (wParam 0) recomputes only when the rounded region moved; the dialog
// forces a recompute with wParam 1.
void OnPreview(HWND dialog, WPARAM wParam) {
    FusionDialogState& st = gFusionDialog;
    ImageDocument& doc = *st.document;
    SendMain(MSG_CURSOR_WAIT);
    const int32_t width = doc.sourceBuffer.width, height = doc.sourceBuffer.height;
    const Region r = RoundClampRegion(st.previewRectF, width, height);
    StoreRegion(st.previewRect, r);
    const Region work = GrowClampRegion(r, kPreviewMargin, width, height);
    if (r == LoadRegion(st.lastPreviewRect) && wParam != 1) {
        SendMain(MSG_CURSOR_ARROW);
        st.dragActive = 0;
        return;
    }
    StoreRegion(st.lastPreviewRect, r);
    ++st.previewRuns;
    for (const SliderInfo& s : kSliders)
        st.*(s.previewed) = st.*(s.value);

    // A region dragged wholly off the picture has nothing to preview.
    st.previewing = true;
    const FusionStatus status = r.Empty() ? FusionStatus::kDone : ComputePreview(dialog, r, work);
    st.previewing = false;
    SetTimer(dialog, kPrepareTimer, kPrepareDelayMs, nullptr);
    st.lastStatus = status;
    SendMain(MSG_CURSOR_ARROW);
    st.dragActive = 0;

    // Where the result was the picture but for the last region, only that region and the new one change, and
    // the view takes those two alone.
    CQmRect<int> changed[2];
    int changedCount = -1;  // all of it
    if (gShown.known && SameShape(doc.resultBuffer, doc.sourceBuffer)) {
        const Region& old = gShown.region;
        changedCount = 0;
        if (!old.Empty()) {
            CQmPicBufAPI::CopyRect(doc.resultBuffer, doc.sourceBuffer, {old.x0, old.y0}, {old.x0, old.y0},
                                   {old.Width(), old.Height()});
            changed[changedCount++] = {old.x0, old.y0, old.x1, old.y1};
        }
    } else {
        gShown.known = CopyPicture(doc.resultBuffer, doc.sourceBuffer);
    }
    gShown.region = Region{0, 0, 0, 0};
    if (status == FusionStatus::kDone && !r.Empty()) {
        CQmPicBufAPI::CopyRect(doc.resultBuffer, st.previewPicture.buf(), {r.x0, r.y0}, {0, 0},
                               {r.Width(), r.Height()});
        gShown.region = r;
        if (changedCount >= 0)
            changed[changedCount++] = {r.x0, r.y0, r.x1, r.y1};
    }
    if (changedCount > 0)
        MainLink().ResultChanged(changed, changedCount);
    else
        SendMain(MSG_RESULT_CHANGED);
    if (status != FusionStatus::kDone)
        ReportFailedRun(dialog);
}

// previewRectF in main-window client pixels, top left and bottom right (the view may show the picture
// turned or mirrored).
void MappedRegion(int32_t& rx0, int32_t& ry0, int32_t& rx1, int32_t& ry1) {
    const RegionF& f = gFusionDialog.previewRectF;
    const POINT a = MainLink().PictureToWindow(f.x0, f.y0), b = MainLink().PictureToWindow(f.x1, f.y1);
    rx0 = std::min(a.x, b.x), ry0 = std::min(a.y, b.y);
    rx1 = std::max(a.x, b.x), ry1 = std::max(a.y, b.y);
}

bool InMappedRegion(int32_t x, int32_t y) {
    int32_t rx0, ry0, rx1, ry1;
    MappedRegion(rx0, ry0, rx1, ry1);
    return PointInWindowRegion(x, y, rx0, ry0, rx1, ry1);
}

void OnMouseMove(HWND dialog, WPARAM wParam, LPARAM lParam) {
    FusionDialogState& st = gFusionDialog;
    const int32_t x = GET_X_LPARAM(lParam), y = GET_Y_LPARAM(lParam);
    st.pointerX = x;
    st.pointerY = y;
    POINT cursor{};
    RECT own{};
    GetCursorPos(&cursor);
    GetWindowRect(dialog, &own);
    if (PtInRect(&own, cursor)) {
        MainLink().SetDialogOwnsDrag(false);
        SetCursor(LoadCursorW(nullptr, IDC_ARROW));
        return;
    }
    const bool inside = InMappedRegion(x, y);
    MainLink().SetDialogOwnsDrag(inside);
    SetCursor(LoadCursorW(nullptr, inside ? IDC_SIZEALL : IDC_ARROW));
    if (wParam == MK_LBUTTON && inside && st.dragActive == 1) {
        // The region follows the mouse as the user sees the picture.
        double dx = 0, dy = 0;
        MainLink().WindowDeltaToPicture(x - st.dragX, y - st.dragY, dx, dy);
        st.dragX = x;
        st.dragY = y;
        st.previewRectF = MoveRegion(st.previewRectF, dx, dy);
        const SQmPicBuf& source = st.document->sourceBuffer;
        StoreRegion(st.previewRect, RoundClampRegion(st.previewRectF, source.width, source.height));
        SendMain(MSG_REDRAW_RESULT);
        SetFocus(dialog);
    }
}

void OnButtonDown(LPARAM lParam) {
    FusionDialogState& st = gFusionDialog;
    if (!InMappedRegion(st.pointerX, st.pointerY))
        return;
    SendMain(MSG_CURSOR_SIZEALL);
    st.pointerX = st.dragX = GET_X_LPARAM(lParam);
    st.pointerY = st.dragY = GET_Y_LPARAM(lParam);
    st.dragActive = 1;
}

void ShowValue(HWND dialog, int label, int32_t value) {
    wchar_t text[16];
    wsprintfW(text, L"%u", static_cast<uint32_t>(value));
    SetDlgItemTextW(dialog, label, text);
}

void OnSlider(HWND dialog, WPARAM wParam, LPARAM lParam) {
    HWND bar = reinterpret_cast<HWND>(lParam);
    const SliderInfo* info = bar ? SliderFor(GetDlgCtrlID(bar)) : nullptr;
    if (!info)
        return;
    const int32_t code = LOWORD(wParam);
    const int32_t old = static_cast<int32_t>(SendMessageW(bar, TBM_GETPOS, 0, 0));
    const int32_t wanted = SliderTargetValue(code, old, static_cast<int16_t>(HIWORD(wParam)));
    SendMessageW(bar, TBM_SETPOS, TRUE, wanted);
    const int32_t value = static_cast<int32_t>(SendMessageW(bar, TBM_GETPOS, 0, 0));
    gFusionDialog.*(info->value) = value;
    ShowValue(dialog, info->label, value);
    // Against the value the preview shows, not the control's position before this event: Home, End and
    // page clicks move the control before they are reported.
    if (SliderNeedsRecompute(code, gFusionDialog.*(info->previewed), value))
        RequestPreview(dialog);
    SetFocus(dialog);
}

INT_PTR OnInitDialog(HWND dialog, LPARAM lParam) {
    FusionDialogState& st = gFusionDialog;
    st.document = reinterpret_cast<ImageDocument*>(lParam);
    st.dialog = dialog;
    st.previewRuns = 0;
    st.lastStatus = FusionStatus::kDone;
    gShown = ShownPreview{};
    DropKeptCrops();  // of another run's tiles
    MainLink().SetMouseTarget(dialog);
    SendMain(MSG_CURSOR_WAIT);

    ShowWindow(MainLink().Window(), SW_SHOW);
    RECT main{};
    GetWindowRect(MainLink().Window(), &main);
    SetWindowPos(dialog, nullptr, main.left + 10, main.top + 30, 0, 0,
                 SWP_NOSIZE | SWP_NOZORDER | SWP_NOACTIVATE | SWP_ASYNCWINDOWPOS);

    StoreRegion(st.previewRect, Region{0, 0, 0, 0});
    MainLink().SetOverlay(st.previewRect);
    StoreRegion(st.lastPreviewRect, Region{0, 0, 0, 0});
    st.dragActive = 0;
    MainLink().SetDialogOwnsDrag(false);

    const SQmPicBuf& source = st.document->sourceBuffer;
    double px = 0, py = 0;
    MainLink().WindowToPicture((main.right - main.left) / 2, (main.bottom - main.top) / 2, px, py);
    st.previewRectF = PlacePreviewRegion(px, py, source.width, source.height);

    for (const SliderInfo& s : kSliders) {
        const std::wstring text = ReadSettingsText(s.key, s.defaultText);
        SetDlgItemTextW(dialog, s.label, text.c_str());
        st.*(s.value) = ParseIniInt(text.c_str());
    }

    RequestUi(UiEvent::JobStarted);

    for (const SliderInfo& s : kSliders) {
        HWND bar = GetDlgItem(dialog, s.slider);
        SendMessageW(bar, TBM_SETRANGE, TRUE, MAKELPARAM(s.low, s.high));
        SendMessageW(bar, TBM_SETPOS, TRUE, st.*(s.value));
        SendMessageW(bar, TBM_SETPAGESIZE, 0, 0);
    }
    SendMain(MSG_CURSOR_ARROW);

    SetDlgItemTextW(dialog, IDOK, Str(kStrOk));
    SetDlgItemTextW(dialog, IDCANCEL, Str(kStrCancel));
    SetDlgItemTextW(dialog, IDC_FU_EXPOSURE_LABEL, Str(kStrExposure));
    SetDlgItemTextW(dialog, IDC_FU_FLATNESS_LABEL, Str(kStrFlatness));
    SetDlgItemTextW(dialog, IDC_FU_POWER_LABEL, Str(kStrPowerLabel));
    SetDlgItemTextW(dialog, IDC_FU_STRETCH, Str(kStrStretchHistogram));
    SetWindowTextW(dialog, Str(kStrSolvaneFusion));
    MainLink().SetStatusText(Str(kStrTuneParameters));

    RequestPreview(dialog);
    SetFocus(dialog);
    return FALSE;
}

// The whole picture into st.fused, on the fusion worker: each tile is read into the tile picture in turn, and
// each one taken is posted to the dialog as progress. A cancelled run stops at the next tile. The slider values
// are stored meanwhile: their file is flushed to the disk, and that flush waits behind the tiles' writes.
void FuseWholePicture(HWND dialog, FusionRunParams params, std::vector<IniEntry> entries) {
    FusionDialogState& st = gFusionDialog;
    // A settings file that cannot be written keeps its old values; the picture is fused regardless.
    auto store = [&entries] { static_cast<void>(WriteSettingsTexts(entries)); };
    std::thread storing;
    try {
        storing = std::thread(store);
    } catch (const std::system_error&) {
        store();
    }
    const SQmPicBuf& like = st.document->sourceBuffer;
    auto source = [&](int32_t i) -> const SQmPicBuf* {
        if (st.cancelFusion)
            return nullptr;
        PostMessageW(dialog, MSG_FU_PROGRESS, static_cast<WPARAM>(i), 0);
        SQmPicBuf& tile = st.tile.buf();
        if (SameShape(tile, like) || CQmPicBufAPI::ReinitHeap(tile, like) == 0) {
            // An unchanged tile is made again from the source instead of read back whole.
            if (MakeTileRect(i, 0, 0, tile))
                return &tile;
            switch (ReadTileRect(i, {0, 0, like.width, like.height}, tile)) {
                case TileRead::kRead:
                    return &tile;
                case TileRead::kUnavailable:
                    return nullptr;
                case TileRead::kUseLoader:
                    break;
            }
        }
        return DecodeTile(i);
    };
    st.fuseStatus = RunFusion(st.fused.buf(), exposureCount, source, params, &st.prepared);
    st.tile.Reset();
    if (storing.joinable())
        storing.join();
    PostMessageW(dialog, MSG_FU_FUSED, 0, 0);
}

// The progress dialog of the whole fusion; its button cancels the run.
INT_PTR CALLBACK FusionProgressProc(HWND progress, UINT message, WPARAM wParam, LPARAM) {
    if (message == WM_COMMAND && LOWORD(wParam) == IDCANCEL) {
        gFusionDialog.cancelFusion = true;
        SetProgressText(progress, Str(kStrCanceling));
        EnableWindow(GetDlgItem(progress, IDCANCEL), FALSE);
        return TRUE;
    }
    return FALSE;
}

// The end of the dialog, OK or Cancel, once any whole fusion is over.
void FinishFusionDialog(HWND dialog, int id) {
    FusionDialogState& st = gFusionDialog;
    EndPreparingRun(dialog, false);
    EndDialog(dialog, id);
    st.previewPicture.Reset();
    DropKeptCrops();
    MainLink().SetOverlay(nullptr);
    MainLink().SetMouseTarget(nullptr);
    MainLink().SetDialogOwnsDrag(false);
    SendMain(MSG_RESULT_CHANGED);
    // The previews' and the whole fusion's blocks: the idle program gives them back, once the picture shows.
    ReleaseKeptPages();
    SetFocus(MainLink().Window());
    // The loaded picture, its decoded file and its path were never touched by the run.
    lstrcpynW(sourceFilePath, gSolvane.fusionSourcePath, kPathChars);
    MainLink().SetStatusText(L"");
    st.dialog = nullptr;
}

// No half-previewed picture is left behind: the result is the unprocessed picture again.
void ResultIsSourceAgain(ImageDocument& doc) {
    if (!CopyPicture(doc.resultBuffer, doc.sourceBuffer))
        CQmPicBufAPI::DoneHeap(doc.resultBuffer);
}

// OK: the whole picture is fused on a worker, its values stored beside it, while the dialog shows the
// progress over the renderings. The windows keep answering; the view is the user's meanwhile.
void StartWholeFusion(HWND dialog) {
    FusionDialogState& st = gFusionDialog;
    std::vector<IniEntry> entries;
    wchar_t text[kIniValueChars];
    for (const SliderInfo& s : kSliders) {
        GetDlgItemTextW(dialog, s.label, text, kIniValueChars);
        entries.push_back({s.key, text});
    }
    const FusionRunParams params = RunParams(dialog, kMinSideFinal);
    EndPreparingRun(dialog, true);
    // The run's pyramid is the largest thing the program ever holds: the view's copy of the loaded picture
    // makes way for it until the run ends.
    MainLink().KeepSourceView(false);
    if (CQmPicBufAPI::ReinitHeap(st.fused.buf(), st.document->sourceBuffer) != 0) {
        st.lastStatus = FusionStatus::kAllocationFailed;
        ResultIsSourceAgain(*st.document);
        static_cast<void>(WriteSettingsTexts(entries));
        ReportFailedRun(dialog);
        FinishFusionDialog(dialog, IDOK);
        MainLink().KeepSourceView(true);
        return;
    }
    st.cancelFusion = false;
    st.fusing = true;
    MainLink().SetMouseTarget(nullptr);
    MainLink().SetDialogOwnsDrag(false);
    st.progress = CreateDialogParamW(MainInstance(), MAKEINTRESOURCEW(IDD_PROGRESS), dialog, FusionProgressProc, 0);
    if (st.progress) {
        SetWindowTextW(st.progress, Str(kStrSolvaneFusion));
        SetProgressText(st.progress, Str(kStrFusing));
        SetDlgItemTextW(st.progress, IDCANCEL, Str(kStrCancel));
        const int32_t renderings = std::clamp<int32_t>(params.count, 1, std::max<int32_t>(exposureCount, 1));
        SendDlgItemMessageW(st.progress, IDC_PROGRESS_BAR, PBM_SETRANGE32, 0, renderings);
        SendDlgItemMessageW(st.progress, IDC_PROGRESS_BAR, PBM_SETPOS, 0, 0);
        ShowWindow(st.progress, SW_SHOW);
    }
    EnableWindow(dialog, FALSE);
    st.fuser = std::thread(FuseWholePicture, dialog, params, std::move(entries));
}

void OnFusionProgress(WPARAM taken) {
    const FusionDialogState& st = gFusionDialog;
    if (st.progress)
        SendDlgItemMessageW(st.progress, IDC_PROGRESS_BAR, PBM_SETPOS, taken, 0);
}

// The worker is done: the fused picture becomes the result and the dialog closes, or after Cancel the
// dialog is back as it was before OK, the picture too.
void OnWholeFusionEnded(HWND dialog) {
    FusionDialogState& st = gFusionDialog;
    if (!st.fusing)
        return;
    st.fuser.join();
    st.fusing = false;
    DonePyramid(st.prepared);  // what a run stopped before its first rendering did not take
    if (st.progress)
        DestroyWindow(st.progress);
    st.progress = nullptr;
    EnableWindow(dialog, TRUE);
    ImageDocument& doc = *st.document;
    if (st.cancelFusion) {
        st.fused.Reset();
        ReleaseKeptPages();
        MainLink().KeepSourceView(true);
        MainLink().SetMouseTarget(dialog);
        SetFocus(dialog);
        return;
    }
    st.lastStatus = st.fuseStatus;
    if (st.fuseStatus == FusionStatus::kDone) {
        std::swap(doc.resultBuffer, st.fused.buf());  // the fused block becomes the result, the old one goes
        st.fused.Reset();
        SendMain(MSG_RESULT_UNSAVED);
    } else {
        st.fused.Reset();
        ResultIsSourceAgain(doc);
        ReportFailedRun(dialog);
    }
    FinishFusionDialog(dialog, IDOK);  // gives the run's memory back first
    MainLink().KeepSourceView(true);
}

void EndFusionDialog(HWND dialog, int id) {
    FusionDialogState& st = gFusionDialog;
    SendMain(MSG_CURSOR_ARROW);
    gShown = ShownPreview{};
    if (id == IDOK) {
        StartWholeFusion(dialog);
        return;
    }
    MainLink().SetOverlay(nullptr);
    ResultIsSourceAgain(*st.document);  // nothing is accepted
    SendMain(MSG_RESULT_CHANGED);
    SetFocus(MainLink().Window());
    FinishFusionDialog(dialog, id);
}

}  // namespace

Region CurrentPreviewRect() {
    return LoadRegion(gFusionDialog.previewRect);
}

INT_PTR CALLBACK FusionDialogProc(HWND dialog, UINT message, WPARAM wParam, LPARAM lParam) {
    switch (message) {
        case WM_INITDIALOG:
            return OnInitDialog(dialog, lParam);
        case WM_LBUTTONUP:
            if (!gFusionDialog.fusing)
                OnPreview(dialog, wParam);
            return TRUE;
        case WM_MOUSEMOVE:
            OnMouseMove(dialog, wParam, lParam);
            return TRUE;
        case WM_LBUTTONDOWN:
            OnButtonDown(lParam);
            return TRUE;
        case WM_MOUSEWHEEL:
            SendMain(WM_MOUSEWHEEL, wParam, lParam);
            return TRUE;
        case WM_HSCROLL:
            if (!gFusionDialog.fusing)
                OnSlider(dialog, wParam, lParam);
            return TRUE;
        case MSG_FU_PROGRESS:
            OnFusionProgress(wParam);
            return TRUE;
        case MSG_FU_FUSED:
            OnWholeFusionEnded(dialog);
            return TRUE;
        case WM_TIMER:
            if (wParam != kPrepareTimer)
                return FALSE;
            KillTimer(dialog, kPrepareTimer);
            StartPreparingRun();
            return TRUE;
        case WM_COMMAND:
            if (gFusionDialog.fusing)
                return TRUE;  // the dialog waits for its worker
            switch (LOWORD(wParam)) {
                case IDC_FU_STRETCH:
                    RequestPreview(dialog);
                    return TRUE;
                case IDOK:
                case IDCANCEL:
                    if (gFusionDialog.dialog == dialog)
                        EndFusionDialog(dialog, LOWORD(wParam));
                    return TRUE;
                default:
                    return FALSE;
            }
        default:
            return FALSE;
    }
}

void RestoreSolvaneSource(ImageDocument& document) {
    Picture& backup = gSolvane.sourceBackup;
    if (backup->data && backup->size == document.sourceBuffer.size)
        CQmPicBufAPI::Copy(document.sourceBuffer, backup.buf());
    backup.Reset();  // not needed again in this run; the dialog works without a second copy
}

INT_PTR RunFusionDialog(ImageDocument& document) {
    DialogBoxParamW(MainInstance(), MAKEINTRESOURCEW(IDD_FUSION), MainLink().Window(), FusionDialogProc,
                    reinterpret_cast<LPARAM>(&document));
    EndPreparingRun(nullptr, false);  // also when the dialog went with its owner
    RequestUi(UiEvent::JobEnded);
    return 1;
}
