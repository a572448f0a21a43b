#pragma once

#include <chrono>
#include <functional>
#include <memory>
#include <thread>

namespace pivra {

// Runs jobs one at a time, in the order posted, on a thread of its own: the
// serial queue of an object whose state is touched from several threads.
//
// Unlike SerialThread, it may be destroyed by one of its own jobs (a job that
// held the last reference to the strand's owner): the thread is then let go
// and ends once the jobs already queued have run. Destroyed elsewhere, it
// waits for them. Jobs must not throw.
class Strand {
public:
    Strand();
    ~Strand();

    Strand(const Strand&) = delete;
    Strand& operator=(const Strand&) = delete;

    // Any thread, also from a job of this strand.
    void post(std::function<void()> job);
    // The same once `delay` has passed: the job then queues behind those
    // posted before. When the strand ends first, it is dropped unrun, so it
    // must not hold what keeps the strand alive.
    void postAfter(std::chrono::milliseconds delay, std::function<void()> job);

private:
    struct Queue;

    std::shared_ptr<Queue> queue_; // shared with the thread, which may outlive the strand
    std::thread thread_;
};

} // namespace pivra
