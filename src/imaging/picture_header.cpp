#include "imaging/picture_header.h"

#include <cstdint>

namespace {

uint32_t Le16(const uint8_t* p) {
    return p[0] | (p[1] << 8);
}
uint32_t Le32(const uint8_t* p) {
    return p[0] | (p[1] << 8) | (p[2] << 16) | (static_cast<uint32_t>(p[3]) << 24);
}
uint32_t Be16(const uint8_t* p) {
    return (p[0] << 8) | p[1];
}
uint32_t Be32(const uint8_t* p) {
    return (static_cast<uint32_t>(p[0]) << 24) | (p[1] << 16) | (p[2] << 8) | p[3];
}

[[nodiscard]] bool ReadExactly(const HeaderReader& read, uint64_t offset, uint8_t* out, size_t size) {
    return read(offset, out, size) == size;
}

[[nodiscard]] bool Bmp(const HeaderReader& read, ClaimedSize& size) {
    uint8_t info[26];
    if (!ReadExactly(read, 14, info, sizeof info))
        return false;
    const uint32_t headerSize = Le32(info);
    if (headerSize == 12) {  // OS/2 core header: 16-bit sizes
        size.width = Le16(info + 4);
        size.height = Le16(info + 6);
    } else {
        // Signed: a negative height means rows top-down.
        const int64_t w = static_cast<int32_t>(Le32(info + 4));
        const int64_t h = static_cast<int32_t>(Le32(info + 8));
        size.width = static_cast<uint64_t>(w < 0 ? -w : w);
        size.height = static_cast<uint64_t>(h < 0 ? -h : h);
    }
    size.bytesPerPixel = 4;
    return true;
}

[[nodiscard]] bool Png(const uint8_t* h, ClaimedSize& size) {
    if (Be32(h + 8) != 13 || h[12] != 'I' || h[13] != 'H' || h[14] != 'D' || h[15] != 'R')
        return false;
    size.width = Be32(h + 16);
    size.height = Be32(h + 20);
    size.bytesPerPixel = h[24] == 16 ? 8 : 4;
    return true;
}

[[nodiscard]] bool Gif(const uint8_t* h, const HeaderReader& read, ClaimedSize& size) {
    uint64_t w = Le16(h + 6), hh = Le16(h + 8);
    // The first image descriptor, after the global table and any extensions.
    uint64_t at = 13;
    if (h[10] & 0x80)
        at += 3ull << ((h[10] & 7) + 1);
    for (int guard = 0; guard < 4096; ++guard) {
        uint8_t b[10];
        if (!ReadExactly(read, at, b, 1))
            break;
        if (b[0] == 0x2C) {
            if (ReadExactly(read, at, b, 10)) {
                w = w > Le16(b + 5) ? w : Le16(b + 5);
                hh = hh > Le16(b + 7) ? hh : Le16(b + 7);
            }
            break;
        }
        if (b[0] != 0x21 || !ReadExactly(read, at, b, 3))
            break;
        at += 2;  // introducer and label, then sub-blocks until a zero length
        for (int blocks = 0; blocks < 65536; ++blocks) {
            uint8_t n;
            if (!ReadExactly(read, at, &n, 1))
                return false;
            at += 1 + n;
            if (n == 0)
                break;
        }
    }
    size.width = w;
    size.height = hh;
    size.bytesPerPixel = 4;
    return true;
}

[[nodiscard]] bool Tiff(const uint8_t* h, const HeaderReader& read, ClaimedSize& size) {
    const bool little = h[0] == 'I';
    auto u16 = [&](const uint8_t* p) { return little ? Le16(p) : Be16(p); };
    auto u32 = [&](const uint8_t* p) { return little ? Le32(p) : Be32(p); };
    const uint32_t directory = u32(h + 4);
    uint8_t countBytes[2];
    if (!ReadExactly(read, directory, countBytes, 2))
        return false;
    const uint32_t count = u16(countBytes);
    bool haveWidth = false, haveHeight = false;
    size.bytesPerPixel = 4;
    for (uint32_t i = 0; i < count && i < 4096; ++i) {
        uint8_t e[12];
        if (!ReadExactly(read, directory + 2ull + 12ull * i, e, 12))
            return false;
        const uint32_t tag = u16(e), type = u16(e + 2);
        const uint32_t value = type == 3 ? u16(e + 8) : u32(e + 8);
        if (tag == 256) {
            size.width = value;
            haveWidth = true;
        } else if (tag == 257) {
            size.height = value;
            haveHeight = true;
        } else if (tag == 258 && type == 3 && u32(e + 4) <= 2 && u16(e + 8) > 8) {
            size.bytesPerPixel = 8;
        } else if (tag == 258 && type == 3 && u32(e + 4) > 2) {
            uint8_t bits[2];
            if (ReadExactly(read, u32(e + 8), bits, 2) && u16(bits) > 8)
                size.bytesPerPixel = 8;
        }
    }
    return haveWidth && haveHeight;
}

[[nodiscard]] bool Jpeg(const HeaderReader& read, ClaimedSize& size) {
    uint64_t at = 2;
    for (int guard = 0; guard < 4096; ++guard) {
        uint8_t m[9];
        if (!ReadExactly(read, at, m, 4))
            return false;
        if (m[0] != 0xFF)
            return false;
        if (m[1] == 0xFF) {  // fill byte
            ++at;
            continue;
        }
        const uint8_t marker = m[1];
        if (marker == 0xD8 || (marker >= 0xD0 && marker <= 0xD7) || marker == 0x01) {
            at += 2;
            continue;
        }
        if (marker == 0xD9 || marker == 0xDA)
            return false;  // no frame header before the scan
        const bool frame = marker >= 0xC0 && marker <= 0xCF && marker != 0xC4 && marker != 0xC8 && marker != 0xCC;
        if (frame) {
            if (!ReadExactly(read, at, m, 9))
                return false;
            size.height = Be16(m + 5);
            size.width = Be16(m + 7);
            size.bytesPerPixel = 4;
            return true;
        }
        at += 2 + Be16(m + 2);
    }
    return false;
}

}  // namespace

bool ReadClaimedSize(const HeaderReader& read, ClaimedSize& size) {
    uint8_t h[26] = {};
    const size_t n = read(0, h, sizeof h);
    size = ClaimedSize{};
    if (n >= 2 && h[0] == 'B' && h[1] == 'M')
        return Bmp(read, size);
    if (n >= 26 && h[0] == 0x89 && h[1] == 'P' && h[2] == 'N' && h[3] == 'G')
        return Png(h, size);
    if (n >= 13 && h[0] == 'G' && h[1] == 'I' && h[2] == 'F')
        return Gif(h, read, size);
    if (n >= 8 && ((h[0] == 'I' && h[1] == 'I' && h[2] == 42 && h[3] == 0) ||
                   (h[0] == 'M' && h[1] == 'M' && h[2] == 0 && h[3] == 42)))
        return Tiff(h, read, size);
    if (n >= 4 && h[0] == 0xFF && h[1] == 0xD8)
        return Jpeg(read, size);
    return false;
}

bool ClaimedSizeTooLarge(const ClaimedSize& size) {
    if (size.width == 0 || size.height == 0)
        return false;  // no picture at all: the decoder refuses it
    if (size.width > INT32_MAX || size.height > INT32_MAX)
        return true;
    const uint64_t rowBytes = (size.width * size.bytesPerPixel + 3) & ~uint64_t{3};
    return rowBytes * size.height > static_cast<uint64_t>(INT32_MAX);
}
