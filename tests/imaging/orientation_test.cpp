#include "imaging/orientation.h"

#include <gtest/gtest.h>

#include <vector>

#include "imaging/picture.h"

namespace {

// An Exif APP1 segment with one IFD0 entry, in either byte order, inserted after a JPEG's SOI.
std::vector<uint8_t> JpegWithOrientation(uint16_t value, bool little, uint16_t type = 3) {
    auto put16 = [&](std::vector<uint8_t>& v, uint32_t x) {
        if (little) {
            v.push_back(x & 0xFF), v.push_back(x >> 8);
        } else {
            v.push_back(x >> 8), v.push_back(x & 0xFF);
        }
    };
    std::vector<uint8_t> tiff = {static_cast<uint8_t>(little ? 'I' : 'M'), static_cast<uint8_t>(little ? 'I' : 'M')};
    put16(tiff, 42);
    put16(tiff, 0), put16(tiff, 0);  // IFD0 offset, 32 bits
    tiff[little ? 4 : 7] = 8;
    put16(tiff, 2);  // two entries: another tag first
    put16(tiff, 0x010F), put16(tiff, 2), put16(tiff, 1), put16(tiff, 0), put16(tiff, 0), put16(tiff, 0);
    put16(tiff, 0x0112), put16(tiff, type);
    if (little) {
        put16(tiff, 1), put16(tiff, 0);
    } else {
        put16(tiff, 0), put16(tiff, 1);
    }
    put16(tiff, value), put16(tiff, 0);
    put16(tiff, 0), put16(tiff, 0);
    std::vector<uint8_t> jpeg = {0xFF, 0xD8, 0xFF, 0xE0, 0, 4, 'J', 'F'};  // a short APP0 first
    jpeg.insert(jpeg.end(), {0xFF, 0xE1});
    const size_t length = 2 + 6 + tiff.size();
    jpeg.push_back(static_cast<uint8_t>(length >> 8)), jpeg.push_back(static_cast<uint8_t>(length & 0xFF));
    jpeg.insert(jpeg.end(), {'E', 'x', 'i', 'f', 0, 0});
    jpeg.insert(jpeg.end(), tiff.begin(), tiff.end());
    jpeg.insert(jpeg.end(), {0xFF, 0xDA, 0, 2, 0xFF, 0xD9});
    return jpeg;
}

}  // namespace

TEST(Orientation, ReadFromJpegAndTiffAndOneWhenAbsentOrOdd) {
    for (bool little : {true, false}) {
        for (uint16_t v = 1; v <= 8; ++v) {
            const std::vector<uint8_t> jpeg = JpegWithOrientation(v, little);
            EXPECT_EQ(ReadOrientation(jpeg.data(), jpeg.size()), v) << little;
            // The TIFF structure alone is a TIFF file's start.
            EXPECT_EQ(ReadOrientation(jpeg.data() + 18, jpeg.size() - 18), v) << little;
        }
        for (uint16_t odd : {0, 9, 300}) {
            const std::vector<uint8_t> jpeg = JpegWithOrientation(odd, little);
            EXPECT_EQ(ReadOrientation(jpeg.data(), jpeg.size()), 1);
        }
        const std::vector<uint8_t> wrongType = JpegWithOrientation(6, little, 4);
        EXPECT_EQ(ReadOrientation(wrongType.data(), wrongType.size()), 1);
        // Every cut of the file is read safely and never names another value.
        const std::vector<uint8_t> jpeg = JpegWithOrientation(6, little);
        for (size_t n = 0; n < jpeg.size(); ++n) {
            const int o = ReadOrientation(jpeg.data(), n);
            EXPECT_TRUE(o == 1 || o == 6) << n;
        }
    }
    const uint8_t plain[] = {0xFF, 0xD8, 0xFF, 0xDA, 0, 2, 0xFF, 0xD9};
    EXPECT_EQ(ReadOrientation(plain, sizeof plain), 1);
    EXPECT_EQ(ReadOrientation(nullptr, 0), 1);
}

TEST(Orientation, PicturesAndPointsTurnUprightAndBack) {
    const int w = 5, h = 3;
    Picture stored;
    ASSERT_EQ(CQmPicBufAPI::ReinitHeap(stored.buf(), w, h, 3, 8), 0);
    for (int y = 0; y < h; ++y)
        for (int x = 0; x < w; ++x) {
            uint8_t* p = stored->data + y * stored->stride + x * 3;
            p[0] = static_cast<uint8_t>(x), p[1] = static_cast<uint8_t>(y), p[2] = 7;
        }
    // Where the stored corners go, as a viewer shows them: 6 turns the left column into the top row.
    const int topLeftX[9] = {0, 0, 4, 4, 0, 0, 0, 4, 4};
    const int topLeftY[9] = {0, 0, 0, 2, 2, 0, 2, 2, 0};
    for (int o = 1; o <= 8; ++o) {
        Picture upright;
        ASSERT_TRUE(OrientPicture(upright.buf(), stored.buf(), o));
        EXPECT_EQ(upright->width, OrientationSwapsSides(o) ? h : w);
        EXPECT_EQ(upright->height, OrientationSwapsSides(o) ? w : h);
        EXPECT_EQ(upright->data[0], topLeftX[o]) << o;
        EXPECT_EQ(upright->data[1], topLeftY[o]) << o;
        for (int y = 0; y < h; ++y)
            for (int x = 0; x < w; ++x) {
                double ux, uy, bx, by;
                OrientPoint(o, w, h, x + 0.5, y + 0.5, ux, uy);
                const uint8_t* p = upright->data + static_cast<int>(uy) * upright->stride + static_cast<int>(ux) * 3;
                EXPECT_EQ(p[0], x) << o;
                EXPECT_EQ(p[1], y) << o;
                UnorientPoint(o, w, h, ux, uy, bx, by);
                EXPECT_DOUBLE_EQ(bx, x + 0.5);
                EXPECT_DOUBLE_EQ(by, y + 0.5);
            }
        // A step right on the screen is a step along the stored picture that points there.
        double sx, sy, ax, ay, bx, by;
        UnorientVector(o, 1, 0, sx, sy);
        UnorientPoint(o, w, h, 1, 1, ax, ay);
        UnorientPoint(o, w, h, 2, 1, bx, by);
        EXPECT_DOUBLE_EQ(sx, bx - ax);
        EXPECT_DOUBLE_EQ(sy, by - ay);
    }
}
