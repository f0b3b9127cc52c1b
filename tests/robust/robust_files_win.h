// Picture files made byte by byte for the robustness tests: PNG (with correct CRCs), GIF, TIFF and
// BMP writers, a deflate stream of zeros for huge pictures that stay small on disk, and the damage
// (truncation, byte flips, header edits) applied to them.
#pragma once

#include <cstdint>
#include <cstring>
#include <string>
#include <vector>

using Bytes = std::vector<uint8_t>;

namespace robust {

// ---- byte helpers ---------------------------------------------------------------------------

inline void Put16LE(Bytes& b, size_t at, uint32_t v) {
    b[at] = static_cast<uint8_t>(v);
    b[at + 1] = static_cast<uint8_t>(v >> 8);
}
inline void Put32LE(Bytes& b, size_t at, uint32_t v) {
    for (int i = 0; i < 4; ++i)
        b[at + i] = static_cast<uint8_t>(v >> (8 * i));
}
inline void Append16LE(Bytes& b, uint32_t v) {
    b.push_back(static_cast<uint8_t>(v));
    b.push_back(static_cast<uint8_t>(v >> 8));
}
inline void Append32LE(Bytes& b, uint32_t v) {
    for (int i = 0; i < 4; ++i)
        b.push_back(static_cast<uint8_t>(v >> (8 * i)));
}
inline void Append32BE(Bytes& b, uint32_t v) {
    for (int i = 3; i >= 0; --i)
        b.push_back(static_cast<uint8_t>(v >> (8 * i)));
}

// Deterministic generator for the damage (the corpus must be the same on every run).
struct Lcg {
    uint64_t state;
    explicit Lcg(uint64_t seed) : state(seed * 6364136223846793005ull + 1442695040888963407ull) {}
    uint32_t Next() {
        state = state * 6364136223846793005ull + 1442695040888963407ull;
        return static_cast<uint32_t>(state >> 33);
    }
    uint32_t Below(uint32_t n) { return n ? Next() % n : 0; }
};

inline uint32_t Crc32(const uint8_t* data, size_t size, uint32_t crc = 0) {
    static const auto table = [] {
        std::vector<uint32_t> t(256);
        for (uint32_t n = 0; n < 256; ++n) {
            uint32_t c = n;
            for (int k = 0; k < 8; ++k)
                c = (c & 1) ? 0xEDB88320u ^ (c >> 1) : c >> 1;
            t[n] = c;
        }
        return t;
    }();
    crc = ~crc;
    for (size_t i = 0; i < size; ++i)
        crc = table[(crc ^ data[i]) & 0xFF] ^ (crc >> 8);
    return ~crc;
}

inline uint32_t Adler32(const uint8_t* data, size_t size) {
    uint32_t a = 1, b = 0;
    for (size_t i = 0; i < size; ++i) {
        a = (a + data[i]) % 65521;
        b = (b + a) % 65521;
    }
    return (b << 16) | a;
}

// ---- zlib streams -------------------------------------------------------------------------

// Uncompressed deflate blocks.
inline Bytes ZlibStored(const Bytes& data) {
    Bytes out{0x78, 0x01};
    size_t at = 0;
    do {
        const size_t n = std::min<size_t>(65535, data.size() - at);
        out.push_back(at + n == data.size() ? 1 : 0);
        Append16LE(out, static_cast<uint32_t>(n));
        Append16LE(out, static_cast<uint32_t>(~n & 0xFFFF));
        out.insert(out.end(), data.begin() + static_cast<ptrdiff_t>(at), data.begin() + static_cast<ptrdiff_t>(at + n));
        at += n;
    } while (at < data.size());
    const uint32_t adler = Adler32(data.data(), data.size());
    Append32BE(out, adler);
    return out;
}

// LSB-first bit writer for deflate.
struct BitWriter {
    Bytes out;
    uint32_t acc = 0;
    int bits = 0;
    void Put(uint32_t value, int count) {  // value's low bits, first bit first
        for (int i = 0; i < count; ++i) {
            acc |= ((value >> i) & 1u) << bits;
            if (++bits == 8) {
                out.push_back(static_cast<uint8_t>(acc));
                acc = 0;
                bits = 0;
            }
        }
    }
    void PutHuffman(uint32_t code, int count) {  // Huffman codes go most significant bit first
        for (int i = count - 1; i >= 0; --i)
            Put((code >> i) & 1u, 1);
    }
    void Flush() {
        if (bits)
            out.push_back(static_cast<uint8_t>(acc));
        acc = 0;
        bits = 0;
    }
};

// A zlib stream of `count` zero bytes in one fixed-Huffman block: a literal 0, then matches of
// distance 1 (13 bits for every 258 bytes), so 900 MB of zeros take about 5.7 MB.
inline Bytes ZlibZeros(uint64_t count) {
    BitWriter w;
    w.out = {0x78, 0x01};
    w.Put(1, 1);                                     // final block
    w.Put(1, 2);                                     // fixed Huffman
    auto literal0 = [&] { w.PutHuffman(0x30, 8); };  // literal 0..143: 0x30 + v, 8 bits
    auto match = [&](uint32_t length) {
        // Length codes from the fixed table; distance code 0 (distance 1), 5 bits.
        static const uint16_t base[29] = {3,  4,  5,  6,  7,  8,  9,  10, 11,  13,  15,  17,  19,  23, 27,
                                          31, 35, 43, 51, 59, 67, 83, 99, 115, 131, 163, 195, 227, 258};
        static const uint8_t extra[29] = {0, 0, 0, 0, 0, 0, 0, 0, 1, 1, 1, 1, 2, 2, 2,
                                          2, 3, 3, 3, 3, 4, 4, 4, 4, 5, 5, 5, 5, 0};
        int i = 28;
        while (base[i] > length)
            --i;
        const uint32_t symbol = 257 + static_cast<uint32_t>(i);
        if (symbol <= 279)
            w.PutHuffman(symbol - 256, 7);
        else
            w.PutHuffman(0xC0 + (symbol - 280), 8);
        w.Put(length - base[i], extra[i]);
        w.PutHuffman(0, 5);
    };
    if (count > 0) {
        literal0();
        uint64_t left = count - 1;
        while (left >= 258 + 3 || left == 258) {
            match(258);
            left -= 258;
        }
        if (left >= 3) {
            match(static_cast<uint32_t>(left));
            left = 0;
        }
        while (left--)
            literal0();
    }
    w.PutHuffman(0, 7);  // end of block (256)
    w.Flush();
    // Adler-32 of n zeros: a = 1, b = n mod 65521.
    const uint32_t adler = static_cast<uint32_t>((count % 65521) << 16) | 1u;
    Append32BE(w.out, adler);
    return w.out;
}

// ---- PNG ----------------------------------------------------------------------------------

inline void PngChunk(Bytes& png, const char type[4], const Bytes& data) {
    Append32BE(png, static_cast<uint32_t>(data.size()));
    const size_t start = png.size();
    png.insert(png.end(), type, type + 4);
    png.insert(png.end(), data.begin(), data.end());
    Append32BE(png, Crc32(&png[start], png.size() - start));
}

inline Bytes PngHeaderData(uint32_t width, uint32_t height, uint8_t depth, uint8_t colourType) {
    Bytes h;
    Append32BE(h, width);
    Append32BE(h, height);
    h.insert(h.end(), {depth, colourType, 0, 0, 0});
    return h;
}

// A PNG from ready scanlines (each with its filter byte). palette: RGB triples; trns: alpha per entry.
inline Bytes MakePng(uint32_t width,
                     uint32_t height,
                     uint8_t depth,
                     uint8_t colourType,
                     const Bytes& zlibData,
                     const Bytes& palette = {},
                     const Bytes& trns = {}) {
    Bytes png{0x89, 'P', 'N', 'G', '\r', '\n', 0x1A, '\n'};
    PngChunk(png, "IHDR", PngHeaderData(width, height, depth, colourType));
    if (!palette.empty())
        PngChunk(png, "PLTE", palette);
    if (!trns.empty())
        PngChunk(png, "tRNS", trns);
    PngChunk(png, "IDAT", zlibData);
    PngChunk(png, "IEND", {});
    return png;
}

// Scanlines of a width x height picture with `bytesPerPixel` bytes (or bit-packed when bitsPerPixel < 8),
// filter 0, filled with a pattern.
inline Bytes PatternScanlines(uint32_t width, uint32_t height, uint32_t bitsPerPixel, uint32_t seed) {
    const size_t rowBytes = (static_cast<size_t>(width) * bitsPerPixel + 7) / 8;
    Bytes raw;
    raw.reserve((rowBytes + 1) * height);
    for (uint32_t y = 0; y < height; ++y) {
        raw.push_back(static_cast<uint8_t>(y % 5));  // all five filter types appear
        for (size_t i = 0; i < rowBytes; ++i)
            raw.push_back(static_cast<uint8_t>(i * 7 + y * 13 + seed));
    }
    return raw;
}

// ---- GIF ----------------------------------------------------------------------------------

// A GIF with an 8-bit global colour table of `colours` entries (RGB triples) and the given indices,
// LZW-coded without compression (a clear code often enough that codes stay 9 bits wide).
inline Bytes MakeGif(uint16_t screenWidth,
                     uint16_t screenHeight,
                     uint16_t width,
                     uint16_t height,
                     const Bytes& paletteRgb,
                     int tableBits,
                     const Bytes& indices) {
    Bytes gif{'G', 'I', 'F', '8', '9', 'a'};
    Append16LE(gif, screenWidth);
    Append16LE(gif, screenHeight);
    gif.push_back(static_cast<uint8_t>(0x80 | 0x70 | (tableBits - 1)));  // global table, 8-bit colour
    gif.push_back(0);
    gif.push_back(0);
    Bytes table = paletteRgb;
    table.resize(static_cast<size_t>(3) << tableBits, 0);
    gif.insert(gif.end(), table.begin(), table.end());
    gif.push_back(0x2C);
    Append16LE(gif, 0);
    Append16LE(gif, 0);
    Append16LE(gif, width);
    Append16LE(gif, height);
    gif.push_back(0);
    gif.push_back(8);  // LZW minimum code size
    BitWriter w;
    const uint32_t clear = 256, end = 257;
    int sinceClear = 0;
    w.Put(clear, 9);
    for (uint8_t v : indices) {
        if (sinceClear == 250) {
            w.Put(clear, 9);
            sinceClear = 0;
        }
        w.Put(v, 9);
        ++sinceClear;
    }
    w.Put(end, 9);
    w.Flush();
    for (size_t at = 0; at < w.out.size(); at += 255) {
        const size_t n = std::min<size_t>(255, w.out.size() - at);
        gif.push_back(static_cast<uint8_t>(n));
        gif.insert(gif.end(), w.out.begin() + static_cast<ptrdiff_t>(at),
                   w.out.begin() + static_cast<ptrdiff_t>(at + n));
    }
    gif.push_back(0);
    gif.push_back(0x3B);
    return gif;
}

// ---- TIFF ---------------------------------------------------------------------------------

enum class TiffLink { None, Self, Pair };

// An uncompressed chunky TIFF (little-endian), `samples` components of `bits` each. link makes the
// directory chain loop: Self points the first directory at itself, Pair adds a second directory that
// points back at the first.
inline Bytes MakeTiff(uint32_t width,
                      uint32_t height,
                      uint16_t samples,
                      uint16_t bits,
                      const Bytes& pixels,
                      TiffLink link = TiffLink::None) {
    Bytes t{'I', 'I', 42, 0};
    Append32LE(t, 0);  // directory offset, set below
    const uint32_t bitsAt = static_cast<uint32_t>(t.size());
    for (int i = 0; i < samples; ++i)
        Append16LE(t, bits);
    const uint32_t dataAt = static_cast<uint32_t>(t.size());
    t.insert(t.end(), pixels.begin(), pixels.end());
    if (t.size() & 1)
        t.push_back(0);

    auto directory = [&](uint32_t nextOffsetPlaceholder) {
        const uint32_t at = static_cast<uint32_t>(t.size());
        struct Entry {
            uint16_t tag, type;
            uint32_t count, value;
        };
        std::vector<Entry> entries = {
            {256, 4, 1, width},
            {257, 4, 1, height},
            {258, 3, samples, samples == 1 ? bits : bitsAt},
            {259, 3, 1, 1},
            {262, 3, 1, samples >= 3 ? 2u : 1u},
            {273, 4, 1, dataAt},
            {277, 3, 1, samples},
            {278, 4, 1, height},
            {279, 4, 1, static_cast<uint32_t>(pixels.size())},
            {284, 3, 1, 1},
        };
        if (samples == 4)
            entries.push_back({338, 3, 1, 2});  // unassociated alpha
        Append16LE(t, static_cast<uint32_t>(entries.size()));
        for (const Entry& e : entries) {
            Append16LE(t, e.tag);
            Append16LE(t, e.type);
            Append32LE(t, e.count);
            if (e.type == 3 && e.count == 1) {
                Append16LE(t, e.value);
                Append16LE(t, 0);
            } else if (e.type == 3 && e.count == 2) {
                Append16LE(t, bits);
                Append16LE(t, bits);
            } else {
                Append32LE(t, e.value);
            }
        }
        Append32LE(t, nextOffsetPlaceholder);
        return at;
    };
    const uint32_t first = directory(0);
    Put32LE(t, 4, first);
    const size_t firstNext = t.size() - 4;
    if (link == TiffLink::Self)
        Put32LE(t, firstNext, first);
    if (link == TiffLink::Pair) {
        const uint32_t second = directory(first);
        Put32LE(t, firstNext, second);
    }
    return t;
}

// ---- BMP ----------------------------------------------------------------------------------

// A bottom-up BMP with a 40-byte header. rowsTopDown: packed rows without padding.
inline Bytes MakeBmp(int32_t width,
                     int32_t height,
                     uint16_t bitCount,
                     const std::vector<uint32_t>& palette,
                     const Bytes& packedRows,
                     uint32_t compression = 0,
                     const uint32_t* masks = nullptr) {
    const size_t rowBytes = (static_cast<size_t>(width) * bitCount + 7) / 8;
    const size_t stride = ((static_cast<size_t>(width) * bitCount + 31) / 32) * 4;
    const uint32_t maskBytes = masks ? 12 : 0;
    const uint32_t offset = 14 + 40 + maskBytes + static_cast<uint32_t>(palette.size()) * 4;
    Bytes b(offset + stride * static_cast<size_t>(height), 0);
    b[0] = 'B';
    b[1] = 'M';
    Put32LE(b, 2, static_cast<uint32_t>(b.size()));
    Put32LE(b, 10, offset);
    Put32LE(b, 14, 40);
    Put32LE(b, 18, static_cast<uint32_t>(width));
    Put32LE(b, 22, static_cast<uint32_t>(height));
    Put16LE(b, 26, 1);
    Put16LE(b, 28, bitCount);
    Put32LE(b, 30, compression);
    Put32LE(b, 34, static_cast<uint32_t>(stride * height));
    Put32LE(b, 46, static_cast<uint32_t>(palette.size()));
    size_t at = 54;
    if (masks)
        for (int i = 0; i < 3; ++i, at += 4)
            Put32LE(b, at, masks[i]);
    for (uint32_t c : palette) {
        Put32LE(b, at, c & 0x00FFFFFF);
        at += 4;
    }
    for (int32_t y = 0; y < height; ++y) {
        const size_t from = static_cast<size_t>(y) * rowBytes;
        if (from + rowBytes <= packedRows.size())
            std::memcpy(&b[offset + stride * static_cast<size_t>(height - 1 - y)], &packedRows[from], rowBytes);
    }
    return b;
}

// ---- damage -------------------------------------------------------------------------------

inline Bytes Truncated(const Bytes& file, size_t size) {
    return Bytes(file.begin(), file.begin() + static_cast<ptrdiff_t>(std::min(size, file.size())));
}

// Flips `count` bytes at seeded positions within [from, to).
inline Bytes Flipped(const Bytes& file, size_t from, size_t to, int count, uint64_t seed) {
    Bytes out = file;
    to = std::min(to, out.size());
    if (from >= to)
        return out;
    Lcg r(seed);
    for (int i = 0; i < count; ++i) {
        const size_t at = from + r.Below(static_cast<uint32_t>(to - from));
        out[at] ^= static_cast<uint8_t>(1u + r.Below(255));
    }
    return out;
}

inline Bytes RandomBytes(size_t size, uint64_t seed) {
    Lcg r(seed);
    Bytes out(size);
    for (auto& b : out)
        b = static_cast<uint8_t>(r.Next());
    return out;
}

// Offset of a JPEG start-of-frame marker (FFC0..FFC2), or 0.
inline size_t JpegFrameHeader(const Bytes& jpeg) {
    for (size_t i = 2; i + 9 < jpeg.size(); ++i)
        if (jpeg[i] == 0xFF && jpeg[i + 1] >= 0xC0 && jpeg[i + 1] <= 0xC2)
            return i;
    return 0;
}

inline Bytes JpegWithSize(const Bytes& jpeg, uint16_t width, uint16_t height) {
    Bytes out = jpeg;
    const size_t at = JpegFrameHeader(out);
    if (!at)
        return out;
    out[at + 5] = static_cast<uint8_t>(height >> 8);
    out[at + 6] = static_cast<uint8_t>(height);
    out[at + 7] = static_cast<uint8_t>(width >> 8);
    out[at + 8] = static_cast<uint8_t>(width);
    return out;
}

}  // namespace robust
