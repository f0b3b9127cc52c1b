// Writes the renderings of a whole fusion run as uncompressed 8-bit RGB TIFF files (rendering_00.tif ...)
// into a directory, for anchors that read files (enfuse).   sp_bench_write_renderings DIR
#include <cstdint>
#include <cstdio>
#include <string>
#include <vector>

#include "fusion_renderings.h"

namespace {

void Put16(std::vector<uint8_t>& b, uint16_t v) {
    b.push_back(static_cast<uint8_t>(v));
    b.push_back(static_cast<uint8_t>(v >> 8));
}
void Put32(std::vector<uint8_t>& b, uint32_t v) {
    Put16(b, static_cast<uint16_t>(v));
    Put16(b, static_cast<uint16_t>(v >> 16));
}

// Little-endian baseline TIFF: header, one IFD, the BitsPerSample values, then one strip of RGB rows.
bool WriteTiff(const std::string& path, const SQmPicBuf& pic) {
    const uint32_t w = static_cast<uint32_t>(pic.width), h = static_cast<uint32_t>(pic.height);
    constexpr uint16_t kEntries = 10;
    const uint32_t ifd = 8, bits = ifd + 2 + kEntries * 12 + 4, data = bits + 6;
    std::vector<uint8_t> head{'I', 'I', 42, 0};
    Put32(head, ifd);
    Put16(head, kEntries);
    auto entry = [&](uint16_t tag, uint16_t type, uint32_t count, uint32_t value) {
        Put16(head, tag);
        Put16(head, type);
        Put32(head, count);
        Put32(head, value);
    };
    entry(256, 4, 1, w);          // ImageWidth
    entry(257, 4, 1, h);          // ImageLength
    entry(258, 3, 3, bits);       // BitsPerSample 8, 8, 8
    entry(259, 3, 1, 1);          // no compression
    entry(262, 3, 1, 2);          // RGB
    entry(273, 4, 1, data);       // StripOffsets
    entry(277, 3, 1, 3);          // SamplesPerPixel
    entry(278, 4, 1, h);          // RowsPerStrip
    entry(279, 4, 1, w * h * 3);  // StripByteCounts
    entry(284, 3, 1, 1);          // chunky
    Put32(head, 0);
    for (int i = 0; i < 3; ++i)
        Put16(head, 8);
    std::FILE* f = std::fopen(path.c_str(), "wb");
    if (!f)
        return false;
    bool ok = std::fwrite(head.data(), 1, head.size(), f) == head.size();
    std::vector<uint8_t> row(static_cast<size_t>(w) * 3);
    for (uint32_t y = 0; y < h && ok; ++y) {
        const uint8_t* src = pic.data + static_cast<size_t>(y) * pic.stride;
        for (uint32_t x = 0; x < w; ++x) {  // the pictures hold blue, green, red
            row[3 * x] = src[3 * x + 2];
            row[3 * x + 1] = src[3 * x + 1];
            row[3 * x + 2] = src[3 * x];
        }
        ok = std::fwrite(row.data(), 1, row.size(), f) == row.size();
    }
    return std::fclose(f) == 0 && ok;
}

}  // namespace

int main(int argc, char** argv) {
    if (argc != 2) {
        std::fprintf(stderr, "usage: %s DIR\n", argv[0]);
        return 2;
    }
    const std::vector<bench::FusionRendering>& renderings = bench::FusionRenderings();
    for (size_t j = 0; j < renderings.size(); ++j) {
        char name[48];
        std::snprintf(name, sizeof name, "/rendering_%02d.tif", static_cast<int>(j));
        const std::string path = std::string(argv[1]) + name;
        if (!WriteTiff(path, renderings[j].buf)) {
            std::fprintf(stderr, "cannot write %s\n", path.c_str());
            return 1;
        }
        std::printf("%s\n", path.c_str());
    }
    return 0;
}
