// Row conversions between GDI+ locked rows and picture buffer rows.
#include "imaging/pixel_rows.h"

#include <cstring>

#if (defined(__x86_64__) || defined(_M_X64)) && defined(__GNUC__)
#include <immintrin.h>
#define SP_PIXEL_ROWS_SSSE3 1
#endif

namespace {

uint16_t Load16(const uint8_t* p) {
    uint16_t v;
    std::memcpy(&v, p, 2);
    return v;
}

void Store16(uint8_t* p, uint16_t v) {
    std::memcpy(p, &v, 2);
}

}  // namespace

bool IsRefusedFormat(uint32_t format) {
    switch (format) {
        case kFormatUndefined:
        case kFormat1bppIndexed:
        case kFormat4bppIndexed:
        case kFormat32bppPARGB:
        case kFormat48bppRGB:
        case kFormat64bppPARGB:
            return true;
        default:
            return false;
    }
}

BufferLayout LayoutOfFormat(uint32_t format, bool greyPalette) {
    switch (format) {
        case kFormat16bppRGB555:
        case kFormat16bppARGB1555:
        case kFormat16bppRGB565:
        case kFormat32bppRGB:
        case kFormat32bppARGB:
            return {3, 8};
        case kFormat24bppRGB:
            return {greyPalette ? 1 : 3, 8};
        case kFormat16bppGrayScale:
            return {1, 16};
        case kFormat64bppARGB:
            return {3, 16};
        default:
            return {};
    }
}

bool ConvertRowToBuffer(uint32_t format, bool greyPalette, const uint8_t* src, uint8_t* dst, int32_t width) {
    switch (format) {
        case kFormat16bppRGB555:
        case kFormat16bppARGB1555:
            for (int32_t x = 0; x < width; ++x, src += 2, dst += 3) {
                uint16_t p = Load16(src);
                dst[0] = static_cast<uint8_t>((p & 0x1F) << 3);
                dst[1] = static_cast<uint8_t>(((p >> 5) & 0x1F) << 3);
                dst[2] = static_cast<uint8_t>(((p >> 10) & 0x1F) << 3);
            }
            return true;
        case kFormat16bppRGB565:
            for (int32_t x = 0; x < width; ++x, src += 2, dst += 3) {
                uint16_t p = Load16(src);
                dst[0] = static_cast<uint8_t>((p & 0x1F) << 3);
                dst[1] = static_cast<uint8_t>(((p >> 5) & 0x3F) << 2);
                dst[2] = static_cast<uint8_t>((p >> 11) << 3);
            }
            return true;
        case kFormat16bppGrayScale:
            std::memcpy(dst, src, static_cast<size_t>(width) * 2);
            return true;
        case kFormat24bppRGB:
            if (greyPalette) {
                for (int32_t x = 0; x < width; ++x)
                    dst[x] = src[3 * x];
            } else {
                std::memcpy(dst, src, static_cast<size_t>(width) * 3);
            }
            return true;
        case kFormat32bppRGB:
        case kFormat32bppARGB:
            for (int32_t x = 0; x < width; ++x, src += 4, dst += 3) {
                dst[0] = src[0];
                dst[1] = src[1];
                dst[2] = src[2];
            }
            return true;
        case kFormat64bppARGB:
            for (int32_t x = 0; x < width; ++x, src += 8, dst += 6)
                std::memcpy(dst, src, 6);
            return true;
        default:
            return false;
    }
}

bool WriteRowFromBuffer(uint32_t format,
                        int32_t components,
                        int32_t bitsPerComponent,
                        const uint8_t* src,
                        uint8_t* dst,
                        int32_t width) {
    const bool colour8 = components == 3 && bitsPerComponent == 8;
    switch (format) {
        case kFormat16bppRGB555:
        case kFormat16bppARGB1555: {
            if (!colour8)
                return false;
            const uint16_t keep = format == kFormat16bppARGB1555 ? 0x8000 : 0;
            for (int32_t x = 0; x < width; ++x, src += 3, dst += 2) {
                uint16_t p = static_cast<uint16_t>(((src[2] & 0xF8) << 7) | ((src[1] & 0xF8) << 2) | (src[0] >> 3));
                Store16(dst, static_cast<uint16_t>(p | (Load16(dst) & keep)));
            }
            return true;
        }
        case kFormat16bppRGB565:
            if (!colour8)
                return false;
            for (int32_t x = 0; x < width; ++x, src += 3, dst += 2) {
                Store16(dst, static_cast<uint16_t>(((src[2] & 0xF8) << 8) | ((src[1] & 0xFC) << 3) | (src[0] >> 3)));
            }
            return true;
        case kFormat16bppGrayScale:
            if (components != 1 || bitsPerComponent != 16)
                return false;
            std::memcpy(dst, src, static_cast<size_t>(width) * 2);
            return true;
        case kFormat24bppRGB:
            if (bitsPerComponent != 8)
                return false;
            if (components == 1) {
                for (int32_t x = 0; x < width; ++x, dst += 3)
                    dst[0] = dst[1] = dst[2] = src[x];
                return true;
            }
            if (components != 3)
                return false;
            std::memcpy(dst, src, static_cast<size_t>(width) * 3);
            return true;
        case kFormat32bppRGB:
        case kFormat32bppARGB:
            if (!colour8)
                return false;
            for (int32_t x = 0; x < width; ++x, src += 3, dst += 4) {
                dst[0] = src[0];
                dst[1] = src[1];
                dst[2] = src[2];
            }
            return true;
        case kFormat64bppARGB:
            if (components != 3 || bitsPerComponent != 16)
                return false;
            for (int32_t x = 0; x < width; ++x, src += 6, dst += 8)
                std::memcpy(dst, src, 6);
            return true;
        default:
            return false;
    }
}

void ExpandIndexedRow(const uint8_t* indices,
                      const uint32_t* palette,
                      uint32_t paletteCount,
                      uint8_t* bgr,
                      int32_t width,
                      bool& grey) {
    for (int32_t x = 0; x < width; ++x, bgr += 3) {
        uint32_t colour = indices[x] < paletteCount ? palette[indices[x]] : 0;
        uint8_t b = static_cast<uint8_t>(colour);
        uint8_t g = static_cast<uint8_t>(colour >> 8);
        uint8_t r = static_cast<uint8_t>(colour >> 16);
        if (r != g || g != b)
            grey = false;
        bgr[0] = b;
        bgr[1] = g;
        bgr[2] = r;
    }
}

namespace {

void Bgr24ToBgrx32Scalar(const uint8_t* bgr, uint32_t* bgrx, int32_t from, int32_t width) {
    for (int32_t x = from; x < width; x++) {
        const uint8_t* p = bgr + 3 * static_cast<size_t>(x);
        bgrx[x] = uint32_t{p[0]} | uint32_t{p[1]} << 8 | uint32_t{p[2]} << 16;
    }
}

#if SP_PIXEL_ROWS_SSSE3
// Four pixels a step; each 16-byte load reads four bytes past its twelve, so the loop stops while a pixel
// follows.
__attribute__((target("ssse3"))) int32_t Bgr24ToBgrx32Ssse3(const uint8_t* bgr, uint32_t* bgrx, int32_t width) {
    const __m128i spread = _mm_setr_epi8(0, 1, 2, -128, 3, 4, 5, -128, 6, 7, 8, -128, 9, 10, 11, -128);
    int32_t x = 0;
    for (; x + 6 <= width; x += 4) {
        const __m128i v = _mm_loadu_si128(reinterpret_cast<const __m128i*>(bgr + 3 * static_cast<size_t>(x)));
        _mm_storeu_si128(reinterpret_cast<__m128i*>(bgrx + x), _mm_shuffle_epi8(v, spread));
    }
    return x;
}

bool HasSsse3() {
    static const bool has = [] {
        __builtin_cpu_init();
        return __builtin_cpu_supports("ssse3") != 0;
    }();
    return has;
}
#endif

}  // namespace

void Bgr24ToBgrx32Row(const uint8_t* bgr, uint32_t* bgrx, int32_t width) {
    int32_t x = 0;
#if SP_PIXEL_ROWS_SSSE3
    if (HasSsse3())
        x = Bgr24ToBgrx32Ssse3(bgr, bgrx, width);
#endif
    Bgr24ToBgrx32Scalar(bgr, bgrx, x, width);
}
