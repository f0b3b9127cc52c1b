#include "base/thread_pool.h"

#include <gtest/gtest.h>

#include <atomic>
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
    ParallelRows(rows, workPerRow, [&](int32_t begin, int32_t end) {
        EXPECT_LE(0, begin);
        EXPECT_LT(begin, end);
        EXPECT_LE(end, rows);
        for (int32_t y = begin; y < end; y++)
            visits[static_cast<size_t>(y)]++;
    });
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
    ParallelRows(0, 1000, [](int32_t, int32_t) { ADD_FAILURE() << "no rows, no call"; });
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
    ParallelRows(8, 100000, [&](int32_t begin, int32_t end) {
        for (int32_t y = begin; y < end; y++)
            ParallelRows(16, 100000, [&](int32_t b, int32_t e) { inner += e - b; });
    });
    EXPECT_EQ(inner.load(), 8 * 16);

    // Two threads sharing the pool: one of them gets it, the other works alone; both cover all rows.
    std::atomic<int> total{0};
    auto job = [&] {
        for (int round = 0; round < 50; round++)
            ParallelRows(100, 100000, [&](int32_t b, int32_t e) { total += e - b; });
    };
    std::thread a(job), b(job);
    a.join();
    b.join();
    EXPECT_EQ(total.load(), 2 * 50 * 100);
}
