#include "platform/runtime/threads/DiskCallPool.h"

#include "platform/runtime/Dispatcher.h"
#include "platform/runtime/threads/Pool.h"
#include "platform/runtime/threads/ThreadTimes.h"

#include <QtGlobal>

#include <pthread.h>

#include <algorithm>
#include <condition_variable>
#include <deque>
#include <list>
#include <mutex>
#include <optional>
#include <system_error>
#include <thread>
#include <vector>

namespace pivra {

namespace {

using Clock = std::chrono::steady_clock;

// How long a thread with nothing to do waits for a call before it ends.
constexpr std::chrono::seconds idleEnd{5};

struct Told {
    GuiReturn back;
    std::function<void(DiskCallPool::Outcome)> told;

    void post(DiskCallPool::Outcome outcome) const
    {
        back.post([told = told, outcome] { told(outcome); });
    }
};

struct Queued {
    std::function<void()> call;
    std::shared_ptr<const Told> told;
};

// A call on its thread, as the watch sees it.
struct Running {
    pid_t thread = 0;
    Clock::time_point began;
    std::optional<ThreadTimes> atStart;
    std::shared_ptr<const Told> told;
    bool stuck = false;
    // The pool went first and counted the call off; nothing is told of it.
    bool abandoned = false;
};

// How long the call's thread has slept inside it. A thread ready to run now
// is not sleeping, whatever it did before; its wait for a processor is
// counted only once it gets one.
Clock::duration sleptFor(const Running& call, Clock::time_point now)
{
    const Clock::duration elapsed = now - call.began;
    if (!call.atStart) {
        return elapsed;
    }
    const std::optional<ThreadTimes> times = threadTimes(call.thread);
    if (!times || times->runnable) {
        return Clock::duration::zero();
    }
    const std::chrono::nanoseconds busy((times->runningNs - call.atStart->runningNs)
                                        + (times->waitingNs - call.atStart->waitingNs));
    return elapsed - busy;
}

} // namespace

struct DiskCallPool::Shared {
    explicit Shared(Limits limits) : limits(limits) {}

    const Limits limits;
    std::mutex lock;
    std::condition_variable work;  // a call queued, or the pool closed
    std::condition_variable watch; // a call begun, or the pool closed
    std::deque<Queued> queue;
    std::list<std::shared_ptr<Running>> running;
    int active = 0; // threads counted against the width: idle, or running a call not stuck
    int idle = 0;
    int threads = 0;
    bool watching = false;
    bool closed = false;

    // With the lock held.
    bool startWorker(const std::shared_ptr<Shared>& self);

    // The body of a thread that runs calls, and of the one that watches them.
    static void runCalls(std::shared_ptr<Shared> shared);
    static void watchCalls(std::shared_ptr<Shared> shared);
};

bool DiskCallPool::Shared::startWorker(const std::shared_ptr<Shared>& self)
{
    try {
        std::thread(&Shared::runCalls, self).detach();
    } catch (const std::system_error& error) {
        qWarning("pivra: no thread for a disk call: %s", error.what());
        return false;
    }
    ++active;
    ++threads;
    return true;
}

void DiskCallPool::Shared::runCalls(std::shared_ptr<Shared> shared)
{
    becomeWorkerThread();
    pthread_setname_np(pthread_self(), "pivra disk");
    std::unique_lock lock(shared->lock);
    for (;;) {
        ++shared->idle;
        const bool called =
            shared->work.wait_for(lock, idleEnd, [&] { return shared->closed || !shared->queue.empty(); });
        --shared->idle;
        if (shared->closed || !called) {
            break;
        }
        Queued next = std::move(shared->queue.front());
        shared->queue.pop_front();
        lock.unlock();

        auto call = std::make_shared<Running>();
        call->thread = currentThreadId();
        call->atStart = threadTimes(call->thread);
        call->began = Clock::now();
        call->told = next.told;
        lock.lock();
        shared->running.push_back(call);
        shared->watch.notify_one();
        lock.unlock();

        try {
            next.call();
        } catch (...) {
            // what the call meant to tell, it tells through its own state
        }
        next.call = nullptr;

        lock.lock();
        shared->running.remove(call);
        if (call->stuck) {
            // Its place in the width was taken: it comes back only where
            // there is room again.
            const bool rejoins = !shared->closed && shared->active < shared->limits.width;
            call->told->post(Outcome::answeredLate);
            if (!rejoins) {
                --shared->threads;
                return;
            }
            ++shared->active;
        } else if (!call->abandoned) {
            // Posted before it is counted off, so drain() never sees nothing
            // in between.
            call->told->post(Outcome::answered);
            detail::workDelivered();
        }
    }
    --shared->active;
    --shared->threads;
}

void DiskCallPool::Shared::watchCalls(std::shared_ptr<Shared> shared)
{
    pthread_setname_np(pthread_self(), "pivra diskwatch");
    const auto tick = std::max<Clock::duration>(std::chrono::milliseconds(10), shared->limits.stuckAfter / 8);
    const auto anyToWatch = [&] {
        return std::any_of(shared->running.cbegin(), shared->running.cend(),
                           [](const std::shared_ptr<Running>& call) { return !call->stuck; });
    };
    std::unique_lock lock(shared->lock);
    while (!shared->closed) {
        if (!anyToWatch()) {
            shared->watch.wait(lock, [&] { return shared->closed || anyToWatch(); });
            continue;
        }
        if (shared->watch.wait_for(lock, tick, [&] { return shared->closed; })) {
            break;
        }
        std::vector<std::shared_ptr<Running>> watched;
        for (const std::shared_ptr<Running>& call : shared->running) {
            if (!call->stuck) {
                watched.push_back(call);
            }
        }
        lock.unlock();
        const Clock::time_point now = Clock::now();
        std::vector<std::shared_ptr<Running>> stuck;
        for (const std::shared_ptr<Running>& call : watched) {
            if (sleptFor(*call, now) >= shared->limits.stuckAfter) {
                stuck.push_back(call);
            }
        }
        lock.lock();
        for (const std::shared_ptr<Running>& call : stuck) {
            const bool stillRunning =
                std::find(shared->running.cbegin(), shared->running.cend(), call) != shared->running.cend();
            if (!stillRunning || call->stuck || call->abandoned || shared->closed) {
                continue;
            }
            call->stuck = true;
            --shared->active;
            call->told->post(Outcome::stuck);
            detail::workDelivered();
            if (static_cast<int>(shared->queue.size()) > shared->idle && shared->active < shared->limits.width) {
                shared->startWorker(shared);
            }
        }
    }
    --shared->threads;
}

DiskCallPool::DiskCallPool(Limits limits) : shared_(std::make_shared<Shared>(limits)) {}

DiskCallPool::~DiskCallPool()
{
    const std::lock_guard guard(shared_->lock);
    shared_->closed = true;
    for (std::size_t index = 0; index < shared_->queue.size(); ++index) {
        detail::workDelivered();
    }
    shared_->queue.clear();
    for (const std::shared_ptr<Running>& call : shared_->running) {
        if (!call->stuck) {
            call->abandoned = true;
            detail::workDelivered();
        }
    }
    shared_->work.notify_all();
    shared_->watch.notify_all();
}

void DiskCallPool::run(std::function<void()> call, GuiReturn back, std::function<void(Outcome)> told)
{
    detail::workQueued();
    const std::lock_guard guard(shared_->lock);
    if (!shared_->watching) {
        try {
            std::thread(&Shared::watchCalls, shared_).detach();
            shared_->watching = true;
            ++shared_->threads;
        } catch (const std::system_error& error) {
            qWarning("pivra: no thread to watch disk calls: %s", error.what());
        }
    }
    shared_->queue.push_back(
        Queued{std::move(call), std::make_shared<const Told>(Told{std::move(back), std::move(told)})});
    if (static_cast<int>(shared_->queue.size()) > shared_->idle && shared_->active < shared_->limits.width) {
        shared_->startWorker(shared_);
    }
    shared_->work.notify_one();
}

int DiskCallPool::threads() const
{
    const std::lock_guard guard(shared_->lock);
    return shared_->threads;
}

} // namespace pivra
