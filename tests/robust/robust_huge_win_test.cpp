// Pictures too large for memory or for a buffer's 32-bit size: refused at load with their own
// message, and tools whose planes cannot be had say so and leave the result as it was.
#include <gtest/gtest.h>

#include "app/app_fixture_win.h"
#include "base/alloc.h"
#include "contrast/contrast_dialog_win.h"
#include "imaging/gdiplus_fixtures_win.h"
#include "robust/robust_files_win.h"
#include "robust/robust_watchdog_win.h"
#include "settings/string_table.h"

namespace {

using namespace robust;

// A valid RGB (or grey) PNG of zeros, small on disk whatever its size.
Bytes ZeroPng(uint32_t width, uint32_t height, bool colour) {
    const uint64_t rowBytes = 1 + static_cast<uint64_t>(width) * (colour ? 3 : 1);
    return MakePng(width, height, 8, colour ? 2 : 0, ZlibZeros(rowBytes * height));
}

class HugeTest : public MainWindowTest {
protected:
    void TearDown() override {
        SetAllocationLimit(0);
        MainWindowTest::TearDown();
    }
    void Drop(const std::wstring& path) {
        SendMessageW(window, WM_DROPFILES, reinterpret_cast<WPARAM>(MakeDrop({path})), 0);
    }
    // State a refusal must leave alone.
    struct Snapshot {
        std::wstring title, path;
        std::vector<uint8_t> view, source;
    };
    Snapshot Take() {
        const SQmPicBuf& s = gDocument.sourceBuffer;
        return {WindowText(window), sourceFilePath, SurfaceSnapshot(), std::vector<uint8_t>(s.data, s.data + s.size)};
    }
    void ExpectUnchanged(const Snapshot& before) {
        const Snapshot now = Take();
        EXPECT_EQ(now.title, before.title);
        EXPECT_EQ(now.path, before.path);
        EXPECT_TRUE(now.view == before.view) << "the view changed";
        EXPECT_TRUE(now.source == before.source) << "the loaded picture changed";
    }
};

TEST_F(HugeTest, TheZeroStreamMakesAPictureTheDecoderReads) {
    // The same writer as the huge file, at a size GDI+ decodes here: all pixels black, size exact.
    const std::wstring path = folder.File(L"zeros.png");
    const Bytes png = ZeroPng(301, 203, true);
    ASSERT_TRUE(WriteWholeFile(path, png.data(), png.size()));
    Drop(path);
    ASSERT_EQ(std::wstring(sourceFilePath), path);
    const SQmPicBuf& s = gDocument.sourceBuffer;
    EXPECT_EQ(s.width, 301);
    EXPECT_EQ(s.height, 203);
    EXPECT_EQ(std::count(s.data, s.data + s.size, 0), s.size);
}

TEST_F(HugeTest, ThirtyThousandSquarePngIsRefusedAsTooLargeQuickly) {
    LoadPicture(200, 150);
    const Snapshot before = Take();

    // 30000 x 30000 x 3 bytes do not fit a 32-bit size; the file itself is about 17 MB.
    const std::wstring path = folder.File(L"huge 30000.png");
    {
        const Bytes png = ZeroPng(30000, 30000, true);
        std::printf("[huge] 30000 x 30000 PNG: %zu bytes on disk\n", png.size());
        ASSERT_LT(png.size(), 20u << 20);
        ASSERT_TRUE(WriteWholeFile(path, png.data(), png.size()));
    }
    Watchdog watchdog(60000);
    watchdog.Begin(L"load of the 30000 x 30000 PNG");
    Drop(path);
    watchdog.End();
    ASSERT_EQ(prompter.messages.size(), 1u);
    EXPECT_EQ(prompter.messages[0].text, EnglishString(kStrPictureTooLarge));
    ExpectUnchanged(before);

    // The grey one needs no more than 900 MB of samples but its 24-bit expansion does not fit either.
    const std::wstring grey = folder.File(L"huge grey.png");
    {
        const Bytes png = ZeroPng(30000, 30000, false);
        ASSERT_TRUE(WriteWholeFile(grey, png.data(), png.size()));
    }
    watchdog.Begin(L"load of the grey 30000 x 30000 PNG");
    Drop(grey);
    watchdog.End();
    ASSERT_EQ(prompter.messages.size(), 2u);
    EXPECT_EQ(prompter.messages[1].text, EnglishString(kStrPictureTooLarge));
    ExpectUnchanged(before);
}

TEST_F(HugeTest, APictureBeyondTheMemoryAtHandIsRefusedAndTheNextLoadWorks) {
    LoadPicture(64, 48);
    const Snapshot before = Take();
    const std::wstring path = folder.File(L"big.png");
    const Bytes png = ZeroPng(2000, 1500, true);  // 9 MB of samples
    ASSERT_TRUE(WriteWholeFile(path, png.data(), png.size()));
    SetAllocationLimit(4u << 20);
    Drop(path);
    ASSERT_EQ(prompter.messages.size(), 1u);
    EXPECT_EQ(prompter.messages[0].text, EnglishString(kStrPictureTooLarge));
    ExpectUnchanged(before);
    SetAllocationLimit(0);
    Drop(path);
    EXPECT_EQ(std::wstring(sourceFilePath), path);
    EXPECT_EQ(gDocument.sourceBuffer.width, 2000);
}

// The Smart Contrast pyramid of a loaded picture does not fit: the tool says so, the result stays.
TEST_F(HugeTest, SmartContrastWithoutRoomForItsPyramidLeavesTheResult) {
    gAppHooks.smartContrastDialogProc = SmartContrastDialogProc;
    LoadPicture(600, 400);
    std::memset(gDocument.resultBuffer.data, 77, static_cast<size_t>(gDocument.resultBuffer.size));
    SetAllocationLimit(600 * 400 * 4 - 1);  // not one float plane of the picture
    Command(CmdSmartContrast);
    EXPECT_TRUE(PumpUntil([] { return !JobRunning(); }));
    SetAllocationLimit(0);
    ASSERT_EQ(prompter.messages.size(), 1u);
    EXPECT_EQ(prompter.messages[0].text, EnglishString(kStrContrastNoMemory));
    const SQmPicBuf& r = gDocument.resultBuffer;
    EXPECT_EQ(std::count(r.data, r.data + r.size, 77), r.size);
    EXPECT_FALSE(MenuBarGrayed(0));
    EXPECT_TRUE(ButtonEnabled(CmdSmartContrast));
}

}  // namespace
