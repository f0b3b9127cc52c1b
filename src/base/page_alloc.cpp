// Page blocks: anonymous 2 MB-aligned mappings with transparent huge pages on Linux, committed virtual memory
// on Windows (zero pages from the system, nothing to clear); the heap elsewhere and under AddressSanitizer
// (which then still sees every plane).
#include "base/page_alloc.h"

#include <cstdint>

#include "base/alloc.h"

#if defined(__linux__) && !defined(__SANITIZE_ADDRESS__)
#define SP_PAGE_MAPPING 1
#include <sys/mman.h>
#elif defined(_WIN32) && !defined(__SANITIZE_ADDRESS__)
#define SP_VIRTUAL_ALLOC 1
#include <windows.h>
#endif

namespace {
#ifdef SP_PAGE_MAPPING
constexpr size_t kHugePage = size_t{2} << 20;

size_t MappedSize(size_t bytes) {
    return (bytes + kHugePage - 1) / kHugePage * kHugePage;
}
#endif
}  // namespace

void* AllocZeroPages(size_t bytes) {
    const uint64_t limit = AllocationLimit();
    if (bytes == SIZE_MAX || (limit != 0 && bytes > limit))
        return nullptr;
#ifdef SP_PAGE_MAPPING
    const size_t size = MappedSize(bytes == 0 ? 1 : bytes);
    if (size < bytes)
        return nullptr;
    // Map one huge page more and trim, so the block starts on a huge page boundary.
    void* raw = mmap(nullptr, size + kHugePage, PROT_READ | PROT_WRITE, MAP_PRIVATE | MAP_ANONYMOUS, -1, 0);
    if (raw == MAP_FAILED)
        return nullptr;
    const uintptr_t start = reinterpret_cast<uintptr_t>(raw);
    const uintptr_t aligned = (start + kHugePage - 1) / kHugePage * kHugePage;
    if (aligned > start)
        munmap(raw, aligned - start);
    const uintptr_t end = start + size + kHugePage;
    if (end > aligned + size)
        munmap(reinterpret_cast<void*>(aligned + size), end - (aligned + size));
    madvise(reinterpret_cast<void*>(aligned), size, MADV_HUGEPAGE);
    return reinterpret_cast<void*>(aligned);
#elif defined(SP_VIRTUAL_ALLOC)
    return VirtualAlloc(nullptr, bytes == 0 ? 1 : bytes, MEM_RESERVE | MEM_COMMIT, PAGE_READWRITE);
#else
    return AllocZeroBytes(bytes);
#endif
}

void FreePages(void* p, size_t bytes) {
    if (!p)
        return;
#ifdef SP_PAGE_MAPPING
    munmap(p, MappedSize(bytes == 0 ? 1 : bytes));
#elif defined(SP_VIRTUAL_ALLOC)
    (void)bytes;
    VirtualFree(p, 0, MEM_RELEASE);
#else
    (void)bytes;
    FreeBytes(p);
#endif
}
