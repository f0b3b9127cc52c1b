// The exposure preparation: its start on the UI thread, the worker on its own thread, and the
// progress dialog. The worker reaches the main window only through synchronous messages and the
// cursor, and the document only through the result's pixels, which nothing else reads while it runs.
#include "fusion/prepare_win.h"

#include <commctrl.h>

#include <algorithm>
#include <vector>

#include "base/ascii_text.h"
#include "base/prompt_win.h"
#include "imaging/main_window_link_win.h"
#include "fusion/preview_region.h"
#include "fusion/tile_pipeline.h"
#include "resources/resource.h"
#include "settings/settings_win.h"
#include "settings/string_table_win.h"
#include "imaging/save_win.h"

SolvaneRun gSolvane;
wchar_t exposureFiles[kExposureTileCount][kExposurePathChars];
int32_t exposureCount = 0;
ExposureTileOrigin exposureOrigins[kExposureTileCount];

namespace {

// Size and last write time of a file; false when they cannot be read.
bool StampFile(const wchar_t* path, uint64_t& size, uint64_t& writeTime) {
    WIN32_FILE_ATTRIBUTE_DATA data{};
    if (!GetFileAttributesExW(path, GetFileExInfoStandard, &data))
        return false;
    size = (uint64_t{data.nFileSizeHigh} << 32) | data.nFileSizeLow;
    writeTime = (uint64_t{data.ftLastWriteTime.dwHighDateTime} << 32) | data.ftLastWriteTime.dwLowDateTime;
    return true;
}

// Creates the folder if needed and deletes every file in it, read-only ones too; subfolders stay.
// False when the folder cannot be listed.
bool EmptyTemporaryFolder(const std::wstring& folder) {
    if (GetFileAttributesW(folder.c_str()) == INVALID_FILE_ATTRIBUTES)
        CreateDirectoryW(folder.c_str(), nullptr);
    WIN32_FIND_DATAW found{};
    std::vector<std::wstring> files;
    {
        const ScopedFind find(FindFirstFileW((folder + L"\\*.*").c_str(), &found));
        if (!find)
            return false;
        do {
            if (found.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY)
                continue;  // also "." and ".."
            files.emplace_back(found.cFileName);
        } while (FindNextFileW(find.get(), &found));
    }
    for (const std::wstring& name : files) {
        const std::wstring path = folder + L"/" + name;
        SetFileAttributesW(path.c_str(), FILE_ATTRIBUTE_NORMAL);
        DeleteFileW(path.c_str());
    }
    return true;
}

void ShowProgress(HWND progress) {
    SetWindowTextW(progress, Str(kStrPreparing));
    SetProgressText(progress, Str(kStrProgressZero));
    SendDlgItemMessageW(progress, IDC_PROGRESS_BAR, PBM_SETRANGE, 0, MAKELPARAM(0, 40));
    SendDlgItemMessageW(progress, IDC_PROGRESS_BAR, PBM_SETPOS, 0, 0);
    SendDlgItemMessageW(progress, IDC_PROGRESS_BAR, PBM_SETSTEP, 1, 0);
    ShowWindow(progress, SW_SHOW);
}

void StepProgress(HWND progress, int32_t n) {
    if (!gSolvane.abortRequested) {
        // A translation may be as long as a string slot.
        const std::wstring text = Str(kStrProgress) + std::to_wstring(PreparationPercent(n)) + L"%";
        SetProgressText(progress, text.c_str());
    }
    SendDlgItemMessageW(progress, IDC_PROGRESS_BAR, PBM_SETPOS, n + 1, 0);
    RedrawWindow(progress, nullptr, nullptr, RDW_INVALIDATE | RDW_UPDATENOW | RDW_ALLCHILDREN);
}

void CloseProgress(ImageDocument& document) {
    if (HWND progress = document.progressDialog.load())
        SendMessageW(progress, WM_COMMAND, IDOK, 0);
}

// The result holds a rendering after a run that did not reach the Fusion dialog; what the user
// sees and would save is the loaded picture again (read from its file once more after an abort).
void HandBackSource(const wchar_t* reloadPath) {
    SendMain(MSG_SOURCE_AS_RESULT, 0, reinterpret_cast<LPARAM>(reloadPath));
}

std::wstring TilesNotWrittenText(const std::wstring& folder) {
    std::wstring text = Str(kStrTilesNotWritten);
    const size_t at = text.find(L"%s");
    if (at != std::wstring::npos)
        text.replace(at, 2, folder);
    return text;
}

// The run stopped without tiles to fuse: the list is empty, the loaded picture shown again, and why.
void EndWithoutTiles(ImageDocument& document, const std::wstring& why) {
    exposureCount = 0;
    CloseProgress(document);
    MainLink().SetCursor(IDC_ARROW);
    HandBackSource(nullptr);
    AskMessageBox(MainLink().Window(), why.c_str(), Str(kStrWarning), MB_OK | MB_ICONWARNING);
}

}  // namespace

std::wstring TemporaryFolderPath() {
    const std::wstring directory = ProgramDirectory();
    return directory.empty() ? std::wstring() : directory + L"\\tmpfolder";
}

bool BeginSolvaneRun(ImageDocument& document) {
    SolvaneRun& run = gSolvane;
    lstrcpynW(run.fusionSourcePath, sourceFilePath, kPathChars);
    if (CQmPicBufAPI::ReinitHeap(run.sourceBackup.buf(), document.sourceBuffer) == 0)
        CQmPicBufAPI::Copy(run.sourceBackup.buf(), document.sourceBuffer);
    // The result is re-shaped only for a picture the worker accepts: re-shaping leaves its pixels
    // undefined, and a refused command must not leave a garbled result to be saved.
    const SQmPicBuf& source = document.sourceBuffer;
    if (source.bitsPerComponent != 8 || source.components != 3 || !source.data) {
        AskMessageBox(MainLink().Window(), Str(kStrFormatNotSupported), nullptr, MB_OK);
        return false;
    }
    if (!run.sourceBackup->data || CQmPicBufAPI::ReinitHeap(document.resultBuffer, source) != 0) {
        // The backup or the result could not be made: the run would lose the picture.
        AskMessageBox(MainLink().Window(), Str(kStrPictureTooLarge), nullptr, MB_OK | MB_ICONWARNING);
        return false;
    }
    document.progressDialog = CreateDialogParamW(MainInstance(), MAKEINTRESOURCEW(IDD_PROGRESS), MainLink().Window(),
                                                 ProgressDialogProc, reinterpret_cast<LPARAM>(&document));
    MainLink().SetStatusText(L"");
    run.abortRequested = 0;
    return true;
}

DWORD PrepareExposures(ImageDocument& document) {
    MainLink().SetCursor(IDC_WAIT);
    RequestUi(UiEvent::JobStarted);

    const std::wstring folder = TemporaryFolderPath();
    if (folder.empty() || !EmptyTemporaryFolder(folder)) {
        EndWithoutTiles(document, TilesNotWrittenText(folder));
        RequestUi(UiEvent::JobEnded);
        return 0;
    }

    HWND progress = document.progressDialog;
    ShowProgress(progress);

    const bool up = gSolvane.fusionUp != 0;
    ExposureEntry entries[kExposureTileCount] = {};
    uint32_t scores[kExposureTileCount] = {};
    std::wstring paths[kExposureTileCount];
    ExposureTileOrigin origins[kExposureTileCount];
    for (int32_t n = 0; n < kExposureTileCount; ++n) {
        const ExposureStep& step = ExposureGrid()[n];
        paths[n] = folder + L"/" + WidenAscii(ExposureTileName(step.gammaStep, step.clipStep));
    }
    // The dialog reads tiles back through the loader's path buffer: a longer path could not be read.
    // Every tile name has the same length.
    bool failed = paths[0].size() >= static_cast<size_t>(kPathChars);
    int32_t n = 0;
    // The source's values are counted once; every tile's score follows from them and its table.
    ExposureHistogram histogram;
    if (!failed && !CountExposureValues(document.sourceBuffer, histogram)) {
        // Without the count every tile would score alike and the order would be wrong: stop instead.
        EndWithoutTiles(document, Str(kStrPictureTooLarge));
        RequestUi(UiEvent::JobEnded);
        return 0;
    }
    if (!failed) {
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
            ExposureTileOrigin& o = origins[t];
            o.step = ExposureGrid()[t];
            o.up = up;
            o.stamped = StampFile(paths[t].c_str(), o.size, o.writeTime);
            StepProgress(progress, t);
            return !gSolvane.abortRequested;
        };
        // A second buffer lets tile n be written while tile n + 1 is rendered; without one they take turns.
        Picture second;
        const bool overlap = CQmPicBufAPI::ReinitHeap(second.buf(), document.resultBuffer) == 0;
        const TilePipelineResult run =
            RunTilePipeline(kExposureTileCount, document.resultBuffer, overlap ? &second.buf() : nullptr, steps);
        // A tile that is not on disk would be fused from whatever the last run left: stop instead.
        failed = run.end == TilePipelineEnd::kFailed;
        // The tile after which the abort was seen is written but not counted.
        n = run.end == TilePipelineEnd::kStopped ? run.written - 1 : run.written;
        if (run.lastBuffer == 1)
            CQmPicBufAPI::Copy(document.resultBuffer, second.buf());
    }

    if (failed) {
        EndWithoutTiles(document, TilesNotWrittenText(folder));
    } else {
        SortExposureEntries(entries, static_cast<size_t>(n));
        for (int32_t j = 0; j < n; ++j) {
            const std::wstring& path = paths[entries[j].sequence];
            lstrcpynW(exposureFiles[j], path.c_str(), kExposurePathChars);
            exposureOrigins[j] = origins[entries[j].sequence];
        }
        exposureCount = n;
        CloseProgress(document);
        if (gSolvane.abortRequested) {
            MainLink().SetCursor(IDC_ARROW);
            // An empty path would make the loader ask the user for a file.
            HandBackSource(gSolvane.fusionSourcePath[0] ? gSolvane.fusionSourcePath : nullptr);
        } else {
            SendMain(WM_COMMAND, CmdFusionReady);
        }
    }

    RequestUi(UiEvent::JobEnded);
    return 0;
}

bool ExposureTileUnchanged(int32_t i) {
    if (i < 0 || i >= exposureCount || i >= kExposureTileCount || !exposureOrigins[i].stamped)
        return false;
    uint64_t size = 0, writeTime = 0;
    return StampFile(exposureFiles[i], size, writeTime) && size == exposureOrigins[i].size &&
           writeTime == exposureOrigins[i].writeTime;
}

HWND ProgressTextControl(HWND progressDialog) {
    // Control -1: ids of static texts are not unique, so look for the first static child.
    for (HWND child = GetWindow(progressDialog, GW_CHILD); child; child = GetWindow(child, GW_HWNDNEXT)) {
        wchar_t cls[16] = {};
        GetClassNameW(child, cls, 16);
        if (lstrcmpiW(cls, L"Static") == 0)
            return child;
    }
    return nullptr;
}

void SetProgressText(HWND progressDialog, const wchar_t* text) {
    if (HWND line = ProgressTextControl(progressDialog))
        SetWindowTextW(line, text);
}

INT_PTR CALLBACK ProgressDialogProc(HWND dialog, UINT message, WPARAM wParam, LPARAM lParam) {
    switch (message) {
        case WM_INITDIALOG:
            SetWindowLongPtrW(dialog, DWLP_USER, lParam);  // the document whose run it shows
            SetDlgItemTextW(dialog, IDCANCEL, Str(kStrAbort));
            return 0;
        case WM_COMMAND:
            if (LOWORD(wParam) == IDCANCEL) {
                gSolvane.abortRequested = 1;
                SetProgressText(dialog, Str(kStrCanceling));
                return 0;
            }
            if (LOWORD(wParam) == IDOK) {
                // The worker is done: this dialog is not reused, so it goes now.
                if (auto* document = reinterpret_cast<ImageDocument*>(GetWindowLongPtrW(dialog, DWLP_USER))) {
                    HWND mine = dialog;
                    document->progressDialog.compare_exchange_strong(mine, nullptr);
                }
                DestroyWindow(dialog);
                return 1;
            }
            return 0;
        default:
            return 0;
    }
}
