// The picture size a file's header claims, read before anything is decoded, so that a file claiming
// a size no buffer can hold is refused without asking the decoder to allocate it.
#pragma once

#include <cstddef>
#include <cstdint>
#include <functional>

struct ClaimedSize {
    uint64_t width = 0;
    uint64_t height = 0;
    uint32_t bytesPerPixel = 4;  // of the widest bitmap a decoder makes for it (8 for 16-bit samples)
};

// Reads up to `size` bytes at `offset` into `out`; returns the count read (fewer at the end of the file).
using HeaderReader = std::function<size_t(uint64_t offset, uint8_t* out, size_t size)>;

// The size claimed by a BMP, PNG, GIF (the larger of screen and first image), TIFF (first directory)
// or JPEG (first frame header). False when the format is not recognised or the header is cut short:
// the decoder then judges the file on its own.
[[nodiscard]] bool ReadClaimedSize(const HeaderReader& read, ClaimedSize& size);

// True when a decoded bitmap of this size, or the program's buffer of it, could not be held: more
// bytes than a 32-bit signed size field can count.
bool ClaimedSizeTooLarge(const ClaimedSize& size);
