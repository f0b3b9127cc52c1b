// The exposure preparation worker. It runs on its own thread and reaches the main window, the
// progress dialog and the view only through synchronous messages and the menu and button helpers.
#include "fusion/prepare_win.h"

#include <commctrl.h>

#include <algorithm>
#include <vector>

#include "app/app_messages.h"
#include "app/app_state_win.h"
#include "app/jobs_win.h"
#include "base/prompt_win.h"
#include "fusion/preview_region.h"
#include "fusion/tile_pipeline.h"
#include "resources/resource.h"
#include "settings/settings_win.h"
#include "settings/string_table_win.h"

wchar_t exposureFiles[kExposureTileCount][kExposurePathChars];
int32_t exposureCount = 0;
int32_t fusionTileIndex = 0;

namespace {

// Owns a picture for one scope.
struct ScopedPicture {
    SQmPicBuf buf;
    ScopedPicture() { CQmPicBufAPI::Init(buf); }
    ~ScopedPicture() { CQmPicBufAPI::DoneHeap(buf); }
    ScopedPicture(const ScopedPicture&) = delete;
    ScopedPicture& operator=(const ScopedPicture&) = delete;
};

std::wstring Widen(const std::string& text) { return std::wstring(text.begin(), text.end()); }

// Creates the folder if needed and deletes every file in it, read-only ones too; subfolders stay.
// False when the folder cannot be listed.
bool EmptyTemporaryFolder(const std::wstring& folder) {
    if (GetFileAttributesW(folder.c_str()) == INVALID_FILE_ATTRIBUTES) CreateDirectoryW(folder.c_str(), nullptr);
    WIN32_FIND_DATAW found{};
    HANDLE find = FindFirstFileW((folder + L"\\*.*").c_str(), &found);
    if (find == INVALID_HANDLE_VALUE) return false;
    std::vector<std::wstring> files;
    do {
        if (found.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) continue;  // also "." and ".."
        files.emplace_back(found.cFileName);
    } while (FindNextFileW(find, &found));
    FindClose(find);
    for (const std::wstring& name : files) {
        const std::wstring path = folder + L"/" + name;
        SetFileAttributesW(path.c_str(), FILE_ATTRIBUTE_NORMAL);
        DeleteFileW(path.c_str());
    }
    return true;
}

void ShowProgress(HWND progress) {
    SetWindowTextW(progress, Str(1));
    SetProgressText(progress, Str(7));
    SendDlgItemMessageW(progress, IDC_PROGRESS_BAR, PBM_SETRANGE, 0, MAKELPARAM(0, 40));
    SendDlgItemMessageW(progress, IDC_PROGRESS_BAR, PBM_SETPOS, 0, 0);
    SendDlgItemMessageW(progress, IDC_PROGRESS_BAR, PBM_SETSTEP, 1, 0);
    ShowWindow(progress, SW_SHOW);
}

void StepProgress(HWND progress, int32_t n) {
    if (!gApp.abortRequested) {
        // A translation may be as long as a string slot.
        const std::wstring text = Str(14) + std::to_wstring(PreparationPercent(n)) + L"%";
        SetProgressText(progress, text.c_str());
    }
    SendDlgItemMessageW(progress, IDC_PROGRESS_BAR, PBM_SETPOS, n + 1, 0);
    RedrawWindow(progress, nullptr, nullptr, RDW_INVALIDATE | RDW_UPDATENOW | RDW_ALLCHILDREN);
}

void CloseProgress(ImageDocument& document) {
    if (document.progressDialog) SendMessageW(document.progressDialog, WM_COMMAND, IDOK, 0);
}

// The result holds a rendering after a run that did not reach the Fusion dialog; what the user
// sees and would save is the loaded picture again.
void ShowSourceAsResult(ImageDocument& document) {
    if (CQmPicBufAPI::ReinitHeap(document.resultBuffer, document.sourceBuffer) == 0)
        CQmPicBufAPI::Copy(document.resultBuffer, document.sourceBuffer);
    SendMessageW(gApp.mainWindow, MSG_RESULT_CHANGED, 0, 0);
}

void ReportTilesNotWritten(const std::wstring& folder) {
    std::wstring text = Str(kStrTilesNotWritten);
    const size_t at = text.find(L"%s");
    if (at != std::wstring::npos) text.replace(at, 2, folder);
    AskMessageBox(gApp.mainWindow, text.c_str(), Str(3), MB_OK | MB_ICONWARNING);
}

// The run stopped without tiles to fuse: the list is empty, the loaded picture shown again.
void EndWithoutTiles(ImageDocument& document, const std::wstring& folder) {
    exposureCount = 0;
    fusionTileIndex = 0;
    CloseProgress(document);
    SetMainCursor(IDC_ARROW);
    ShowSourceAsResult(document);
    ReportTilesNotWritten(folder);
}

}  // namespace

std::wstring TemporaryFolderPath() {
    const std::wstring directory = ProgramDirectory();
    return directory.empty() ? std::wstring() : directory + L"\\tmpfolder";
}

DWORD PrepareExposures(ImageDocument& document) {
    SetMainCursor(IDC_WAIT);
    EnableMainMenuBar(false);
    EnableJobButtons(false);

    const std::wstring folder = TemporaryFolderPath();
    if (folder.empty() || !EmptyTemporaryFolder(folder)) {
        EndWithoutTiles(document, folder);
        EnableMainMenuBar(true);
        EnableJobButtons(true);
        return 0;
    }

    HWND progress = document.progressDialog;
    ShowProgress(progress);

    const bool up = gApp.fusionUp != 0;
    ExposureEntry entries[kExposureTileCount] = {};
    uint32_t scores[kExposureTileCount] = {};
    std::wstring paths[kExposureTileCount];
    for (int32_t n = 0; n < kExposureTileCount; ++n) {
        const ExposureStep& step = ExposureGrid()[n];
        paths[n] = folder + L"/" + Widen(ExposureTileName(step.gammaStep, step.clipStep));
    }
    // The dialog reads tiles back through the loader's path buffer: a longer path could not be read.
    // Every tile name has the same length.
    bool failed = paths[0].size() >= static_cast<size_t>(kPathChars);
    int32_t n = 0;
    if (!failed) {
        // The source's values are counted once; every tile's score follows from them and its table.
        ExposureHistogram histogram;
        CountExposureValues(document.sourceBuffer, histogram);
        TilePipelineSteps steps;
        steps.render = [&](int32_t t, SQmPicBuf& picture) {
            const ExposureStep& step = ExposureGrid()[t];
            return RenderExposureTile(picture, document.sourceBuffer, histogram, step.gammaStep, step.clipStep, up,
                                      scores[t]) == 0;
        };
        steps.write = [&](int32_t t, const SQmPicBuf& picture) {
            return WriteColourBmp(paths[t].c_str(), picture) == 0;
        };
        steps.written = [&](int32_t t) {
            entries[t] = {scores[t], t};
            StepProgress(progress, t);
            return !gApp.abortRequested;
        };
        // A second buffer lets tile n be written while tile n + 1 is rendered; without one they take turns.
        ScopedPicture second;
        const bool overlap = CQmPicBufAPI::ReinitHeap(second.buf, document.resultBuffer) == 0;
        const TilePipelineResult run =
            RunTilePipeline(kExposureTileCount, document.resultBuffer, overlap ? &second.buf : nullptr, steps);
        // A tile that is not on disk would be fused from whatever the last run left: stop instead.
        failed = run.end == TilePipelineEnd::kFailed;
        // The tile after which the abort was seen is written but not counted.
        n = run.end == TilePipelineEnd::kStopped ? run.written - 1 : run.written;
        if (run.lastBuffer == 1) CQmPicBufAPI::Copy(document.resultBuffer, second.buf);
    }

    if (failed) {
        EndWithoutTiles(document, folder);
    } else {
        SortExposureEntries(entries, static_cast<size_t>(n));
        for (int32_t j = 0; j < n; ++j) {
            const std::wstring& path = paths[entries[j].sequence];
            lstrcpynW(exposureFiles[j], path.c_str(), kExposurePathChars);
        }
        exposureCount = n;
        fusionTileIndex = 0;
        CloseProgress(document);
        if (gApp.abortRequested) {
            SetMainCursor(IDC_ARROW);
            // An empty path would make the loader ask the user for a file.
            if (gApp.fusionSourcePath[0]) LoadImageFile(document, gApp.fusionSourcePath);
            ShowSourceAsResult(document);
        } else {
            SendMessageW(gApp.mainWindow, WM_COMMAND, ID_FUSION_READY, 0);
        }
    }

    EnableMainMenuBar(true);
    EnableJobButtons(true);
    return 0;
}
