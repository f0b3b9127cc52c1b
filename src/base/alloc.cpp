// Big-block allocation with a lowerable limit.
#include "base/alloc.h"

#include <atomic>
#include <cstdint>
#include <cstdlib>
#include <new>

namespace {
std::atomic<uint64_t> gAllocationLimit{0};
}

void SetAllocationLimit(uint64_t bytes) {
    gAllocationLimit.store(bytes);
}
uint64_t AllocationLimit() {
    return gAllocationLimit.load();
}

size_t CheckedMul(size_t a, size_t b, size_t c) {
    size_t ab;
    size_t abc;
    if (__builtin_mul_overflow(a, b, &ab) || __builtin_mul_overflow(ab, c, &abc))
        return SIZE_MAX;
    return abc;
}

void* AllocBytes(size_t bytes) {
    uint64_t limit = gAllocationLimit.load();
    if (bytes == SIZE_MAX || (limit != 0 && bytes > limit))
        return nullptr;
    return std::malloc(bytes == 0 ? 1 : bytes);
}

void* AllocZeroBytes(size_t bytes) {
    uint64_t limit = gAllocationLimit.load();
    if (bytes == SIZE_MAX || (limit != 0 && bytes > limit))
        return nullptr;
    return std::calloc(bytes == 0 ? 1 : bytes, 1);
}

void FreeBytes(void* p) {
    std::free(p);
}
