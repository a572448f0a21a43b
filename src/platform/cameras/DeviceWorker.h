#pragma once

#include <array>
#include <condition_variable>
#include <cstdint>
#include <deque>
#include <functional>
#include <mutex>
#include <thread>

namespace pivra {

// The one thread that talks to one device, since a device session may only
// be used from one thread. Jobs wait in a queue per priority and the most
// urgent runs next, so a read is never stuck behind a long listing, which is
// why a listing is queued as many small steps. Within a priority jobs wait in
// turn, unless one is queued first: then it goes ahead of every job waiting
// there (never of the one running), so among such jobs the newest runs first.
// Jobs queued first as one batch (the cells a view asked for at once) wait
// in the order the view wants them, however they reach the queue; a newer
// batch goes ahead of the older ones.
//
// Every job has two ends: `run` on the worker, or `abandon` when the worker
// is closed before the job came up (the device went away), or when the job
// is no longer wanted once its turn comes. Exactly one of them is called, so
// every request completes.
class DeviceWorker {
public:
    enum class Priority { stream, copy, preview, listing, count };
    enum class Place { inTurn, first };

    struct Job {
        std::function<void()> run;
        std::function<void()> abandon;
        // Asked on the worker when the job comes up, outside the worker's
        // lock; empty: always wanted.
        std::function<bool()> wanted;
    };

    // `tearDown` runs on the worker after its last job.
    explicit DeviceWorker(std::function<void()> tearDown);
    // Abandons what still waits, lets the running job end, tears down and
    // joins. Must not run on the worker itself.
    ~DeviceWorker();

    DeviceWorker(const DeviceWorker&) = delete;
    DeviceWorker& operator=(const DeviceWorker&) = delete;

    // Takes the job, unless the worker is closed: then the job stays with the
    // caller, who abandons it (outside whatever lock it holds).
    // `batch` (from 1, growing) and `order` (its place in the batch, lower
    // first) matter only for a job queued first.
    [[nodiscard]] bool enqueue(Priority priority, Job& job, Place place = Place::inTurn, std::uint64_t batch = 0,
                               std::uint64_t order = 0);
    // Abandons every waiting job, and every later one; the running job ends
    // normally and can tell from isClosed() that its device is gone.
    void close();
    bool isClosed() const;

private:
    void run(const std::function<void()>& tearDown);

    mutable std::mutex mutex_;
    std::condition_variable wake_;
    struct Waiting {
        Job job;
        std::uint64_t batch = 0; // 0: queued in turn, or first without a batch
        std::uint64_t order = 0;
    };
    std::array<std::deque<Waiting>, std::size_t(Priority::count)> queues_;
    bool closed_ = false;
    std::thread thread_; // last: starts once the queues exist
};

} // namespace pivra
