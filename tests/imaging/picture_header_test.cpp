// The size a file's header claims, read before decoding.
#include <gtest/gtest.h>

#include <cstring>
#include <vector>

#include "imaging/picture_header.h"

namespace {

using Bytes = std::vector<uint8_t>;

HeaderReader Over(const Bytes& file) {
    return [&file](uint64_t offset, uint8_t* out, size_t size) -> size_t {
        if (offset >= file.size())
            return 0;
        const size_t n = std::min<size_t>(size, file.size() - offset);
        std::memcpy(out, file.data() + offset, n);
        return n;
    };
}

void Le(Bytes& b, size_t at, uint32_t v, int bytes) {
    for (int i = 0; i < bytes; ++i)
        b[at + i] = static_cast<uint8_t>(v >> (8 * i));
}
void Be(Bytes& b, size_t at, uint32_t v, int bytes) {
    for (int i = 0; i < bytes; ++i)
        b[at + i] = static_cast<uint8_t>(v >> (8 * (bytes - 1 - i)));
}

ClaimedSize Claim(const Bytes& file, bool expectKnown = true) {
    ClaimedSize size;
    EXPECT_EQ(ReadClaimedSize(Over(file), size), expectKnown);
    return size;
}

TEST(PictureHeader, ReadsTheClaimedSizeOfEachFormat) {
    Bytes bmp(54, 0);
    bmp[0] = 'B', bmp[1] = 'M';
    Le(bmp, 14, 40, 4);
    Le(bmp, 18, 30000, 4);
    Le(bmp, 22, static_cast<uint32_t>(-20000), 4);  // top-down rows
    ClaimedSize s = Claim(bmp);
    EXPECT_EQ(s.width, 30000u);
    EXPECT_EQ(s.height, 20000u);
    Le(bmp, 22, 0x80000000u, 4);  // INT32_MIN: its magnitude does not fit a 32-bit int
    EXPECT_EQ(Claim(bmp).height, 0x80000000ull);

    Bytes png = {0x89, 'P', 'N', 'G', '\r', '\n', 0x1A, '\n', 0, 0, 0, 13, 'I', 'H', 'D', 'R'};
    png.resize(33, 0);
    Be(png, 16, 30000, 4);
    Be(png, 20, 30000, 4);
    png[24] = 16;
    s = Claim(png);
    EXPECT_EQ(s.width, 30000u);
    EXPECT_EQ(s.bytesPerPixel, 8u);

    // GIF: the larger of screen and first image, past a global table and an extension.
    Bytes gif = {'G', 'I', 'F', '8', '9', 'a', 10, 0, 10, 0, 0x80, 0, 0};
    gif.resize(13 + 6, 0);  // two-entry table
    gif.insert(gif.end(), {0x21, 0xF9, 4, 0, 0, 0, 0, 0});
    gif.insert(gif.end(), {0x2C, 0, 0, 0, 0, 0xFF, 0xFF, 5, 0, 0});
    s = Claim(gif);
    EXPECT_EQ(s.width, 65535u);
    EXPECT_EQ(s.height, 10u);

    // TIFF, both byte orders.
    Bytes tif = {'I', 'I', 42, 0, 8, 0, 0, 0, 2, 0};
    tif.resize(8 + 2 + 24 + 4, 0);
    Le(tif, 10, 256, 2), Le(tif, 12, 4, 2), Le(tif, 14, 1, 4), Le(tif, 18, 70000, 4);
    Le(tif, 22, 257, 2), Le(tif, 24, 3, 2), Le(tif, 26, 1, 4), Le(tif, 30, 9, 2);
    s = Claim(tif);
    EXPECT_EQ(s.width, 70000u);
    EXPECT_EQ(s.height, 9u);
    Bytes mm = {'M', 'M', 0, 42, 0, 0, 0, 8, 0, 1};
    mm.resize(8 + 2 + 12, 0);
    Be(mm, 10, 256, 2), Be(mm, 12, 4, 2), Be(mm, 14, 1, 4), Be(mm, 18, 5, 4);
    Claim(mm, false);  // no height: no verdict

    // JPEG: the frame header after an application segment.
    Bytes jpg = {0xFF, 0xD8, 0xFF, 0xE0, 0, 4, 0, 0, 0xFF, 0xC2, 0, 11, 8, 0x12, 0x34, 0xFF, 0xFF, 3};
    s = Claim(jpg);
    EXPECT_EQ(s.height, 0x1234u);
    EXPECT_EQ(s.width, 0xFFFFu);
}

TEST(PictureHeader, CutOrUnknownHeadersGiveNoVerdict) {
    Claim(Bytes{}, false);
    Claim(Bytes{'B', 'M', 0, 0}, false);
    Claim(Bytes{0xFF, 0xD8, 0xFF, 0xDA, 0, 2}, false);  // a scan before any frame header
    Claim(Bytes{'n', 'o', 't', ' ', 'a', 'n', ' ', 'i', 'm', 'a', 'g', 'e', '!', '!'}, false);
    // A looping TIFF directory list is never walked: only the first directory is read.
    Bytes tif = {'I', 'I', 42, 0, 0xFF, 0xFF, 0xFF, 0x7F};
    Claim(tif, false);
}

TEST(PictureHeader, TooLargeWhenTheBitmapsBytesOverflowA32BitSize) {
    EXPECT_TRUE(ClaimedSizeTooLarge({30000, 30000, 4}));
    EXPECT_TRUE(ClaimedSizeTooLarge({0x80000000ull, 1, 4}));
    EXPECT_TRUE(ClaimedSizeTooLarge({20000, 20000, 8}));
    EXPECT_FALSE(ClaimedSizeTooLarge({20000, 20000, 4}));  // 1.6 GB: the machine decides
    EXPECT_FALSE(ClaimedSizeTooLarge({12000, 8000, 4}));
    EXPECT_FALSE(ClaimedSizeTooLarge({0, 70000, 4}));  // no picture: the decoder refuses it
    EXPECT_TRUE(ClaimedSizeTooLarge({23170, 23171, 4}));
    EXPECT_FALSE(ClaimedSizeTooLarge({23170, 23170, 4}));
}

}  // namespace
