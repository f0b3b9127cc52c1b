// Hundreds of damaged, odd and hostile picture files through the real main window: each is dropped
// on the window, and what loads goes on through Smart Contrast, the exposure tiles, a small fusion and
// saving in all five formats. Nothing may crash or hang; a refusal says why and leaves the previous
// picture, title and view as they were.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdio>
#include <map>
#include <span>

#include "app/app_fixture_win.h"
#include "base/alloc.h"
#include "contrast/contrast_dialog_win.h"
#include "contrast/contrast_pyramid.h"
#include "imaging/picture_header.h"
#include "fusion/exposure.h"
#include "fusion/fusion.h"
#include "imaging/gdiplus_fixtures_win.h"
#include "robust/robust_files_win.h"
#include "robust/robust_watchdog_win.h"
#include "settings/string_table.h"
#include "settings/string_table_win.h"
#include "imaging/save_win.h"

namespace {

using namespace robust;

struct CorpusFile {
    std::wstring name;  // with the extension the loader sees
    Bytes bytes;
};

constexpr uint32_t kW = 23, kH = 17;  // odd sizes, both sides large enough for a contrast band

// A valid picture of a GDI+ pixel format, encoded by GDI+ itself; empty when this platform cannot.
Bytes EncodeWithGdiplus(const std::wstring& scratch, Gdiplus::PixelFormat format, const wchar_t* mime) {
    const int bytesPerPixel = static_cast<int>((format >> 8) & 0xFF) / 8;  // bits per pixel in bits 8..15
    ScopedGpBitmap bitmap = MakeBitmap(kW, kH, format, [&](uint8_t* row, int y) {
        for (int i = 0; i < static_cast<int>(kW) * bytesPerPixel; ++i)
            row[i] = static_cast<uint8_t>(i * 11 + y * 29);
    });
    if (!bitmap || !SaveBitmap(bitmap.get(), scratch, mime))
        return {};
    Bytes bytes = ReadWholeFile(scratch);
    DeleteFileW(scratch.c_str());
    return bytes;
}

// Valid pictures of every loadable format and pixel format, written by GDI+ or byte by byte.
std::vector<CorpusFile> BaseFiles(const std::wstring& scratchFolder) {
    std::vector<CorpusFile> bases;
    auto add = [&](const std::wstring& name, Bytes bytes) {
        if (!bytes.empty())
            bases.push_back({name, std::move(bytes)});
    };
    struct Encoded {
        const wchar_t* name;
        Gdiplus::PixelFormat format;
        const wchar_t* mime;
    };
    const Encoded encoded[] = {
        {L"g24.bmp", PixelFormat24bppRGB, L"image/bmp"},     {L"g24.png", PixelFormat24bppRGB, L"image/png"},
        {L"g24.jpg", PixelFormat24bppRGB, L"image/jpeg"},    {L"g24.gif", PixelFormat24bppRGB, L"image/gif"},
        {L"g24.tif", PixelFormat24bppRGB, L"image/tiff"},    {L"g32a.png", PixelFormat32bppARGB, L"image/png"},
        {L"g32a.tif", PixelFormat32bppARGB, L"image/tiff"},  {L"g32.bmp", PixelFormat32bppRGB, L"image/bmp"},
        {L"g565.bmp", PixelFormat16bppRGB565, L"image/bmp"}, {L"g555.bmp", PixelFormat16bppRGB555, L"image/bmp"},
        {L"g64a.png", PixelFormat64bppARGB, L"image/png"},   {L"g64a.tif", PixelFormat64bppARGB, L"image/tiff"},
        {L"g48.png", PixelFormat48bppRGB, L"image/png"},
    };
    for (const Encoded& e : encoded)
        add(e.name, EncodeWithGdiplus(scratchFolder + L"\\scratch", e.format, e.mime));

    // PNG of every colour type and depth, stored deflate blocks.
    struct PngKind {
        const wchar_t* name;
        uint8_t depth, colourType;
        uint32_t bitsPerPixel;
    };
    const PngKind pngs[] = {{L"r-grey1.png", 1, 0, 1},   {L"r-grey8.png", 8, 0, 8},    {L"r-grey16.png", 16, 0, 16},
                            {L"r-greya8.png", 8, 4, 16}, {L"r-rgb8.png", 8, 2, 24},    {L"r-rgb16.png", 16, 2, 48},
                            {L"r-rgba8.png", 8, 6, 32},  {L"r-rgba16.png", 16, 6, 64}, {L"r-pal4.png", 4, 3, 4},
                            {L"r-pal8.png", 8, 3, 8}};
    Bytes palette;
    for (int i = 0; i < 256; ++i)
        palette.insert(palette.end(), {uint8_t(i), uint8_t(255 - i), uint8_t(i * 3)});
    for (const PngKind& p : pngs) {
        Bytes lines = PatternScanlines(kW, kH, p.bitsPerPixel, p.depth);
        const bool indexed = p.colourType == 3;
        add(p.name, MakePng(kW, kH, p.depth, p.colourType, ZlibStored(lines),
                            indexed ? Bytes(palette.begin(), palette.begin() + 3 * (1 << p.depth)) : Bytes{}));
    }

    // GIF with an 8-bit table, BMP of each bit count, TIFF of each sample layout.
    Bytes indices(kW * kH);
    for (size_t i = 0; i < indices.size(); ++i)
        indices[i] = static_cast<uint8_t>(i * 5);
    add(L"r-pal8.gif", MakeGif(kW, kH, kW, kH, palette, 8, indices));
    std::vector<uint32_t> bmpPalette(256);
    for (uint32_t i = 0; i < 256; ++i)
        bmpPalette[i] = i * 0x010203u;
    auto rows = [](uint32_t bitsPerPixel) {
        Bytes r((kW * bitsPerPixel + 7) / 8 * kH);
        for (size_t i = 0; i < r.size(); ++i)
            r[i] = static_cast<uint8_t>(i * 3 + 1);
        return r;
    };
    add(L"r-24.bmp", MakeBmp(kW, kH, 24, {}, rows(24)));
    add(L"r-32.bmp", MakeBmp(kW, kH, 32, {}, rows(32)));
    add(L"r-8.bmp", MakeBmp(kW, kH, 8, bmpPalette, rows(8)));
    add(L"r-4.bmp", MakeBmp(kW, kH, 4, std::vector<uint32_t>(bmpPalette.begin(), bmpPalette.begin() + 16), rows(4)));
    add(L"r-1.bmp", MakeBmp(kW, kH, 1, {0, 0xFFFFFF}, rows(1)));
    const uint32_t masks565[3] = {0xF800, 0x07E0, 0x001F};
    add(L"r-565.bmp", MakeBmp(kW, kH, 16, {}, rows(16), 3, masks565));
    add(L"r-tif-rgb8.tif", MakeTiff(kW, kH, 3, 8, rows(24)));
    add(L"r-tif-rgba8.tif", MakeTiff(kW, kH, 4, 8, rows(32)));
    add(L"r-tif-grey8.tif", MakeTiff(kW, kH, 1, 8, rows(8)));
    add(L"r-tif-grey16.tif", MakeTiff(kW, kH, 1, 16, rows(16)));
    add(L"r-tif-rgb16.tif", MakeTiff(kW, kH, 3, 16, rows(48)));
    return bases;
}

std::wstring Stem(const std::wstring& name) {
    return name.substr(0, name.rfind(L'.'));
}
std::wstring Extension(const std::wstring& name) {
    return name.substr(name.rfind(L'.'));
}

// Every base file damaged: truncated, header bytes flipped, body bytes flipped.
void AddDamaged(std::vector<CorpusFile>& corpus, const CorpusFile& base, uint64_t seed) {
    const size_t n = base.bytes.size();
    const std::wstring stem = Stem(base.name), ext = Extension(base.name);
    const size_t cuts[] = {1, 8, 26, n / 10, n / 3, n * 3 / 5, n * 9 / 10, n - 1};
    for (size_t cut : cuts) {
        if (cut == 0 || cut >= n)
            continue;
        corpus.push_back({stem + L"-cut" + std::to_wstring(cut) + ext, Truncated(base.bytes, cut)});
    }
    const size_t header = std::min<size_t>(n, 64);
    for (int i = 0; i < 3; ++i)
        corpus.push_back(
            {stem + L"-hflip" + std::to_wstring(i) + ext, Flipped(base.bytes, 0, header, 2, seed * 31 + i)});
    for (int i = 0; i < 2; ++i)
        corpus.push_back(
            {stem + L"-bflip" + std::to_wstring(i) + ext, Flipped(base.bytes, header, n, 8, seed * 37 + i)});
}

// Headers that lie about the size, palettes shorter than the indices, looping TIFF directories,
// empty files and noise under each extension.
void AddHostile(std::vector<CorpusFile>& corpus, const std::vector<CorpusFile>& bases) {
    for (const wchar_t* ext : {L".bmp", L".jpg", L".gif", L".tif", L".png"}) {
        corpus.push_back({std::wstring(L"empty") + ext, {}});
        corpus.push_back({std::wstring(L"noise-small") + ext, RandomBytes(97, ext[1])});
        corpus.push_back({std::wstring(L"noise-large") + ext, RandomBytes(6000, ext[2])});
    }
    Bytes rgb((kW * 3) * kH, 90);

    // BMP: huge, zero and negative sizes over a small body.
    auto bmpSized = [&](const wchar_t* name, int32_t w, int32_t h) {
        Bytes b = MakeBmp(kW, kH, 24, {}, rgb);
        Put32LE(b, 18, static_cast<uint32_t>(w));
        Put32LE(b, 22, static_cast<uint32_t>(h));
        corpus.push_back({name, b});
    };
    bmpSized(L"bmp-huge-width.bmp", 0x7FFFFFFF, 1);
    bmpSized(L"bmp-huge-both.bmp", 65536, 65536);
    bmpSized(L"bmp-30000.bmp", 30000, 30000);
    bmpSized(L"bmp-zero-width.bmp", 0, kH);
    bmpSized(L"bmp-zero-height.bmp", kW, 0);
    bmpSized(L"bmp-min-height.bmp", kW, INT32_MIN);
    bmpSized(L"bmp-neg-huge-height.bmp", kW, -0x7FFFFFFF);

    // PNG with a correct CRC around a header that claims the size.
    auto pngSized = [&](const wchar_t* name, uint32_t w, uint32_t h) {
        corpus.push_back({name, MakePng(w, h, 8, 2, ZlibStored(PatternScanlines(kW, kH, 24, 1)))});
    };
    pngSized(L"png-huge-width.png", 0x7FFFFFFF, 1);
    pngSized(L"png-30000.png", 30000, 30000);
    pngSized(L"png-zero-width.png", 0, kH);
    pngSized(L"png-zero-height.png", kW, 0);
    pngSized(L"png-over-limit.png", 0x80000000u, 0x80000000u);

    // GIF: screen and image sizes.
    Bytes palette;
    for (int i = 0; i < 256; ++i)
        palette.insert(palette.end(), {uint8_t(i), uint8_t(i), uint8_t(255 - i)});
    Bytes indices(kW * kH, 7);
    corpus.push_back({L"gif-huge.gif", MakeGif(65535, 65535, 65535, 65535, palette, 8, indices)});
    corpus.push_back({L"gif-zero.gif", MakeGif(0, 0, 0, 0, palette, 8, indices)});
    corpus.push_back({L"gif-image-outside-screen.gif", MakeGif(4, 4, kW, kH, palette, 8, indices)});

    // TIFF: sizes and directory loops.
    corpus.push_back({L"tif-huge-width.tif", MakeTiff(0x7FFFFFFF, 1, 3, 8, rgb)});
    corpus.push_back({L"tif-huge-both.tif", MakeTiff(65536, 65536, 3, 8, rgb)});
    corpus.push_back({L"tif-zero.tif", MakeTiff(0, 0, 3, 8, rgb)});
    corpus.push_back({L"tif-loop-self.tif", MakeTiff(kW, kH, 3, 8, rgb, TiffLink::Self)});
    corpus.push_back({L"tif-loop-pair.tif", MakeTiff(kW, kH, 3, 8, rgb, TiffLink::Pair)});
    corpus.push_back({L"tif-short-strip.tif", MakeTiff(kW, kH, 3, 8, Bytes(rgb.begin(), rgb.begin() + 40))});

    // JPEG: the frame header's size.
    for (const CorpusFile& base : bases) {
        if (base.name != L"g24.jpg")
            continue;
        corpus.push_back({L"jpg-huge.jpg", JpegWithSize(base.bytes, 65535, 65535)});
        corpus.push_back({L"jpg-zero-width.jpg", JpegWithSize(base.bytes, 0, kH)});
        corpus.push_back({L"jpg-zero-height.jpg", JpegWithSize(base.bytes, kW, 0)});
    }

    // Palettes shorter than the indices that pixels use.
    Bytes all(kW * kH);
    for (size_t i = 0; i < all.size(); ++i)
        all[i] = static_cast<uint8_t>(i);
    corpus.push_back({L"short-palette.bmp", MakeBmp(kW, kH, 8, {0x102030, 0x405060, 0x708090, 0xA0B0C0}, all)});
    corpus.push_back({L"short-palette-grey.bmp", MakeBmp(kW, kH, 8, {0, 0x808080}, all)});
    {
        Bytes lines;
        for (uint32_t y = 0; y < kH; ++y) {
            lines.push_back(0);
            for (uint32_t x = 0; x < kW; ++x)
                lines.push_back(static_cast<uint8_t>(y * kW + x));
        }
        corpus.push_back({L"short-palette.png", MakePng(kW, kH, 8, 3, ZlibStored(lines), {1, 2, 3, 4, 5, 6})});
    }
    corpus.push_back({L"short-palette.gif", MakeGif(kW, kH, kW, kH, {9, 9, 9, 200, 10, 10}, 1, all)});
}

// What a refusal may say.
bool IsRefusalText(const std::wstring& text) {
    return text == EnglishString(41) || text == EnglishString(kStrPictureTooLarge);
}

bool HasTemporaryLeftOver(const std::wstring& folder) {
    for (const std::wstring& name : ListFolder(folder))
        if (name.size() > 4 && name.substr(name.size() - 4) == L".tmp")
            return true;
    return false;
}

class CorpusTest : public MainWindowTest {
protected:
    void SetUp() override {
        MainWindowTest::SetUp();
        // No exiftool in reach: the metadata copy of hundreds of saves would only cost time here.
        GetCurrentDirectoryW(MAX_PATH, previousDirectory_);
        SetCurrentDirectoryW(folder.path().c_str());
        CreateDirectoryW(folder.File(L"in").c_str(), nullptr);
        CreateDirectoryW(folder.File(L"out").c_str(), nullptr);
    }
    void TearDown() override {
        SetCurrentDirectoryW(previousDirectory_);
        MainWindowTest::TearDown();
    }

    void Drop(const std::wstring& path) {
        SendMessageW(window, WM_DROPFILES, reinterpret_cast<WPARAM>(MakeDrop({path})), 0);
    }

    wchar_t previousDirectory_[MAX_PATH] = {};
};

struct Outcomes {
    std::map<std::string, int> counts;
    void Add(const std::string& what) { ++counts[what]; }
    void Print(size_t corpusSize) const {
        std::printf("[corpus] %zu files\n", corpusSize);
        for (const auto& [what, n] : counts)
            std::printf("[corpus]   %-34s %d\n", what.c_str(), n);
        std::fflush(stdout);
    }
};

std::string LoadedKind(const SQmPicBuf& b) {
    return "loaded " + std::to_string(b.components) + " x " + std::to_string(b.bitsPerComponent) + "-bit";
}

TEST_F(CorpusTest, DamagedAndHostileFilesNeverCrashHangOrReplaceThePicture) {
    std::vector<CorpusFile> bases = BaseFiles(folder.path());
    ASSERT_GE(bases.size(), 25u) << "too few valid pictures could be made";
    std::vector<CorpusFile> corpus = bases;
    for (size_t i = 0; i < bases.size(); ++i)
        AddDamaged(corpus, bases[i], i + 1);
    AddHostile(corpus, bases);

    // A picture to start from, so every refusal has something to keep.
    const std::wstring first = folder.File(L"in\\first.bmp");
    ASSERT_TRUE(WriteTestBmp(first, 40, 30));
    Drop(first);
    ASSERT_EQ(gDocument.sourceBuffer.width, 40);

    Watchdog watchdog(20000);
    Outcomes outcomes;
    const int32_t lod[kLodCount] = {15, 20, 12, 10, 30, 8, 10, 25};
    int index = 0, loadedCount = 0;
    for (const CorpusFile& file : corpus) {
        const std::wstring path = folder.File(L"in\\" + std::to_wstring(index++) + L"-" + file.name);
        ASSERT_TRUE(WriteWholeFile(path, file.bytes.data(), file.bytes.size()));
        SCOPED_TRACE(testing::Message() << "file " << std::string(file.name.begin(), file.name.end()));

        const std::wstring titleBefore = WindowText(window);
        const std::vector<uint8_t> viewBefore = SurfaceSnapshot();
        const SQmPicBuf& src = gDocument.sourceBuffer;
        const std::vector<uint8_t> sourceBefore(src.data, src.data + src.size);
        const std::wstring pathBefore = sourceFilePath;
        GpBitmap* const decodedBefore = gDocument.decodedBitmap.get();
        const size_t messagesBefore = prompter.messages.size();

        watchdog.Begin(L"load " + path);
        Drop(path);
        watchdog.End();

        const bool loaded = std::wstring(sourceFilePath) == path;
        if (!loaded) {
            // Refused: said once and why, nothing of the previous picture touched.
            ASSERT_EQ(prompter.messages.size(), messagesBefore + 1) << "a refusal must be reported";
            const std::wstring& text = prompter.messages.back().text;
            EXPECT_TRUE(IsRefusalText(text)) << std::string(text.begin(), text.end());
            outcomes.Add(text == EnglishString(41) ? "refused: format not supported" : "refused: too large");
            if (text == EnglishString(kStrPictureTooLarge)) {
                // Only a picture that claims a size worth its name is too large; the decoder also answers
                // "out of memory" for some small broken files.
                ClaimedSize claim;
                HeaderReader read = [&](uint64_t offset, uint8_t* out, size_t n) -> size_t {
                    if (offset >= file.bytes.size())
                        return 0;
                    n = std::min<size_t>(n, file.bytes.size() - static_cast<size_t>(offset));
                    std::memcpy(out, file.bytes.data() + offset, n);
                    return n;
                };
                EXPECT_TRUE(
                    ReadClaimedSize(read, claim) &&
                    (ClaimedSizeTooLarge(claim) || claim.width * claim.height * claim.bytesPerPixel >= (64u << 20)))
                    << "told too large for " << claim.width << " x " << claim.height;
            }
            EXPECT_EQ(WindowText(window), titleBefore);
            EXPECT_TRUE(SurfaceSnapshot() == viewBefore) << "the view changed";
            EXPECT_TRUE(std::equal(sourceBefore.begin(), sourceBefore.end(), src.data, src.data + src.size) &&
                        static_cast<size_t>(src.size) == sourceBefore.size());
            EXPECT_EQ(std::wstring(sourceFilePath), pathBefore);
            EXPECT_EQ(gDocument.decodedBitmap.get(), decodedBefore);
            continue;
        }

        // Loaded: a sound buffer of the file's size.
        EXPECT_EQ(prompter.messages.size(), messagesBefore);
        outcomes.Add(LoadedKind(src));
        ASSERT_NE(src.data, nullptr);
        ASSERT_TRUE(src.components == 1 || src.components == 3);
        ASSERT_TRUE(src.bitsPerComponent == 8 || src.bitsPerComponent == 16);
        ASSERT_GT(src.width, 0);
        ASSERT_GT(src.height, 0);
        ASSERT_EQ(static_cast<int64_t>(src.size),
                  static_cast<int64_t>(src.width) * src.height * src.components * src.bitsPerComponent / 8);
        EXPECT_EQ(WindowText(window), L"SolvanePictova - " + path);

        // Smart Contrast on the loaded picture.
        watchdog.Begin(L"smart contrast " + path);
        {
            ContrastPyramid pyramid;
            if (pyramid.Build(src) == 0 && pyramid.Renderable()) {
                EXPECT_EQ(ApplySmartContrast(gDocument.resultBuffer, pyramid, lod), 0);
            }
            pyramid.Release();
        }
        watchdog.End();

        // Now and then the real dialog on its own thread: open, one recompute, Cancel.
        if (++loadedCount % 12 == 1) {
            watchdog.Begin(L"Smart Contrast dialog " + path);
            const uint32_t recomputes = SmartContrastRecomputeCount();
            Command(CmdSmartContrast);
            HWND dialog = nullptr;
            PumpUntil([&] {
                dialog = gApp.dialogMouseTarget.load();
                return (dialog && IsWindowVisible(dialog)) || !JobRunning();
            });
            if (dialog && JobRunning()) {
                EXPECT_GT(SmartContrastRecomputeCount(), recomputes);
                SendMessageW(dialog, WM_COMMAND, IDCANCEL, 0);
            }
            EXPECT_TRUE(PumpUntil([] { return !JobRunning(); }));
            outcomes.Add(dialog ? "Smart Contrast dialog opened" : "Smart Contrast dialog refused");
            watchdog.End();
        }

        // The exposure tiles and a small fusion of them, for the pictures the preparation takes.
        if (src.components == 3 && src.bitsPerComponent == 8) {
            watchdog.Begin(L"tiles and fusion " + path);
            SQmPicBuf tiles[2];
            for (int t = 0; t < 2; ++t) {
                CQmPicBufAPI::Init(tiles[t]);
                ASSERT_EQ(CQmPicBufAPI::ReinitHeap(tiles[t], src), 0);
                uint32_t score = 0;
                EXPECT_EQ(RenderExposureTile(tiles[t], src, t + 1, 2 - t, t == 0, score), 0);
                const std::wstring tile = folder.File(L"out\\tile" + std::to_wstring(t) + L".bmp");
                EXPECT_EQ(WriteColourBmp(tile.c_str(), tiles[t]), 0);
                EXPECT_EQ(ReadPixels(tile, PixelFormat24bppRGB, 3),
                          std::vector<uint8_t>(tiles[t].data, tiles[t].data + tiles[t].size));
            }
            SQmPicBuf fused;
            CQmPicBufAPI::Init(fused);
            ASSERT_EQ(CQmPicBufAPI::ReinitHeap(fused, src), 0);
            FusionRunParams params;
            params.count = 2;
            params.minSide = 3;
            const FusionStatus status = RunFusion(fused, std::span<const SQmPicBuf>(tiles, 2), params);
            EXPECT_TRUE(status == FusionStatus::kDone || status == FusionStatus::kTooSmall);
            for (SQmPicBuf& t : tiles)
                CQmPicBufAPI::DoneHeap(t);
            CQmPicBufAPI::DoneHeap(fused);
            watchdog.End();
        }

        // Saved in all five formats: either a whole file and no word, or a message and no file.
        const wchar_t* exts[] = {L".bmp", L".tif", L".png", L".jpg", L".gif"};
        for (int f = 0; f < 5; ++f) {
            const std::wstring target = folder.File(L"out\\saved" + std::wstring(exts[f]));
            DeleteFileW(target.c_str());
            const size_t before = prompter.messages.size();
            prompter.fileAnswers.push_back({true, target, f + 1});
            // Some damaged files decode to ~100 megapixels: a loaded machine needs time to encode them.
            watchdog.Begin(L"save " + target + L" from " + path, 120000);
            Command(CmdSaveAs);
            watchdog.End();
            if (prompter.messages.size() == before) {
                EXPECT_TRUE(FileExists(target));
                EXPECT_FALSE(ReadWholeFile(target).empty());
                EXPECT_EQ(WindowText(window), L"SolvanePictova - " + target);
                outcomes.Add("saved");
            } else {
                EXPECT_FALSE(FileExists(target));
                std::printf("[corpus] save as %ls refused for %ls (%d x %d)\n", exts[f], file.name.c_str(), src.width,
                            src.height);
                outcomes.Add("save refused: " +
                             std::string(prompter.messages.back().text.begin(), prompter.messages.back().text.end()));
            }
        }
        EXPECT_FALSE(HasTemporaryLeftOver(folder.File(L"out")));
    }
    outcomes.Print(corpus.size());
    EXPECT_GE(corpus.size(), 300u);
}

}  // namespace
