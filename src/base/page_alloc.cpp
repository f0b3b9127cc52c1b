// Page blocks: anonymous 2 MB-aligned mappings with transparent huge pages on Linux, committed virtual memory
// on Windows (zero pages from the system, nothing to clear); the heap elsewhere and under AddressSanitizer
// (which then still sees every plane).
#include "base/page_alloc.h"

#include <algorithm>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <mutex>
#include <new>
#include <utility>
#include <vector>

#include "base/alloc.h"
#include "base/thread_pool.h"

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

namespace {

// At most this much is kept; a block beyond it goes back at once.
constexpr size_t kKeptLimit = size_t{1536} << 20;

// Blocks freed since the last request that found none of its size, by the size asked for.
struct KeptBlocks {
    std::mutex lock;
    std::vector<std::pair<void*, size_t>> blocks;
    size_t bytes = 0;
};

KeptBlocks& Kept() {
    static KeptBlocks* kept = new KeptBlocks;  // never destroyed: blocks may be freed during exit
    return *kept;
}

void* MapZeroPages(size_t bytes);
void UnmapPages(void* p, size_t bytes);

#if defined(SP_PAGE_MAPPING) || defined(SP_VIRTUAL_ALLOC)
// Readies a block for use on the pool's threads, 2 MB at a time: a fresh block gets every page faulted in
// now, a kept one is cleared. Faults taken one by one inside the work that follows cost about twice as much
// (a 24 MP fusion under Wine: 3.8 s with them, 3.1 s without).
void ReadyBlock(void* p, size_t bytes, bool fresh) {
    constexpr size_t kChunk = size_t{2} << 20;
    constexpr size_t kPage = 4096;
    struct Job {
        char* p;
        size_t bytes;
        bool fresh;
    } job{static_cast<char*>(p), bytes, fresh};
    const auto chunks = static_cast<int32_t>((bytes + kChunk - 1) / kChunk);
    const Status done = ParallelRows(chunks, int64_t{1} << 22, [&job](int32_t begin, int32_t end) {
        const size_t from = static_cast<size_t>(begin) * kChunk;
        const size_t to = std::min(static_cast<size_t>(end) * kChunk, job.bytes);
        if (!job.fresh) {
            std::memset(job.p + from, 0, to - from);
            return;
        }
        for (size_t at = from; at < to; at += kPage)
            static_cast<volatile char*>(job.p)[at] = 0;
    });
    if (!done.ok() && !fresh)
        std::memset(p, 0, bytes);  // a fresh block is zero anyway
}

// Takes a kept block of exactly this size, or gives every kept block back when there is none.
void* TakeKeptBlock(size_t bytes) {
    std::vector<std::pair<void*, size_t>> release;
    {
        KeptBlocks& kept = Kept();
        std::lock_guard<std::mutex> guard(kept.lock);
        for (size_t k = kept.blocks.size(); k-- > 0;) {
            if (kept.blocks[k].second == bytes) {
                void* p = kept.blocks[k].first;
                kept.blocks.erase(kept.blocks.begin() + static_cast<std::ptrdiff_t>(k));
                kept.bytes -= bytes;
                return p;
            }
        }
        release.swap(kept.blocks);
        kept.bytes = 0;
    }
    for (const auto& [p, size] : release)
        UnmapPages(p, size);
    return nullptr;
}
#endif

}  // namespace

void* AllocZeroPages(size_t bytes) {
    const uint64_t limit = AllocationLimit();
    if (bytes == SIZE_MAX || (limit != 0 && bytes > limit))
        return nullptr;
#if defined(SP_PAGE_MAPPING) || defined(SP_VIRTUAL_ALLOC)
    if (void* p = TakeKeptBlock(bytes)) {
        ReadyBlock(p, bytes, false);
        return p;
    }
    void* p = MapZeroPages(bytes);
    if (p)
        ReadyBlock(p, bytes, true);
    return p;
#else
    return MapZeroPages(bytes);
#endif
}

void FreePages(void* p, size_t bytes) {
    if (!p)
        return;
#if defined(SP_PAGE_MAPPING) || defined(SP_VIRTUAL_ALLOC)
    {
        KeptBlocks& kept = Kept();
        std::lock_guard<std::mutex> guard(kept.lock);
        if (bytes <= kKeptLimit - kept.bytes) {
            try {
                kept.blocks.emplace_back(p, bytes);
                kept.bytes += bytes;
                return;
            } catch (const std::bad_alloc&) {
                // no room to note it: the block goes back
            }
        }
    }
#endif
    UnmapPages(p, bytes);
}

void ReleaseKeptPages() {
    std::vector<std::pair<void*, size_t>> release;
    {
        KeptBlocks& kept = Kept();
        std::lock_guard<std::mutex> guard(kept.lock);
        release.swap(kept.blocks);
        kept.bytes = 0;
    }
    for (const auto& [p, size] : release)
        UnmapPages(p, size);
}

size_t KeptPageBytes() {
    KeptBlocks& kept = Kept();
    std::lock_guard<std::mutex> guard(kept.lock);
    return kept.bytes;
}

namespace {

void* MapZeroPages(size_t bytes) {
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
    // SP_HUGE_PAGES=0 measures the core with the 4 KB pages a Windows program gets.
    static const bool huge = [] {
        const char* v = std::getenv("SP_HUGE_PAGES");
        return !(v && v[0] == '0');
    }();
    madvise(reinterpret_cast<void*>(aligned), size, huge ? MADV_HUGEPAGE : MADV_NOHUGEPAGE);
    return reinterpret_cast<void*>(aligned);
#elif defined(SP_VIRTUAL_ALLOC)
    return VirtualAlloc(nullptr, bytes == 0 ? 1 : bytes, MEM_RESERVE | MEM_COMMIT, PAGE_READWRITE);
#else
    return AllocZeroBytes(bytes);
#endif
}

void UnmapPages(void* p, size_t bytes) {
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

}  // namespace
