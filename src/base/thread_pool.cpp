// Persistent worker threads behind ParallelRows. The pool is created on first use and lives until the
// process ends (its threads sleep on a condition variable between jobs).
#include "base/thread_pool.h"

#include <algorithm>
#include <atomic>
#include <condition_variable>
#include <mutex>
#include <new>
#include <stdexcept>
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
    std::atomic<StatusCode> failure{StatusCode::kOk};  // the first failed chunk's
};

// One call of the body. An exception must not leave it: on a worker thread that would be std::terminate.
StatusCode RunGuarded(RowRangeFn fn, void* context, int32_t begin, int32_t end) noexcept {
    try {
        fn(context, begin, end);
        return StatusCode::kOk;
    } catch (const std::bad_alloc&) {
        return StatusCode::kOutOfMemory;
    } catch (const std::length_error&) {
        return StatusCode::kOutOfMemory;  // a size no container can hold
    } catch (...) {
        return StatusCode::kInvalid;
    }
}

void RunChunks(Job& job) {
    while (job.failure.load(std::memory_order_relaxed) == StatusCode::kOk) {
        const int32_t chunk = job.nextChunk.fetch_add(1);
        if (chunk >= job.chunkCount)
            return;
        const int32_t begin = chunk * job.chunkRows;
        const int32_t end = std::min(job.rows, begin + job.chunkRows);
        const StatusCode code = RunGuarded(job.fn, job.context, begin, end);
        if (code != StatusCode::kOk) {
            StatusCode none = StatusCode::kOk;
            job.failure.compare_exchange_strong(none, code);
        }
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
            } catch (const std::exception&) {
                break;  // no thread or no memory for one: fewer helpers, the caller still does all the work
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

Status ParallelRows(int32_t rows, int64_t workPerRow, RowRangeFn fn, void* context) {
    if (rows <= 0)
        return Status::Ok();
    const int32_t threads = ResolvedThreadCount();
    const int64_t work = static_cast<int64_t>(rows) * std::max<int64_t>(workPerRow, 1);
    const int64_t minChunk = gMinWorkPerChunk.load();
    bool expected = false;
    if (threads <= 1 || rows < 2 || work < 16 * minChunk || !gBusy.compare_exchange_strong(expected, true))
        return RunGuarded(fn, context, 0, rows);
    if (!gPool)
        gPool = new (std::nothrow) Pool;
    if (!gPool) {
        gBusy.store(false);
        return RunGuarded(fn, context, 0, rows);
    }
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
    Status status;
    if (job.chunkCount <= 1 || gPool->Helpers() == 0) {
        status = RunGuarded(fn, context, 0, rows);
    } else {
        gPool->Run(job);
        status = job.failure.load();
    }
    gBusy.store(false);
    return status;
}
