// Saving the result through GDI+, the JPEG quality hook, the BMP tile writer and the metadata copy.
#include <windows.h>
// After windows.h:
#include <commctrl.h>
#include <cderr.h>
#include <commdlg.h>

#include <cstring>
#include <cwchar>
#include <string>
#include <system_error>
#include <thread>
#include <vector>

#include "base/alloc.h"
#include "base/command_line.h"
#include "base/prompt_win.h"
#include "base/checked_file_win.h"
#include "imaging/bmp_tile.h"
#include "imaging/document_win.h"
#include "imaging/save_win.h"
#include "resources/resource.h"
#include "imaging/gdiplus_win.h"
#include "imaging/metadata_copy_win.h"
#include "imaging/pixel_rows.h"
#include "imaging/save_format.h"
#include "settings/settings_win.h"
#include "settings/string_table_win.h"

int32_t jpegQuality = kDefaultJpegQuality;

namespace {

DWORD gExiftoolTimeoutMs = 30000;
ProcessWaiter gProcessWaiter = WaitForSingleObject;

std::wstring EnvironmentValue(const wchar_t* name) {
    const DWORD n = GetEnvironmentVariableW(name, nullptr, 0);
    if (n == 0)
        return std::wstring();
    std::wstring value(n, L'\0');
    const DWORD got = GetEnvironmentVariableW(name, value.data(), n);
    value.resize(got < n ? got : 0);
    return value;
}

// The program's folder, the executable's own folder (the same but in tests), then the folders the
// system searches for a program.
std::vector<std::wstring> ExiftoolFolders(const std::wstring& programFolder) {
    std::vector<std::wstring> folders{programFolder};
    const std::wstring executable = ExecutableDirectory();
    if (!executable.empty() && executable != programFolder)
        folders.push_back(executable);
    // Then where CreateProcess itself would look: the current folder, the system folders, the search path.
    wchar_t buffer[MAX_PATH] = {};
    DWORD got = GetCurrentDirectoryW(MAX_PATH, buffer);
    if (got > 0 && got < MAX_PATH) {
        std::wstring current(buffer, got);
        if (current.size() > 3 && current.back() == L'\\')
            current.pop_back();
        folders.push_back(current);
    }
    got = GetSystemDirectoryW(buffer, MAX_PATH);
    if (got > 0 && got < MAX_PATH)
        folders.push_back(buffer);
    got = GetWindowsDirectoryW(buffer, MAX_PATH);
    if (got > 0 && got < MAX_PATH)
        folders.push_back(buffer);
    for (const std::wstring& f : SplitSearchPath(EnvironmentValue(L"PATH")))
        folders.push_back(f);
    return folders;
}

void Tell(HWND owner, int key) {
    AskMessageBox(owner, Str(key), nullptr, MB_OK);
}

// Encodes through a checked stream into a temporary file that then replaces the target, so a failed
// write (a full disk, no rights) leaves no truncated file under the target's name. Only a file that
// decodes again to the picture's size counts: an encoder may report success over a file it could not
// make (a GIF encoder wrote a bare header for a 24-bit picture). The metadata copy works on the
// temporary file, so the target appears complete with its metadata.
bool SaveReplacing(GpImage* image,
                   const std::wstring& target,
                   const CLSID& encoder,
                   const Gdiplus::EncoderParameters* parameters,
                   const std::wstring& metadataSource,
                   MetadataCopy& copied) {
    UINT width = 0, height = 0;
    gdip::GdipGetImageWidth(image, &width);
    gdip::GdipGetImageHeight(image, &height);
    auto encodeAndCheck = [&](IStream* stream) {
        if (gdip::GdipSaveImageToStream(image, stream, &encoder, parameters) != Gdiplus::Ok)
            return false;
        LARGE_INTEGER start{};
        if (stream->Seek(start, STREAM_SEEK_SET, nullptr) != S_OK)
            return false;
        GpBitmap* raw = nullptr;
        const bool decoded = gdip::GdipCreateBitmapFromStream(stream, &raw) == Gdiplus::Ok && raw;
        const ScopedGpBitmap check(raw);
        UINT w = 0, h = 0;
        if (check) {
            gdip::GdipGetImageWidth(check.get(), &w);
            gdip::GdipGetImageHeight(check.get(), &h);
        }
        return decoded && w == width && h == height;
    };
    auto encode = [&](IStream* stream) {
        bool whole = false;
        RunKeepingWindowAlive([&] { whole = encodeAndCheck(stream); });
        return whole;
    };
    auto copyMetadata = [&](const std::wstring& temporary) {
        if (!metadataSource.empty())
            copied = RunMetadataCopy(metadataSource, temporary);
    };
    return WriteFileReplacing(target, encode, copyMetadata);
}

enum class Written { Done, Refused, Failed };

// The picture as an 8-bit indexed bitmap over a fixed 6 x 7 x 6 colour cube, for a GIF encoder that
// cannot reduce colours itself (one wrote a bare header for a 24-bit picture). Null on failure.
ScopedGpBitmap IndexedForGif(GpBitmap* picture) {
    UINT width = 0, height = 0;
    gdip::GdipGetImageWidth(picture, &width);
    gdip::GdipGetImageHeight(picture, &height);
    GpBitmap* raw = nullptr;
    gdip::GdipCreateBitmapFromScan0(static_cast<INT>(width), static_cast<INT>(height), 0, PixelFormat8bppIndexed,
                                    nullptr, &raw);
    ScopedGpBitmap indexed(raw);
    if (!indexed)
        return indexed;
    std::vector<uint8_t> block(sizeof(Gdiplus::ColorPalette) + 255 * sizeof(Gdiplus::ARGB));
    auto* palette = reinterpret_cast<Gdiplus::ColorPalette*>(block.data());
    palette->Flags = 0;
    palette->Count = 256;
    for (uint32_t i = 0; i < 256; ++i) {
        const uint32_t r = i < 252 ? (i / 42) * 51 : 0, g = i < 252 ? ((i / 6) % 7) * 255 / 6 : 0,
                       b = i < 252 ? (i % 6) * 51 : 0;
        palette->Entries[i] = 0xFF000000u | (r << 16) | (g << 8) | b;
    }
    if (gdip::GdipSetImagePalette(indexed.get(), palette) != Gdiplus::Ok)
        return ScopedGpBitmap();
    ScopedBitmapLock from(picture, Gdiplus::ImageLockModeRead, PixelFormat24bppRGB);
    ScopedBitmapLock to(indexed.get(), Gdiplus::ImageLockModeWrite, PixelFormat8bppIndexed);
    if (!from.ok() || !to.ok())
        return ScopedGpBitmap();
    for (UINT y = 0; y < height; ++y) {
        const uint8_t* p = from.Row(y);
        uint8_t* q = to.Row(y);
        for (UINT x = 0; x < width; ++x, p += 3) {
            const uint32_t b = (p[0] + 25) / 51, g = (p[1] * 6 + 127) / 255, r = (p[2] + 25) / 51;
            q[x] = static_cast<uint8_t>(r * 42 + g * 6 + b);
        }
    }
    return indexed;
}

// resultBuffer into the decoded bitmap in its own pixel format, then a copy of it (with the
// property items) encoded to `target`.
Written WriteResult(ImageDocument& document,
                    const std::wstring& target,
                    const CLSID* encoder,
                    const Gdiplus::EncoderParameters* parameters,
                    const std::wstring& metadataSource,
                    MetadataCopy& copied) {
    GpBitmap* decoded = document.decodedBitmap.get();
    const SQmPicBuf& result = document.resultBuffer;
    UINT width = 0, height = 0;
    Gdiplus::PixelFormat format = 0;
    gdip::GdipGetImageWidth(decoded, &width);
    gdip::GdipGetImageHeight(decoded, &height);
    gdip::GdipGetImagePixelFormat(decoded, &format);
    // The writer walks the bitmap's rows with the buffer's pixels: both must describe the same picture.
    if (width != static_cast<UINT>(result.width) || height != static_cast<UINT>(result.height)) {
        return Written::Refused;
    }

    ScopedBitmapLock lock(decoded, Gdiplus::ImageLockModeRead | Gdiplus::ImageLockModeWrite, format);
    if (!lock.ok())
        return Written::Failed;
    const size_t rowBytes = static_cast<size_t>(result.width) * result.components * result.bitsPerComponent / 8;
    for (UINT y = 0; y < height; ++y) {
        if (!WriteRowFromBuffer(format, result.components, result.bitsPerComponent, result.data + y * rowBytes,
                                lock.Row(y), result.width)) {
            return Written::Refused;
        }
    }
    if (!encoder)
        return Written::Failed;

    GpBitmap* raw = nullptr;
    gdip::GdipCreateBitmapFromScan0(static_cast<INT>(width), static_cast<INT>(height), 0, format, nullptr, &raw);
    ScopedGpBitmap copy(raw);
    if (!copy)
        return Written::Failed;
    {
        ScopedBitmapLock to(copy.get(), Gdiplus::ImageLockModeWrite, format);
        if (!to.ok())
            return Written::Failed;
        const INT fromStride = lock.Stride() < 0 ? -lock.Stride() : lock.Stride();
        const INT toStride = to.Stride() < 0 ? -to.Stride() : to.Stride();
        const size_t bytes = static_cast<size_t>(fromStride < toStride ? fromStride : toStride);
        for (UINT y = 0; y < height; ++y)
            std::memcpy(to.Row(y), lock.Row(y), bytes);
    }

    // Property items in their order; without memory for them the file is saved without.
    UINT totalSize = 0, count = 0;
    if (gdip::GdipGetPropertySize(decoded, &totalSize, &count) == Gdiplus::Ok && count && totalSize) {
        void* block = AllocBytes(totalSize);
        if (block) {
            auto* items = static_cast<Gdiplus::PropertyItem*>(block);
            if (gdip::GdipGetAllPropertyItems(decoded, totalSize, count, items) == Gdiplus::Ok) {
                for (UINT i = 0; i < count; ++i)
                    gdip::GdipSetPropertyItem(copy.get(), &items[i]);
            }
            FreeBytes(block);
        }
    }
    if (SaveReplacing(copy.get(), target, *encoder, parameters, metadataSource, copied))
        return Written::Done;
    // A GIF encoder that could not take the picture's own format gets it with 256 colours (sizes that a
    // GIF's 16-bit fields can hold only).
    CLSID gif;
    if (width <= 65535 && height <= 65535 && FindEncoderByMime(L"image/gif", &gif) >= 0 &&
        IsEqualCLSID(gif, *encoder) && !(format & PixelFormatIndexed)) {
        ScopedGpBitmap indexed = IndexedForGif(copy.get());
        if (indexed && SaveReplacing(indexed.get(), target, *encoder, parameters, metadataSource, copied))
            return Written::Done;
    }
    return Written::Failed;
}

}  // namespace

int32_t FindEncoderByMime(const wchar_t* mimeType, CLSID* clsid) {
    UINT count = 0, size = 0;
    if (!mimeType || gdip::GdipGetImageEncodersSize(&count, &size) != Gdiplus::Ok || !count || !size)
        return -1;
    std::vector<uint8_t> block(size);
    auto* codecs = reinterpret_cast<Gdiplus::ImageCodecInfo*>(block.data());
    if (gdip::GdipGetImageEncoders(count, size, codecs) != Gdiplus::Ok)
        return -1;
    for (UINT i = 0; i < count; ++i) {
        if (codecs[i].MimeType && std::wcscmp(codecs[i].MimeType, mimeType) == 0) {
            if (clsid)
                *clsid = codecs[i].Clsid;
            return static_cast<int32_t>(i);
        }
    }
    return -1;
}

// The tile layout is written directly (no encoder): the same 54-byte header and bottom-up rows the
// Fusion dialog's crop reader expects, in large writes through the checked stream.
uint8_t WriteColourBmp(const wchar_t* path, const SQmPicBuf& buffer) {
    if (!path || buffer.bitsPerComponent != 8 || buffer.components != 3 || !buffer.data || buffer.width <= 0 ||
        buffer.height <= 0) {
        return 1;
    }
    return WriteScratchFileReplacing(path,
                                     [&](IStream* stream) {
                                         return WriteBmpTile(buffer, [stream](const uint8_t* bytes, size_t count) {
                                             ULONG written = 0;
                                             return stream->Write(bytes, static_cast<ULONG>(count), &written) == S_OK &&
                                                    written == count;
                                         });
                                     })
               ? 0
               : 1;
}

void RunKeepingWindowAlive(const std::function<void()>& work) {
    const ScopedHandle done(CreateEventW(nullptr, TRUE, FALSE, nullptr));
    std::thread worker;
    if (done) {
        try {
            worker = std::thread([&] {
                try {
                    work();
                } catch (...) {
                    // Out of memory in the decoder's or encoder's helpers: the work's result stays "failed".
                }
                SetEvent(done.get());
            });
        } catch (const std::system_error&) {
        }
    }
    if (!worker.joinable()) {
        work();  // no thread to be had: the same work, here
        return;
    }
    static_cast<void>(gProcessWaiter(done.get(), INFINITE));
    worker.join();
}

void SetProcessWaiter(ProcessWaiter waiter) {
    gProcessWaiter = waiter ? waiter : WaitForSingleObject;
}

void SetMetadataCopyTimeout(DWORD milliseconds) {
    gExiftoolTimeoutMs = milliseconds;
}

MetadataCopy RunMetadataCopy(const std::wstring& source, const std::wstring& target) {
    const std::wstring folder = ProgramDirectory();
    if (folder.empty())
        return MetadataCopy::kFailed;
    const ToolCandidate* tool = nullptr;
    const std::vector<ToolCandidate> candidates =
        ExiftoolCandidates(ExiftoolFolders(folder), EnvironmentValue(L"PATHEXT"));
    for (const ToolCandidate& c : candidates) {
        const DWORD attributes = GetFileAttributesW(c.path.c_str());
        if (attributes != INVALID_FILE_ATTRIBUTES && !(attributes & FILE_ATTRIBUTE_DIRECTORY) &&
            (!c.batch || SafeForBatch(c.path))) {
            tool = &c;
            break;
        }
    }
    if (!tool)
        return MetadataCopy::kFailed;

    std::wstring application, commandLine, workingFolder = folder;
    std::wstring sourceCopy;  // a batch file gets the source under a name the interpreter reads literally
    if (!tool->batch) {
        // Started directly, never through a shell, so nothing in a file name is read as a command.
        application = tool->path;
        std::vector<std::wstring> arguments = ExiftoolArguments(source, target);
        arguments[0] = tool->path;
        commandLine = BuildCommandLine(arguments);
    } else {
        // The interpreter reads a batch file's command line itself: it only ever sees the wrapper's path
        // and two plain names in the target's folder, each quoted.
        const size_t slash = target.find_last_of(L"\\/");
        workingFolder = slash == std::wstring::npos ? folder : target.substr(0, slash);
        const std::wstring targetName = slash == std::wstring::npos ? target : target.substr(slash + 1);
        if (!SafeForBatch(targetName) || !SafeForBatch(workingFolder + L"\\"))
            return MetadataCopy::kFailed;
        const std::wstring sourceName =
            L"~sp" + std::to_wstring(GetCurrentProcessId()) + L"-source" + std::to_wstring(GetTickCount()) + L".tmp";
        sourceCopy = workingFolder + L"\\" + sourceName;
        if (!CopyFileW(source.c_str(), sourceCopy.c_str(), TRUE))
            return MetadataCopy::kFailed;
        wchar_t system[MAX_PATH] = {};
        GetSystemDirectoryW(system, MAX_PATH);
        application = std::wstring(system) + L"\\cmd.exe";
        commandLine = L"cmd.exe /d /s /c \"\"" + tool->path + L"\" -overwrite_original -tagsfromfile \"" + sourceName +
                      L"\" -all:all -icc_profile \"" + targetName + L"\"\"";
    }

    STARTUPINFOW startup{};
    startup.cb = sizeof(startup);
    startup.dwFlags = STARTF_USESHOWWINDOW;
    startup.wShowWindow = SW_HIDE;
    PROCESS_INFORMATION process{};
    if (!CreateProcessW(application.c_str(), commandLine.data(), nullptr, nullptr, FALSE, CREATE_NO_WINDOW, nullptr,
                        workingFolder.c_str(), &startup, &process)) {
        if (!sourceCopy.empty())
            DeleteFileW(sourceCopy.c_str());
        return MetadataCopy::kFailed;
    }
    const ScopedHandle thread(process.hThread), child(process.hProcess);
    const DWORD waited = gProcessWaiter(process.hProcess, gExiftoolTimeoutMs);
    DWORD exitCode = 1;
    MetadataCopy outcome = MetadataCopy::kFailed;
    if (waited == WAIT_OBJECT_0) {
        GetExitCodeProcess(process.hProcess, &exitCode);
        outcome = exitCode == 0 ? MetadataCopy::kCopied : MetadataCopy::kFailed;
    } else {
        // Too slow: stop it, so that nothing writes the file while it replaces the target, and drop
        // what it left beside it.
        TerminateProcess(process.hProcess, 1);
        WaitForSingleObject(process.hProcess, 5000);
        DeleteFileW((target + L"_exiftool_tmp").c_str());
        outcome = MetadataCopy::kTimedOut;
    }
    if (!sourceCopy.empty())
        DeleteFileW(sourceCopy.c_str());
    return outcome;
}

UINT_PTR CALLBACK QualityHookProc(HWND dialog, UINT message, WPARAM wParam, LPARAM lParam) {
    switch (message) {
        case WM_INITDIALOG: {
            HWND trackbar = GetDlgItem(dialog, IDC_SAVE_QUALITY_SLIDER);
            SendMessageW(trackbar, TBM_SETRANGE, TRUE, MAKELPARAM(kMinJpegQuality, kMaxJpegQuality));
            SendMessageW(trackbar, TBM_SETPAGESIZE, 0, 0);
            // Also the upper limit: a stored quality above 100 would make the encoder refuse.
            jpegQuality = ClampJpegQuality(jpegQuality);
            SendMessageW(trackbar, TBM_SETPOS, TRUE, jpegQuality);
            SetDlgItemInt(dialog, IDC_SAVE_QUALITY_VALUE, static_cast<UINT>(jpegQuality), FALSE);
            SetDlgItemTextW(dialog, IDC_SAVE_QUALITY_LABEL, Str(kStrJpegQuality));
            return 0;
        }
        case WM_NOTIFY: {
            HWND types = GetDlgItem(GetParent(dialog), kIdFileTypeList);
            BOOL jpeg = SendMessageW(types, CB_GETCURSEL, 0, 0) == kJpegFormat - 1;
            for (int id :
                 {IDC_SAVE_QUALITY_SLIDER, IDC_SAVE_QUALITY_LABEL, IDC_SAVE_QUALITY_PERCENT, IDC_SAVE_QUALITY_VALUE}) {
                EnableWindow(GetDlgItem(dialog, id), jpeg);
            }
            return 0;
        }
        case WM_HSCROLL: {
            HWND trackbar = GetDlgItem(dialog, IDC_SAVE_QUALITY_SLIDER);
            if (reinterpret_cast<HWND>(lParam) != trackbar)
                return 0;
            int32_t current = static_cast<int32_t>(SendMessageW(trackbar, TBM_GETPOS, 0, 0));
            int32_t v = QualityAfterScroll(LOWORD(wParam), current, static_cast<int16_t>(HIWORD(wParam)));
            SendMessageW(trackbar, TBM_SETPOS, TRUE, v);
            SetDlgItemInt(dialog, IDC_SAVE_QUALITY_VALUE, static_cast<UINT>(v), FALSE);
            jpegQuality = v;
            return 0;
        }
        default:
            return 0;
    }
}

uint8_t SaveImageFile(ImageDocument& document, wchar_t* name) {
    if (!name || !document.decodedBitmap || !document.resultBuffer.data)
        return 1;

    SuggestedSave suggested = SuggestSaveName(sourceFilePath);
    wchar_t chosen[kPathChars] = {};
    if (suggested.fileName.size() < kPathChars)
        std::wcscpy(chosen, suggested.fileName.c_str());
    const SaveFormatRow* preset = SaveFormatAt(suggested.filterIndex);

    jpegQuality = ReadSettingsInt(L"jpeg", kDefaultJpegQuality);

    const std::wstring filters = SaveFilterList();
    OPENFILENAMEW ofn{};
    ofn.lStructSize = sizeof(ofn);
    ofn.hwndOwner = document.ownerWindow;
    ofn.hInstance = GetModuleHandleW(nullptr);
    ofn.lpTemplateName = MAKEINTRESOURCEW(IDD_SAVE_QUALITY);
    ofn.lpfnHook = QualityHookProc;
    ofn.lpstrFilter = filters.c_str();
    ofn.nFilterIndex = static_cast<DWORD>(suggested.filterIndex);
    ofn.lpstrFile = chosen;
    ofn.nMaxFile = kPathChars;
    ofn.lpstrTitle = Str(kStrSaveAs);
    ofn.lpstrDefExt = preset ? preset->extension + 1 : nullptr;  // the dialog wants it without the dot
    ofn.Flags = OFN_EXPLORER | OFN_ENABLEHOOK | OFN_ENABLETEMPLATE | OFN_ENABLESIZING | OFN_HIDEREADONLY |
                OFN_NOREADONLYRETURN | OFN_OVERWRITEPROMPT;
    if (!AskSaveFileName(ofn)) {
        // Without the quality strip (template missing from the module) the plain dialog still serves.
        DWORD error = CommDlgExtendedError();
        if (error != CDERR_FINDRESFAILURE && error != CDERR_LOADRESFAILURE)
            return 1;
        ofn.Flags &= ~static_cast<DWORD>(OFN_ENABLETEMPLATE | OFN_ENABLEHOOK);
        ofn.lpTemplateName = nullptr;
        ofn.lpfnHook = nullptr;
        if (!AskSaveFileName(ofn))
            return 1;
    }

    ResolvedSave target = ResolveSaveName(chosen, static_cast<int>(ofn.nFilterIndex));
    const SaveFormatRow* row = SaveFormatAt(target.formatIndex);
    if (!row)
        return 1;
    if (target.path.size() >= kPathChars) {
        Tell(document.ownerWindow, kStrSaveFailed);
        return 1;
    }

    CLSID encoder;
    const bool haveEncoder = FindEncoderByMime(row->mimeType, &encoder) >= 0;
    Gdiplus::EncoderParameters parameters{};
    ULONG quality = static_cast<ULONG>(ClampJpegQuality(jpegQuality));
    const bool jpeg = target.formatIndex == kJpegFormat;
    if (jpeg) {
        parameters.Count = 1;
        parameters.Parameter[0].Guid = Gdiplus::EncoderQuality;
        parameters.Parameter[0].NumberOfValues = 1;
        parameters.Parameter[0].Type = Gdiplus::EncoderParameterValueTypeLong;
        parameters.Parameter[0].Value = &quality;
    }
    MetadataCopy copied = MetadataCopy::kFailed;
    Written written = WriteResult(document, target.path, haveEncoder ? &encoder : nullptr, jpeg ? &parameters : nullptr,
                                  sourceFilePath, copied);
    if (jpeg)
        WriteSettingsInt(L"jpeg", jpegQuality);
    if (written != Written::Done) {
        Tell(document.ownerWindow, written == Written::Refused ? 41 : kStrSaveFailed);
        return 1;
    }

    if (copied == MetadataCopy::kTimedOut)
        Tell(document.ownerWindow, kStrSavedWithoutMetadata);
    std::wcscpy(name, target.path.c_str());
    return 0;
}
