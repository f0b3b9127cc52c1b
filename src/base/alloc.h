// Big-block allocation with a lowerable limit, so tests can make huge pictures fail.
#pragma once

#include <cstddef>
#include <cstdint>

// Returns null when the request exceeds the limit or the heap refuses it.
[[nodiscard]] void* AllocBytes(size_t bytes);
// Zero-filled variant.
[[nodiscard]] void* AllocZeroBytes(size_t bytes);
void FreeBytes(void* p);

void SetAllocationLimit(uint64_t bytes);  // 0 = no limit
uint64_t AllocationLimit();

// a * b * c, or SIZE_MAX when it overflows.
[[nodiscard]] size_t CheckedMul(size_t a, size_t b, size_t c = 1);
