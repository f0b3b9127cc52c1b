// Zero-filled blocks for big planes straight from the system, asking for huge pages where the system has
// them: touching fresh memory a 4 KB page at a time costs more than the pyramid arithmetic itself.
#pragma once

#include <cstddef>

// Null when the request exceeds the allocation limit (base/alloc.h) or the system refuses it.
[[nodiscard]] void* AllocZeroPages(size_t bytes);
// bytes must be the size that was asked for.
void FreePages(void* p, size_t bytes);

// Freed blocks are kept and handed out again, cleared, to requests of the same size: a pyramid made again (a
// preview, a dialog opened again) then costs a clear instead of a fault on every fresh page. A request that
// finds no block of its size first gives every kept block back to the system, so the memory committed never
// exceeds what the blocks in use alone have needed at some moment.
void ReleaseKeptPages();
size_t KeptPageBytes();
