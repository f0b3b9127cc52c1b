#include "imaging/bmp_tile.h"

#include <gtest/gtest.h>

#include <cstring>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

#include "imaging/pic_ref.h"

namespace {

namespace fs = std::filesystem;

struct TempFolder {
    fs::path dir;
    TempFolder() {
        dir = fs::temp_directory_path() / ("sp_bmp_tile_" + std::to_string(reinterpret_cast<uintptr_t>(this)) + "_" +
                                           ::testing::UnitTest::GetInstance()->current_test_info()->name());
        fs::create_directories(dir);
    }
    ~TempFolder() {
        std::error_code ec;
        fs::remove_all(dir, ec);
    }
    fs::path File(const char* name) const { return dir / name; }
};

std::vector<uint8_t> ReadAll(const fs::path& path) {
    std::ifstream in(path, std::ios::binary);
    return std::vector<uint8_t>(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

void WriteAll(const fs::path& path, const std::vector<uint8_t>& bytes) {
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    out.write(reinterpret_cast<const char*>(bytes.data()), static_cast<std::streamsize>(bytes.size()));
}

uint32_t Le32(const std::vector<uint8_t>& b, size_t at) {
    return b[at] | (b[at + 1] << 8) | (b[at + 2] << 16) | (uint32_t{b[at + 3]} << 24);
}

void Put32(std::vector<uint8_t>& b, size_t at, uint32_t v) {
    for (int i = 0; i < 4; ++i)
        b[at + i] = static_cast<uint8_t>(v >> (8 * i));
}

// Decodes a 24-bit bottom-up BMP the plain way (whole file, offsets from the header), then cuts out the
// rectangle: what a full load followed by a crop gives.
std::vector<uint8_t> RefCrop(const std::vector<uint8_t>& file, int32_t x0, int32_t y0, int32_t w, int32_t h) {
    const int32_t width = static_cast<int32_t>(Le32(file, 18)), height = static_cast<int32_t>(Le32(file, 22));
    const size_t offset = Le32(file, 10);
    const size_t row = (static_cast<size_t>(width) * 24 + 31) / 32 * 4;
    std::vector<uint8_t> out;
    for (int32_t y = y0; y < y0 + h; ++y)
        for (int32_t x = x0; x < x0 + w; ++x)
            for (int c = 0; c < 3; ++c)
                out.push_back(file[offset + row * static_cast<size_t>(height - 1 - y) + 3 * x + c]);
    return out;
}

std::vector<uint8_t> ReadCrop(BmpTileReader& reader, const CQmRect<int>& rect) {
    const CQmRect<int> r = reader.Clamp(rect);
    ScopedPic dst(r.right - r.left, r.bottom - r.top, 3, 8);
    if (r.right == r.left || r.bottom == r.top) {
        dst.buf.width = r.right - r.left;
        dst.buf.height = r.bottom - r.top;
        dst.buf.components = 3;
        dst.buf.bitsPerComponent = 8;
    }
    EXPECT_TRUE(reader.ReadRect(rect, dst.buf));
    return dst.buf.data ? dst.Bytes() : std::vector<uint8_t>();
}

// A valid tile of w x h with random pixels, as bytes.
std::vector<uint8_t> TileBytes(const TempFolder& folder, int32_t w, int32_t h) {
    ScopedPic pic(w, h, 3, 8);
    FillRandom(pic.buf, 11);
    const fs::path path = folder.File("valid.bmp");
    EXPECT_TRUE(WriteBmpTileFile(path, pic.buf));
    return ReadAll(path);
}

}  // namespace

TEST(BmpTile, HeaderOfTheTileLayout) {
    const auto h = MakeBmpTileHeader(5, 3);  // 15 bytes a row, stored as 16
    const std::vector<uint8_t> b(h.begin(), h.end());
    EXPECT_EQ(b[0], 'B');
    EXPECT_EQ(b[1], 'M');
    EXPECT_EQ(Le32(b, 2), 54u + 16 * 3);
    EXPECT_EQ(Le32(b, 10), 54u);
    EXPECT_EQ(Le32(b, 14), 40u);
    EXPECT_EQ(Le32(b, 18), 5u);
    EXPECT_EQ(Le32(b, 22), 3u);  // positive: bottom-up
    EXPECT_EQ(b[26] | (b[27] << 8), 1);
    EXPECT_EQ(b[28] | (b[29] << 8), 24);
    EXPECT_EQ(Le32(b, 30), 0u);
    EXPECT_EQ(Le32(b, 34), 48u);
    EXPECT_EQ(Le32(b, 46), 0u);
    EXPECT_EQ(BmpTileRowBytes(1), 4u);
    EXPECT_EQ(BmpTileRowBytes(4), 12u);
    EXPECT_EQ(BmpTileRowBytes(7), 24u);
}

TEST(BmpTile, WrittenRowsAreBottomUpAndPaddedWithZeros) {
    TempFolder folder;
    ScopedPic pic(3, 2, 3, 8);  // 9 bytes a row, 3 of padding
    for (int32_t i = 0; i < pic.buf.size; ++i)
        pic.buf.data[i] = static_cast<uint8_t>(i + 1);
    ASSERT_TRUE(WriteBmpTileFile(folder.File("t.bmp"), pic.buf));
    const std::vector<uint8_t> file = ReadAll(folder.File("t.bmp"));
    const std::vector<uint8_t> rows = {10, 11, 12, 13, 14, 15, 16, 17, 18, 0, 0, 0, 1, 2, 3, 4, 5, 6, 7, 8, 9, 0, 0, 0};
    ASSERT_EQ(file.size(), 54u + rows.size());
    EXPECT_EQ(std::vector<uint8_t>(file.begin() + 54, file.end()), rows);
}

TEST(BmpTile, CropsEqualAFullLoadCroppedForOddAndEvenWidths) {
    TempFolder folder;
    for (int32_t w : {1, 2, 3, 5, 8, 13, 37}) {
        const int32_t h = 9;
        const std::vector<uint8_t> file = TileBytes(folder, w, h);
        BmpTileReader reader;
        ASSERT_TRUE(reader.Open(folder.File("valid.bmp"))) << w;
        EXPECT_EQ(reader.Info().width, w);
        EXPECT_EQ(reader.Info().height, h);
        EXPECT_EQ(ReadCrop(reader, {0, 0, w, h}), RefCrop(file, 0, 0, w, h)) << w;
        for (int32_t x0 = 0; x0 < w; x0 += 2)
            for (int32_t y0 = 0; y0 < h; y0 += 3) {
                const int32_t cw = std::max(1, (w - x0) / 2 + 1), ch = std::min(4, h - y0);
                EXPECT_EQ(ReadCrop(reader, {x0, y0, x0 + cw, y0 + ch}), RefCrop(file, x0, y0, cw, ch))
                    << w << " " << x0 << " " << y0;
            }
    }
}

TEST(BmpTile, RectanglesAreClippedToThePicture) {
    TempFolder folder;
    const std::vector<uint8_t> file = TileBytes(folder, 7, 5);
    BmpTileReader reader;
    ASSERT_TRUE(reader.Open(folder.File("valid.bmp")));
    const CQmRect<int> r = reader.Clamp({-3, 2, 20, 9});
    EXPECT_EQ(r.left, 0);
    EXPECT_EQ(r.top, 2);
    EXPECT_EQ(r.right, 7);
    EXPECT_EQ(r.bottom, 5);
    EXPECT_EQ(ReadCrop(reader, {-3, 2, 20, 9}), RefCrop(file, 0, 2, 7, 3));
    // Wholly outside or inverted: nothing to read.
    const CQmRect<int> outside = reader.Clamp({10, 10, 12, 12});
    EXPECT_EQ(outside.right - outside.left, 0);
    const CQmRect<int> inverted = reader.Clamp({5, 4, 2, 1});
    EXPECT_EQ(inverted.right - inverted.left, 0);
    EXPECT_EQ(inverted.bottom - inverted.top, 0);
    // A destination of another size is refused rather than overrun.
    ScopedPic small(2, 2, 3, 8);
    EXPECT_FALSE(reader.ReadRect({0, 0, 3, 3}, small.buf));
    ScopedPic grey(3, 3, 1, 8);
    EXPECT_FALSE(reader.ReadRect({0, 0, 3, 3}, grey.buf));
}

TEST(BmpTile, RefusesFilesThatAreNotTiles) {
    TempFolder folder;
    const std::vector<uint8_t> good = TileBytes(folder, 5, 4);
    struct Case {
        const char* what;
        std::vector<uint8_t> bytes;
    };
    std::vector<Case> cases;
    auto changed = [&](const char* what, size_t at, uint32_t value) {
        std::vector<uint8_t> b = good;
        Put32(b, at, value);
        cases.push_back({what, b});
    };
    cases.push_back({"empty", {}});
    cases.push_back({"header only", std::vector<uint8_t>(good.begin(), good.begin() + 54)});
    cases.push_back({"cut by one byte", std::vector<uint8_t>(good.begin(), good.end() - 1)});
    std::vector<uint8_t> longer = good;
    longer.push_back(0);
    cases.push_back({"one byte more", longer});
    std::vector<uint8_t> sig = good;
    sig[1] = 'A';
    cases.push_back({"signature", sig});
    changed("stated size", 2, static_cast<uint32_t>(good.size() + 4));
    changed("pixel offset", 10, 58);
    changed("info header size", 14, 108);
    changed("zero width", 18, 0);
    changed("negative width", 18, 0xFFFFFFFBu);
    changed("negative height (top-down)", 22, 0xFFFFFFFCu);
    changed("zero height", 22, 0);
    changed("height larger than the rows", 22, 5);
    changed("huge dimensions", 18, 0x7FFFFFFF);
    changed("planes", 26, 0x00180002);  // two planes, 24 bits
    changed("32 bits", 26, 0x00200001);
    changed("8 bits", 26, 0x00080001);
    changed("run-length compression", 30, 1);
    changed("bit fields", 30, 3);
    changed("stated image size", 34, 7);
    changed("colour table", 46, 16);
    int n = 0;
    for (const Case& c : cases) {
        const fs::path path = folder.File(("bad" + std::to_string(n++) + ".bmp").c_str());
        WriteAll(path, c.bytes);
        BmpTileReader reader;
        EXPECT_FALSE(reader.Open(path)) << c.what;
        ScopedPic dst(1, 1, 3, 8);
        EXPECT_FALSE(reader.ReadRect({0, 0, 1, 1}, dst.buf)) << c.what;
    }
    BmpTileReader reader;
    EXPECT_FALSE(reader.Open(folder.File("missing.bmp")));
    // A stated image size of 0 is allowed for uncompressed rows.
    std::vector<uint8_t> zeroImage = good;
    Put32(zeroImage, 34, 0);
    WriteAll(folder.File("zero_image.bmp"), zeroImage);
    EXPECT_TRUE(reader.Open(folder.File("zero_image.bmp")));
}

TEST(BmpTile, WriterRefusesOtherPicturesAndReportsAFailedSink) {
    ScopedPic grey(4, 4, 1, 8), deep(4, 4, 3, 16), empty;
    auto accept = [](const uint8_t*, size_t) { return true; };
    EXPECT_FALSE(WriteBmpTile(grey.buf, accept));
    EXPECT_FALSE(WriteBmpTile(deep.buf, accept));
    EXPECT_FALSE(WriteBmpTile(empty.buf, accept));
    // Large enough for several chunks: the bytes arrive in order and a refusal stops the writer.
    ScopedPic big(1001, 700, 3, 8);
    FillRandom(big.buf, 5);
    std::vector<uint8_t> all;
    int calls = 0;
    EXPECT_TRUE(WriteBmpTile(big.buf, [&](const uint8_t* p, size_t n) {
        ++calls;
        all.insert(all.end(), p, p + n);
        return true;
    }));
    EXPECT_GT(calls, 2);
    ASSERT_EQ(all.size(), 54u + BmpTileRowBytes(1001) * 700);
    EXPECT_EQ(RefCrop(all, 0, 0, 1001, 700), big.Bytes());
    int left = 2;
    EXPECT_FALSE(WriteBmpTile(big.buf, [&](const uint8_t*, size_t) { return --left > 0; }));
    EXPECT_EQ(left, 0);
    TempFolder folder;
    EXPECT_FALSE(WriteBmpTileFile(folder.File("no_folder") / "tile.bmp", big.buf));
}
