// Saving the result, the quality hook, the BMP tile writer and the metadata copy, through the real GDI+.
#include <windows.h>
// After windows.h:
#include <commctrl.h>
#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>

#include "base/command_line.h"
#include "base/write_fault.h"
#include "gdiplus_fixtures_win.h"
#include "imaging/metadata_copy_win.h"
#include "settings/settings_win.h"
#include "settings/string_table_win.h"
#include "imaging/save_win.h"
#include "resources/resource.h"

namespace {

bool Contains(const std::vector<uint8_t>& bytes, const std::string& needle) {
    return std::search(bytes.begin(), bytes.end(), needle.begin(), needle.end(),
                       [](uint8_t a, char b) { return a == static_cast<uint8_t>(b); }) != bytes.end();
}

class SaveTest : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_TRUE(StartGdiplus());
        SetProgramDirectoryOverride(folder.path());
        CQmPicBufAPI::Init(document.sourceBuffer);
        CQmPicBufAPI::Init(document.resultBuffer);
        sourceFilePath[0] = L'\0';
    }
    void TearDown() override {
        ReleaseDecodedBitmap(document);
        CQmPicBufAPI::DoneHeap(document.sourceBuffer);
        CQmPicBufAPI::DoneHeap(document.resultBuffer);
        SetProgramDirectoryOverride(L"");
    }
    // Loads a file and makes the result a copy of it, as the Load command does.
    void LoadAsResult(const std::wstring& file) {
        wchar_t path[kPathChars] = {};
        wcscpy(path, file.c_str());
        ASSERT_EQ(LoadImageFile(document, path), 0);
        EXPECT_EQ(CQmPicBufAPI::ReinitHeap(document.resultBuffer, document.sourceBuffer), 0);
        CQmPicBufAPI::Copy(document.resultBuffer, document.sourceBuffer);
    }
    std::wstring MakeColourFile(const std::wstring& name, const wchar_t* mime) {
        std::wstring file = folder.File(name);
        ScopedGpBitmap bitmap = MakeBitmap(6, 4, PixelFormat24bppRGB, [](uint8_t* row, int y) {
            for (int i = 0; i < 18; ++i)
                row[i] = static_cast<uint8_t>(i * 13 + y * 40);
        });
        EXPECT_TRUE(SaveBitmap(bitmap.get(), file, mime));
        return file;
    }
    uint8_t SaveAs(const std::wstring& typed, int filterIndex, wchar_t* name) {
        prompter.fileAnswers.push_back({true, typed, filterIndex});
        name[0] = L'\0';
        return SaveImageFile(document, name);
    }

    TempFolder folder;
    FakePrompter prompter;
    ScopedPrompter scoped{&prompter};
    ImageDocument document;
};

TEST_F(SaveTest, NothingLoadedSavesNothingAndAsksNothing) {
    wchar_t name[kPathChars] = {};
    EXPECT_EQ(SaveImageFile(document, name), 1);
    EXPECT_TRUE(prompter.dialogs.empty());
    EXPECT_TRUE(prompter.messages.empty());
}

TEST_F(SaveTest, DialogSuggestsTheLoadedNameAndFormat) {
    LoadAsResult(MakeColourFile(L"beach.JPG", L"image/jpeg"));
    wchar_t name[kPathChars] = {};
    EXPECT_EQ(SaveImageFile(document, name), 1);  // cancelled
    ASSERT_EQ(prompter.dialogs.size(), 1u);
    const RecordedFileDialog& d = prompter.dialogs[0];
    EXPECT_TRUE(d.save);
    EXPECT_EQ(d.initialFile, L"beach-Solvane");
    EXPECT_EQ(d.filterIndex, 4u);
    EXPECT_EQ(d.defaultExtension, L"jpg");
    EXPECT_EQ(d.title, L"Save As...");
    EXPECT_EQ(d.filter, L"*.bmp|*.bmp|*.tif|*.tif|*.png|*.png|*.jpg|*.jpg|*.gif|*.gif|");
    EXPECT_TRUE(d.hasHook);
    EXPECT_EQ(d.templateName, MAKEINTRESOURCEW(159));
    EXPECT_TRUE(d.flags & OFN_ENABLEHOOK);
    EXPECT_TRUE(d.flags & OFN_ENABLETEMPLATE);
    EXPECT_TRUE(d.flags & OFN_OVERWRITEPROMPT);
    EXPECT_EQ(name[0], L'\0');
    EXPECT_EQ(ListFolder(folder.path()).size(), 1u);  // nothing written
}

TEST_F(SaveTest, FormatComesFromTheTypedExtensionElseFromTheFilter) {
    LoadAsResult(MakeColourFile(L"in.bmp", L"image/bmp"));
    wchar_t name[kPathChars];
    ASSERT_EQ(SaveAs(folder.File(L"out"), 3, name), 0);
    EXPECT_STREQ(name, folder.File(L"out.png").c_str());
    EXPECT_TRUE(Contains(ReadWholeFile(folder.File(L"out.png")), "\x89PNG"));

    ASSERT_EQ(SaveAs(folder.File(L"out.TIF"), 3, name), 0);
    EXPECT_STREQ(name, folder.File(L"out.TIF").c_str());
    std::vector<uint8_t> tif = ReadWholeFile(folder.File(L"out.TIF"));
    ASSERT_GE(tif.size(), 4u);
    EXPECT_TRUE((tif[0] == 'I' && tif[1] == 'I') || (tif[0] == 'M' && tif[1] == 'M'));

    // Saved pixels are the result, not the loaded picture.
    for (int32_t i = 0; i < document.resultBuffer.size; ++i)
        document.resultBuffer.data[i] ^= 0xFF;
    ASSERT_EQ(SaveAs(folder.File(L"inverted.bmp"), 1, name), 0);
    std::vector<uint8_t> saved = ReadPixels(folder.File(L"inverted.bmp"), PixelFormat24bppRGB, 3);
    EXPECT_EQ(saved, std::vector<uint8_t>(document.resultBuffer.data,
                                          document.resultBuffer.data + document.resultBuffer.size));
    // No temporary file is left behind.
    for (const std::wstring& file : ListFolder(folder.path()))
        EXPECT_EQ(file.find(L".tmp"), std::wstring::npos);
}

TEST_F(SaveTest, SavingTwiceWritesIdenticalPixels) {
    LoadAsResult(MakeColourFile(L"twice.png", L"image/png"));
    for (int32_t i = 0; i < document.resultBuffer.size; ++i)
        document.resultBuffer.data[i] /= 2;
    wchar_t name[kPathChars];
    ASSERT_EQ(SaveAs(folder.File(L"a.png"), 3, name), 0);
    ASSERT_EQ(SaveAs(folder.File(L"b.png"), 3, name), 0);
    std::vector<uint8_t> a = ReadPixels(folder.File(L"a.png"), PixelFormat24bppRGB, 3);
    EXPECT_FALSE(a.empty());
    EXPECT_EQ(a, ReadPixels(folder.File(L"b.png"), PixelFormat24bppRGB, 3));
}

TEST_F(SaveTest, ArgbPngKeepsItsAlphaAfterSaving) {
    std::wstring png = folder.File(L"alpha.png");
    ScopedGpBitmap bitmap = MakeBitmap(4, 2, PixelFormat32bppARGB, [](uint8_t* row, int y) {
        for (int x = 0; x < 4; ++x) {
            row[4 * x] = 10;
            row[4 * x + 1] = 20;
            row[4 * x + 2] = 30;
            row[4 * x + 3] = static_cast<uint8_t>(60 * x + y);
        }
    });
    ASSERT_TRUE(SaveBitmap(bitmap.get(), png, L"image/png"));
    if (DecodedFormat(png) != PixelFormat32bppARGB)
        GTEST_SKIP() << "PNG with alpha is not 32-bit ARGB here";
    LoadAsResult(png);
    for (int32_t i = 0; i < document.resultBuffer.size; ++i)
        document.resultBuffer.data[i] += 100;
    wchar_t name[kPathChars];
    ASSERT_EQ(SaveAs(folder.File(L"processed.png"), 3, name), 0);
    std::vector<uint8_t> argb = ReadPixels(folder.File(L"processed.png"), PixelFormat32bppARGB, 4);
    ASSERT_EQ(argb.size(), 32u);
    for (int y = 0; y < 2; ++y) {
        for (int x = 0; x < 4; ++x) {
            const uint8_t* p = &argb[static_cast<size_t>(16 * y + 4 * x)];
            EXPECT_EQ(p[0], 110);
            EXPECT_EQ(p[1], 120);
            EXPECT_EQ(p[2], 130);
            EXPECT_EQ(p[3], 60 * x + y) << x << "," << y;
        }
    }
}

TEST_F(SaveTest, JpegQualityIsReadClampedAndWrittenBack) {
    LoadAsResult(MakeColourFile(L"q.jpg", L"image/jpeg"));
    WriteSettingsInt(L"jpeg", 5);
    int32_t seen = -1;
    prompter.whileDialogOpen = [&](OPENFILENAMEW&) {
        seen = jpegQuality;  // read from the settings file as the dialog opens
        jpegQuality = 70;    // the user moves the slider
    };
    wchar_t name[kPathChars];
    ASSERT_EQ(SaveAs(folder.File(L"q-out.jpg"), 4, name), 0);
    EXPECT_EQ(seen, 5);
    EXPECT_EQ(ReadSettingsText(L"jpeg", L""), L"70");
    EXPECT_TRUE(Contains(ReadWholeFile(folder.File(L"q-out.jpg")), "\xFF\xD8\xFF"));

    // Another format leaves the key alone.
    prompter.whileDialogOpen = [&](OPENFILENAMEW&) { jpegQuality = 33; };
    ASSERT_EQ(SaveAs(folder.File(L"q-out.png"), 3, name), 0);
    EXPECT_EQ(ReadSettingsText(L"jpeg", L""), L"70");
}

TEST_F(SaveTest, AFailedWriteIsReportedAndLeavesNoFile) {
    LoadAsResult(MakeColourFile(L"src.bmp", L"image/bmp"));
    wchar_t name[kPathChars];
    // The target is a folder.
    ASSERT_TRUE(CreateDirectoryW(folder.File(L"taken.png").c_str(), nullptr));
    EXPECT_EQ(SaveAs(folder.File(L"taken.png"), 3, name), 1);
    EXPECT_EQ(name[0], L'\0');
    ASSERT_EQ(prompter.messages.size(), 1u);
    EXPECT_EQ(prompter.messages[0].text, EnglishString(kStrSaveFailed));

    // The target is held open by another program without sharing.
    std::wstring locked = folder.File(L"locked.png");
    ASSERT_TRUE(WriteWholeFile(locked, "old", 3));
    HANDLE holder = CreateFileW(locked.c_str(), GENERIC_READ | GENERIC_WRITE, 0, nullptr, OPEN_EXISTING, 0, nullptr);
    ASSERT_NE(holder, INVALID_HANDLE_VALUE);
    EXPECT_EQ(SaveAs(locked, 3, name), 1);
    CloseHandle(holder);
    EXPECT_EQ(prompter.messages.size(), 2u);
    EXPECT_EQ(ReadWholeFile(locked), (std::vector<uint8_t>{'o', 'l', 'd'}));

    // A folder that does not exist.
    EXPECT_EQ(SaveAs(folder.File(L"missing\\out.png"), 3, name), 1);
    EXPECT_EQ(prompter.messages.size(), 3u);

    std::vector<std::wstring> files = ListFolder(folder.path());
    std::sort(files.begin(), files.end());
    EXPECT_EQ(files, (std::vector<std::wstring>{L"locked.png", L"src.bmp", L"taken.png"}));
}

// Photographers overwrite their working copy: the loaded file is not held open, so a save replaces it,
// again after that, and a failed save leaves it whole.
TEST_F(SaveTest, SavingOverTheLoadedFileReplacesItAndAFailureKeepsIt) {
    const std::wstring file = MakeColourFile(L"work.bmp", L"image/bmp");
    LoadAsResult(file);
    const std::vector<uint8_t> original = ReadWholeFile(file);
    wchar_t name[kPathChars];
    for (int round = 1; round <= 2; ++round) {
        for (int32_t i = 0; i < document.resultBuffer.size; ++i)
            document.resultBuffer.data[i] ^= 0x55;
        ASSERT_EQ(SaveAs(file, 1, name), 0) << "round " << round;
        EXPECT_STREQ(name, file.c_str());
        EXPECT_EQ(
            ReadPixels(file, PixelFormat24bppRGB, 3),
            std::vector<uint8_t>(document.resultBuffer.data, document.resultBuffer.data + document.resultBuffer.size));
    }
    EXPECT_TRUE(prompter.messages.empty());
    EXPECT_EQ(ReadWholeFile(file), original);  // two inversions: the same bytes again

    // A disk that fills up during the write: the file keeps what it held.
    for (int32_t i = 0; i < document.resultBuffer.size; ++i)
        document.resultBuffer.data[i] ^= 0x55;
    SetWriteFaultAfter(10);
    EXPECT_EQ(SaveAs(file, 1, name), 1);
    SetWriteFaultAfter(-1);
    EXPECT_EQ(ReadWholeFile(file), original);
    EXPECT_EQ(ListFolder(folder.path()), std::vector<std::wstring>{L"work.bmp"});
}

TEST_F(SaveTest, WrittenTileReadsBackWithTheSameBytes) {
    SQmPicBuf tile;
    CQmPicBufAPI::Init(tile);
    ASSERT_EQ(CQmPicBufAPI::ReinitHeap(tile, 7, 5, 3, 8), 0);
    for (int32_t i = 0; i < tile.size; ++i)
        tile.data[i] = static_cast<uint8_t>(i * 7 + 3);
    std::wstring file = folder.File(L"file_000_001.bmp");
    EXPECT_EQ(WriteColourBmp(file.c_str(), tile), 0);

    std::vector<uint8_t> bytes = ReadWholeFile(file);
    ASSERT_GE(bytes.size(), 54u);
    int32_t height;
    uint16_t bits;
    uint32_t compression;
    std::memcpy(&height, &bytes[22], 4);
    std::memcpy(&bits, &bytes[28], 2);
    std::memcpy(&compression, &bytes[30], 4);
    EXPECT_EQ(height, 5);  // bottom-up rows
    EXPECT_EQ(bits, 24);
    EXPECT_EQ(compression, 0u);

    wchar_t path[kPathChars] = {};
    wcscpy(path, file.c_str());
    ASSERT_EQ(LoadImageFile(document, path), 0);
    ASSERT_EQ(document.sourceBuffer.size, tile.size);
    EXPECT_EQ(document.sourceBuffer.components, 3);
    EXPECT_EQ(std::memcmp(document.sourceBuffer.data, tile.data, static_cast<size_t>(tile.size)), 0);

    // Refusals: not 8-bit colour, or a folder that cannot take the file; no partial file remains.
    SQmPicBuf grey;
    CQmPicBufAPI::Init(grey);
    ASSERT_EQ(CQmPicBufAPI::ReinitHeap(grey, 4, 4, 1, 8), 0);
    EXPECT_EQ(WriteColourBmp(folder.File(L"grey.bmp").c_str(), grey), 1);
    EXPECT_EQ(WriteColourBmp(folder.File(L"missing\\tile.bmp").c_str(), tile), 1);
    EXPECT_EQ(ListFolder(folder.path()), std::vector<std::wstring>{L"file_000_001.bmp"});
    CQmPicBufAPI::DoneHeap(grey);
    CQmPicBufAPI::DoneHeap(tile);
}

TEST(Encoders, FindEncoderByMimeIsExact) {
    ASSERT_TRUE(StartGdiplus());
    CLSID clsid{};
    EXPECT_GE(FindEncoderByMime(L"image/jpeg", &clsid), 0);
    EXPECT_NE(clsid, CLSID{});
    for (const wchar_t* mime : {L"image/bmp", L"image/png", L"image/tiff", L"image/gif"}) {
        EXPECT_GE(FindEncoderByMime(mime, &clsid), 0) << "no encoder for " << mime;
    }
    EXPECT_EQ(FindEncoderByMime(L"IMAGE/JPEG", &clsid), -1);
    EXPECT_EQ(FindEncoderByMime(L"image/jpe", &clsid), -1);
}

// The hook on a stand-in for the save dialog: a parent with the file type list and the strip of template 159.
class QualityHookTest : public ::testing::Test {
protected:
    void SetUp() override {
        INITCOMMONCONTROLSEX icc{sizeof(icc), ICC_BAR_CLASSES};
        InitCommonControlsEx(&icc);
        parent = CreateWindowExW(0, L"STATIC", L"save", WS_OVERLAPPEDWINDOW, 0, 0, 400, 300, nullptr, nullptr, nullptr,
                                 nullptr);
        types = CreateWindowExW(0, L"COMBOBOX", L"", WS_CHILD | CBS_DROPDOWNLIST, 0, 0, 100, 200, parent,
                                reinterpret_cast<HMENU>(static_cast<INT_PTR>(kIdFileTypeList)), nullptr, nullptr);
        for (const wchar_t* t : {L"*.bmp", L"*.tif", L"*.png", L"*.jpg", L"*.gif"}) {
            SendMessageW(types, CB_ADDSTRING, 0, reinterpret_cast<LPARAM>(t));
        }
        strip = CreateWindowExW(0, L"STATIC", L"", WS_CHILD, 0, 0, 300, 40, parent, nullptr, nullptr, nullptr);
        label = Child(L"STATIC", IDC_SAVE_QUALITY_LABEL);
        trackbar = Child(TRACKBAR_CLASSW, IDC_SAVE_QUALITY_SLIDER);
        value = Child(L"STATIC", IDC_SAVE_QUALITY_VALUE);
        percent = Child(L"STATIC", IDC_SAVE_QUALITY_PERCENT);
    }
    void TearDown() override { DestroyWindow(parent); }
    HWND Child(const wchar_t* cls, int id) {
        return CreateWindowExW(0, cls, L"", WS_CHILD, 0, 0, 50, 20, strip,
                               reinterpret_cast<HMENU>(static_cast<INT_PTR>(id)), nullptr, nullptr);
    }
    std::wstring Text(HWND w) {
        wchar_t text[64] = {};
        GetWindowTextW(w, text, 64);
        return text;
    }
    void SelectType(int index) {
        SendMessageW(types, CB_SETCURSEL, index, 0);
        NMHDR header{GetParent(strip), 0, static_cast<UINT>(CDN_TYPECHANGE)};
        QualityHookProc(strip, WM_NOTIFY, 0, reinterpret_cast<LPARAM>(&header));
    }
    int Position() { return static_cast<int>(SendMessageW(trackbar, TBM_GETPOS, 0, 0)); }
    void Scroll(int code, int thumb = 0) {
        QualityHookProc(strip, WM_HSCROLL, MAKEWPARAM(code, thumb), reinterpret_cast<LPARAM>(trackbar));
    }

    HWND parent, types, strip, label, trackbar, value, percent;
};

TEST_F(QualityHookTest, StartsAtTheStoredQualityLimitedAndEnablesOnlyForJpeg) {
    jpegQuality = 5;
    EXPECT_EQ(QualityHookProc(strip, WM_INITDIALOG, 0, 0), 0u);
    EXPECT_EQ(jpegQuality, 10);
    EXPECT_EQ(Position(), 10);
    EXPECT_EQ(Text(value), L"10");
    EXPECT_EQ(Text(label), L"Jpeg Quality:");
    EXPECT_EQ(SendMessageW(trackbar, TBM_GETRANGEMIN, 0, 0), 10);
    EXPECT_EQ(SendMessageW(trackbar, TBM_GETRANGEMAX, 0, 0), 100);

    SelectType(3);
    for (HWND w : {trackbar, label, value, percent})
        EXPECT_TRUE(IsWindowEnabled(w));
    for (int other : {0, 1, 2, 4}) {
        SelectType(other);
        for (HWND w : {trackbar, label, value, percent})
            EXPECT_FALSE(IsWindowEnabled(w)) << other;
    }
    jpegQuality = 250;
    QualityHookProc(strip, WM_INITDIALOG, 0, 0);
    EXPECT_EQ(jpegQuality, 100);
}

TEST_F(QualityHookTest, ScrollCodesStepAndStayWithinRange) {
    jpegQuality = 100;
    QualityHookProc(strip, WM_INITDIALOG, 0, 0);
    Scroll(TB_LINEDOWN);
    EXPECT_EQ(jpegQuality, 100);
    EXPECT_EQ(Position(), 100);
    Scroll(TB_LINEUP);
    EXPECT_EQ(jpegQuality, 99);
    Scroll(TB_PAGEUP);
    EXPECT_EQ(jpegQuality, 98);
    Scroll(TB_THUMBTRACK, 42);
    EXPECT_EQ(jpegQuality, 42);
    EXPECT_EQ(Text(value), L"42");
    Scroll(TB_THUMBPOSITION, 3);
    EXPECT_EQ(jpegQuality, 10);
    Scroll(TB_ENDTRACK);
    EXPECT_EQ(jpegQuality, 10);
    EXPECT_EQ(Position(), 10);
}

// exiftool.exe beside the test executable forwards to the Linux exiftool.
class MetadataCopyTest : public SaveTest {
protected:
    void SetUp() override {
        SaveTest::SetUp();
        wchar_t module[MAX_PATH];
        GetModuleFileNameW(nullptr, module, MAX_PATH);
        std::wstring exe(module);
        exiftool = exe.substr(0, exe.rfind(L'\\')) + L"\\exiftool.exe";
        if (!FileExists(exiftool))
            GTEST_SKIP() << "the exiftool forwarder is not built";
        wchar_t system[MAX_PATH];
        GetSystemDirectoryW(system, MAX_PATH);
        profile = std::wstring(system) + L"\\spool\\drivers\\color\\srgb color space profile.icm";
        if (!FileExists(profile))
            GTEST_SKIP() << "no ICC profile to embed";
        if (RunExiftool({L"-ver"}) != 0)
            GTEST_SKIP() << "the Linux exiftool does not run";
    }
    DWORD RunExiftool(std::vector<std::wstring> args) {
        args.insert(args.begin(), exiftool);
        std::wstring line = BuildCommandLine(args);
        STARTUPINFOW startup{};
        startup.cb = sizeof(startup);
        PROCESS_INFORMATION process{};
        if (!CreateProcessW(exiftool.c_str(), line.data(), nullptr, nullptr, FALSE, CREATE_NO_WINDOW, nullptr, nullptr,
                            &startup, &process)) {
            return 1000;
        }
        WaitForSingleObject(process.hProcess, 60000);
        DWORD code = 1001;
        GetExitCodeProcess(process.hProcess, &code);
        CloseHandle(process.hThread);
        CloseHandle(process.hProcess);
        return code;
    }
    // A JPEG with an artist and the ICC profile.
    std::wstring MakeTaggedJpeg(const std::wstring& name) {
        std::wstring file = MakeColourFile(name, L"image/jpeg");
        EXPECT_EQ(RunExiftool({L"-overwrite_original", L"-Artist=SP Test Artist", L"-icc_profile<=" + profile, file}),
                  0u);
        return file;
    }
    std::wstring exiftool, profile;
};

TEST_F(MetadataCopyTest, CopiesExifAndProfileForPathsWithSpacesAndShellCharacters) {
    std::wstring sub = folder.File(L"my pictures & 100% ^done");
    ASSERT_TRUE(CreateDirectoryW(sub.c_str(), nullptr));
    std::wstring source = MakeTaggedJpeg(L"my pictures & 100% ^done\\holiday & 50% ^x.jpg");
    std::vector<uint8_t> tagged = ReadWholeFile(source);
    ASSERT_TRUE(Contains(tagged, "SP Test Artist")) << "the test picture did not get its tags";
    ASSERT_TRUE(Contains(tagged, "ICC_PROFILE"));

    std::wstring plain = MakeColourFile(L"my pictures & 100% ^done\\plain copy.jpg", L"image/jpeg");
    ASSERT_FALSE(Contains(ReadWholeFile(plain), "SP Test Artist"));
    EXPECT_EQ(RunMetadataCopy(source, plain), MetadataCopy::kCopied);
    std::vector<uint8_t> copied = ReadWholeFile(plain);
    EXPECT_TRUE(Contains(copied, "SP Test Artist"));
    EXPECT_TRUE(Contains(copied, "ICC_PROFILE"));

    // Through the whole save.
    LoadAsResult(source);
    wchar_t name[kPathChars];
    ASSERT_EQ(SaveAs(sub + L"\\result 'v2' & more.jpg", 4, name), 0);
    std::vector<uint8_t> saved = ReadWholeFile(name);
    EXPECT_TRUE(Contains(saved, "SP Test Artist"));
    EXPECT_TRUE(Contains(saved, "ICC_PROFILE"));
}

TEST_F(MetadataCopyTest, FileNamesNeverRunCommands) {
    std::wstring source = MakeTaggedJpeg(L"a & mkdir injected & b.jpg");
    LoadAsResult(source);
    wchar_t name[kPathChars];
    ASSERT_EQ(SaveAs(folder.File(L"c & mkdir injected2 & d.jpg"), 4, name), 0);
    EXPECT_TRUE(Contains(ReadWholeFile(name), "SP Test Artist"));
    EXPECT_FALSE(FileExists(folder.File(L"injected")));
    EXPECT_FALSE(FileExists(folder.File(L"injected2")));
    EXPECT_FALSE(FileExists(L"injected"));
    EXPECT_FALSE(FileExists(L"injected2"));
}

// Saved over itself, a tagged photo keeps its metadata, and so does a second save over it. A batch-file
// wrapper serves as exiftool too, and one that does not finish in time leaves a picture without the
// copied metadata, said so, instead of a failed save.
TEST_F(MetadataCopyTest, SavesOverTheLoadedFileWithItsMetadataAlsoThroughABatchWrapper) {
    const std::wstring source = MakeTaggedJpeg(L"over & 100% self.jpg");
    LoadAsResult(source);
    wchar_t name[kPathChars];
    for (int round = 1; round <= 2; ++round) {
        for (int32_t i = 0; i < document.resultBuffer.size; ++i)
            document.resultBuffer.data[i] /= 2;
        ASSERT_EQ(SaveAs(source, 4, name), 0) << "round " << round;
        const std::vector<uint8_t> saved = ReadWholeFile(source);
        EXPECT_TRUE(Contains(saved, "SP Test Artist")) << "round " << round;
        EXPECT_TRUE(Contains(saved, "ICC_PROFILE")) << "round " << round;
    }
    EXPECT_TRUE(prompter.messages.empty());

    // The program folder comes first in the search; a .cmd there forwards to the exiftool forwarder.
    const std::wstring wrapper = folder.File(L"exiftool.cmd");
    const std::string script = "@\"" + std::string(exiftool.begin(), exiftool.end()) + "\" %*\r\n";
    ASSERT_TRUE(WriteWholeFile(wrapper, script.data(), script.size()));
    const std::wstring plain = MakeColourFile(L"plain copy.jpg", L"image/jpeg");
    ASSERT_FALSE(Contains(ReadWholeFile(plain), "SP Test Artist"));
    EXPECT_EQ(RunMetadataCopy(source, plain), MetadataCopy::kCopied);
    EXPECT_TRUE(Contains(ReadWholeFile(plain), "SP Test Artist")) << "the wrapper did not copy the metadata";

    // A wrapper that never ends.
    const std::string forever = ":again\r\ngoto again\r\n";
    ASSERT_TRUE(WriteWholeFile(wrapper, forever.data(), forever.size()));
    SetMetadataCopyTimeout(1500);
    ASSERT_EQ(SaveAs(folder.File(L"slow.jpg"), 4, name), 0);
    SetMetadataCopyTimeout(30000);
    EXPECT_TRUE(FileExists(folder.File(L"slow.jpg")));
    ASSERT_EQ(prompter.messages.size(), 1u);
    EXPECT_EQ(prompter.messages[0].text, EnglishString(kStrSavedWithoutMetadata));
    for (const std::wstring& f : ListFolder(folder.path()))
        EXPECT_EQ(f.find(L"~sp"), std::wstring::npos) << f.c_str();
}

}  // namespace
