#include "imaging/bmp_tile.h"

#include <algorithm>
#include <cstring>
#include <limits>
#include <new>
#include <vector>

#if defined(__unix__) || defined(__APPLE__)
#include <unistd.h>
#endif

namespace {

constexpr uint32_t kFileHeaderBytes = 14;
constexpr uint32_t kInfoHeaderBytes = 40;
constexpr int32_t kPixelsPerMetre = 3780;  // 96 dpi
constexpr size_t kChunkBytes = size_t{1} << 20;

void Put16(uint8_t* p, uint32_t v) {
    p[0] = static_cast<uint8_t>(v);
    p[1] = static_cast<uint8_t>(v >> 8);
}

void Put32(uint8_t* p, uint32_t v) {
    Put16(p, v);
    Put16(p + 2, v >> 16);
}

uint32_t Get16(const uint8_t* p) {
    return p[0] | (uint32_t{p[1]} << 8);
}
uint32_t Get32(const uint8_t* p) {
    return Get16(p) | (Get16(p + 2) << 16);
}

bool IsColour8Picture(const SQmPicBuf& p) {
    return p.data && p.components == 3 && p.bitsPerComponent == 8 && p.width > 0 && p.height > 0 &&
           p.stride >= p.width * 3;
}

// The 3-component buffer of a width x height picture fits the int32 byte count of SQmPicBuf.
bool FitsPictureBuffer(int64_t width, int64_t height) {
    return width > 0 && height > 0 && width * 3 <= std::numeric_limits<int32_t>::max() / height;
}

[[nodiscard]] std::FILE* OpenFile(const std::filesystem::path& path, bool write) {
#ifdef _WIN32
    return _wfopen(path.c_str(), write ? L"wb" : L"rb");
#else
    return std::fopen(path.c_str(), write ? "wb" : "rb");
#endif
}

[[nodiscard]] bool SeekTo(std::FILE* f, uint64_t offset) {
#ifdef _WIN32
    return _fseeki64(f, static_cast<int64_t>(offset), SEEK_SET) == 0;
#else
    return fseeko(f, static_cast<off_t>(offset), SEEK_SET) == 0;
#endif
}

// count bytes at offset; one system call where the platform has a positioned read.
[[nodiscard]] bool ReadAt(std::FILE* f, uint64_t offset, uint8_t* out, size_t count) {
#if defined(__unix__) || defined(__APPLE__)
    const int fd = fileno(f);
    while (count > 0) {
        const ssize_t n = pread(fd, out, count, static_cast<off_t>(offset));
        if (n <= 0)
            return false;
        out += n;
        offset += static_cast<uint64_t>(n);
        count -= static_cast<size_t>(n);
    }
    return true;
#else
    return SeekTo(f, offset) && std::fread(out, 1, count, f) == count;
#endif
}

[[nodiscard]] bool FileSize(std::FILE* f, uint64_t& size) {
#ifdef _WIN32
    if (_fseeki64(f, 0, SEEK_END) != 0)
        return false;
    const int64_t end = _ftelli64(f);
#else
    if (fseeko(f, 0, SEEK_END) != 0)
        return false;
    const int64_t end = ftello(f);
#endif
    if (end < 0)
        return false;
    size = static_cast<uint64_t>(end);
    return SeekTo(f, 0);
}

}  // namespace

uint64_t BmpTileRowBytes(int32_t width) {
    return (static_cast<uint64_t>(width) * 3 + 3) & ~uint64_t{3};
}

std::array<uint8_t, kBmpTileHeaderBytes> MakeBmpTileHeader(int32_t width, int32_t height) {
    std::array<uint8_t, kBmpTileHeaderBytes> h{};
    const uint64_t image = BmpTileRowBytes(width) * static_cast<uint64_t>(height);
    h[0] = 'B';
    h[1] = 'M';
    Put32(&h[2], static_cast<uint32_t>(kBmpTileHeaderBytes + image));
    Put32(&h[10], static_cast<uint32_t>(kBmpTileHeaderBytes));
    Put32(&h[14], kInfoHeaderBytes);
    Put32(&h[18], static_cast<uint32_t>(width));
    Put32(&h[22], static_cast<uint32_t>(height));
    Put16(&h[26], 1);
    Put16(&h[28], 24);
    Put32(&h[30], 0);  // no compression
    Put32(&h[34], static_cast<uint32_t>(image));
    Put32(&h[38], kPixelsPerMetre);
    Put32(&h[42], kPixelsPerMetre);
    return h;  // no colour table
}

bool WriteBmpTile(const SQmPicBuf& picture, const BmpTileSink& sink) {
    if (!IsColour8Picture(picture) || !FitsPictureBuffer(picture.width, picture.height))
        return false;
    const auto header = MakeBmpTileHeader(picture.width, picture.height);
    if (!sink(header.data(), header.size()))
        return false;
    const size_t rowBytes = static_cast<size_t>(BmpTileRowBytes(picture.width));
    const size_t pixelBytes = static_cast<size_t>(picture.width) * 3;
    const int32_t rowsPerChunk = static_cast<int32_t>(std::max<size_t>(1, kChunkBytes / rowBytes));
    std::vector<uint8_t> chunk;
    try {
        chunk.assign(rowBytes * static_cast<size_t>(std::min(rowsPerChunk, picture.height)), 0);
    } catch (const std::bad_alloc&) {
        return false;  // callers run on worker threads: no exception leaves here
    }
    // Stored bottom row first.
    for (int32_t done = 0; done < picture.height;) {
        const int32_t rows = std::min(rowsPerChunk, picture.height - done);
        for (int32_t r = 0; r < rows; ++r) {
            const int32_t y = picture.height - 1 - (done + r);
            std::memcpy(chunk.data() + rowBytes * r, picture.data + static_cast<size_t>(y) * picture.stride,
                        pixelBytes);
        }
        if (!sink(chunk.data(), rowBytes * rows))
            return false;
        done += rows;
    }
    return true;
}

bool WriteBmpTileFile(const std::filesystem::path& path, const SQmPicBuf& picture) {
    std::FILE* f = OpenFile(path, true);
    if (!f)
        return false;
    const bool written = WriteBmpTile(
        picture, [f](const uint8_t* bytes, size_t count) { return std::fwrite(bytes, 1, count, f) == count; });
    const bool closed = std::fclose(f) == 0;
    return written && closed;
}

bool ParseBmpTileHeader(const uint8_t* b, size_t count, uint64_t fileSize, BmpTileInfo& info) {
    if (!b || count < kBmpTileHeaderBytes || b[0] != 'B' || b[1] != 'M')
        return false;
    if (Get32(b + 2) != fileSize)
        return false;
    const uint32_t offset = Get32(b + 10);
    if (Get32(b + 14) != kInfoHeaderBytes || offset != kFileHeaderBytes + kInfoHeaderBytes)
        return false;
    const int32_t width = static_cast<int32_t>(Get32(b + 18));
    const int32_t height = static_cast<int32_t>(Get32(b + 22));  // negative = top-down: not a tile
    if (Get16(b + 26) != 1 || Get16(b + 28) != 24 || Get32(b + 30) != 0)
        return false;
    if (Get32(b + 46) != 0)
        return false;  // colours in a table
    if (!FitsPictureBuffer(width, height))
        return false;
    const uint64_t rowBytes = BmpTileRowBytes(width);
    const uint64_t image = rowBytes * static_cast<uint64_t>(height);
    const uint32_t statedImage = Get32(b + 34);
    if (statedImage != 0 && statedImage != image)
        return false;
    if (offset + image != fileSize)
        return false;
    info = {width, height, offset, rowBytes};
    return true;
}

BmpTileReader::~BmpTileReader() {
    Close();
}

void BmpTileReader::Close() {
    if (file_)
        std::fclose(file_);
    file_ = nullptr;
    info_ = {};
}

bool BmpTileReader::Open(const std::filesystem::path& path) {
    Close();
    file_ = OpenFile(path, false);
    if (!file_)
        return false;
    // Each row is one read straight into the picture; a stdio buffer would only add a copy.
    std::setvbuf(file_, nullptr, _IONBF, 0);
    uint64_t size = 0;
    uint8_t header[kBmpTileHeaderBytes];
    if (!FileSize(file_, size) || size < sizeof header ||
        std::fread(header, 1, sizeof header, file_) != sizeof header ||
        !ParseBmpTileHeader(header, sizeof header, size, info_)) {
        Close();
        return false;
    }
    return true;
}

CQmRect<int> BmpTileReader::Clamp(const CQmRect<int>& rect) const {
    CQmRect<int> r{std::clamp(rect.left, 0, info_.width), std::clamp(rect.top, 0, info_.height),
                   std::clamp(rect.right, 0, info_.width), std::clamp(rect.bottom, 0, info_.height)};
    if (r.right < r.left)
        r.right = r.left;
    if (r.bottom < r.top)
        r.bottom = r.top;
    return r;
}

bool BmpTileReader::ReadRect(const CQmRect<int>& rect, SQmPicBuf& dst) {
    if (!file_)
        return false;
    const CQmRect<int> r = Clamp(rect);
    const int32_t width = r.right - r.left, height = r.bottom - r.top;
    if (dst.components != 3 || dst.bitsPerComponent != 8 || dst.width != width || dst.height != height)
        return false;
    if (width == 0 || height == 0)
        return true;
    if (!dst.data || dst.stride < width * 3 ||
        static_cast<int64_t>(dst.stride) * (height - 1) + int64_t{width} * 3 > dst.size)
        return false;
    const size_t bytes = static_cast<size_t>(width) * 3;
    // Bottom-up storage: walking the picture upwards reads the file forwards.
    for (int32_t y = r.bottom - 1; y >= r.top; --y) {
        const uint64_t stored = static_cast<uint64_t>(info_.height - 1 - y);
        const uint64_t at = info_.pixelOffset + stored * info_.rowBytes + static_cast<uint64_t>(r.left) * 3;
        uint8_t* out = dst.data + static_cast<size_t>(y - r.top) * dst.stride;
        if (!ReadAt(file_, at, out, bytes))
            return false;
    }
    return true;
}
