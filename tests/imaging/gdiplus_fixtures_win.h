// Test pictures of certain pixel formats, written through GDI+ itself or from raw bytes.
// Pictures: MakeBitmap fills a bitmap of a format row by row; WriteRawBmp writes a BMP byte for byte.
#pragma once

#include <cstdint>
#include <functional>
#include <string>
#include <vector>

#include "imaging/document_win.h"
#include "imaging/save_win.h"
#include "imaging/gdiplus_win.h"
#include "support/fake_prompter_win.h"
#include <cstring>

inline ScopedGpBitmap MakeBitmap(int width,
                                 int height,
                                 Gdiplus::PixelFormat format,
                                 const std::function<void(uint8_t*, int)>& fill) {
    GpBitmap* raw = nullptr;
    gdip::GdipCreateBitmapFromScan0(width, height, 0, format, nullptr, &raw);
    ScopedGpBitmap bitmap(raw);
    if (!bitmap)
        return bitmap;
    ScopedBitmapLock lock(raw, Gdiplus::ImageLockModeWrite, format);
    if (!lock.ok())
        return ScopedGpBitmap();
    for (int y = 0; y < height; ++y)
        fill(lock.Row(static_cast<UINT>(y)), y);
    return bitmap;
}

inline bool SaveBitmap(GpBitmap* bitmap, const std::wstring& path, const wchar_t* mime) {
    CLSID encoder;
    if (FindEncoderByMime(mime, &encoder) < 0)
        return false;
    return gdip::GdipSaveImageToFile(bitmap, path.c_str(), &encoder, nullptr) == Gdiplus::Ok;
}

inline Gdiplus::PixelFormat DecodedFormat(const std::wstring& path) {
    GpBitmap* raw = nullptr;
    if (gdip::GdipCreateBitmapFromFile(path.c_str(), &raw) != Gdiplus::Ok)
        return 0;
    ScopedGpBitmap bitmap(raw);
    Gdiplus::PixelFormat format = 0;
    gdip::GdipGetImagePixelFormat(raw, &format);
    return format;
}

inline bool WriteRawBmp(const std::wstring& path,
                        int width,
                        int height,
                        int bitCount,
                        const std::vector<uint32_t>& palette,
                        const std::vector<std::vector<uint8_t>>& rows,
                        const uint32_t* masks = nullptr) {
    const int stride = ((width * bitCount + 31) / 32) * 4;
    const uint32_t maskBytes = masks ? 12 : 0;
    const uint32_t headerBytes = 14 + 40 + maskBytes + static_cast<uint32_t>(palette.size()) * 4;
    std::vector<uint8_t> file(headerBytes + static_cast<size_t>(stride) * height, 0);
    auto put16 = [&](size_t at, uint16_t v) { std::memcpy(&file[at], &v, 2); };
    auto put32 = [&](size_t at, uint32_t v) { std::memcpy(&file[at], &v, 4); };
    file[0] = 'B';
    file[1] = 'M';
    put32(2, static_cast<uint32_t>(file.size()));
    put32(10, headerBytes);
    put32(14, 40);
    put32(18, static_cast<uint32_t>(width));
    put32(22, static_cast<uint32_t>(height));  // bottom-up
    put16(26, 1);
    put16(28, static_cast<uint16_t>(bitCount));
    put32(30, masks ? 3 : 0);  // BI_BITFIELDS or BI_RGB
    put32(34, static_cast<uint32_t>(stride * height));
    put32(46, static_cast<uint32_t>(palette.size()));
    size_t at = 54;
    if (masks) {
        for (int i = 0; i < 3; ++i, at += 4)
            put32(at, masks[i]);
    }
    for (uint32_t colour : palette) {
        put32(at, colour & 0x00FFFFFF);
        at += 4;
    }
    for (int y = 0; y < height; ++y) {
        const std::vector<uint8_t>& row = rows[static_cast<size_t>(y)];
        std::memcpy(&file[headerBytes + static_cast<size_t>(stride) * (height - 1 - y)], row.data(), row.size());
    }
    return WriteWholeFile(path, file.data(), file.size());
}

inline std::vector<uint8_t> ReadPixels(const std::wstring& path, Gdiplus::PixelFormat format, int bytesPerPixel) {
    std::vector<uint8_t> pixels;
    GpBitmap* raw = nullptr;
    if (gdip::GdipCreateBitmapFromFile(path.c_str(), &raw) != Gdiplus::Ok)
        return pixels;
    ScopedGpBitmap bitmap(raw);
    ScopedBitmapLock lock(raw, Gdiplus::ImageLockModeRead, format);
    if (!lock.ok())
        return pixels;
    const size_t rowBytes = static_cast<size_t>(lock.Width()) * bytesPerPixel;
    for (UINT y = 0; y < lock.Height(); ++y)
        pixels.insert(pixels.end(), lock.Row(y), lock.Row(y) + rowBytes);
    return pixels;
}
