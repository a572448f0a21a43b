#pragma once

#include "platform/runtime/threads/Pool.h"

#include <QString>

#include <atomic>
#include <condition_variable>
#include <deque>
#include <functional>
#include <memory>
#include <mutex>

namespace pivra {

// One unit of work on an OperationQueue. Cancelling marks it; a cancelled
// operation that has not started never runs, so its completion is never
// called. Once it runs, cancelling changes nothing: the work decides itself.
class QueueOperation {
public:
    explicit QueueOperation(std::function<void()> work) : work_(std::move(work)) {}

    void cancel() noexcept { cancelled_.store(true, std::memory_order_release); }
    bool isCancelled() const noexcept { return cancelled_.load(std::memory_order_acquire); }

private:
    friend class OperationQueue;
    std::function<void()> work_;
    std::atomic<bool> cancelled_{false};
};

// Urgent work overtakes everything waiting at normal urgency (the viewer's
// preview must not wait behind thousands of background thumbnails), but still
// waits while the queue is suspended.
enum class OperationUrgency { normal, urgent };

// A named queue that runs at most `maxConcurrent` operations at once on the
// process pool of its priority. QThreadPool can neither be paused nor hold
// back one caller's work, so the waiting list, the width and the suspension
// live here and the pool only lends threads: a thread that finishes an
// operation takes the next one itself, so a busy queue costs no re-posting.
//
// Suspending only stops new operations from starting; running ones finish.
// Destroying the queue drops whatever still waits and waits for what runs.
class OperationQueue {
public:
    OperationQueue(QString name, int maxConcurrent, PoolPriority priority);
    ~OperationQueue();

    OperationQueue(const OperationQueue&) = delete;
    OperationQueue& operator=(const OperationQueue&) = delete;

    std::shared_ptr<QueueOperation> add(std::function<void()> work,
                                        OperationUrgency urgency = OperationUrgency::normal);
    // The same for work that outlives its run and asks later whether it is
    // still wanted: it gets its own operation, which it may keep.
    std::shared_ptr<QueueOperation> add(std::function<void(const std::shared_ptr<QueueOperation>& self)> work,
                                        OperationUrgency urgency = OperationUrgency::normal);

    void setSuspended(bool suspended);
    bool isSuspended() const;

    const QString& name() const { return name_; }
    int maxConcurrent() const { return maxConcurrent_; }
    PoolPriority priority() const { return priority_; }

    // Operations not yet started (cancelled ones included until their turn
    // comes), and operations running now.
    int waitingCount() const;
    int runningCount() const;

private:
    using Operation = std::shared_ptr<QueueOperation>;

    void enqueue(const Operation& operation, OperationUrgency urgency);
    // Takes the next operation this queue may start now, or none. Caller holds mutex_.
    Operation takeNextLocked();
    void startRunnersLocked();
    void runFrom(Operation first);
    void run(std::function<void()> work) const;

    const QString name_;
    const int maxConcurrent_;
    const PoolPriority priority_;

    mutable std::mutex mutex_;
    std::condition_variable idle_;
    std::deque<Operation> urgent_;
    std::deque<Operation> normal_;
    int running_ = 0;
    bool suspended_ = false;
    bool closing_ = false;
};

} // namespace pivra
