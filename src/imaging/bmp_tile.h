// The program's own tile files: uncompressed 24-bit BMPs, a 54-byte header and bottom-up rows padded to
// 4 bytes, bytes in buffer order (blue, green, red). Written and read with plain file I/O so that the
// Fusion dialog can take a crop of each tile without decoding the whole file.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <filesystem>
#include <functional>

#include "imaging/pic_buf.h"

constexpr size_t kBmpTileHeaderBytes = 54;

// Bytes of one stored row (width x 3 rounded up to a multiple of 4).
uint64_t BmpTileRowBytes(int32_t width);

// The header of a width x height tile (96 dpi, bottom-up).
std::array<uint8_t, kBmpTileHeaderBytes> MakeBmpTileHeader(int32_t width, int32_t height);

// Receives the file's bytes in order, in chunks of up to about a megabyte; false stops the writing.
using BmpTileSink = std::function<bool(const uint8_t* bytes, size_t count)>;

// The whole file of a 3-component 8-bit picture, header first. False when the picture is not one or
// the sink refused a chunk.
[[nodiscard]] bool WriteBmpTile(const SQmPicBuf& picture, const BmpTileSink& sink);

// The same into a plain file (created or truncated). False when any write or the close failed.
[[nodiscard]] bool WriteBmpTileFile(const std::filesystem::path& path, const SQmPicBuf& picture);

struct BmpTileInfo {
    int32_t width = 0;
    int32_t height = 0;
    uint64_t pixelOffset = 0;  // first stored row (the bottom one)
    uint64_t rowBytes = 0;
};

// Accepts only the tile layout: "BM", the stated file size equal to fileSize, a 40-byte info header,
// one plane, 24 bits, no compression, no colour table, positive width and height whose 3-component
// buffer fits an int32 byte count, and pixel rows that lie inside the file.
[[nodiscard]] bool ParseBmpTileHeader(const uint8_t* bytes, size_t count, uint64_t fileSize, BmpTileInfo& info);

// An open tile file from which rectangles are read row by row.
class BmpTileReader {
public:
    BmpTileReader() = default;
    ~BmpTileReader();
    BmpTileReader(const BmpTileReader&) = delete;
    BmpTileReader& operator=(const BmpTileReader&) = delete;

    // False when the file cannot be opened or is not a tile this reader accepts.
    [[nodiscard]] bool Open(const std::filesystem::path& path);
    void Close();
    const BmpTileInfo& Info() const { return info_; }

    // rect clipped to the picture (possibly empty).
    CQmRect<int> Clamp(const CQmRect<int>& rect) const;

    // Reads Clamp(rect) into dst at (0, 0). dst is 3-component 8-bit and exactly the clipped size.
    // False on a read error or an unfit dst (dst may then hold part of the rows).
    [[nodiscard]] bool ReadRect(const CQmRect<int>& rect, SQmPicBuf& dst);

private:
    std::FILE* file_ = nullptr;
    BmpTileInfo info_{};
};
