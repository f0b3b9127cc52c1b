// Row kernels behind the resampling pair and the contrast collapse, in a scalar and in vector versions that
// give the same bits: every output sample is computed with the same products and additions in the same
// order (no fused multiply-add), only several samples at once.
#pragma once

#include <cstdint>

// Where an expanded row goes: stored as is, or combined on the fly with a row of detail d.
enum class ExpandSink : int32_t {
    kStore,      // out[x] = e
    kGainAdd,    // out[x] = e + gain * d[x] (a collapse step)
    kSubtract,   // out[x] = d[x] - e (a band of the decomposition; out may be d)
    kGainAddU8,  // out[x] = e + gain * d[x], clamped to 0 .. 255 (NaN to 0), truncated to a byte
    kGainAddU16  // the same clamped to 0 .. 65535, as an unsigned 16-bit value
};

struct ExpandTarget {
    ExpandSink sink;
    void* out;  // float, uint8_t or uint16_t row, by sink
    const float* detail;
    float gain;
};

struct RowKernels {
    // Expanded samples of the interior columns x in [xBegin, xEnd) (every contributing grid column inside the
    // source, the window centred) into the target. rows / krows: the nRows (2 or 3) source rows of the output
    // row and their kernel rows.
    void (*expandInterior)(const ExpandTarget& target,
                           const float* const* rows,
                           const float* const* krows,
                           int32_t nRows,
                           int32_t xBegin,
                           int32_t xEnd);
    // The kGainAddU8 sink for three components at once, written interleaved: out[3x + c] for component c
    // from its source rows rows[c][0 .. nRows - 1] and detail row d[c], all with the same taps and gain.
    // Null where a set has no such kernel (the caller then goes through interleave3U8).
    void (*expandInterior3U8)(uint8_t* out,
                              const float* const* const* rows,
                              const float* const* krows,
                              int32_t nRows,
                              const float* const* d,
                              float gain,
                              int32_t xBegin,
                              int32_t xEnd);
    // out[3i + 0..2] = a[i], b[i], c[i].
    void (*interleave3U8)(uint8_t* out, const uint8_t* a, const uint8_t* b, const uint8_t* c, int32_t n);
    // out[x] for reduce columns x in [xBegin, xEnd) whose window starts at 2x - 2 without clamping, from rows
    // split into their even and odd columns (even[r][i] is column 2i of row r, odd[r][i] column 2i + 1), so
    // the taps are plain loads.
    void (*reduceInteriorSplit)(float* out,
                                const float* const* even,
                                const float* const* odd,
                                const float* kernel,
                                int32_t xBegin,
                                int32_t xEnd);
    // even[i] = src[2i] for i < (n + 1) / 2, odd[i] = src[2i + 1] for i < n / 2.
    void (*splitEvenOdd)(float* even, float* odd, const float* src, int32_t n);
};

// The kernels in use: the widest the processor supports, or the scalar ones when the vector paths are off.
const RowKernels& ActiveRowKernels();

// Vector paths on (the default) or off; the environment variable SP_SCALAR=1 turns them off at start.
void SetPyramidSimd(bool enabled);
bool PyramidSimdEnabled();
// AVX-512 allowed where the processor has it (the default), or the vector sets capped at AVX2, what most
// users' processors offer, so that any machine can measure that; SP_SIMD_MAX=avx2 caps them at start. Every
// AVX-512 kernel getter returns null while capped.
void SetAvx512Allowed(bool allowed);
bool Avx512Allowed();
// Name of the kernel set in use ("scalar", "sse2", "avx2", "avx512"), for benchmarks and test logs.
const char* ActiveRowKernelsName();

// Pins one kernel set (tests compare each against the scalar one); null returns to the automatic choice.
void UseRowKernels(const RowKernels* kernels);

// Kernel sets by instruction set; null where not compiled in or not supported by the processor.
const RowKernels& ScalarRowKernels();
const RowKernels* Sse2RowKernels();
const RowKernels* Avx2RowKernels();
const RowKernels* Avx512RowKernels();
