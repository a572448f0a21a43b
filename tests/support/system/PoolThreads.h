#pragma once

#include "platform/runtime/threads/Pool.h"

#include <QThreadPool>

#include <algorithm>

namespace pivra::test {

// Gives a pool at least `threads` threads while this lives. A test that holds
// jobs at a gate and waits for others to start needs the threads for both,
// which a machine of two cores, where each pool has two, does not give.
class PoolThreadsAtLeast {
public:
    PoolThreadsAtLeast(PoolPriority priority, int threads)
        : pool_(threadPool(priority)), threads_(pool_->maxThreadCount())
    {
        pool_->setMaxThreadCount(std::max(threads, threads_));
    }
    ~PoolThreadsAtLeast() { pool_->setMaxThreadCount(threads_); }

    PoolThreadsAtLeast(const PoolThreadsAtLeast&) = delete;
    PoolThreadsAtLeast& operator=(const PoolThreadsAtLeast&) = delete;

private:
    QThreadPool* pool_;
    int threads_;
};

} // namespace pivra::test
