// The Solvane Fusion dialog end to end: real tiles, the real main window, the view's mouse path.
#include <windows.h>

#include <commctrl.h>
#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <functional>
#include <span>
#include <string>
#include <thread>
#include <vector>

#include "app/jobs_win.h"
#include "app/view_readback_win.h"
#include "app/view_win.h"
#include "fusion/exposure.h"
#include "fusion/fusion.h"
#include "fusion/fusion_dialog_win.h"
#include "fusion/prepare_win.h"
#include "imaging/bmp_tile.h"
#include "fusion_app_harness_win.h"
#include "resources/resource.h"
#include "settings/settings_win.h"
#include "settings/string_table_win.h"
#include "imaging/save_win.h"

namespace {

// A script runs inside the dialog's modal loop and returns the button that closes it.
std::function<int(HWND)> gScript;

void CALLBACK RunScript(HWND, UINT, UINT_PTR id, DWORD) {
    HWND dialog = gFusionDialog.dialog;
    if (!dialog || !IsWindowVisible(dialog))
        return;  // not open yet: wait for the next tick
    KillTimer(nullptr, id);
    std::function<int(HWND)> script = std::move(gScript);
    gScript = nullptr;
    const int button = script ? script(dialog) : IDCANCEL;
    SendMessageW(dialog, WM_COMMAND, button, 0);
}

void Schedule(std::function<int(HWND)> script) {
    gScript = std::move(script);
    SetTimer(nullptr, 0, 20, RunScript);
}

std::wstring Text(HWND dialog, int id) {
    wchar_t text[256] = {};
    GetDlgItemTextW(dialog, id, text, 256);
    return text;
}

// Main-window mouse as the view re-issues it while a dialog is open.
void Mouse(UINT message, int x, int y) {
    SendMessageW(gApp.mainWindow, message, message == WM_MOUSEMOVE ? MK_LBUTTON : 0, MAKELPARAM(x, y));
}

// A mouse moves in small steps; the region follows only while the pointer stays over it.
void Drag(int fromX, int toX, int y) {
    const int step = toX > fromX ? 5 : -5;
    for (int x = fromX + step; step > 0 ? x <= toX : x >= toX; x += step)
        Mouse(WM_MOUSEMOVE, x, y);
}

std::vector<TestPicture> LoadTiles(int count) {
    std::vector<TestPicture> tiles;
    for (int i = 0; i < count; ++i)
        tiles.push_back(LoadCopy(exposureFiles[i]));
    return tiles;
}

TestPicture Crop(const SQmPicBuf& picture, const Region& r) {
    TestPicture c;
    EXPECT_EQ(CQmPicBufAPI::ReinitHeap(c.buf, r.Width(), r.Height(), 3, 8), 0);
    CQmPicBufAPI::CopyRect(c.buf, picture, {0, 0}, {r.x0, r.y0}, {r.Width(), r.Height()});
    return c;
}

// The preview the dialog should show: fused on the work region, pasted over the picture.
TestPicture ExpectedPreview(const SQmPicBuf& picture, const Region& r, const FusionRunParams& params) {
    const Region work = GrowClampRegion(r, kPreviewMargin, picture.width, picture.height);
    std::vector<TestPicture> tiles = LoadTiles(std::min(params.count, exposureCount));
    std::vector<SQmPicBuf> crops;
    std::vector<TestPicture> owned;
    for (TestPicture& t : tiles)
        owned.push_back(Crop(t.buf, work));
    for (TestPicture& o : owned)
        crops.push_back(o.buf);
    TestPicture fused;
    EXPECT_EQ(CQmPicBufAPI::ReinitHeap(fused.buf, work.Width(), work.Height(), 3, 8), 0);
    EXPECT_EQ(RunFusion(fused.buf, std::span<const SQmPicBuf>(crops), params), FusionStatus::kDone);
    TestPicture result = CopyOf(picture);
    CQmPicBufAPI::CopyRect(result.buf, fused.buf, {r.x0, r.y0}, {r.x0 - work.x0, r.y0 - work.y0},
                           {r.Width(), r.Height()});
    return result;
}

TestPicture ExpectedWhole(const SQmPicBuf& picture, const FusionRunParams& params) {
    std::vector<TestPicture> tiles = LoadTiles(std::min(params.count, exposureCount));
    std::vector<SQmPicBuf> bufs;
    for (TestPicture& t : tiles)
        bufs.push_back(t.buf);
    TestPicture fused = CopyOf(picture);
    EXPECT_EQ(RunFusion(fused.buf, std::span<const SQmPicBuf>(bufs), params), FusionStatus::kDone);
    return fused;
}

// The view is what a whole redraw gives (the result over grey, the region outlined once), and the window's view
// band shows it, read back from the window: redraws that render and repaint only what changed leave nothing
// stale.
void ExpectViewAsAWholeRedraw(const char* what) {
    RECT c{}, toolbar{}, status{};
    GetClientRect(gApp.mainWindow, &c);
    GetClientRect(gApp.toolbar, &toolbar);
    GetClientRect(gApp.statusBar, &status);
    EXPECT_EQ(WindowPixelsUnlikeSurface(gApp.mainWindow, toolbar.bottom + 3, c.bottom - status.bottom), 0)
        << what << ": window pixels unlike the surface";
    EXPECT_TRUE(SurfaceIsAWholeRedraw()) << what << ": the surface unlike a whole redraw";
}

// Tiles made here without the worker, listed as the worker lists them.
void MakeTiles(const SQmPicBuf& picture, int count, bool up) {
    CreateDirectoryW(FusionApp::TileFolder().c_str(), nullptr);
    TestPicture tile = CopyOf(picture);
    for (int n = 0; n < count; ++n) {
        const ExposureStep s = ExposureGrid()[n];
        uint32_t score = 0;
        EXPECT_EQ(RenderExposureTile(tile.buf, picture, s.gammaStep, s.clipStep, up, score), 0);
        const std::string name = ExposureTileName(s.gammaStep, s.clipStep);
        const std::wstring path = FusionApp::TileFolder() + L"/" + std::wstring(name.begin(), name.end());
        EXPECT_EQ(WriteColourBmp(path.c_str(), tile.buf), 0);
        lstrcpynW(exposureFiles[n], path.c_str(), kExposurePathChars);
    }
    exposureCount = count;
}

// Opens the dialog the way the main window does after a preparation, without one.
void OpenDialog(const std::wstring& path) {
    lstrcpynW(gSolvane.fusionSourcePath, path.c_str(), kPathChars);
    EXPECT_EQ(CQmPicBufAPI::ReinitHeap(gDocument.resultBuffer, gDocument.sourceBuffer), 0);
    gApp.zoomShowsSource = 0;
    RunFusionDialog(gDocument);
}

class FusionDialogTest : public ::testing::Test {
protected:
    static void SetUpTestSuite() { FusionApp::Start(); }
    static void TearDownTestSuite() { FusionApp::Stop(); }
    void SetUp() override {
        FusionApp::prompter().messages.clear();
        DeleteFileW(SettingsFilePath().c_str());
    }
};

TEST_F(FusionDialogTest, OpensWithDefaultsPreviewsTheSmallPictureWholeAndCancelRestoresIt) {
    TestPicture photo = MakePhoto(300, 200, 11);
    const std::wstring path = WritePhoto(L"small.bmp", photo.buf);
    ASSERT_TRUE(FusionApp::Load(path));
    TestPicture firstPreview;
    int runsAfterStretch = 0;
    Schedule([&](HWND dialog) {
        EXPECT_EQ(Text(dialog, IDC_FU_EXPOSURE_VALUE), L"128");
        EXPECT_EQ(Text(dialog, IDC_FU_FLATNESS_VALUE), L"3");
        EXPECT_EQ(Text(dialog, IDC_FU_POWER_VALUE), L"15");
        EXPECT_EQ(Text(dialog, IDC_FU_EXPOSURE_LABEL), L"Exposure:");
        EXPECT_EQ(Text(dialog, IDC_FU_STRETCH), L"Stretch Histogram");
        wchar_t title[64] = {};
        GetWindowTextW(dialog, title, 64);
        EXPECT_STREQ(title, L"Solvane Fusion");
        EXPECT_EQ(IsDlgButtonChecked(dialog, IDC_FU_STRETCH), BST_UNCHECKED);
        EXPECT_EQ(SendDlgItemMessageW(dialog, IDC_FU_POWER_SLIDER, TBM_GETPOS, 0, 0), 15);
        EXPECT_EQ(SendDlgItemMessageW(dialog, IDC_FU_POWER_SLIDER, TBM_GETRANGEMAX, 0, 0), 39);
        EXPECT_EQ(SendDlgItemMessageW(dialog, IDC_FU_POWER_SLIDER, TBM_GETPAGESIZE, 0, 0), 0);
        EXPECT_EQ(CurrentPreviewRect(), (Region{0, 0, 300, 200}));
        EXPECT_EQ(gApp.renderer.overlayRect.load(), gFusionDialog.previewRect);
        EXPECT_EQ(gApp.dialogMouseTarget.load(), dialog);
        EXPECT_FALSE(MenuBarEnabled());
        EXPECT_FALSE(ToolbarEnabled(CmdLoad));
        EXPECT_FALSE(ToolbarEnabled(CmdSaveAs));
        EXPECT_EQ(gFusionDialog.previewRuns, 1);
        EXPECT_TRUE(SamePixels(gDocument.sourceBuffer, photo.buf)) << "the source is put back after a preview";
        firstPreview = CopyOf(gDocument.resultBuffer);
        SendDlgItemMessageW(dialog, IDC_FU_STRETCH, BM_CLICK, 0, 0);
        runsAfterStretch = gFusionDialog.previewRuns;
        EXPECT_TRUE(FusionApp::PumpUntil([] { return gFusionDialog.runPrepared.load(); }, 20000));
        return IDCANCEL;
    });
    ASSERT_TRUE(FusionApp::RunSolvane(true));
    EXPECT_EQ(gFusionDialog.prepared.planes, nullptr) << "Cancel gives the whole run's planes back";

    EXPECT_EQ(runsAfterStretch, 2) << "toggling the box always recomputes";
    EXPECT_TRUE(SamePixels(gDocument.resultBuffer, photo.buf)) << "no fused region is left";
    EXPECT_TRUE(SamePixels(gDocument.sourceBuffer, photo.buf));
    EXPECT_EQ(std::wstring(sourceFilePath), path);
    EXPECT_EQ(gApp.unsavedResult, 0);
    EXPECT_EQ(gApp.renderer.overlayRect.load(), nullptr);
    EXPECT_EQ(gApp.dialogMouseTarget.load(), nullptr);
    EXPECT_TRUE(MenuBarEnabled());
    for (int id : {CmdLoad, CmdSaveAs, CmdSmartContrast, CmdSolvaneUp, CmdSolvaneDown})
        EXPECT_TRUE(ToolbarEnabled(id)) << id;
    EXPECT_TRUE(FusionApp::prompter().messages.empty());

    ASSERT_EQ(exposureCount, 39);
    FusionRunParams preview;
    preview.count = 15;
    preview.minSide = kMinSidePreview;
    TestPicture expected = ExpectedPreview(photo.buf, Region{0, 0, 300, 200}, preview);
    EXPECT_TRUE(SamePixels(firstPreview.buf, expected.buf));
    EXPECT_FALSE(SamePixels(firstPreview.buf, photo.buf));
}

// The power arrow, a tile changed while the dialog is open, and OK.
TEST_F(FusionDialogTest, PowerArrowStepAndOkFuseTheWholePicture) {
    TestPicture photo = MakePhoto(400, 300, 12);
    const std::wstring path = WritePhoto(L"ok.bmp", photo.buf);
    ASSERT_TRUE(FusionApp::Load(path));
    Schedule([&](HWND dialog) {
        HWND power = GetDlgItem(dialog, IDC_FU_POWER_SLIDER);
        SetFocus(power);
        SendMessageW(power, WM_KEYDOWN, VK_RIGHT, 0);
        SendMessageW(power, WM_KEYUP, VK_RIGHT, 0);
        EXPECT_EQ(Text(dialog, IDC_FU_POWER_VALUE), L"17");
        EXPECT_EQ(gFusionDialog.powerValue, 17);
        EXPECT_EQ(gFusionDialog.previewRuns, 2);
        // Previews fuse crops made from the source by each tile's table: the same as the tile files.
        FusionRunParams preview;
        preview.count = 17;
        preview.minSide = kMinSidePreview;
        EXPECT_TRUE(SamePixels(gDocument.resultBuffer, ExpectedPreview(photo.buf, CurrentPreviewRect(), preview).buf));
        // A tile changed on disk since the dialog opened is read from its file, by the preview and by OK.
        TestPicture changed = CopyOf(photo.buf);
        for (int32_t k = 0; k < changed.buf.height * changed.buf.stride; ++k)
            changed.buf.data[k] = static_cast<uint8_t>(255 - changed.buf.data[k]);
        EXPECT_EQ(WriteColourBmp(exposureFiles[3], changed.buf), 0);
        SendDlgItemMessageW(dialog, IDC_FU_STRETCH, BM_CLICK, 0, 0);
        preview.stretch = true;
        EXPECT_TRUE(SamePixels(gDocument.resultBuffer, ExpectedPreview(photo.buf, CurrentPreviewRect(), preview).buf));
        // A moment after the preview, the whole run's planes are made; OK takes them.
        EXPECT_TRUE(FusionApp::PumpUntil([] { return gFusionDialog.runPrepared.load(); }, 20000));
        EXPECT_NE(gFusionDialog.prepared.planes, nullptr);
        return IDOK;
    });
    ASSERT_TRUE(FusionApp::RunSolvane(false));
    EXPECT_EQ(gFusionDialog.prepared.planes, nullptr);

    EXPECT_EQ(ReadSettingsText(L"Power", L""), L"17");
    EXPECT_EQ(ReadSettingsText(L"Exposure", L""), L"128");
    EXPECT_EQ(ReadSettingsText(L"Flatness", L""), L"3");
    EXPECT_TRUE(SamePixels(gDocument.sourceBuffer, photo.buf));
    EXPECT_EQ(std::wstring(sourceFilePath), path);
    EXPECT_EQ(gApp.unsavedResult, 1);
    EXPECT_FALSE(GetMenuState(GetMenu(gApp.mainWindow), CmdClose, MF_BYCOMMAND) & MF_GRAYED);
    EXPECT_TRUE(IsWindowEnabled(gApp.zoomBox));
    EXPECT_TRUE(FusionApp::prompter().messages.empty());
    // The view's copy of the source, given up during the run, is back.
    ASSERT_NE(gApp.renderer.sourceCache->data, nullptr);
    EXPECT_TRUE(SamePixels(gApp.renderer.sourceCache.buf(), photo.buf));

    TestPicture result = CopyOf(gDocument.resultBuffer);
    FusionRunParams whole;
    whole.count = 17;
    whole.minSide = kMinSideFinal;
    whole.stretch = true;
    TestPicture expected = ExpectedWhole(photo.buf, whole);
    EXPECT_TRUE(SamePixels(result.buf, expected.buf));
    EXPECT_FALSE(SamePixels(result.buf, photo.buf));
}

TEST_F(FusionDialogTest, RegionIsCentredDraggedClampedAndRecomputedOnlyWhenMoved) {
    EXPECT_TRUE(WriteSettingsText(L"Power", L"3"));
    TestPicture photo = MakePhoto(2000, 1500, 13);
    const std::wstring path = WritePhoto(L"large.bmp", photo.buf);
    ASSERT_TRUE(FusionApp::Load(path));
    MakeTiles(photo.buf, 3, true);
    // The picture centre at the middle of the 600 x 400 main window, a quarter of its size.
    gApp.SetPlacement(ViewPlacement{0.25, 300, 200, 1000, 750});

    std::vector<int> runs;
    std::vector<Region> rects;
    std::vector<std::wstring> powers;
    Schedule([&](HWND dialog) {
        rects.push_back(CurrentPreviewRect());  // 0: placed
        runs.push_back(gFusionDialog.previewRuns);
        Mouse(WM_MOUSEMOVE, 300, 200);
        EXPECT_EQ(gApp.dialogOwnsDrag.load(), 1);
        Mouse(WM_LBUTTONDOWN, 300, 200);
        EXPECT_EQ(gFusionDialog.dragActive, 1);
        Drag(300, 400, 200);                    // 100 window pixels = 400 picture pixels
        rects.push_back(CurrentPreviewRect());  // 1
        ExpectViewAsAWholeRedraw("the outline dragged");
        EXPECT_EQ(gApp.dragging, 0) << "the view does not pan meanwhile";
        Mouse(WM_LBUTTONUP, 400, 200);
        runs.push_back(gFusionDialog.previewRuns);  // moved: recomputed
        ExpectViewAsAWholeRedraw("the preview moved");
        {
            // Only the new region differs from the picture: the old one is put back.
            TestPicture expected = CopyOf(photo.buf);
            const Region now = CurrentPreviewRect();
            CQmPicBufAPI::CopyRect(expected.buf, gDocument.resultBuffer, {now.x0, now.y0}, {now.x0, now.y0},
                                   {now.Width(), now.Height()});
            EXPECT_TRUE(SamePixels(gDocument.resultBuffer, expected.buf));
            EXPECT_FALSE(SamePixels(gDocument.resultBuffer, photo.buf));
            EXPECT_TRUE(SamePixels(gDocument.sourceBuffer, photo.buf));
        }
        Mouse(WM_LBUTTONUP, 400, 200);
        runs.push_back(gFusionDialog.previewRuns);  // released again without moving: not
        Mouse(WM_MOUSEMOVE, 400, 200);
        Mouse(WM_LBUTTONDOWN, 400, 200);
        Drag(400, 500, 200);
        rects.push_back(CurrentPreviewRect());  // 2: at the right edge
        Drag(500, 520, 200);
        rects.push_back(CurrentPreviewRect());  // 3: past it, shrunk
        EXPECT_EQ(gFusionDialog.previewRectF.x1 - gFusionDialog.previewRectF.x0, 400.0);
        Drag(520, 500, 200);
        rects.push_back(CurrentPreviewRect());  // 4: back, whole again
        Mouse(WM_LBUTTONUP, 500, 200);
        runs.push_back(gFusionDialog.previewRuns);
        ExpectViewAsAWholeRedraw("the preview moved to the edge");
        Mouse(WM_MOUSEMOVE, 50, 350);  // elsewhere: the view pans again
        EXPECT_EQ(gApp.dialogOwnsDrag.load(), 0);
        Mouse(WM_MOUSEMOVE, 100, 200);
        Mouse(WM_LBUTTONDOWN, 100, 200);
        Mouse(WM_MOUSEMOVE, 87, 191);  // the outline moves with the picture
        Mouse(WM_MOUSEMOVE, 112, 183);
        Mouse(WM_LBUTTONUP, 112, 183);
        EXPECT_EQ(CurrentPreviewRect(), rects[4]) << "a pan leaves the region where it is on the picture";
        ExpectViewAsAWholeRedraw("the view panned");

        // At the top of the range an arrow key leaves the value.
        HWND power = GetDlgItem(dialog, IDC_FU_POWER_SLIDER);
        SendMessageW(power, WM_KEYDOWN, VK_END, 0);  // to the top, recomputed there
        SendMessageW(power, WM_KEYUP, VK_END, 0);
        const int before = gFusionDialog.previewRuns;
        SendMessageW(power, WM_KEYDOWN, VK_RIGHT, 0);
        SendMessageW(power, WM_KEYUP, VK_RIGHT, 0);
        powers.push_back(Text(dialog, IDC_FU_POWER_VALUE));
        EXPECT_EQ(gFusionDialog.previewRuns, before);
        return IDCANCEL;
    });
    OpenDialog(path);

    ASSERT_EQ(rects.size(), 5u);
    EXPECT_EQ(rects[0], (Region{800, 550, 1200, 950}));
    EXPECT_EQ(rects[1], (Region{1200, 550, 1600, 950}));
    EXPECT_EQ(rects[2], (Region{1600, 550, 2000, 950}));
    EXPECT_EQ(rects[3], (Region{1680, 550, 2000, 950}));
    EXPECT_EQ(rects[4], (Region{1600, 550, 2000, 950}));
    EXPECT_EQ(runs, (std::vector<int>{1, 2, 2, 3}));
    EXPECT_EQ(powers, std::vector<std::wstring>{L"39"});
    EXPECT_EQ(ReadSettingsText(L"Power", L""), L"3") << "Cancel writes nothing";
    EXPECT_TRUE(SamePixels(gDocument.resultBuffer, photo.buf));
}

TEST_F(FusionDialogTest, PreviewMatchesTheFusionOfTheWorkRegion) {
    EXPECT_TRUE(WriteSettingsText(L"Power", L"3"));
    EXPECT_TRUE(WriteSettingsText(L"Exposure", L"150"));
    TestPicture photo = MakePhoto(900, 700, 14);
    const std::wstring path = WritePhoto(L"work.bmp", photo.buf);
    ASSERT_TRUE(FusionApp::Load(path));
    MakeTiles(photo.buf, 5, true);
    gApp.SetPlacement(ViewPlacement{0.5, 300, 200, 700, 300});
    TestPicture preview;
    Region region{};
    Schedule([&](HWND) {
        region = CurrentPreviewRect();
        preview = CopyOf(gDocument.resultBuffer);
        return IDCANCEL;
    });
    OpenDialog(path);
    EXPECT_EQ(region, (Region{500, 100, 900, 500}));  // kept inside at the right edge
    FusionRunParams params;
    params.count = 3;
    params.minSide = kMinSidePreview;
    params.midTone = 150;
    TestPicture expected = ExpectedPreview(photo.buf, region, params);
    EXPECT_TRUE(SamePixels(preview.buf, expected.buf));
}

// OK fuses on a worker: the main window answers another thread meanwhile, the progress bar moves, and
// Cancel gives back the dialog and the picture as they were before OK.
TEST_F(FusionDialogTest, TheWholeFusionLeavesTheWindowAnsweringAndCancelKeepsThePicture) {
    TestPicture photo = MakePhoto(2400, 1600, 5);
    ASSERT_TRUE(FusionApp::Load(WritePhoto(L"long.bmp", photo.buf)));
    EXPECT_TRUE(WriteSettingsText(L"Power", L"39"));
    bool answered = false, fusingWhenAnswered = false, cancelled = false;  // cancelled: dialog and picture back
    int barPosition = -1;
    std::vector<uint8_t> beforeOk;
    Schedule([&](HWND dialog) {
        const SQmPicBuf& r = gDocument.resultBuffer;
        beforeOk.assign(r.data, r.data + r.size);
        SendMessageW(dialog, WM_COMMAND, IDOK, 0);
        EXPECT_TRUE(gFusionDialog.fusing);
        EXPECT_FALSE(IsWindowEnabled(dialog));
        std::atomic<bool> pinged{false};
        std::thread other([&] {
            DWORD_PTR reply = 0;
            answered = SendMessageTimeoutW(gApp.mainWindow, WM_NULL, 0, 0, SMTO_ABORTIFHUNG, 3000, &reply) != 0;
            pinged = true;
        });
        FusionApp::PumpUntil([&] { return pinged.load(); }, 10000);
        other.join();
        fusingWhenAnswered = gFusionDialog.fusing;
        FusionApp::PumpUntil([&] {
            return gFusionDialog.progress &&
                   SendDlgItemMessageW(gFusionDialog.progress, IDC_PROGRESS_BAR, PBM_GETPOS, 0, 0) > 0;
        });
        if (HWND progress = gFusionDialog.progress) {
            barPosition = static_cast<int>(SendDlgItemMessageW(progress, IDC_PROGRESS_BAR, PBM_GETPOS, 0, 0));
            SendMessageW(progress, WM_COMMAND, IDCANCEL, 0);
        }
        FusionApp::PumpUntil([] { return !gFusionDialog.fusing; });
        const SQmPicBuf& after = gDocument.resultBuffer;
        cancelled = gFusionDialog.dialog == dialog && IsWindowEnabled(dialog) && after.data &&
                    std::vector<uint8_t>(after.data, after.data + after.size) == beforeOk;
        return IDCANCEL;
    });
    ASSERT_TRUE(FusionApp::RunSolvane(true));
    EXPECT_TRUE(answered);
    EXPECT_TRUE(fusingWhenAnswered) << "the fusion was over before the window was asked: make it longer";
    EXPECT_GT(barPosition, 0);
    EXPECT_TRUE(cancelled);
    EXPECT_EQ(gApp.unsavedResult, 0);
    EXPECT_TRUE(SamePixels(gDocument.resultBuffer, photo.buf));  // then the dialog's own Cancel
}

TEST_F(FusionDialogTest, AnUnreadableTileLeavesThePictureAndSaysSo) {
    EXPECT_TRUE(WriteSettingsText(L"Power", L"3"));
    TestPicture photo = MakePhoto(200, 150, 15);
    const std::wstring path = WritePhoto(L"unreadable.bmp", photo.buf);
    ASSERT_TRUE(FusionApp::Load(path));
    MakeTiles(photo.buf, 3, false);
    DeleteFileW(exposureFiles[1]);
    size_t messagesWhileOpen = 0;
    FusionStatus status = FusionStatus::kDone;
    Schedule([&](HWND) {
        messagesWhileOpen = FusionApp::prompter().messages.size();
        status = gFusionDialog.lastStatus;
        EXPECT_TRUE(SamePixels(gDocument.resultBuffer, photo.buf));
        return IDOK;
    });
    OpenDialog(path);
    EXPECT_EQ(status, FusionStatus::kPictureUnavailable);
    EXPECT_EQ(messagesWhileOpen, 1u);
    ASSERT_EQ(FusionApp::prompter().messages.size(), 2u);
    for (const RecordedMessage& m : FusionApp::prompter().messages)
        EXPECT_EQ(m.text, Str(kStrFusionFailed));
    EXPECT_TRUE(SamePixels(gDocument.resultBuffer, photo.buf));
    EXPECT_TRUE(SamePixels(gDocument.sourceBuffer, photo.buf));
    EXPECT_EQ(gApp.unsavedResult, 0);
    EXPECT_EQ(std::wstring(sourceFilePath), path);
}

// The same pixels as a top-down BMP: the loader reads it, the tile reader does not take it.
void RewriteTopDown(const wchar_t* path, const SQmPicBuf& picture) {
    auto header = MakeBmpTileHeader(picture.width, picture.height);
    const uint32_t negative = static_cast<uint32_t>(-picture.height);
    for (int i = 0; i < 4; ++i)
        header[22 + i] = static_cast<uint8_t>(negative >> (8 * i));
    std::ofstream out(std::filesystem::path(path), std::ios::binary | std::ios::trunc);
    out.write(reinterpret_cast<const char*>(header.data()), static_cast<std::streamsize>(header.size()));
    const std::vector<char> pad(BmpTileRowBytes(picture.width) - picture.width * 3u, 0);
    for (int32_t y = 0; y < picture.height; ++y) {
        out.write(reinterpret_cast<const char*>(picture.data + y * picture.stride), picture.width * 3);
        out.write(pad.data(), static_cast<std::streamsize>(pad.size()));
    }
}

TEST_F(FusionDialogTest, TilesInAnotherLayoutAreReadThroughTheLoader) {
    EXPECT_TRUE(WriteSettingsText(L"Power", L"3"));
    TestPicture photo = MakePhoto(301, 207, 16);  // odd width: padded rows
    const std::wstring path = WritePhoto(L"layouts.bmp", photo.buf);
    ASSERT_TRUE(FusionApp::Load(path));
    MakeTiles(photo.buf, 3, true);
    {
        TestPicture middle = LoadCopy(exposureFiles[1]);
        RewriteTopDown(exposureFiles[1], middle.buf);
    }
    BmpTileReader reader;
    EXPECT_FALSE(reader.Open(std::filesystem::path(exposureFiles[1])));
    EXPECT_TRUE(reader.Open(std::filesystem::path(exposureFiles[2])));
    reader.Close();
    TestPicture preview;
    Schedule([&](HWND) {
        preview = CopyOf(gDocument.resultBuffer);
        return IDOK;
    });
    OpenDialog(path);
    EXPECT_TRUE(FusionApp::prompter().messages.empty());
    FusionRunParams params;
    params.count = 3;
    params.minSide = kMinSidePreview;
    TestPicture expected = ExpectedPreview(photo.buf, Region{0, 0, 301, 207}, params);
    EXPECT_TRUE(SamePixels(preview.buf, expected.buf));
    params.minSide = kMinSideFinal;
    TestPicture whole = ExpectedWhole(photo.buf, params);
    EXPECT_TRUE(SamePixels(gDocument.resultBuffer, whole.buf));
    EXPECT_TRUE(SamePixels(gDocument.sourceBuffer, photo.buf));
}

TEST_F(FusionDialogTest, ATileOfAnotherSizeFailsTheRunAsWithTheLoader) {
    EXPECT_TRUE(WriteSettingsText(L"Power", L"3"));
    TestPicture photo = MakePhoto(120, 90, 17);
    const std::wstring path = WritePhoto(L"sizes.bmp", photo.buf);
    ASSERT_TRUE(FusionApp::Load(path));
    MakeTiles(photo.buf, 3, true);
    TestPicture other = MakePhoto(90, 120, 18);
    ASSERT_EQ(WriteColourBmp(exposureFiles[2], other.buf), 0);
    FusionStatus status = FusionStatus::kDone;
    Schedule([&](HWND) {
        status = gFusionDialog.lastStatus;
        return IDCANCEL;
    });
    OpenDialog(path);
    EXPECT_EQ(status, FusionStatus::kPictureUnavailable);
    EXPECT_TRUE(SamePixels(gDocument.resultBuffer, photo.buf));
    EXPECT_TRUE(SamePixels(gDocument.sourceBuffer, photo.buf));
}

}  // namespace

// Home, End and page keys move a slider before it reports the move: each still recomputes, so the
// preview always shows the values that OK fuses with. A thumb drag only updates the label.
TEST_F(FusionDialogTest, EveryKeyThatChangesAValueRecomputesThePreview) {
    TestPicture photo = MakePhoto(200, 150, 5);
    const std::wstring path = WritePhoto(L"keys.bmp", photo.buf);
    ASSERT_TRUE(FusionApp::Load(path));
    Schedule([&](HWND dialog) {
        auto press = [&](int slider, UINT key) {
            HWND bar = GetDlgItem(dialog, slider);
            SetFocus(bar);
            const int before = gFusionDialog.previewRuns;
            SendMessageW(bar, WM_KEYDOWN, key, 0);
            SendMessageW(bar, WM_KEYUP, key, 0);
            return gFusionDialog.previewRuns - before;
        };
        EXPECT_EQ(press(IDC_FU_EXPOSURE_SLIDER, VK_HOME), 1);
        EXPECT_EQ(gFusionDialog.exposureValue, 64);
        EXPECT_EQ(press(IDC_FU_FLATNESS_SLIDER, VK_END), 1);
        EXPECT_EQ(gFusionDialog.flatnessValue, 8);
        EXPECT_EQ(press(IDC_FU_POWER_SLIDER, VK_NEXT), 1);
        EXPECT_EQ(press(IDC_FU_POWER_SLIDER, VK_HOME), 1);
        EXPECT_EQ(gFusionDialog.powerValue, 3);
        EXPECT_EQ(press(IDC_FU_POWER_SLIDER, VK_HOME), 0);  // nothing changed
        const FusionDialogState& st = gFusionDialog;
        EXPECT_EQ(st.previewedExposure, 64);
        EXPECT_EQ(st.previewedFlatness, 8);
        EXPECT_EQ(st.previewedPower, 3);
        EXPECT_EQ(Text(dialog, IDC_FU_EXPOSURE_VALUE), L"64");

        const int before = st.previewRuns;
        SendMessageW(dialog, WM_HSCROLL, MAKEWPARAM(TB_THUMBTRACK, 9),
                     reinterpret_cast<LPARAM>(GetDlgItem(dialog, IDC_FU_POWER_SLIDER)));
        EXPECT_EQ(Text(dialog, IDC_FU_POWER_VALUE), L"9");
        EXPECT_EQ(st.previewRuns, before);
        return IDCANCEL;
    });
    ASSERT_TRUE(FusionApp::RunSolvane(true));
}
