// Zero-filled blocks for big planes straight from the system, asking for huge pages where the system has
// them: touching fresh memory a 4 KB page at a time costs more than the pyramid arithmetic itself.
#pragma once

#include <cstddef>

// Null when the request exceeds the allocation limit (base/alloc.h) or the system refuses it.
[[nodiscard]] void* AllocZeroPages(size_t bytes);
// bytes must be the size that was asked for.
void FreePages(void* p, size_t bytes);
