// Hostile file names end to end: dropped on the window, saved, and the metadata copied by exiftool
// (the Linux exiftool through the test forwarder), with nothing else ever started. Paths longer than
// the fixed buffers are refused whole, never cut into another file's name.
#include <gtest/gtest.h>

#include <algorithm>

#include "app/app_fixture_win.h"
#include "base/app_messages.h"
#include "base/command_line.h"
#include "fusion/prepare_win.h"
#include "imaging/gdiplus_fixtures_win.h"
#include "settings/string_table.h"

namespace {

bool Contains(const std::vector<uint8_t>& bytes, const std::string& needle) {
    return std::search(bytes.begin(), bytes.end(), needle.begin(), needle.end()) != bytes.end();
}

std::wstring ExeFolder() {
    wchar_t module[MAX_PATH];
    GetModuleFileNameW(nullptr, module, MAX_PATH);
    std::wstring exe(module);
    return exe.substr(0, exe.rfind(L'\\'));
}

class NamesTest : public MainWindowTest {
protected:
    void SetUp() override {
        MainWindowTest::SetUp();
        // The forwarder sits one folder up; the program finds exiftool in its current folder.
        tools = ExeFolder();
        tools = tools.substr(0, tools.rfind(L'\\'));
        exiftool = tools + L"\\exiftool.exe";
        GetCurrentDirectoryW(MAX_PATH, previousDirectory);
        SetCurrentDirectoryW(tools.c_str());
    }
    void TearDown() override {
        SetCurrentDirectoryW(previousDirectory);
        MainWindowTest::TearDown();
    }
    DWORD RunExiftool(std::vector<std::wstring> args) {
        args.insert(args.begin(), exiftool);
        std::wstring line = BuildCommandLine(args);
        STARTUPINFOW startup{};
        startup.cb = sizeof(startup);
        PROCESS_INFORMATION process{};
        if (!CreateProcessW(exiftool.c_str(), line.data(), nullptr, nullptr, FALSE, CREATE_NO_WINDOW, nullptr, nullptr,
                            &startup, &process))
            return 1000;
        WaitForSingleObject(process.hProcess, 60000);
        DWORD code = 1001;
        GetExitCodeProcess(process.hProcess, &code);
        CloseHandle(process.hThread);
        CloseHandle(process.hProcess);
        return code;
    }
    bool ExiftoolWorks() { return FileExists(exiftool) && RunExiftool({L"-ver"}) == 0; }
    // A small JPEG tagged with an artist by exiftool (under a short name: exiftool's own temporary
    // file would not fit beside a name near the length limit).
    bool MakeTaggedJpeg(const std::wstring& path) {
        ScopedGpBitmap bitmap = MakeBitmap(16, 12, PixelFormat24bppRGB, [](uint8_t* row, int y) {
            for (int i = 0; i < 48; ++i)
                row[i] = static_cast<uint8_t>(i * 5 + y * 19);
        });
        const std::wstring tagged = folder.File(L"tagging.jpg");
        return SaveBitmap(bitmap.get(), tagged, L"image/jpeg") &&
               RunExiftool({L"-overwrite_original", L"-Artist=SP Robust Artist", tagged}) == 0 &&
               MoveFileW(tagged.c_str(), path.c_str());
    }
    void Drop(const std::wstring& path) {
        SendMessageW(window, WM_DROPFILES, reinterpret_cast<WPARAM>(MakeDrop({path})), 0);
    }
    void SaveAs(const std::wstring& target, int filterIndex) {
        prompter.fileAnswers.push_back({true, target, filterIndex});
        Command(CmdSaveAs);
    }

    std::wstring tools, exiftool;
    wchar_t previousDirectory[MAX_PATH] = {};
};

TEST_F(NamesTest, HostileNamesLoadSaveAndGetTheirMetadataAndRunNothingElse) {
    if (!ExiftoolWorks())
        GTEST_SKIP() << "the exiftool forwarder or the Linux exiftool is not available";
    const std::wstring names[] = {
        L"with  two spaces",
        L"a & mkdir injected & b",
        L"%PATH% and %TEMP%",
        L"caret ^& ^^ x",
        L"it's (copy) (2)",
        L"semi;colon,comma=eq!bang",
        L"\u00dcn\u00efc\u00f6d\u00e9 \u0424\u043e\u0442\u043e \u5199\u771f",
        std::wstring(246, L'n'),  // 250 characters with ".jpg"
    };
    for (const std::wstring& stem : names) {
        SCOPED_TRACE(testing::Message() << "name of " << stem.size() << " characters: "
                                        << std::string(stem.begin(), stem.begin() + std::min<size_t>(stem.size(), 30)));
        const std::wstring source = folder.File(stem + L".jpg");
        ASSERT_TRUE(MakeTaggedJpeg(source));
        ASSERT_TRUE(Contains(ReadWholeFile(source), "SP Robust Artist"));

        Drop(source);
        ASSERT_EQ(std::wstring(sourceFilePath), source);
        EXPECT_EQ(WindowText(window), L"SolvanePictova - " + source);

        // Saved beside it under a name of the same kind; exiftool copies the artist into it.
        const std::wstring target = folder.File(L"out " + stem.substr(0, 240) + L".jpg");
        const size_t messages = prompter.messages.size();
        SaveAs(target, 4);
        EXPECT_EQ(prompter.messages.size(), messages);
        EXPECT_EQ(WindowText(window), L"SolvanePictova - " + target);
        EXPECT_TRUE(Contains(ReadWholeFile(target), "SP Robust Artist")) << "the metadata copy missed this name";
    }
    // Nothing but exiftool ran: no folder made by a name, anywhere the shell would have made it.
    for (const std::wstring& where : {folder.path(), tools, ExeFolder(), std::wstring(previousDirectory)}) {
        EXPECT_FALSE(FileExists(where + L"\\injected")) << std::string(where.begin(), where.end());
    }
}

// Paths beyond the 1024-character buffers: refused as a whole, never cut into another file's name.
TEST_F(NamesTest, PathsLongerThanTheBuffersAreRefusedWhole) {
    // A folder deep enough that a file in it has a path of more than 1024 characters.
    std::wstring deep = folder.path();
    while (deep.size() < 1000) {
        deep += L"\\" + std::wstring(120, L'd');
        ASSERT_TRUE(CreateDirectoryW(deep.c_str(), nullptr));
    }
    const std::wstring longName = deep + L"\\" + std::wstring(60, L'p') + L".bmp";
    ASSERT_GT(longName.size(), static_cast<size_t>(kPathChars));
    ASSERT_TRUE(WriteTestBmp(longName, 20, 10));
    // Its first 1023 characters name another file that must never be read in its place.
    const std::wstring cut = longName.substr(0, kPathChars - 1);
    ASSERT_TRUE(WriteTestBmp(cut, 33, 11));

    LoadPicture(40, 30);
    const std::wstring title = WindowText(window);
    const size_t before = prompter.messages.size();
    Drop(longName);
    EXPECT_EQ(WindowText(window), title);
    EXPECT_EQ(gDocument.sourceBuffer.width, 40);
    ASSERT_EQ(prompter.messages.size(), before + 1);
    EXPECT_EQ(prompter.messages.back().text, EnglishString(kStrPathTooLong));

    // Save As with a name that becomes longer than the buffer once its extension is added.
    const std::wstring typed = deep + L"\\" + std::wstring(kPathChars - 2 - deep.size(), L's');
    ASSERT_EQ(typed.size(), static_cast<size_t>(kPathChars - 1));
    const size_t messages = prompter.messages.size();
    SaveAs(typed, 3);
    ASSERT_EQ(prompter.messages.size(), messages + 1);
    EXPECT_EQ(prompter.messages.back().text, EnglishString(kStrSaveFailed));
    EXPECT_FALSE(FileExists(typed + L".png"));
    EXPECT_FALSE(FileExists(typed));
    EXPECT_EQ(WindowText(window), title);

    // A program folder so deep that the tile paths would not fit: the preparation refuses and says so.
    SetProgramDirectoryOverride(deep);
    Command(CmdSolvaneUp);
    ASSERT_TRUE(PumpUntil([] { return !JobRunning(); }, 60000));
    ASSERT_EQ(prompter.messages.size(), messages + 2);
    EXPECT_NE(prompter.messages.back().text.find(L"tmpfolder"), std::wstring::npos);
    EXPECT_EQ(exposureCount, 0);
    EXPECT_EQ(gApp.dialogMouseTarget.load(), nullptr);
    SetProgramDirectoryOverride(folder.path());
}

}  // namespace
