// A small persistent pool that splits a row loop into chunks. Each row goes to exactly one caller of the
// body, so results never depend on the thread count or on which thread ran which rows.
#pragma once

#include <cstdint>

#include "base/status.h"

// 0 = as many threads as the machine has (at most 8); 1 = everything on the calling thread.
void SetWorkerThreadCount(int32_t count);
int32_t WorkerThreadCount();

// Smallest chunk of work (in units of about one multiply-add) handed to a thread; jobs under 16 chunks stay on
// the calling thread. Tests lower it to split small pictures; 0 restores the default.
void SetParallelRowsGrain(int64_t minWorkPerChunk);

using RowRangeFn = void (*)(void* context, int32_t rowBegin, int32_t rowEnd);

// Runs fn over [0, rows) in contiguous chunks on the pool and the calling thread and returns when all are
// done. Small jobs (rows x workPerRow below a few tens of thousands), nested calls and calls made while the
// pool is busy with another caller's job run on the calling thread.
// No exception leaves a call of fn, on any thread: the first one ends the job (chunks not yet started are
// skipped) and comes back as kOutOfMemory (std::bad_alloc, std::length_error) or kInvalid (anything else).
[[nodiscard]] Status ParallelRows(int32_t rows, int64_t workPerRow, RowRangeFn fn, void* context);

template <typename Body>
[[nodiscard]] Status ParallelRows(int32_t rows, int64_t workPerRow, Body&& body) {
    return ParallelRows(
        rows, workPerRow, [](void* ctx, int32_t begin, int32_t end) { (*static_cast<Body*>(ctx))(begin, end); },
        static_cast<void*>(&body));
}
