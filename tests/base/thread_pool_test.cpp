#include "base/thread_pool.h"

#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <new>
#include <thread>
#include <vector>

namespace {

// Restores the automatic thread count when a test ends.
struct ThreadCountScope {
    explicit ThreadCountScope(int32_t n) { SetWorkerThreadCount(n); }
    ~ThreadCountScope() { SetWorkerThreadCount(0); }
};

std::vector<int> CountVisits(int32_t rows, int64_t workPerRow) {
    std::vector<std::atomic<int>> visits(static_cast<size_t>(rows));
    const Status status = ParallelRows(rows, workPerRow, [&](int32_t begin, int32_t end) {
        EXPECT_LE(0, begin);
        EXPECT_LT(begin, end);
        EXPECT_LE(end, rows);
        for (int32_t y = begin; y < end; y++)
            visits[static_cast<size_t>(y)]++;
    });
    EXPECT_TRUE(status.ok());
    std::vector<int> out;
    for (auto& v : visits)
        out.push_back(v.load());
    return out;
}

}  // namespace

TEST(ParallelRows, EveryRowExactlyOnceForAnyThreadCount) {
    for (int32_t threads : {1, 2, 3, 4}) {
        ThreadCountScope scope(threads);
        EXPECT_EQ(WorkerThreadCount(), threads);
        for (int32_t rows : {1, 2, 3, 7, 64, 1000, 4001}) {
            for (int64_t work : {int64_t{1}, int64_t{100000}}) {
                std::vector<int> visits = CountVisits(rows, work);
                EXPECT_EQ(visits, std::vector<int>(static_cast<size_t>(rows), 1))
                    << threads << " threads, " << rows << " rows, work " << work;
            }
        }
    }
    ThreadCountScope scope(2);
    EXPECT_TRUE(ParallelRows(0, 1000, [](int32_t, int32_t) { ADD_FAILURE() << "no rows, no call"; }).ok());
    // The finest grain splits even a few rows.
    SetParallelRowsGrain(1);
    for (int32_t rows : {2, 3, 17, 100})
        EXPECT_EQ(CountVisits(rows, 1), std::vector<int>(static_cast<size_t>(rows), 1)) << rows;
    SetParallelRowsGrain(0);
}

TEST(ParallelRows, NestedAndConcurrentCallersFinish) {
    ThreadCountScope scope(3);
    // A body that starts another row loop runs it on its own thread instead of waiting for the pool.
    std::atomic<int> inner{0};
    const Status outer = ParallelRows(8, 100000, [&](int32_t begin, int32_t end) {
        for (int32_t y = begin; y < end; y++)
            EXPECT_TRUE(ParallelRows(16, 100000, [&](int32_t b, int32_t e) { inner += e - b; }).ok());
    });
    EXPECT_TRUE(outer.ok());
    EXPECT_EQ(inner.load(), 8 * 16);

    // Two threads sharing the pool: one of them gets it, the other works alone; both cover all rows.
    std::atomic<int> total{0};
    auto job = [&] {
        for (int round = 0; round < 50; round++)
            EXPECT_TRUE(ParallelRows(100, 100000, [&](int32_t b, int32_t e) { total += e - b; }).ok());
    };
    std::thread a(job), b(job);
    a.join();
    b.join();
    EXPECT_EQ(total.load(), 2 * 50 * 100);
}

TEST(ParallelRows, ThrowingBodyComesBackAsOutOfMemoryAndThePoolGoesOn) {
    SetParallelRowsGrain(1);  // split even this small job over the threads
    for (int32_t threads : {1, 4}) {
        ThreadCountScope scope(threads);
        // One chunk in the middle throws, as a vector allocated in a task does when memory runs out.
        std::atomic<int> calls{0};
        const Status status = ParallelRows(64, 1000, [&](int32_t begin, int32_t end) {
            calls++;
            if (begin <= 40 && 40 < end)
                throw std::bad_alloc();
        });
        EXPECT_EQ(status.code(), StatusCode::kOutOfMemory) << threads << " threads";
        EXPECT_GE(calls.load(), 1);
        // Every thread still takes work, and a clean job reports success.
        EXPECT_EQ(CountVisits(64, 1000), std::vector<int>(64, 1)) << threads << " threads";
    }
    SetParallelRowsGrain(0);
}

TEST(ParallelRows, ReturnsOnlyAfterEveryChunkWhetherTheWorkersSpinSleepOrLag) {
    ThreadCountScope scope(3);
    SetParallelRowsGrain(1);
    // Jobs back to back (workers still spinning), after a pause (workers asleep), and with one slow chunk
    // that the caller must wait for: no chunk may still run, or be missed, once the call has returned.
    for (int round = 0; round < 60; round++) {
        if (round % 3 == 1)
            std::this_thread::sleep_for(std::chrono::milliseconds(2));
        std::atomic<int> running{0}, rows{0};
        const int32_t slowRow = round % 3 == 2 ? 5 : -1;
        const Status status = ParallelRows(48, 1000, [&](int32_t begin, int32_t end) {
            running++;
            if (begin <= slowRow && slowRow < end)
                std::this_thread::sleep_for(std::chrono::milliseconds(3));
            rows += end - begin;
            running--;
        });
        EXPECT_TRUE(status.ok());
        EXPECT_EQ(running.load(), 0) << "round " << round;
        EXPECT_EQ(rows.load(), 48) << "round " << round;
    }
    SetParallelRowsGrain(0);
}
