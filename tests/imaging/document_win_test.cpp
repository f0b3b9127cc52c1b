// Loading picture files into the document through the real GDI+.
#include <gtest/gtest.h>

#include <cstring>

#include "base/alloc.h"
#include "gdiplus_fixtures_win.h"
#include "settings/settings_win.h"
#include "settings/string_table_win.h"

namespace {

class LoadTest : public ::testing::Test {
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
        SetAllocationLimit(0);
    }
    uint8_t Load(const std::wstring& file) {
        wchar_t path[kPathChars] = {};
        wcscpy(path, file.c_str());
        return LoadImageFile(document, path);
    }
    std::vector<uint8_t> Source() const {
        const SQmPicBuf& b = document.sourceBuffer;
        return std::vector<uint8_t>(b.data, b.data + b.size);
    }

    TempFolder folder;
    FakePrompter prompter;
    ScopedPrompter scoped{&prompter};
    ImageDocument document;
};

TEST_F(LoadTest, InitDocumentMakesAGreyTopDownSurface) {
    ImageDocument doc;
    InitDocument(doc, nullptr);
    ASSERT_NE(doc.displaySurface.data, nullptr);
    EXPECT_EQ(doc.displaySurface.size, 18000000);
    EXPECT_EQ(doc.displaySurface.stride, 9000);
    EXPECT_EQ(doc.displaySurface.width, 3000);
    EXPECT_EQ(doc.displaySurface.height, 2000);
    EXPECT_EQ(doc.displaySurface.components, 3);
    EXPECT_EQ(doc.displaySurface.bitsPerComponent, 8);
    size_t notGrey = 0;
    for (int32_t i = 0; i < doc.displaySurface.size; ++i)
        notGrey += doc.displaySurface.data[i] != 190;
    EXPECT_EQ(notGrey, 0u);
    // Top-down: the first byte in memory is the top-left pixel as GDI sees it.
    doc.displaySurface.data[0] = 10;
    doc.displaySurface.data[1] = 20;
    doc.displaySurface.data[2] = 30;
    EXPECT_EQ(GetPixel(doc.memoryDC.get(), 0, 0), RGB(30, 20, 10));
    EXPECT_FALSE(doc.decodedBitmap);
    EXPECT_EQ(doc.sourceBuffer.data, nullptr);
    ReleaseDisplaySurface(doc);
    EXPECT_FALSE(doc.memoryDC);
}

TEST_F(LoadTest, Sixteen565And555PixelsExpandWithZeroLowBits) {
    const uint32_t masks565[3] = {0xF800, 0x07E0, 0x001F};
    std::wstring file565 = folder.File(L"p565.bmp");
    ASSERT_TRUE(WriteRawBmp(file565, 3, 1, 16, {}, {{0xFF, 0xFF, 0x00, 0xF8, 0x1F, 0x00}}, masks565));
    if (DecodedFormat(file565) != PixelFormat16bppRGB565) {
        // Some decoders widen bit-field BMPs; GDI+'s own 5-6-5 encoding may survive instead.
        ScopedGpBitmap bitmap = MakeBitmap(3, 1, PixelFormat16bppRGB565, [](uint8_t* row, int) {
            const uint8_t bytes[6] = {0xFF, 0xFF, 0x00, 0xF8, 0x1F, 0x00};
            std::memcpy(row, bytes, 6);
        });
        ASSERT_TRUE(SaveBitmap(bitmap.get(), file565, L"image/bmp"));
    }
    if (DecodedFormat(file565) != PixelFormat16bppRGB565) {
        GTEST_SKIP() << "GDI+ reports 5-6-5 BMP as format 0x" << std::hex << DecodedFormat(file565);
    }
    ASSERT_EQ(Load(file565), 0);
    EXPECT_EQ(document.sourceBuffer.components, 3);
    EXPECT_EQ(document.sourceBuffer.bitsPerComponent, 8);
    EXPECT_EQ(Source(), (std::vector<uint8_t>{248, 252, 248, 0, 0, 248, 248, 0, 0}));
    EXPECT_STREQ(sourceFilePath, file565.c_str());

    std::wstring file555 = folder.File(L"p555.bmp");
    ASSERT_TRUE(WriteRawBmp(file555, 2, 1, 16, {}, {{0xFF, 0x7F, 0xE0, 0x03}}));
    if (DecodedFormat(file555) != PixelFormat16bppRGB555) {
        GTEST_SKIP() << "GDI+ reports 5-5-5 BMP as format 0x" << std::hex << DecodedFormat(file555);
    }
    ASSERT_EQ(Load(file555), 0);
    EXPECT_EQ(Source(), (std::vector<uint8_t>{248, 248, 248, 0, 248, 0}));
    EXPECT_TRUE(prompter.messages.empty());
}

// An 8-bit indexed file: only the colours its pixels use decide whether it is grey.
TEST_F(LoadTest, IndexedPicturesAreGreyByTheColoursTheyUse) {
    std::vector<uint32_t> palette(256);
    for (uint32_t i = 0; i < 256; ++i)
        palette[i] = i * 0x010101;
    palette[200] = 0xFF0000;  // a coloured entry no pixel uses
    std::wstring grey = folder.File(L"grey.bmp");
    ASSERT_TRUE(WriteRawBmp(grey, 3, 2, 8, palette, {{0, 128, 255}, {7, 8, 9}}));
    if (DecodedFormat(grey) != PixelFormat8bppIndexed)
        GTEST_SKIP() << "GDI+ does not report 8-bit indexed here";
    ASSERT_EQ(Load(grey), 0);
    EXPECT_EQ(document.sourceBuffer.components, 1);
    EXPECT_EQ(Source(), (std::vector<uint8_t>{0, 128, 255, 7, 8, 9}));

    std::wstring coloured = folder.File(L"coloured.bmp");
    ASSERT_TRUE(WriteRawBmp(coloured, 3, 2, 8, palette, {{0, 128, 255}, {7, 200, 9}}));
    ASSERT_EQ(Load(coloured), 0);
    EXPECT_EQ(document.sourceBuffer.components, 3);
    EXPECT_EQ(Source(), (std::vector<uint8_t>{0, 0, 0, 128, 128, 128, 255, 255, 255, 7, 7, 7, 0, 0, 255, 9, 9, 9}));
}

TEST_F(LoadTest, GreyGifLoadsAsOneComponentAndWithAColouredPixelAsThree) {
    auto makeGif = [&](const std::wstring& path, bool colouredPixel) {
        ScopedGpBitmap bitmap = MakeBitmap(4, 4, PixelFormat8bppIndexed, [&](uint8_t* row, int y) {
            for (int x = 0; x < 4; ++x)
                row[x] = static_cast<uint8_t>(y * 4 + x);
            if (colouredPixel && y == 3)
                row[3] = 16;
        });
        std::vector<uint8_t> block(sizeof(Gdiplus::ColorPalette) + 17 * sizeof(Gdiplus::ARGB));
        auto* palette = reinterpret_cast<Gdiplus::ColorPalette*>(block.data());
        palette->Flags = 0;
        palette->Count = 17;
        for (UINT i = 0; i < 16; ++i)
            palette->Entries[i] = 0xFF000000u | (i * 16 * 0x010101u);
        palette->Entries[16] = 0xFF20A040u;
        gdip::GdipSetImagePalette(bitmap.get(), palette);
        return bitmap && SaveBitmap(bitmap.get(), path, L"image/gif");
    };
    std::wstring grey = folder.File(L"grey.gif"), coloured = folder.File(L"coloured.gif");
    if (!makeGif(grey, false) || !makeGif(coloured, true))
        GTEST_SKIP() << "GDI+ cannot write GIF here";
    if (DecodedFormat(grey) != PixelFormat8bppIndexed)
        GTEST_SKIP() << "GIF does not decode as 8-bit indexed";
    ASSERT_EQ(Load(grey), 0);
    EXPECT_EQ(document.sourceBuffer.components, 1);
    ASSERT_EQ(Load(coloured), 0);
    EXPECT_EQ(document.sourceBuffer.components, 3);
    const uint8_t* last = document.sourceBuffer.data + document.sourceBuffer.size - 3;
    EXPECT_EQ(last[0], 0x40);
    EXPECT_EQ(last[1], 0xA0);
    EXPECT_EQ(last[2], 0x20);
}

TEST_F(LoadTest, ArgbPngLoadsAsThreeComponents) {
    std::wstring png = folder.File(L"alpha.png");
    ScopedGpBitmap bitmap = MakeBitmap(5, 3, PixelFormat32bppARGB, [](uint8_t* row, int y) {
        for (int x = 0; x < 5; ++x) {
            row[4 * x + 0] = static_cast<uint8_t>(10 * x);
            row[4 * x + 1] = static_cast<uint8_t>(50 + y);
            row[4 * x + 2] = static_cast<uint8_t>(200 - x);
            row[4 * x + 3] = static_cast<uint8_t>(255 - 40 * x);
        }
    });
    ASSERT_TRUE(SaveBitmap(bitmap.get(), png, L"image/png"));
    if (DecodedFormat(png) != PixelFormat32bppARGB)
        GTEST_SKIP() << "PNG with alpha is not 32-bit ARGB here";
    ASSERT_EQ(Load(png), 0);
    EXPECT_EQ(document.sourceBuffer.components, 3);
    EXPECT_EQ(document.sourceBuffer.width, 5);
    EXPECT_EQ(document.sourceBuffer.stride, 15);
    std::vector<uint8_t> pixels = Source();
    EXPECT_EQ(pixels[3 * 4 + 0], 40);
    EXPECT_EQ(pixels[3 * 4 + 1], 50);
    EXPECT_EQ(pixels[3 * 4 + 2], 196);
    EXPECT_EQ(pixels[15 * 2 + 1], 52);
}

TEST_F(LoadTest, RefusedFilesKeepThePreviousPictureAndSayWhy) {
    std::wstring good = folder.File(L"good.bmp");
    ScopedGpBitmap bitmap = MakeBitmap(4, 2, PixelFormat24bppRGB, [](uint8_t* row, int y) {
        for (int i = 0; i < 12; ++i)
            row[i] = static_cast<uint8_t>(i + 20 * y);
    });
    ASSERT_TRUE(SaveBitmap(bitmap.get(), good, L"image/bmp"));
    ASSERT_EQ(Load(good), 0);
    const std::vector<uint8_t> before = Source();
    GpBitmap* decodedBefore = document.decodedBitmap.get();

    std::wstring oneBit = folder.File(L"one.bmp");
    ASSERT_TRUE(WriteRawBmp(oneBit, 8, 1, 1, {0x000000, 0xFFFFFF}, {{0xA5}}));
    std::wstring text = folder.File(L"notes.jpg");
    ASSERT_TRUE(WriteWholeFile(text, "not a picture", 13));
    std::wstring missing = folder.File(L"missing.png");
    for (const std::wstring& file : {oneBit, text, missing}) {
        prompter.messages.clear();
        EXPECT_EQ(Load(file), 1);
        ASSERT_EQ(prompter.messages.size(), 1u);
        EXPECT_EQ(prompter.messages[0].text, L"Image format not supported!");
        EXPECT_TRUE(prompter.messages[0].defaultCaption);
        EXPECT_EQ(prompter.messages[0].type, static_cast<UINT>(MB_OK));
        EXPECT_EQ(Source(), before);
        EXPECT_EQ(document.decodedBitmap.get(), decodedBefore);
        EXPECT_STREQ(sourceFilePath, good.c_str());
    }
}

TEST_F(LoadTest, TooLargePictureIsRefusedWithItsOwnMessage) {
    std::wstring file = folder.File(L"big.bmp");
    ScopedGpBitmap bitmap =
        MakeBitmap(64, 64, PixelFormat24bppRGB, [](uint8_t* row, int) { std::memset(row, 7, 64 * 3); });
    ASSERT_TRUE(SaveBitmap(bitmap.get(), file, L"image/bmp"));
    SetAllocationLimit(1000);  // the picture needs 12288 bytes
    EXPECT_EQ(Load(file), 1);
    SetAllocationLimit(0);
    ASSERT_EQ(prompter.messages.size(), 1u);
    EXPECT_EQ(prompter.messages[0].text, EnglishString(kStrPictureTooLarge));
    EXPECT_EQ(document.sourceBuffer.data, nullptr);
    EXPECT_FALSE(document.decodedBitmap);
    EXPECT_EQ(Load(file), 0);
}

TEST_F(LoadTest, OpenDialogAsksOnceAndCancelChangesNothing) {
    wchar_t path[kPathChars] = {};
    EXPECT_EQ(LoadImageFile(document, path), 1);
    ASSERT_EQ(prompter.dialogs.size(), 1u);
    const RecordedFileDialog& d = prompter.dialogs[0];
    EXPECT_FALSE(d.save);
    EXPECT_EQ(d.title, L"Load Image...");
    EXPECT_EQ(d.filter, L"*.bmp;*.jpg;*.gif;*.tif;*.png|*.bmp;*.jpg;*.gif;*.tif;*.png|");
    EXPECT_EQ(d.filterIndex, 1u);
    EXPECT_EQ(d.maxFile, static_cast<DWORD>(kPathChars));
    EXPECT_EQ(d.flags,
              static_cast<DWORD>(OFN_EXPLORER | OFN_HIDEREADONLY | OFN_NOREADONLYRETURN | OFN_OVERWRITEPROMPT));
    EXPECT_EQ(path[0], L'\0');
    EXPECT_EQ(sourceFilePath[0], L'\0');

    std::wstring file = folder.File(L"chosen.bmp");
    ScopedGpBitmap bitmap = MakeBitmap(2, 2, PixelFormat24bppRGB, [](uint8_t* row, int) { std::memset(row, 9, 6); });
    ASSERT_TRUE(SaveBitmap(bitmap.get(), file, L"image/bmp"));
    prompter.fileAnswers.push_back({true, file, 1});
    EXPECT_EQ(LoadImageFile(document, path), 0);
    EXPECT_STREQ(path, file.c_str());
    EXPECT_STREQ(sourceFilePath, file.c_str());
}

}  // namespace
