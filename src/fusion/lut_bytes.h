// A 256-entry byte table applied to a run of bytes, in a scalar and a vector version that give the same
// bytes.
#pragma once

#include <cstddef>
#include <cstdint>

// dst[k] = lut[src[k]] for k < count.
using LutBytesFn = void (*)(uint8_t* dst, const uint8_t* src, size_t count, const uint8_t* lut);
void LutBytesScalar(uint8_t* dst, const uint8_t* src, size_t count, const uint8_t* lut);
// 64 bytes per step through two-register byte permutes; null where the processor has no AVX-512 VBMI.
LutBytesFn Avx512VbmiLutBytes();
// 32 bytes per step through 16-entry byte shuffles; null where the processor has no AVX2.
LutBytesFn Avx2LutBytes();
