// Writes that fail after a given number of bytes (the file layer's test seam), so the full-disk rules
// are checked on every machine, also where no small filesystem can be mounted.
#include <gtest/gtest.h>

#include <algorithm>

#include "app/app_fixture_win.h"
#include "base/app_messages.h"
#include "base/write_fault.h"
#include "fusion/prepare_win.h"
#include "imaging/gdiplus_fixtures_win.h"
#include "settings/string_table.h"

namespace {

bool NoTemporaryFiles(const std::wstring& folder) {
    const std::vector<std::wstring> names = ListFolder(folder);
    return std::none_of(names.begin(), names.end(),
                        [](const std::wstring& n) { return n.size() > 4 && n.substr(n.size() - 4) == L".tmp"; });
}

class FaultTest : public MainWindowTest {
protected:
    void TearDown() override {
        SetWriteFaultAfter(-1);
        MainWindowTest::TearDown();
    }
    void SaveAs(const std::wstring& target, int filterIndex) {
        prompter.fileAnswers.push_back({true, target, filterIndex});
        Command(CmdSaveAs);
    }
};

TEST_F(FaultTest, SaveAsCutAtAnyPointLeavesNoFileAndTheResultUnsaved) {
    LoadPicture(90, 70);
    SendMessageW(window, MSG_RESULT_UNSAVED, 0, 0);
    const std::wstring title = WindowText(window);
    const wchar_t* exts[] = {L".bmp", L".tif", L".png", L".jpg", L".gif"};
    for (int format = 1; format <= 5; ++format) {
        for (int64_t budget : {0, 1, 54, 700, 4000}) {
            SCOPED_TRACE(testing::Message() << "format " << format << ", cut after " << budget << " bytes");
            const std::wstring target = folder.File(std::wstring(L"out") + exts[format - 1]);
            const size_t before = prompter.messages.size();
            SetWriteFaultAfter(budget);
            SaveAs(target, format);
            SetWriteFaultAfter(-1);
            if (prompter.messages.size() == before) {
                // Small enough to be written within the budget: then it is whole.
                EXPECT_GE(budget, 700) << "saved although the write failed: " << ReadWholeFile(target).size()
                                       << " bytes";
                ASSERT_TRUE(FileExists(target));
                DeleteFileW(target.c_str());
                SendMessageW(window, MSG_RESULT_UNSAVED, 0, 0);
                SetWindowTextW(window, title.c_str());
                continue;
            }
            EXPECT_EQ(prompter.messages.back().text, EnglishString(kStrSaveFailed));
            EXPECT_FALSE(FileExists(target));
            EXPECT_EQ(WindowText(window), title);
            EXPECT_EQ(gApp.unsavedResult, 1);
        }
    }
    EXPECT_TRUE(NoTemporaryFiles(folder.path()));

    // A file of the same name from before stays as it was.
    const std::wstring old = folder.File(L"old.bmp");
    ASSERT_TRUE(WriteWholeFile(old, "old", 3));
    SetWriteFaultAfter(100);
    SaveAs(old, 1);
    SetWriteFaultAfter(-1);
    EXPECT_EQ(ReadWholeFile(old), (std::vector<uint8_t>{'o', 'l', 'd'}));
}

// A file the encoder only pretended to write is no saved file: a 24-bit picture saved as GIF must read
// back as the whole picture with its colours reduced, not as a bare header.
TEST_F(FaultTest, AColourPictureSavedAsGifReadsBackWhole) {
    const std::wstring source = LoadPicture(90, 70);
    const std::wstring target = folder.File(L"colour.gif");
    SaveAs(target, 5);
    EXPECT_TRUE(prompter.messages.empty());
    ASSERT_TRUE(FileExists(target));
    const std::vector<uint8_t> saved = ReadPixels(target, PixelFormat24bppRGB, 3);
    const std::vector<uint8_t> original = ReadPixels(source, PixelFormat24bppRGB, 3);
    ASSERT_EQ(saved.size(), original.size());
    int worst = 0;
    for (size_t i = 0; i < saved.size(); ++i)
        worst = std::max(worst, std::abs(saved[i] - original[i]));
    EXPECT_LE(worst, 26) << "colours further off than 256 colours explain";
}

TEST_F(FaultTest, SettingsWriteCutShortKeepsTheOldFile) {
    ASSERT_TRUE(WriteSettingsInt(L"jpeg", 70));
    ASSERT_TRUE(WriteSettingsText(L"Power", L"17"));
    const std::vector<uint8_t> before = ReadWholeFile(SettingsFilePath());
    for (int64_t budget : {0, 5, 20}) {
        SetWriteFaultAfter(budget);
        EXPECT_FALSE(WriteSettingsInt(L"jpeg", 55));
        SetWriteFaultAfter(-1);
        EXPECT_EQ(ReadWholeFile(SettingsFilePath()), before);
        EXPECT_EQ(ReadSettingsInt(L"jpeg", 0), 70);
        EXPECT_EQ(ReadSettingsInt(L"Power", 0), 17);
    }
    EXPECT_TRUE(NoTemporaryFiles(folder.path()));
    EXPECT_TRUE(WriteSettingsInt(L"jpeg", 55));
    EXPECT_EQ(ReadSettingsInt(L"jpeg", 0), 55);
}

TEST_F(FaultTest, ATileCutShortStopsTheRunBeforeTheFusionDialog) {
    LoadPicture(120, 90);  // a tile is 54 + 120 * 90 * 3 = 32454 bytes
    SetWriteFaultAfter(32454 * 2 + 1000);
    const size_t before = prompter.messages.size();
    Command(CmdSolvaneUp);
    ASSERT_TRUE(PumpUntil([] { return !JobRunning(); }, 60000));
    SetWriteFaultAfter(-1);
    ASSERT_EQ(prompter.messages.size(), before + 1);
    EXPECT_NE(prompter.messages.back().text.find(L"tmpfolder"), std::wstring::npos);
    EXPECT_EQ(exposureCount, 0);
    EXPECT_EQ(gApp.dialogMouseTarget.load(), nullptr);
    EXPECT_FALSE(MenuBarGrayed(0));
    const std::wstring tiles = folder.File(L"tmpfolder");
    std::vector<std::wstring> names = ListFolder(tiles);
    std::sort(names.begin(), names.end());
    EXPECT_EQ(names, (std::vector<std::wstring>{L"file_000_000.bmp", L"file_000_001.bmp"}));
    for (const std::wstring& n : names)
        EXPECT_EQ(ReadWholeFile(tiles + L"\\" + n).size(), 32454u);
}

}  // namespace
