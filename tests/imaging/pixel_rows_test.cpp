// Row conversions against plain per-pixel formulas written from the format table.
#include "imaging/pixel_rows.h"

#include <gtest/gtest.h>

#include <cstring>
#include <random>
#include <vector>

namespace {

// Reference: one 16-bit pixel into blue, green, red.
void Ref565(uint16_t p, uint8_t* bgr) {
    bgr[0] = static_cast<uint8_t>((p & 0x1F) << 3);
    bgr[1] = static_cast<uint8_t>(((p >> 5) & 0x3F) << 2);
    bgr[2] = static_cast<uint8_t>((p >> 11) << 3);
}
void Ref555(uint16_t p, uint8_t* bgr) {
    bgr[0] = static_cast<uint8_t>((p & 0x1F) << 3);
    bgr[1] = static_cast<uint8_t>(((p >> 5) & 0x1F) << 3);
    bgr[2] = static_cast<uint8_t>(((p >> 10) & 0x1F) << 3);
}

TEST(PixelRows, SixteenBitFormatsMatchTheReferenceForEveryValue) {
    std::vector<uint8_t> src(65536 * 2), dst(65536 * 3), ref(65536 * 3);
    for (uint32_t v = 0; v < 65536; ++v) {
        uint16_t p = static_cast<uint16_t>(v);
        std::memcpy(&src[2 * v], &p, 2);
    }
    ASSERT_TRUE(ConvertRowToBuffer(kFormat16bppRGB565, false, src.data(), dst.data(), 65536));
    for (uint32_t v = 0; v < 65536; ++v)
        Ref565(static_cast<uint16_t>(v), &ref[3 * v]);
    EXPECT_EQ(std::memcmp(dst.data(), ref.data(), dst.size()), 0);
    EXPECT_EQ(dst[3 * 0xFFFF], 248);
    EXPECT_EQ(dst[3 * 0xFFFF + 1], 252);
    EXPECT_EQ(dst[3 * 0xFFFF + 2], 248);

    for (uint32_t format : {kFormat16bppRGB555, kFormat16bppARGB1555}) {
        ASSERT_TRUE(ConvertRowToBuffer(format, false, src.data(), dst.data(), 65536));
        for (uint32_t v = 0; v < 65536; ++v)
            Ref555(static_cast<uint16_t>(v), &ref[3 * v]);
        EXPECT_EQ(std::memcmp(dst.data(), ref.data(), dst.size()), 0);
    }
}

TEST(PixelRows, WideFormatsDropAlphaAndGreyTakesTheFirstByte) {
    const uint8_t argb[8] = {1, 2, 3, 4, 5, 6, 7, 8};
    uint8_t out[6];
    ASSERT_TRUE(ConvertRowToBuffer(kFormat32bppARGB, false, argb, out, 2));
    EXPECT_EQ(std::vector<uint8_t>(out, out + 6), (std::vector<uint8_t>{1, 2, 3, 5, 6, 7}));
    ASSERT_TRUE(ConvertRowToBuffer(kFormat24bppRGB, true, argb, out, 2));
    EXPECT_EQ(out[0], 1);
    EXPECT_EQ(out[1], 4);
    const uint16_t wide[8] = {100, 200, 300, 400, 500, 600, 700, 800};
    uint16_t out16[6];
    ASSERT_TRUE(ConvertRowToBuffer(kFormat64bppARGB, false, reinterpret_cast<const uint8_t*>(wide),
                                   reinterpret_cast<uint8_t*>(out16), 2));
    EXPECT_EQ(std::vector<uint16_t>(out16, out16 + 6), (std::vector<uint16_t>{100, 200, 300, 500, 600, 700}));
    EXPECT_FALSE(ConvertRowToBuffer(kFormat48bppRGB, false, argb, out, 1));
}

TEST(PixelRows, LayoutsAndRefusals) {
    EXPECT_EQ(LayoutOfFormat(kFormat16bppGrayScale, false).bitsPerComponent, 16);
    EXPECT_EQ(LayoutOfFormat(kFormat16bppGrayScale, false).components, 1);
    EXPECT_EQ(LayoutOfFormat(kFormat64bppARGB, false).components, 3);
    EXPECT_EQ(LayoutOfFormat(kFormat24bppRGB, true).components, 1);
    EXPECT_EQ(LayoutOfFormat(kFormat8bppIndexed, false).components, 0);
    for (uint32_t f : {kFormatUndefined, kFormat1bppIndexed, kFormat4bppIndexed, kFormat32bppPARGB, kFormat48bppRGB,
                       kFormat64bppPARGB}) {
        EXPECT_TRUE(IsRefusedFormat(f)) << std::hex << f;
    }
    EXPECT_FALSE(IsRefusedFormat(kFormat8bppIndexed));
    EXPECT_FALSE(IsRefusedFormat(kFormat32bppARGB));
}

TEST(PixelRows, WriterRoundTripsAndKeepsWhatTheBufferDoesNotCarry) {
    std::mt19937 random(7);
    std::vector<uint8_t> colour(3 * 50);
    for (uint8_t& b : colour)
        b = static_cast<uint8_t>(random());

    // ARGB1555: the top bit of each pixel survives, the colour is the reference's 5-bit cut.
    std::vector<uint16_t> row(50);
    for (size_t i = 0; i < row.size(); ++i)
        row[i] = i % 2 ? 0x8000 : 0x0000;
    ASSERT_TRUE(
        WriteRowFromBuffer(kFormat16bppARGB1555, 3, 8, colour.data(), reinterpret_cast<uint8_t*>(row.data()), 50));
    for (size_t i = 0; i < row.size(); ++i) {
        const uint8_t* c = &colour[3 * i];
        uint16_t expected = static_cast<uint16_t>(((c[2] & 0xF8) << 7) | ((c[1] & 0xF8) << 2) | (c[0] >> 3));
        EXPECT_EQ(row[i], expected | (i % 2 ? 0x8000 : 0)) << i;
    }
    ASSERT_TRUE(
        WriteRowFromBuffer(kFormat16bppRGB555, 3, 8, colour.data(), reinterpret_cast<uint8_t*>(row.data()), 50));
    for (uint16_t p : row)
        EXPECT_EQ(p & 0x8000, 0);

    // 5-6-5 written then read gives the colour with its low bits cleared.
    ASSERT_TRUE(
        WriteRowFromBuffer(kFormat16bppRGB565, 3, 8, colour.data(), reinterpret_cast<uint8_t*>(row.data()), 50));
    std::vector<uint8_t> back(3 * 50);
    ASSERT_TRUE(ConvertRowToBuffer(kFormat16bppRGB565, false, reinterpret_cast<uint8_t*>(row.data()), back.data(), 50));
    for (size_t i = 0; i < back.size(); ++i)
        EXPECT_EQ(back[i], colour[i] & (i % 3 == 1 ? 0xFC : 0xF8)) << i;

    // 32-bit: the fourth byte keeps its value.
    std::vector<uint8_t> argb(4 * 50, 0xAB);
    ASSERT_TRUE(WriteRowFromBuffer(kFormat32bppARGB, 3, 8, colour.data(), argb.data(), 50));
    for (size_t i = 0; i < 50; ++i) {
        EXPECT_EQ(argb[4 * i + 3], 0xAB);
        EXPECT_EQ(argb[4 * i + 2], colour[3 * i + 2]);
    }
    // One grey component fills all three bytes of a 24-bit pixel.
    std::vector<uint8_t> rgb(3 * 50);
    ASSERT_TRUE(WriteRowFromBuffer(kFormat24bppRGB, 1, 8, colour.data(), rgb.data(), 50));
    EXPECT_EQ(rgb[3 * 7 + 0], colour[7]);
    EXPECT_EQ(rgb[3 * 7 + 2], colour[7]);
    // A buffer whose layout does not fit the format is refused, not walked.
    EXPECT_FALSE(WriteRowFromBuffer(kFormat16bppRGB565, 1, 8, colour.data(), rgb.data(), 50));
    EXPECT_FALSE(WriteRowFromBuffer(kFormat64bppARGB, 3, 8, colour.data(), rgb.data(), 5));
}

TEST(PixelRows, PaletteExpansionDecidesGreyByUsedColoursAndGuardsTheIndex) {
    const uint32_t palette[3] = {0xFF101010, 0xFF00FF00, 0xFF202020};
    const uint8_t greyIndices[4] = {0, 2, 2, 0};
    uint8_t bgr[12];
    bool grey = true;
    ExpandIndexedRow(greyIndices, palette, 3, bgr, 4, grey);
    EXPECT_TRUE(grey);
    EXPECT_EQ(bgr[3], 0x20);

    // An index beyond the palette has no colour: black, and no read past the entries.
    const uint8_t outside[2] = {2, 255};
    ExpandIndexedRow(outside, palette, 3, bgr, 2, grey);
    EXPECT_TRUE(grey);
    EXPECT_EQ(std::vector<uint8_t>(bgr, bgr + 6), (std::vector<uint8_t>{0x20, 0x20, 0x20, 0, 0, 0}));

    const uint8_t coloured[2] = {0, 1};
    ExpandIndexedRow(coloured, palette, 3, bgr, 2, grey);
    EXPECT_FALSE(grey);
    EXPECT_EQ(std::vector<uint8_t>(bgr + 3, bgr + 6), (std::vector<uint8_t>{0, 0xFF, 0}));
}

}  // namespace

// Every width up to past a few vector steps, each row in a block of exactly its size (the sanitizers see any
// read past it), and nothing written past the row.
TEST(PixelRows, BgrToBgrxKeepsEveryPixelAtEveryWidth) {
    std::mt19937 random(7);
    for (int32_t width = 0; width <= 40; width++) {
        std::vector<uint8_t> bgr(3 * static_cast<size_t>(width));
        for (uint8_t& b : bgr)
            b = static_cast<uint8_t>(random());
        std::vector<uint32_t> out(static_cast<size_t>(width) + 1, 0xDEADBEEF);
        Bgr24ToBgrx32Row(bgr.data(), out.data(), width);
        for (int32_t x = 0; x < width; x++) {
            const uint8_t* p = &bgr[3 * static_cast<size_t>(x)];
            ASSERT_EQ(out[x], uint32_t{p[0]} | uint32_t{p[1]} << 8 | uint32_t{p[2]} << 16) << width << " " << x;
        }
        EXPECT_EQ(out[width], 0xDEADBEEF) << width;
    }
}
