// Persistent worker threads behind ParallelRows. The pool is created on first use and lives until the
// process ends (its threads sleep on a condition variable between jobs).
#include "base/thread_pool.h"

#include <algorithm>
#include <atomic>
#include <condition_variable>
#include <mutex>
#include <system_error>
#include <thread>
#include <vector>

namespace {

constexpr int32_t kMaxThreads = 8;
// Work units (about one multiply-add each) below which a chunk is not worth handing over, and below which a
// whole job stays on the calling thread: every job ends in a wait for the slowest thread, and on a busy
// machine that wait, not the arithmetic, is what small jobs cost.
constexpr int64_t kDefaultMinWorkPerChunk = 64 * 1024;
std::atomic<int64_t> gMinWorkPerChunk{kDefaultMinWorkPerChunk};

struct Job {
    RowRangeFn fn;
    void* context;
    int32_t rows;
    int32_t chunkRows;
    int32_t chunkCount;
    std::atomic<int32_t> nextChunk{0};
};

void RunChunks(Job& job) {
    for (;;) {
        const int32_t chunk = job.nextChunk.fetch_add(1);
        if (chunk >= job.chunkCount)
            return;
        const int32_t begin = chunk * job.chunkRows;
        const int32_t end = std::min(job.rows, begin + job.chunkRows);
        job.fn(job.context, begin, end);
    }
}

class Pool {
public:
    // Threads besides the caller; changes only while no job runs.
    void Resize(int32_t helpers) {
        Stop();
        std::lock_guard<std::mutex> lk(mutex_);
        stop_ = false;
        for (int32_t i = 0; i < helpers; i++) {
            try {
                threads_.emplace_back([this] { WorkerLoop(); });
            } catch (const std::system_error&) {
                break;  // fewer helpers; the caller still does all the work it can
            }
        }
    }

    int32_t Helpers() const { return static_cast<int32_t>(threads_.size()); }

    void Run(Job& job) {
        {
            std::lock_guard<std::mutex> lk(mutex_);
            current_ = &job;
            generation_++;
        }
        wake_.notify_all();
        RunChunks(job);
        std::unique_lock<std::mutex> lk(mutex_);
        done_.wait(lk, [this] { return inFlight_ == 0; });
        current_ = nullptr;
    }

private:
    void Stop() {
        {
            std::lock_guard<std::mutex> lk(mutex_);
            stop_ = true;
        }
        wake_.notify_all();
        for (std::thread& t : threads_)
            t.join();
        threads_.clear();
    }

    void WorkerLoop() {
        std::unique_lock<std::mutex> lk(mutex_);
        uint64_t seen = generation_;
        for (;;) {
            wake_.wait(lk, [&] { return stop_ || generation_ != seen; });
            if (stop_)
                return;
            seen = generation_;
            Job* job = current_;
            if (!job)
                continue;  // woke after the caller had already finished alone
            inFlight_++;
            lk.unlock();
            RunChunks(*job);
            lk.lock();
            if (--inFlight_ == 0)
                done_.notify_all();
        }
    }

    std::mutex mutex_;
    std::condition_variable wake_, done_;
    std::vector<std::thread> threads_;
    Job* current_ = nullptr;
    uint64_t generation_ = 0;
    int32_t inFlight_ = 0;
    bool stop_ = false;
};

std::atomic<int32_t> gRequested{0};
std::atomic<bool> gBusy{false};
// Never destroyed: sleeping workers are simply ended with the process.
Pool* gPool = nullptr;
int32_t gPoolThreads = 0;

int32_t ResolvedThreadCount() {
    const int32_t set = gRequested.load();
    if (set > 0)
        return std::min(set, kMaxThreads);
    const unsigned hw = std::thread::hardware_concurrency();
    return static_cast<int32_t>(std::clamp(hw, 1u, static_cast<unsigned>(kMaxThreads)));
}

}  // namespace

void SetWorkerThreadCount(int32_t count) {
    gRequested.store(std::max(0, count));
}

void SetParallelRowsGrain(int64_t minWorkPerChunk) {
    gMinWorkPerChunk.store(minWorkPerChunk > 0 ? minWorkPerChunk : kDefaultMinWorkPerChunk);
}

int32_t WorkerThreadCount() {
    return ResolvedThreadCount();
}

void ParallelRows(int32_t rows, int64_t workPerRow, RowRangeFn fn, void* context) {
    if (rows <= 0)
        return;
    const int32_t threads = ResolvedThreadCount();
    const int64_t work = static_cast<int64_t>(rows) * std::max<int64_t>(workPerRow, 1);
    const int64_t minChunk = gMinWorkPerChunk.load();
    bool expected = false;
    if (threads <= 1 || rows < 2 || work < 16 * minChunk || !gBusy.compare_exchange_strong(expected, true)) {
        fn(context, 0, rows);
        return;
    }
    if (!gPool)
        gPool = new Pool;
    if (gPoolThreads != threads) {
        gPool->Resize(threads - 1);
        gPoolThreads = threads;
    }
    // Many chunks per thread, so a thread slowed by other work on the machine holds up little of the rest.
    const int64_t minRows = std::max<int64_t>(1, minChunk / std::max<int64_t>(workPerRow, 1));
    const int32_t chunkRows =
        static_cast<int32_t>(std::max<int64_t>(minRows, (rows + threads * 16 - 1) / (threads * 16)));
    Job job;
    job.fn = fn;
    job.context = context;
    job.rows = rows;
    job.chunkRows = chunkRows;
    job.chunkCount = (rows + chunkRows - 1) / chunkRows;
    if (job.chunkCount <= 1 || gPool->Helpers() == 0) {
        fn(context, 0, rows);
    } else {
        gPool->Run(job);
    }
    gBusy.store(false);
}
