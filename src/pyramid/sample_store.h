// Float samples stored as integer samples, by one rule for every store of the pyramid, contrast and fusion
// code: clamped to 0 .. max (NaN to 0), then truncated toward zero.
#pragma once

#include <cstdint>

// Internal linkage on purpose, as in row_kernels_scalar.h: vector files compiled for other instruction sets
// include this too, and a shared out-of-line copy could end up in code that runs on any processor.
namespace samplestore {
namespace {

// Written as two selects so that loops over it run in vectors.
inline uint8_t StoreU8(float v) {
    v = v > 0.0f ? v : 0.0f;  // NaN gives 0
    v = v < 255.0f ? v : 255.0f;
    return static_cast<uint8_t>(static_cast<int32_t>(v));
}

inline uint16_t StoreU16(float v) {
    v = v > 0.0f ? v : 0.0f;  // NaN gives 0
    v = v < 65535.0f ? v : 65535.0f;
    return static_cast<uint16_t>(static_cast<int32_t>(v));
}

inline void StoreRowU8(uint8_t* dst, const float* src, int32_t count) {
    for (int32_t x = 0; x < count; ++x)
        dst[x] = StoreU8(src[x]);
}

}  // namespace
}  // namespace samplestore
