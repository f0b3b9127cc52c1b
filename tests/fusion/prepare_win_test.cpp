// The preparation worker end to end: the Solvane commands on a real main window, tiles on disk.
#include <windows.h>

#include <commctrl.h>
#include <gtest/gtest.h>

#include <algorithm>
#include <set>
#include <string>
#include <vector>

#include "app/jobs_win.h"
#include "fusion/exposure.h"
#include "fusion/prepare_win.h"
#include "fusion_app_harness_win.h"
#include "resources/resource.h"
#include "settings/string_table_win.h"

namespace {

// What the main window sees when the worker hands over.
struct Handover {
    int calls = 0;
    int32_t count = -1;
    bool menusEnabled = true;
    bool loadEnabled = true;
    bool sourceIsLoaded = false;
    uint8_t zoomShowsSource = 1;
    std::vector<std::wstring> files;
};
Handover gHandover;
const SQmPicBuf* gExpectedSource = nullptr;

INT_PTR RecordHandover(ImageDocument& document) {
    Handover& h = gHandover;
    ++h.calls;
    h.count = exposureCount;
    h.menusEnabled = MenuBarEnabled();
    h.loadEnabled = ToolbarEnabled(CmdLoad);
    h.zoomShowsSource = gApp.zoomShowsSource;
    h.sourceIsLoaded = gExpectedSource && SamePixels(document.sourceBuffer, *gExpectedSource);
    for (int32_t i = 0; i < exposureCount; ++i)
        h.files.emplace_back(exposureFiles[i]);
    RequestUi(UiEvent::JobEnded);
    return 1;
}

// Texts and bar positions the progress dialog receives, seen on the UI thread.
struct ProgressLog {
    std::vector<std::wstring> texts;  // of the text line
    std::wstring title;
    std::vector<int> positions;
    LPARAM range = 0;
};
ProgressLog gLog;
HHOOK gHook = nullptr;

bool IsStatic(HWND window) {
    wchar_t cls[16] = {};
    GetClassNameW(window, cls, 16);
    return lstrcmpiW(cls, L"Static") == 0;
}

LRESULT CALLBACK RecordProgress(int code, WPARAM wParam, LPARAM lParam) {
    const CWPSTRUCT* m = reinterpret_cast<const CWPSTRUCT*>(lParam);
    HWND progress = gDocument.progressDialog.load();
    if (code == HC_ACTION && progress) {
        if (m->hwnd == progress && m->message == WM_SETTEXT)
            gLog.title = reinterpret_cast<const wchar_t*>(m->lParam);
        if (GetParent(m->hwnd) == progress) {
            if (m->message == WM_SETTEXT && IsStatic(m->hwnd))
                gLog.texts.emplace_back(reinterpret_cast<const wchar_t*>(m->lParam));
            if (m->message == PBM_SETPOS)
                gLog.positions.push_back(static_cast<int>(m->wParam));
            if (m->message == PBM_SETRANGE)
                gLog.range = m->lParam;
        }
    }
    return CallNextHookEx(gHook, code, wParam, lParam);
}

std::set<std::wstring> TileNames() {
    std::vector<std::wstring> names = ListFolder(FusionApp::TileFolder());
    return {names.begin(), names.end()};
}

class PrepareExposuresTest : public ::testing::Test {
protected:
    static void SetUpTestSuite() { FusionApp::Start(); }
    static void TearDownTestSuite() { FusionApp::Stop(); }
    void SetUp() override {
        saved_ = gAppHooks.runFusionDialog;
        gAppHooks.runFusionDialog = RecordHandover;
        gHandover = Handover{};
        gLog = ProgressLog{};
        gHook = SetWindowsHookExW(WH_CALLWNDPROC, RecordProgress, nullptr, GetCurrentThreadId());
        FusionApp::prompter().messages.clear();
    }
    void TearDown() override {
        UnhookWindowsHookEx(gHook);
        gAppHooks.runFusionDialog = saved_;
        gExpectedSource = nullptr;
    }
    INT_PTR (*saved_)(ImageDocument&) = nullptr;
};

TEST_F(PrepareExposuresTest, CompleteUpRunWritesTheGridAndHandsOverSortedTiles) {
    TestPicture photo = MakePhoto(240, 160, 1);
    const std::wstring path = WritePhoto(L"photo up.bmp", photo.buf);
    ASSERT_TRUE(FusionApp::Load(path));
    gExpectedSource = &photo.buf;
    ASSERT_TRUE(FusionApp::RunSolvane(true));

    // 39 tiles, named by the grid, nothing beyond its rows.
    std::set<std::wstring> expected;
    for (const ExposureStep& s : ExposureGrid()) {
        const std::string n = ExposureTileName(s.gammaStep, s.clipStep);
        expected.insert(std::wstring(n.begin(), n.end()));
    }
    EXPECT_EQ(TileNames(), expected);
    EXPECT_FALSE(FileExists(FusionApp::TileFolder() + L"\\file_000_009.bmp"));
    EXPECT_FALSE(FileExists(FusionApp::TileFolder() + L"\\file_005_004.bmp"));

    // Handed over once, with the UI still disabled and the loaded picture back in the source.
    EXPECT_EQ(gHandover.calls, 1);
    EXPECT_EQ(gHandover.count, 39);
    EXPECT_FALSE(gHandover.menusEnabled);
    EXPECT_FALSE(gHandover.loadEnabled);
    EXPECT_TRUE(gHandover.sourceIsLoaded);
    EXPECT_EQ(gHandover.zoomShowsSource, 0);

    // Listed darkest first; every listed tile reads back; the gamma-1 unclipped tile is the picture.
    ASSERT_EQ(gHandover.files.size(), 39u);
    uint32_t previous = 0;
    for (const std::wstring& file : gHandover.files) {
        TestPicture tile = LoadCopy(file);
        ASSERT_TRUE(tile.buf.data) << file.c_str();
        const uint32_t score = ExposureScore(tile.buf);
        EXPECT_GE(score, previous) << file.c_str();
        previous = score;
    }
    EXPECT_NE(gHandover.files[0].find(L"tmpfolder/file_000_000.bmp"), std::wstring::npos)
        << "UP: the unchanged rendering is the darkest";
    TestPicture first = LoadCopy(FusionApp::TileFolder() + L"/file_000_000.bmp");
    EXPECT_TRUE(SamePixels(first.buf, photo.buf));
    // Tile (0, 8) of UP: 95 and above become 255.
    TestPicture clipped = LoadCopy(FusionApp::TileFolder() + L"/file_000_008.bmp");
    ASSERT_TRUE(clipped.buf.data);
    for (int i = 0; i < 240 * 3; ++i) {
        const uint8_t v = photo.buf.data[i], t = clipped.buf.data[i];
        EXPECT_EQ(t, v >= 95 ? 255 : static_cast<int>(v / 95.0 * 255)) << i;
    }

    // Progress: title, 0 %, then 5, 7, 10, 12 ... 100; the bar ranges over 0..40 and ends at 39.
    EXPECT_EQ(gLog.title, Str(kStrPreparing));
    ASSERT_EQ(gLog.texts.size(), 40u);
    EXPECT_EQ(gLog.texts[0], L"Progress: 0%");
    EXPECT_EQ(gLog.texts[1], L"Progress: 5%");
    EXPECT_EQ(gLog.texts[2], L"Progress: 7%");
    EXPECT_EQ(gLog.texts[4], L"Progress: 12%");
    EXPECT_EQ(gLog.texts.back(), L"Progress: 100%");
    EXPECT_EQ(gLog.range, MAKELPARAM(0, 40));
    ASSERT_FALSE(gLog.positions.empty());
    EXPECT_EQ(gLog.positions.back(), 39);

    // The user interface is back; the progress dialog is gone.
    EXPECT_TRUE(MenuBarEnabled());
    for (int id : {CmdLoad, CmdSaveAs, CmdSmartContrast, CmdSolvaneUp, CmdSolvaneDown})
        EXPECT_TRUE(ToolbarEnabled(id)) << id;
    EXPECT_EQ(gDocument.progressDialog.load(), nullptr);
    EXPECT_TRUE(FusionApp::prompter().messages.empty());
}

TEST_F(PrepareExposuresTest, DownRunEmptiesTheFolderFirstAndDarkens) {
    const std::wstring tiles = FusionApp::TileFolder();
    CreateDirectoryW(tiles.c_str(), nullptr);
    const char junk[] = "old";
    ASSERT_TRUE(WriteWholeFile(tiles + L"\\other.txt", junk, 3));
    ASSERT_TRUE(WriteWholeFile(tiles + L"\\locked.bmp", junk, 3));
    SetFileAttributesW((tiles + L"\\locked.bmp").c_str(), FILE_ATTRIBUTE_READONLY);
    ASSERT_TRUE(WriteWholeFile(tiles + L"\\file_000_009.bmp", junk, 3));

    TestPicture photo = MakePhoto(160, 120, 2);
    ASSERT_TRUE(FusionApp::Load(WritePhoto(L"photo-down.bmp", photo.buf)));
    ASSERT_TRUE(FusionApp::RunSolvane(false));

    const std::set<std::wstring> names = TileNames();
    EXPECT_EQ(names.size(), 39u);
    EXPECT_EQ(names.count(L"other.txt"), 0u);
    EXPECT_EQ(names.count(L"locked.bmp"), 0u);
    EXPECT_EQ(names.count(L"file_000_009.bmp"), 0u);
    EXPECT_EQ(gHandover.count, 39);
    // DOWN: every other rendering is darker than the unchanged one.
    ASSERT_EQ(gHandover.files.size(), 39u);
    EXPECT_NE(gHandover.files.back().find(L"file_000_000.bmp"), std::wstring::npos);
    TestPicture clipped = LoadCopy(tiles + L"/file_000_008.bmp");
    ASSERT_TRUE(clipped.buf.data);
    for (int i = 0; i < 160 * 3; ++i) {
        const uint8_t v = photo.buf.data[i], t = clipped.buf.data[i];
        if (v < 160) {
            EXPECT_EQ(t, 0) << i;
        }
        if (v == 255) {
            EXPECT_EQ(t, 255) << i;
        }
    }
}

TEST_F(PrepareExposuresTest, AbortDuringTheFirstTileRereadsTheFile) {
    TestPicture photo = MakePhoto(1600, 1200, 3);
    const std::wstring path = WritePhoto(L"abort.bmp", photo.buf);
    ASSERT_TRUE(FusionApp::Load(path));
    exposureCount = 5;  // left over from an earlier run
    // The file changes on disk after loading: the re-read picks the new content up.
    // (The decoded bitmap keeps the file open; let it go first.)
    ReleaseDecodedBitmap(gDocument);
    TestPicture changed = MakePhoto(1600, 1200, 4);
    ASSERT_EQ(WritePhoto(L"abort.bmp", changed.buf), path);

    SendMessageW(gApp.mainWindow, WM_COMMAND, CmdSolvaneUp, 0);
    HWND progress = gDocument.progressDialog.load();
    ASSERT_TRUE(progress);
    ASSERT_TRUE(FusionApp::PumpUntil([&] { return IsWindowVisible(progress) != FALSE; }));
    SendMessageW(progress, WM_COMMAND, IDCANCEL, 0);
    EXPECT_EQ(gSolvane.abortRequested.load(), 1);
    const size_t textsAtAbort = gLog.texts.size();
    ASSERT_TRUE(FusionApp::PumpUntil([] { return !JobRunning(); }));

    EXPECT_EQ(gHandover.calls, 0);
    EXPECT_EQ(exposureCount, 0);
    EXPECT_EQ(TileNames(), std::set<std::wstring>{L"file_000_000.bmp"});
    ASSERT_GE(gLog.texts.size(), textsAtAbort);
    EXPECT_EQ(gLog.texts.back(), Str(kStrCanceling)) << "the text stays \"Canceling ...\"";
    EXPECT_TRUE(SamePixels(gDocument.sourceBuffer, changed.buf));
    // What is shown and would be saved is the loaded picture, not a rendering.
    EXPECT_TRUE(SamePixels(gDocument.resultBuffer, gDocument.sourceBuffer));
    EXPECT_TRUE(MenuBarEnabled());
    EXPECT_TRUE(ToolbarEnabled(CmdSaveAs));
    EXPECT_EQ(GetClassLongPtrW(gApp.mainWindow, GCLP_HCURSOR),
              reinterpret_cast<LONG_PTR>(LoadCursorW(nullptr, IDC_ARROW)));
}

TEST_F(PrepareExposuresTest, ATileThatCannotBeWrittenStopsTheRunWithAMessage) {
    const std::wstring tiles = FusionApp::TileFolder();
    CreateDirectoryW(tiles.c_str(), nullptr);
    // A folder in the way of the fourth tile: the cleaning keeps folders, the writer cannot replace it.
    ASSERT_TRUE(CreateDirectoryW((tiles + L"\\file_000_003.bmp").c_str(), nullptr));

    TestPicture photo = MakePhoto(200, 150, 5);
    ASSERT_TRUE(FusionApp::Load(WritePhoto(L"blocked.bmp", photo.buf)));
    ASSERT_TRUE(FusionApp::RunSolvane(true));
    RemoveDirectoryW((tiles + L"\\file_000_003.bmp").c_str());

    EXPECT_EQ(gHandover.calls, 0) << "stale or missing tiles must not be fused";
    EXPECT_EQ(exposureCount, 0);
    ASSERT_EQ(FusionApp::prompter().messages.size(), 1u);
    const RecordedMessage& m = FusionApp::prompter().messages[0];
    EXPECT_NE(m.text.find(L"could not be written"), std::wstring::npos) << m.text.c_str();
    EXPECT_NE(m.text.find(tiles), std::wstring::npos) << m.text.c_str();
    EXPECT_EQ(m.caption, Str(kStrWarning));
    EXPECT_TRUE(SamePixels(gDocument.sourceBuffer, photo.buf));
    EXPECT_TRUE(SamePixels(gDocument.resultBuffer, photo.buf));
    EXPECT_TRUE(MenuBarEnabled());
    EXPECT_TRUE(ToolbarEnabled(CmdLoad));
    EXPECT_EQ(gDocument.progressDialog.load(), nullptr);
}

TEST_F(PrepareExposuresTest, GreyOrDeepPicturesNeverReachTheWorker) {
    TestPicture grey;
    EXPECT_EQ(CQmPicBufAPI::ReinitHeap(grey.buf, 64, 48, 1, 8), 0);
    std::memset(grey.buf.data, 77, static_cast<size_t>(grey.buf.size));
    // A grey picture written as 24-bit reads back as colour, so give the document the grey one directly.
    TestPicture photo = MakePhoto(64, 48, 6);
    ASSERT_TRUE(FusionApp::Load(WritePhoto(L"grey.bmp", photo.buf)));
    EXPECT_EQ(CQmPicBufAPI::ReinitHeap(gDocument.sourceBuffer, grey.buf), 0);
    CQmPicBufAPI::Copy(gDocument.sourceBuffer, grey.buf);
    ASSERT_TRUE(FusionApp::RunSolvane(false));
    EXPECT_EQ(gHandover.calls, 0);
    ASSERT_EQ(FusionApp::prompter().messages.size(), 1u);
    EXPECT_EQ(FusionApp::prompter().messages[0].text, Str(kStrFormatNotSupported));
    EXPECT_TRUE(MenuBarEnabled());
}

}  // namespace
