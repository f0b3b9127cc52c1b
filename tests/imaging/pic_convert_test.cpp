#include <gtest/gtest.h>

#include <cstring>
#include <vector>

#include "base/alloc.h"
#include "imaging/pic_buf.h"
#include "imaging/pic_ref.h"

namespace {

uint32_t Sample(const SQmPicBuf& b, int32_t x, int32_t y, int32_t c) {
    int64_t i = int64_t{y} * b.stride + (int64_t{x} * b.components + c) * (b.bitsPerComponent / 8);
    if (b.bitsPerComponent == 8)
        return b.data[i];
    uint16_t v;
    std::memcpy(&v, b.data + i, 2);
    return v;
}

// Straight from the rules: grey is rounded Rec. 601 luma, 8 -> 16 multiplies by 257, 16 -> 8 keeps
// the high byte; component change happens at the source depth.
uint32_t RefConverted(const SQmPicBuf& src, int32_t x, int32_t y, int32_t c, uint32_t bits, uint32_t comps) {
    uint32_t v;
    if (src.components == 3 && comps == 1) {
        v = (114 * Sample(src, x, y, 0) + 587 * Sample(src, x, y, 1) + 299 * Sample(src, x, y, 2) + 500) / 1000;
    } else {
        v = Sample(src, x, y, src.components == 1 ? 0 : c);
    }
    if (src.bitsPerComponent == 8 && bits == 16)
        v *= 257;
    if (src.bitsPerComponent == 16 && bits == 8)
        v >>= 8;
    return v;
}

}  // namespace

TEST(PicConvert, EveryDepthAndComponentCombination) {
    for (int inBits : {8, 16}) {
        for (int inComps : {1, 3}) {
            for (uint32_t outBits : {8u, 16u}) {
                for (uint32_t outComps : {1u, 3u}) {
                    ScopedPic src(7, 3, inComps, inBits);
                    FillRandom(src.buf, inBits * 10 + inComps);
                    ScopedPic p(7, 3, inComps, inBits);
                    CQmPicBufAPI::Copy(p.buf, src.buf);
                    EXPECT_EQ(CQmPicBufAPI::ConvertBpcComp(p.buf, outBits, outComps), 0);
                    EXPECT_EQ(p.buf.bitsPerComponent, static_cast<int32_t>(outBits));
                    EXPECT_EQ(p.buf.components, static_cast<int32_t>(outComps));
                    EXPECT_EQ(p.buf.width, 7);
                    EXPECT_EQ(p.buf.height, 3);
                    EXPECT_EQ(p.buf.stride, static_cast<int32_t>(7 * outComps * outBits / 8));
                    EXPECT_EQ(p.buf.size, 3 * p.buf.stride);
                    for (int32_t y = 0; y < 3; ++y) {
                        for (int32_t x = 0; x < 7; ++x) {
                            for (int32_t c = 0; c < static_cast<int32_t>(outComps); ++c) {
                                EXPECT_EQ(Sample(p.buf, x, y, c), RefConverted(src.buf, x, y, c, outBits, outComps))
                                    << inBits << "/" << inComps << " -> " << outBits << "/" << outComps;
                            }
                        }
                    }
                }
            }
        }
    }
}

TEST(PicConvert, EndpointsAndGreyRepeat) {
    ScopedPic p(2, 1, 1, 16);
    uint16_t v[2] = {65535, 0x12FF};
    std::memcpy(p.buf.data, v, 4);
    EXPECT_EQ(CQmPicBufAPI::ConvertBpcComp(p.buf, 8, 3), 0);
    const uint8_t want[6] = {255, 255, 255, 0x12, 0x12, 0x12};
    EXPECT_EQ(std::memcmp(p.buf.data, want, 6), 0);
    EXPECT_EQ(CQmPicBufAPI::ConvertBpcComp(p.buf, 16, 3), 0);
    uint16_t back[6];
    std::memcpy(back, p.buf.data, 12);
    EXPECT_EQ(back[0], 65535);
    EXPECT_EQ(back[3], 0x1212);
}

TEST(PicConvert, RefusalsLeaveBufferAsItWas) {
    ScopedPic p(4, 4, 3, 8);
    FillRandom(p.buf, 5);
    std::vector<uint8_t> orig = p.Bytes();
    uint8_t* data = p.buf.data;
    EXPECT_EQ(CQmPicBufAPI::ConvertBpcComp(p.buf, 12, 3), 1);
    EXPECT_EQ(CQmPicBufAPI::ConvertBpcComp(p.buf, 8, 2), 1);
    EXPECT_EQ(CQmPicBufAPI::ConvertBpcComp(p.buf, 8, 3), 0);  // already so: untouched
    EXPECT_EQ(p.buf.data, data);
    SetAllocationLimit(10);
    EXPECT_EQ(CQmPicBufAPI::ConvertBpcComp(p.buf, 16, 3), 1);
    SetAllocationLimit(0);
    EXPECT_EQ(p.buf.data, data);
    EXPECT_EQ(p.buf.bitsPerComponent, 8);
    EXPECT_EQ(p.Bytes(), orig);
    ScopedPic empty;
    EXPECT_EQ(CQmPicBufAPI::ConvertBpcComp(empty.buf, 8, 3), 1);
    EXPECT_EQ(empty.buf.data, nullptr);
}

TEST(PicComponents, ExtractThenInsertIsIdentityAndInsertTouchesOneComponent) {
    for (int bits : {8, 16}) {
        ScopedPic pic(9, 5, 3, bits);
        FillRandom(pic.buf, 6 + bits);
        std::vector<uint8_t> orig = pic.Bytes();
        ScopedPic plane(9, 5, 1, bits);
        for (uint32_t i = 0; i < 3; ++i) {
            EXPECT_EQ(CQmPicBufAPI::ExtractComponent(plane.buf, i, pic.buf), 0);
            for (int32_t y = 0; y < 5; ++y) {
                for (int32_t x = 0; x < 9; ++x)
                    EXPECT_EQ(Sample(plane.buf, x, y, 0), Sample(pic.buf, x, y, i));
            }
            EXPECT_EQ(CQmPicBufAPI::InsertComponent(pic.buf, i, plane.buf), 0);
            EXPECT_EQ(pic.Bytes(), orig);
        }
        // A changed plane lands in component 1 only.
        std::memset(plane.buf.data, 0xAB, static_cast<size_t>(plane.buf.size));
        EXPECT_EQ(CQmPicBufAPI::InsertComponent(pic.buf, 1, plane.buf), 0);
        ScopedPic copy(9, 5, 3, bits);
        std::memcpy(copy.buf.data, orig.data(), orig.size());
        for (int32_t y = 0; y < 5; ++y) {
            for (int32_t x = 0; x < 9; ++x) {
                EXPECT_EQ(Sample(pic.buf, x, y, 0), Sample(copy.buf, x, y, 0));
                EXPECT_EQ(Sample(pic.buf, x, y, 1), bits == 8 ? 0xABu : 0xABABu);
                EXPECT_EQ(Sample(pic.buf, x, y, 2), Sample(copy.buf, x, y, 2));
            }
        }
    }
}

TEST(PicComponents, MismatchedPlanesAreRefused) {
    ScopedPic pic(6, 4, 3, 8);
    FillRandom(pic.buf, 7);
    std::vector<uint8_t> orig = pic.Bytes();
    ScopedPic wrongSize(6, 5, 1, 8), wrongDepth(6, 4, 1, 16), twoComps(6, 4, 3, 8), good(6, 4, 1, 8), empty;
    for (SQmPicBuf* plane : {&wrongSize.buf, &wrongDepth.buf, &twoComps.buf, &empty.buf}) {
        EXPECT_EQ(CQmPicBufAPI::ExtractComponent(*plane, 0, pic.buf), 1);
        EXPECT_EQ(CQmPicBufAPI::InsertComponent(pic.buf, 0, *plane), 1);
    }
    EXPECT_EQ(CQmPicBufAPI::ExtractComponent(good.buf, 3, pic.buf), 1);  // no component 3
    EXPECT_EQ(CQmPicBufAPI::InsertComponent(pic.buf, 3, good.buf), 1);
    EXPECT_EQ(pic.Bytes(), orig);
    // A grey picture has exactly component 0.
    ScopedPic grey(6, 4, 1, 8);
    FillRandom(grey.buf, 8);
    EXPECT_EQ(CQmPicBufAPI::ExtractComponent(good.buf, 0, grey.buf), 0);
    EXPECT_EQ(good.Bytes(), grey.Bytes());
    EXPECT_EQ(CQmPicBufAPI::ExtractComponent(good.buf, 1, grey.buf), 1);
}
