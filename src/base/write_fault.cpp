#include "base/write_fault.h"

#include <atomic>

namespace {

std::atomic<int64_t> gBudget{-1};

}  // namespace

void SetWriteFaultAfter(int64_t bytes) {
    gBudget = bytes < 0 ? -1 : bytes;
}

size_t WritableBytes(size_t wanted) {
    int64_t budget = gBudget.load();
    for (;;) {
        if (budget < 0)
            return wanted;
        const int64_t allowed = static_cast<int64_t>(wanted) < budget ? static_cast<int64_t>(wanted) : budget;
        if (gBudget.compare_exchange_weak(budget, budget - allowed))
            return static_cast<size_t>(allowed);
    }
}
