// The image document: display surface, GDI+ start-up and loading of picture files.
#include "imaging/document_win.h"

#include <commdlg.h>

#include <algorithm>
#include <cstring>
#include <cwchar>
#include <vector>

#include "base/alloc.h"
#include "base/prompt_win.h"
#include "imaging/gdiplus_win.h"
#include "imaging/metadata_copy_win.h"
#include "imaging/orientation.h"
#include "imaging/picture_header.h"
#include "imaging/pixel_rows.h"
#include "settings/string_table_win.h"

wchar_t sourceFilePath[kPathChars];

namespace {

ULONG_PTR gGdiplusToken = 0;  // released explicitly, last at process end: never by a static destructor

void CopyPath(wchar_t* dst, const wchar_t* src) {
    std::wcsncpy(dst, src, kPathChars - 1);
    dst[kPathChars - 1] = L'\0';
}

void Tell(const ImageDocument& document, int key) {
    AskMessageBox(document.ownerWindow, Str(key), nullptr, MB_OK);
}

enum class Decode { Done, Refused, TooLarge, Silent };

// GDI+ answers OutOfMemory for some malformed files too: a picture counts as too large only when a
// block of its size really cannot be had.
bool CanHold(uint64_t width, uint64_t height, uint32_t bytesPerPixel) {
    if (width > SIZE_MAX || height > SIZE_MAX)
        return false;
    void* block = AllocBytes(CheckedMul(static_cast<size_t>(width), static_cast<size_t>(height), bytesPerPixel));
    if (!block)
        return false;
    FreeBytes(block);
    return true;
}

Decode OutOfMemoryVerdict(uint64_t width, uint64_t height, uint32_t bytesPerPixel) {
    return CanHold(width, height, bytesPerPixel) ? Decode::Silent : Decode::TooLarge;
}

// The 8-bit indexed bitmap as a new 24-bit bitmap; grey is cleared by any used colour that is not grey.
Decode ExpandIndexed(GpBitmap* indexed, ScopedGpBitmap& expanded, bool& grey) {
    UINT width = 0, height = 0;
    gdip::GdipGetImageWidth(indexed, &width);
    gdip::GdipGetImageHeight(indexed, &height);

    INT paletteBytes = 0;
    std::vector<uint32_t> palette;
    if (gdip::GdipGetImagePaletteSize(indexed, &paletteBytes) == Gdiplus::Ok &&
        paletteBytes >= static_cast<INT>(sizeof(Gdiplus::ColorPalette))) {
        std::vector<uint8_t> block(static_cast<size_t>(paletteBytes));
        auto* colours = reinterpret_cast<Gdiplus::ColorPalette*>(block.data());
        if (gdip::GdipGetImagePalette(indexed, colours, paletteBytes) == Gdiplus::Ok) {
            // Never trust the count beyond the block that holds the entries.
            size_t room = (block.size() - offsetof(Gdiplus::ColorPalette, Entries)) / sizeof(Gdiplus::ARGB);
            size_t count = colours->Count < room ? colours->Count : room;
            palette.assign(colours->Entries, colours->Entries + count);
        }
    }

    GpBitmap* raw = nullptr;
    GpStatus status = gdip::GdipCreateBitmapFromScan0(static_cast<INT>(width), static_cast<INT>(height), 0,
                                                      PixelFormat24bppRGB, nullptr, &raw);
    expanded.reset(raw);
    if (status != Gdiplus::Ok || !raw)
        return status == Gdiplus::OutOfMemory ? Decode::TooLarge : Decode::Silent;

    ScopedBitmapLock from(indexed, Gdiplus::ImageLockModeRead, PixelFormat8bppIndexed);
    ScopedBitmapLock to(raw, Gdiplus::ImageLockModeWrite, PixelFormat24bppRGB);
    if (!from.ok() || !to.ok())
        return Decode::Silent;
    grey = true;
    for (UINT y = 0; y < height; ++y) {
        ExpandIndexedRow(from.Row(y), palette.data(), static_cast<uint32_t>(palette.size()), to.Row(y),
                         static_cast<int32_t>(width), grey);
    }
    return Decode::Done;
}

// The bitmap's pixels into a new buffer in the program's layout.
Decode ConvertToBuffer(GpBitmap* bitmap, uint32_t format, bool grey, SQmPicBuf& buffer) {
    BufferLayout layout = LayoutOfFormat(format, grey);
    if (!layout.components)
        return Decode::Silent;
    UINT width = 0, height = 0;
    gdip::GdipGetImageWidth(bitmap, &width);
    gdip::GdipGetImageHeight(bitmap, &height);
    size_t bytes = CheckedMul(width, height, static_cast<size_t>(layout.components * layout.bitsPerComponent / 8));
    if (width == 0 || height == 0 || width > INT32_MAX || height > INT32_MAX || bytes > INT32_MAX) {
        return width == 0 || height == 0 ? Decode::Silent : Decode::TooLarge;
    }
    if (CQmPicBufAPI::ReinitHeap(buffer, static_cast<int32_t>(width), static_cast<int32_t>(height), layout.components,
                                 layout.bitsPerComponent) != 0 ||
        !buffer.data) {
        return Decode::TooLarge;
    }
    ScopedBitmapLock lock(bitmap, Gdiplus::ImageLockModeRead, static_cast<Gdiplus::PixelFormat>(format));
    if (!lock.ok())
        return lock.status() == Gdiplus::OutOfMemory ? OutOfMemoryVerdict(width, height, 4) : Decode::Silent;
    const size_t rowBytes = static_cast<size_t>(buffer.stride);
    for (UINT y = 0; y < height; ++y) {
        if (!ConvertRowToBuffer(format, grey, lock.Row(y), buffer.data + y * rowBytes, static_cast<int32_t>(width)))
            return Decode::Silent;  // the layout was checked above: not reached
    }
    return Decode::Done;
}

enum class FileRead { Read, Unreadable, TooLarge };

// The whole file into memory behind a stream at its start, and the size its header claims. The file is
// closed again before anything is decoded, so nothing of the program holds it open afterwards.
FileRead ReadLoadedFile(const wchar_t* path,
                        ScopedStream& stream,
                        ClaimedSize& claim,
                        bool& claimKnown,
                        int& orientation) {
    claimKnown = false;
    orientation = 1;
    ScopedFile file(CreateFileW(path, GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                                OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr));
    if (!file)
        return FileRead::Unreadable;
    LARGE_INTEGER size{};
    if (!GetFileSizeEx(file.get(), &size) || size.QuadPart < 0)
        return FileRead::Unreadable;
    const uint64_t bytes = static_cast<uint64_t>(size.QuadPart);
    const uint64_t limit = AllocationLimit();
    HGLOBAL memory = bytes < SIZE_MAX / 2 && (limit == 0 || bytes <= limit)
                         ? GlobalAlloc(GMEM_MOVEABLE, static_cast<SIZE_T>(bytes ? bytes : 1))
                         : nullptr;
    if (!memory)
        return FileRead::TooLarge;
    auto* data = static_cast<uint8_t*>(GlobalLock(memory));
    uint64_t done = 0;
    while (data && done < bytes) {
        const DWORD chunk = static_cast<DWORD>(bytes - done < (1u << 30) ? bytes - done : (1u << 30));
        DWORD got = 0;
        if (!ReadFile(file.get(), data + done, chunk, &got, nullptr) || got == 0)
            break;
        done += got;
    }
    file.reset();
    if (data && done == bytes) {
        HeaderReader read = [data, bytes](uint64_t offset, uint8_t* out, size_t count) -> size_t {
            if (offset >= bytes)
                return 0;
            const size_t n = static_cast<size_t>(bytes - offset < count ? bytes - offset : count);
            std::memcpy(out, data + offset, n);
            return n;
        };
        claimKnown = ReadClaimedSize(read, claim);
        orientation = ReadOrientation(data, static_cast<size_t>(bytes));
    }
    if (data)
        GlobalUnlock(memory);
    IStream* raw = nullptr;
    if (!data || done != bytes || CreateStreamOnHGlobal(memory, TRUE, &raw) != S_OK || !raw) {
        GlobalFree(memory);
        return FileRead::Unreadable;
    }
    stream.reset(raw);  // the stream frees the memory
    ULARGE_INTEGER exact{};
    exact.QuadPart = bytes;  // the block may be larger than asked for
    stream->SetSize(exact);
    return FileRead::Read;
}

}  // namespace

bool StartGdiplus() {
    if (gGdiplusToken)
        return true;
    Gdiplus::GdiplusStartupInput input;  // version 1, no debug callback, nothing suppressed
    return Gdiplus::GdiplusStartup(&gGdiplusToken, &input, nullptr) == Gdiplus::Ok;
}

void ShutdownGdiplus() {
    if (!gGdiplusToken)
        return;
    ScopedGdiplusToken(std::exchange(gGdiplusToken, 0)).reset();
}

namespace {

// A grey top-down 24-bit section of width x height; null when it cannot be had.
ScopedBitmap MakeSurfaceSection(HDC dc, int width, int height, uint8_t*& bits, int32_t& stride) {
    BITMAPINFO info{};
    info.bmiHeader.biSize = sizeof(BITMAPINFOHEADER);
    info.bmiHeader.biWidth = width;
    info.bmiHeader.biHeight = -height;  // rows top-down
    info.bmiHeader.biPlanes = 1;
    info.bmiHeader.biBitCount = 24;
    info.bmiHeader.biCompression = BI_RGB;
    void* raw = nullptr;
    ScopedBitmap section(CreateDIBSection(dc, &info, DIB_RGB_COLORS, &raw, nullptr, 0));
    bits = static_cast<uint8_t*>(raw);
    stride = (width * 3 + 3) & ~3;  // rows of a section end on a 4-byte boundary
    if (section && bits)
        std::memset(bits, kSurfaceGrey, static_cast<size_t>(stride) * static_cast<size_t>(height));
    return section;
}

void ClipToSurface(ImageDocument& document) {
    const ScopedRegion clip(CreateRectRgn(0, 0, document.displaySurface.width, document.displaySurface.height));
    SelectClipRgn(document.memoryDC.get(), clip.get());  // the DC keeps its own copy
}

}  // namespace

void InitDocument(ImageDocument& document, HWND ownerWindow) {
    document.ownerWindow = ownerWindow;
    document.displaySurface =
        SQmPicBuf{nullptr, kSurfaceWidth * kSurfaceHeight * 3, kSurfaceWidth * 3, kSurfaceWidth, kSurfaceHeight, 3, 8};
    document.memoryDC.reset(CreateCompatibleDC(nullptr));

    uint8_t* bits = nullptr;
    int32_t stride = 0;
    document.surfaceBitmap = MakeSurfaceSection(document.memoryDC.get(), kSurfaceWidth, kSurfaceHeight, bits, stride);
    document.displaySurface.data = bits;
    if (document.surfaceBitmap)
        document.surfaceSelected = ScopedSelection(document.memoryDC.get(), document.surfaceBitmap.get());
    ClipToSurface(document);

    CQmPicBufAPI::Init(document.sourceBuffer);
    CQmPicBufAPI::Init(document.resultBuffer);
    // Without GDI+ every load is refused with a message; the window still comes up.
    static_cast<void>(StartGdiplus());
    document.decodedBitmap.reset();
}

bool EnsureDisplaySurface(ImageDocument& document, int width, int height) {
    SQmPicBuf& surface = document.displaySurface;
    if (!document.memoryDC || !surface.data)
        return false;
    if (width <= surface.width && height <= surface.height)
        return true;
    const int w = width > surface.width ? width : surface.width;
    const int h = height > surface.height ? height : surface.height;
    if (static_cast<int64_t>(w) * 3 * h > INT32_MAX)
        return false;
    uint8_t* bits = nullptr;
    int32_t stride = 0;
    ScopedBitmap section = MakeSurfaceSection(document.memoryDC.get(), w, h, bits, stride);
    if (!section || !bits)
        return false;
    for (int y = 0; y < surface.height; ++y)
        std::memcpy(bits + static_cast<size_t>(y) * stride, surface.data + static_cast<size_t>(y) * surface.stride,
                    static_cast<size_t>(surface.width) * 3);
    // The original bitmap stays the one to select back at the end; the old section simply goes.
    SelectObject(document.memoryDC.get(), section.get());
    document.surfaceBitmap = std::move(section);
    surface = SQmPicBuf{bits, stride * h, stride, w, h, 3, 8};
    ClipToSurface(document);
    return true;
}

namespace {

constexpr int kStripRows = 256;

// The strip section at least `width` pixels wide; false when it cannot be had.
bool EnsurePaintStrip(ImageDocument& document, int width) {
    if (document.stripBits && document.stripWidth >= width)
        return true;
    document.stripSelected.Restore();
    document.stripBitmap.reset();
    document.stripBits = nullptr;
    document.stripWidth = 0;
    if (!document.stripDC)
        document.stripDC.reset(CreateCompatibleDC(nullptr));
    if (!document.stripDC)
        return false;
    BITMAPINFO info{};
    info.bmiHeader.biSize = sizeof(BITMAPINFOHEADER);
    info.bmiHeader.biWidth = width;
    info.bmiHeader.biHeight = -kStripRows;
    info.bmiHeader.biPlanes = 1;
    info.bmiHeader.biBitCount = 32;
    info.bmiHeader.biCompression = BI_RGB;
    void* raw = nullptr;
    ScopedBitmap section(CreateDIBSection(document.stripDC.get(), &info, DIB_RGB_COLORS, &raw, nullptr, 0));
    if (!section || !raw)
        return false;
    document.stripBitmap = std::move(section);
    document.stripSelected = ScopedSelection(document.stripDC.get(), document.stripBitmap.get());
    document.stripBits = static_cast<uint32_t*>(raw);
    document.stripWidth = width;
    return true;
}

}  // namespace

void PaintDisplaySurface(ImageDocument& document, HDC dc, const RECT& r) {
    const SQmPicBuf& surface = document.displaySurface;
    const int left = std::max<int>(r.left, 0), top = std::max<int>(r.top, 0);
    const int right = std::min<int>(r.right, surface.width), bottom = std::min<int>(r.bottom, surface.height);
    if (!document.memoryDC || !surface.data || right <= left || bottom <= top)
        return;
    const int w = right - left;
    if (!EnsurePaintStrip(document, surface.width)) {
        BitBlt(dc, left, top, w, bottom - top, document.memoryDC.get(), left, top, SRCCOPY);
        return;
    }
    for (int y0 = top; y0 < bottom; y0 += kStripRows) {
        const int rows = std::min(kStripRows, bottom - y0);
        GdiFlush();  // the previous strip's copy is done with the bits
        for (int y = 0; y < rows; y++) {
            const uint8_t* src = surface.data + static_cast<size_t>(y0 + y) * static_cast<size_t>(surface.stride) +
                                 3 * static_cast<size_t>(left);
            Bgr24ToBgrx32Row(src, document.stripBits + static_cast<size_t>(y) * document.stripWidth, w);
        }
        BitBlt(dc, left, y0, w, rows, document.stripDC.get(), 0, 0, SRCCOPY);
    }
}

void ReleaseDisplaySurface(ImageDocument& document) {
    document.stripSelected.Restore();
    document.stripBitmap.reset();
    document.stripDC.reset();
    document.stripBits = nullptr;
    document.stripWidth = 0;
    document.surfaceSelected.Restore();
    document.surfaceBitmap.reset();
    document.memoryDC.reset();
    document.displaySurface.data = nullptr;
}

void ReleaseDecodedBitmap(ImageDocument& document) {
    document.decodedBitmap.reset();
    document.loadedFile.reset();
    document.orientation = 1;  // after the bitmap that reads from it
}

Status DecodePictureFile(const wchar_t* path, DecodedFile& decoded, int& messageKey) {
    auto Refuse = [&messageKey](int key) {
        messageKey = key;
        return Status(key == kStrPictureTooLarge ? StatusCode::kOutOfMemory : StatusCode::kInvalid);
    };
    ScopedStream file;
    ClaimedSize claim;
    bool claimKnown = false;
    switch (ReadLoadedFile(path, file, claim, claimKnown, decoded.orientation)) {
        case FileRead::Read:
            break;
        case FileRead::TooLarge:
            return Refuse(kStrPictureTooLarge);
        case FileRead::Unreadable:
            return Refuse(kStrFormatNotSupported);
    }
    // A header that claims a size no bitmap could hold is refused before the decoder tries to allocate
    // it (a decoder may otherwise spend minutes or the whole memory on a few bytes of file).
    if (claimKnown && ClaimedSizeTooLarge(claim))
        return Refuse(kStrPictureTooLarge);
    GpBitmap* raw = nullptr;
    const GpStatus status = gdip::GdipCreateBitmapFromStream(file.get(), &raw);
    ScopedGpBitmap bitmap(raw);
    if (status != Gdiplus::Ok) {
        bitmap.reset();  // whatever a failed decode left
        if (status == Gdiplus::OutOfMemory && claimKnown && !CanHold(claim.width, claim.height, claim.bytesPerPixel))
            return Refuse(kStrPictureTooLarge);
    }
    Gdiplus::PixelFormat format = 0;
    if (bitmap)
        gdip::GdipGetImagePixelFormat(bitmap.get(), &format);
    if (IsRefusedFormat(format))
        return Refuse(kStrFormatNotSupported);

    bool grey = false;
    if (format == PixelFormat8bppIndexed) {
        ScopedGpBitmap expanded;
        Decode expansion = ExpandIndexed(bitmap.get(), expanded, grey);
        if (expansion != Decode::Done) {
            // Every refusal is said, so a file that half-decodes never looks like a load that did nothing.
            return Refuse(expansion == Decode::TooLarge ? kStrPictureTooLarge : kStrFormatNotSupported);
        }
        bitmap = std::move(expanded);  // saved later as 24-bit colour
        format = PixelFormat24bppRGB;
    }

    const Decode conversion = ConvertToBuffer(bitmap.get(), format, grey, decoded.picture.buf());
    if (conversion != Decode::Done)
        return Refuse(conversion == Decode::TooLarge ? kStrPictureTooLarge : kStrFormatNotSupported);
    decoded.file = std::move(file);
    decoded.bitmap = std::move(bitmap);
    return Status::Ok();
}

uint8_t LoadImageFile(ImageDocument& document, wchar_t* path) {
    if (!path)
        return 1;
    if (!path[0]) {
        static constexpr wchar_t kFilter[] = L"*.bmp;*.jpg;*.gif;*.tif;*.png\0*.bmp;*.jpg;*.gif;*.tif;*.png\0";
        wchar_t chosen[kPathChars] = {};
        OPENFILENAMEW ofn{};
        ofn.lStructSize = sizeof(ofn);
        ofn.hwndOwner = document.ownerWindow;
        ofn.lpstrFilter = kFilter;
        ofn.nFilterIndex = 1;
        ofn.lpstrFile = chosen;
        ofn.nMaxFile = kPathChars;
        ofn.lpstrTitle = Str(kStrLoadImage);
        ofn.Flags = OFN_EXPLORER | OFN_HIDEREADONLY | OFN_NOREADONLYRETURN | OFN_OVERWRITEPROMPT;
        if (!AskOpenFileName(ofn))
            return 1;
        CopyPath(path, chosen);
    }

    // Decode into temporaries: a refused file leaves the loaded picture, its bitmap and path as they were.
    DecodedFile decoded;
    int messageKey = kStrFormatNotSupported;
    Status status = StatusCode::kInvalid;
    // A big photo takes seconds to decode: the window keeps answering meanwhile.
    RunKeepingWindowAlive([&] { status = DecodePictureFile(path, decoded, messageKey); });
    if (!status.ok()) {
        Tell(document, messageKey);
        return 1;
    }
    // The picture's block passes to the document's record.
    CQmPicBufAPI::DoneHeap(document.sourceBuffer);
    document.sourceBuffer = decoded.picture.buf();
    CQmPicBufAPI::Init(decoded.picture.buf());
    ReleaseDecodedBitmap(document);
    document.loadedFile = std::move(decoded.file);
    document.decodedBitmap = std::move(decoded.bitmap);
    document.orientation = decoded.orientation;
    CopyPath(sourceFilePath, path);
    return 0;
}
