// Scalar row kernels and the choice of the kernel set in use.
#include "pyramid/row_kernels.h"

#include <atomic>
#include <cstdlib>
#include <cstring>

#include "pyramid/row_kernels_scalar.h"

namespace {

void ExpandInteriorScalar(const ExpandTarget& t,
                          const float* const* rows,
                          const float* const* krows,
                          int32_t nRows,
                          int32_t xBegin,
                          int32_t xEnd) {
    rowscalar::ExpandInterior(t, rows, krows, nRows, xBegin, xEnd);
}

void Interleave3U8Scalar(uint8_t* out, const uint8_t* a, const uint8_t* b, const uint8_t* c, int32_t n) {
    rowscalar::Interleave3U8(out, a, b, c, 0, n);
}

void ReduceInteriorSplitScalar(float* out,
                               const float* const* even,
                               const float* const* odd,
                               const float* kernel,
                               int32_t xBegin,
                               int32_t xEnd) {
    rowscalar::ReduceInteriorSplit(out, even, odd, kernel, xBegin, xEnd);
}

void SplitEvenOddScalar(float* even, float* odd, const float* src, int32_t n) {
    rowscalar::SplitEvenOdd(even, odd, src, 0, n);
}

bool ScalarRequestedByEnvironment() {
    const char* v = std::getenv("SP_SCALAR");
    return v && *v && std::strcmp(v, "0") != 0;
}

bool CapRequestedByEnvironment() {
    const char* v = std::getenv("SP_SIMD_MAX");
    return v && (std::strcmp(v, "avx2") == 0 || std::strcmp(v, "AVX2") == 0);
}

std::atomic<int> gSimd{-1};  // -1 = not decided yet
std::atomic<int> gAvx512{-1};
std::atomic<const RowKernels*> gPinned{nullptr};

const RowKernels* BestBelowAvx512() {
    if (const RowKernels* k = Avx2RowKernels())
        return k;
    if (const RowKernels* k = Sse2RowKernels())
        return k;
    return &ScalarRowKernels();
}

const RowKernels& BestRowKernels() {
    static const RowKernels* capped = BestBelowAvx512();
    if (!Avx512Allowed())
        return *capped;
    static const RowKernels* widest = Avx512RowKernels() ? Avx512RowKernels() : capped;
    return *widest;
}

}  // namespace

const RowKernels& ScalarRowKernels() {
    static const RowKernels kernels{ExpandInteriorScalar, nullptr, Interleave3U8Scalar, ReduceInteriorSplitScalar,
                                    SplitEvenOddScalar};
    return kernels;
}

void SetPyramidSimd(bool enabled) {
    gSimd.store(enabled ? 1 : 0);
}

bool PyramidSimdEnabled() {
    int v = gSimd.load();
    if (v < 0) {
        v = ScalarRequestedByEnvironment() ? 0 : 1;
        gSimd.store(v);
    }
    return v == 1;
}

void SetAvx512Allowed(bool allowed) {
    gAvx512.store(allowed ? 1 : 0);
}

bool Avx512Allowed() {
    int v = gAvx512.load();
    if (v < 0) {
        v = CapRequestedByEnvironment() ? 0 : 1;
        gAvx512.store(v);
    }
    return v == 1;
}

void UseRowKernels(const RowKernels* kernels) {
    gPinned.store(kernels);
}

const RowKernels& ActiveRowKernels() {
    if (const RowKernels* pinned = gPinned.load())
        return *pinned;
    return PyramidSimdEnabled() ? BestRowKernels() : ScalarRowKernels();
}

const char* ActiveRowKernelsName() {
    const RowKernels* k = &ActiveRowKernels();
    if (k == &ScalarRowKernels())
        return "scalar";
    if (k == Avx512RowKernels())
        return "avx512";
    if (k == Avx2RowKernels())
        return "avx2";
    if (k == Sse2RowKernels())
        return "sse2";
    return "other";
}
