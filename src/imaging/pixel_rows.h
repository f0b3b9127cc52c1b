// Row conversions between GDI+ locked bitmap rows and picture buffer rows, one row at a time.
#pragma once

#include <cstdint>

// GDI+ pixel format numbers.
constexpr uint32_t kFormatUndefined = 0;
constexpr uint32_t kFormat1bppIndexed = 0x00030101;
constexpr uint32_t kFormat4bppIndexed = 0x00030402;
constexpr uint32_t kFormat8bppIndexed = 0x00030803;
constexpr uint32_t kFormat16bppGrayScale = 0x00101004;
constexpr uint32_t kFormat16bppRGB555 = 0x00021005;
constexpr uint32_t kFormat16bppRGB565 = 0x00021006;
constexpr uint32_t kFormat16bppARGB1555 = 0x00061007;
constexpr uint32_t kFormat24bppRGB = 0x00021808;
constexpr uint32_t kFormat32bppRGB = 0x00022009;
constexpr uint32_t kFormat32bppARGB = 0x0026200A;
constexpr uint32_t kFormat32bppPARGB = 0x000E200B;
constexpr uint32_t kFormat48bppRGB = 0x0010300C;
constexpr uint32_t kFormat64bppARGB = 0x0034400D;
constexpr uint32_t kFormat64bppPARGB = 0x001C400E;

// Formats that the loader refuses with "Image format not supported!" (undefined included).
bool IsRefusedFormat(uint32_t format);

struct BufferLayout {
    int32_t components = 0;
    int32_t bitsPerComponent = 0;
};
// The source buffer a format loads into; components 0 for formats not in the table
// (8-bit indexed is expanded to 24-bit first, so it has no layout of its own).
[[nodiscard]] BufferLayout LayoutOfFormat(uint32_t format, bool greyPalette);

// One locked row of `width` pixels into a packed buffer row. False for formats without a layout.
[[nodiscard]] bool ConvertRowToBuffer(uint32_t format,
                                      bool greyPalette,
                                      const uint8_t* src,
                                      uint8_t* dst,
                                      int32_t width);

// One packed buffer row into a locked row of the same format, keeping what the buffer does
// not carry (alpha, the top bit of ARGB1555). `components` is the buffer's (1 or 3 for
// 24-bit, where 1 repeats the grey byte). False for formats or layouts the writer does not know.
[[nodiscard]] bool WriteRowFromBuffer(uint32_t format,
                                      int32_t components,
                                      int32_t bitsPerComponent,
                                      const uint8_t* src,
                                      uint8_t* dst,
                                      int32_t width);

// One row of 8-bit palette indices into 24-bit blue, green, red. Colours are 0xAARRGGBB; an index
// beyond `paletteCount` has no colour and gives black. Clears `grey` when a used colour is not grey.
void ExpandIndexedRow(const uint8_t* indices,
                      const uint32_t* palette,
                      uint32_t paletteCount,
                      uint8_t* bgr,
                      int32_t width,
                      bool& grey);

// One row of 24-bit blue, green, red into 32-bit pixels (fourth byte 0): the form a screen takes without a
// conversion of its own.
void Bgr24ToBgrx32Row(const uint8_t* bgr, uint32_t* bgrx, int32_t width);
