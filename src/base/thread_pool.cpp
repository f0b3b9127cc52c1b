// Persistent worker threads behind ParallelRows. The pool is created on first use and lives until the
// process ends (its threads spin a moment after each job, then sleep on a condition variable).
#include "base/thread_pool.h"

#include <algorithm>
#include <atomic>
#include <chrono>
#include <condition_variable>
#include <mutex>
#include <new>
#include <stdexcept>
#include <thread>
#include <vector>

#if defined(__x86_64__) || defined(_M_X64) || defined(__i386__)
#include <immintrin.h>
#endif

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

// Waits a short while by spinning before a thread goes to sleep: jobs come back to back (a picture's levels,
// its components, the renderings of a fusion), and under Wine every sleep and wake-up of a thread is a round
// trip through the server that costs far more than a chunk of rows.
class Spin {
public:
    // True while the spin may go on; checks the clock only every few rounds.
    bool Again() {
        if (++rounds_ % 64 != 0) {
            Pause();
            return true;
        }
        return Clock::now() - start_ < kLimit;
    }

private:
    using Clock = std::chrono::steady_clock;
    static constexpr std::chrono::microseconds kLimit{200};
    static void Pause() {
#if defined(__x86_64__) || defined(_M_X64) || defined(__i386__)
        _mm_pause();
#else
        std::this_thread::yield();
#endif
    }
    Clock::time_point start_ = Clock::now();
    uint32_t rounds_ = 0;
};

class Pool {
public:
    // Threads besides the caller; changes only while no job runs.
    void Resize(int32_t helpers) {
        Stop();
        stop_.store(false);
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
        current_.store(&job);
        generation_.fetch_add(1);
        if (sleepers_.load() > 0) {
            // Taken once, so that a worker between its last look and its sleep cannot miss the wake-up.
            std::lock_guard<std::mutex> lk(mutex_);
        }
        wake_.notify_all();
        RunChunks(job);
        // A worker that finds no job after this stays away from it; one that found it is counted in inFlight_.
        current_.store(nullptr);
        for (Spin spin; inFlight_.load() != 0 && spin.Again();) {
        }
        if (inFlight_.load() == 0)
            return;
        std::unique_lock<std::mutex> lk(mutex_);
        callerWaits_.store(true);
        done_.wait(lk, [this] { return inFlight_.load() == 0; });
        callerWaits_.store(false);
    }

private:
    void Stop() {
        stop_.store(true);
        { std::lock_guard<std::mutex> lk(mutex_); }
        wake_.notify_all();
        for (std::thread& t : threads_)
            t.join();
        threads_.clear();
    }

    // The generation after `seen`, once there is one; spins first, then sleeps.
    uint64_t NextGeneration(uint64_t seen) {
        for (Spin spin; spin.Again();) {
            if (generation_.load() != seen || stop_.load())
                return generation_.load();
        }
        std::unique_lock<std::mutex> lk(mutex_);
        sleepers_.fetch_add(1);
        wake_.wait(lk, [&] { return stop_.load() || generation_.load() != seen; });
        sleepers_.fetch_sub(1);
        return generation_.load();
    }

    void WorkerLoop() {
        uint64_t seen = generation_.load();
        for (;;) {
            seen = NextGeneration(seen);
            if (stop_.load())
                return;
            // Counted before the job is looked at: the caller waits for every worker that may hold it.
            inFlight_.fetch_add(1);
            if (Job* job = current_.load())
                RunChunks(*job);
            if (inFlight_.fetch_sub(1) == 1 && callerWaits_.load()) {
                std::lock_guard<std::mutex> lk(mutex_);
                done_.notify_all();
            }
        }
    }

    std::mutex mutex_;
    std::condition_variable wake_, done_;
    std::vector<std::thread> threads_;
    // All sequentially consistent: the hand-offs above rely on one order of these stores and loads.
    std::atomic<Job*> current_{nullptr};
    std::atomic<uint64_t> generation_{0};
    std::atomic<int32_t> inFlight_{0};
    std::atomic<int32_t> sleepers_{0};
    std::atomic<bool> callerWaits_{false};
    std::atomic<bool> stop_{false};
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
    // Asked once: glibc reads it from sysfs on every call, which costs more than a small job.
    static const unsigned hw = std::thread::hardware_concurrency();
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
