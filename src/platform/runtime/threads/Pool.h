#pragma once

#include "platform/runtime/OffThreadCall.h"
#include "platform/runtime/OwnedArguments.h"

#include <QThreadPool>

#include <functional>
#include <utility>

namespace pivra {

// Detached work comes in two urgencies. userInitiated is work someone is
// waiting to see; utility is background upkeep (footprints, deletions) that
// must not compete with it for the processor.
enum class PoolPriority { userInitiated, utility };

// The process-wide pool of each priority, each as wide as the machine. Utility
// threads run at QThread::LowPriority and, since Linux ignores that for
// ordinary threads, also at a raised nice value (jobs started through
// runOnPool; a QRunnable started on the pool directly keeps the default).
QThreadPool* threadPool(PoolPriority priority);

// Makes the calling thread one that works for throughput: it keeps its share
// of the processor but never preempts a running thread when it wakes, so a
// worker whose read returned does not push the GUI thread off its processor
// in the middle of a frame. Every worker thread of the process calls it
// once, first thing (pool threads through startOnPool); Linux keeps the
// policy per thread.
void becomeWorkerThread();

namespace detail {

// Hands `job` to the pool of that priority.
void startOnPool(PoolPriority priority, std::function<void()> job);

} // namespace detail

// `co_await runOnPool(priority, fn, args...)`: runs fn(args...) on a pool
// thread and continues the awaiting coroutine on the GUI thread with its
// result, or rethrows its exception as thrown. fn must not capture (see
// Task.h); the arguments are copied to the pool thread and handed to fn as
// rvalues.
template<typename F, typename... Args>
auto runOnPool(PoolPriority priority, F fn, Args... args)
{
    detail::requireStatelessJob<F>();
    detail::requireOwnedArguments<Args...>();
    using R = detail::JobResult<F, Args...>;
    return detail::OffThreadCall<R>(
        [priority](std::function<void()> work) { detail::startOnPool(priority, std::move(work)); },
        [fn, ... args = std::move(args)]() mutable -> R { return std::invoke(fn, std::move(args)...); });
}

} // namespace pivra
