#include "media/thumbnails/OperationQueue.h"

#include <QDebug>

#include <exception>

namespace pivra {

OperationQueue::OperationQueue(QString name, int maxConcurrent, PoolPriority priority)
    : name_(std::move(name)), maxConcurrent_(std::max(1, maxConcurrent)), priority_(priority)
{
}

OperationQueue::~OperationQueue()
{
    std::unique_lock lock(mutex_);
    closing_ = true;
    urgent_.clear();
    normal_.clear();
    idle_.wait(lock, [this] { return running_ == 0; });
}

std::shared_ptr<QueueOperation> OperationQueue::add(std::function<void()> work, OperationUrgency urgency)
{
    auto operation = std::make_shared<QueueOperation>(std::move(work));
    enqueue(operation, urgency);
    return operation;
}

std::shared_ptr<QueueOperation> OperationQueue::add(
    std::function<void(const std::shared_ptr<QueueOperation>& self)> work, OperationUrgency urgency)
{
    auto operation = std::make_shared<QueueOperation>(nullptr);
    // Held weakly, or the operation would own itself; it lives while it runs.
    operation->work_ = [work = std::move(work), self = std::weak_ptr(operation)] {
        if (const std::shared_ptr<QueueOperation> running = self.lock()) {
            work(running);
        }
    };
    enqueue(operation, urgency);
    return operation;
}

void OperationQueue::enqueue(const Operation& operation, OperationUrgency urgency)
{
    std::lock_guard lock(mutex_);
    if (closing_) {
        return; // never runs, as if cancelled by the queue's end
    }
    (urgency == OperationUrgency::urgent ? urgent_ : normal_).push_back(operation);
    startRunnersLocked();
}

void OperationQueue::setSuspended(bool suspended)
{
    std::lock_guard lock(mutex_);
    suspended_ = suspended;
    startRunnersLocked();
}

bool OperationQueue::isSuspended() const
{
    std::lock_guard lock(mutex_);
    return suspended_;
}

int OperationQueue::waitingCount() const
{
    std::lock_guard lock(mutex_);
    return int(urgent_.size() + normal_.size());
}

int OperationQueue::runningCount() const
{
    std::lock_guard lock(mutex_);
    return running_;
}

OperationQueue::Operation OperationQueue::takeNextLocked()
{
    if (suspended_ || closing_) {
        return nullptr;
    }
    for (auto* list : {&urgent_, &normal_}) {
        if (!list->empty()) {
            Operation next = std::move(list->front());
            list->pop_front();
            return next;
        }
    }
    return nullptr;
}

void OperationQueue::startRunnersLocked()
{
    while (running_ < maxConcurrent_) {
        Operation next = takeNextLocked();
        if (!next) {
            return;
        }
        ++running_;
        detail::startOnPool(priority_, [this, next = std::move(next)]() mutable { runFrom(std::move(next)); });
    }
}

void OperationQueue::run(std::function<void()> work) const
{
    // An exception leaving a pool thread ends the process, and this runner
    // would never give its slot back: the work answers its own callers, the
    // queue only carries on.
    try {
        work();
    } catch (const std::exception& error) {
        qWarning("%s: an operation failed: %s", qPrintable(name_), error.what());
    } catch (...) {
        qWarning("%s: an operation failed", qPrintable(name_));
    }
}

void OperationQueue::runFrom(Operation operation)
{
    while (operation) {
        if (!operation->isCancelled()) {
            run(std::move(operation->work_));
        }
        operation.reset(); // the work and what it holds die before the slot is given up
        std::lock_guard lock(mutex_);
        operation = takeNextLocked();
        if (!operation) {
            --running_;
            idle_.notify_all();
        }
    }
}

} // namespace pivra
