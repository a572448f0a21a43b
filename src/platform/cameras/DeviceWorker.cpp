#include "platform/cameras/DeviceWorker.h"

#include <vector>

namespace pivra {

DeviceWorker::DeviceWorker(std::function<void()> tearDown)
    : thread_([this, tearDown = std::move(tearDown)] { run(tearDown); })
{
}

DeviceWorker::~DeviceWorker()
{
    close();
    thread_.join();
}

bool DeviceWorker::enqueue(Priority priority, Job& job, Place place)
{
    const std::lock_guard lock(mutex_);
    if (closed_) {
        return false;
    }
    std::deque<Job>& queue = queues_[std::size_t(priority)];
    if (place == Place::first) {
        queue.push_front(std::move(job));
    } else {
        queue.push_back(std::move(job));
    }
    wake_.notify_one();
    return true;
}

void DeviceWorker::close()
{
    std::vector<Job> abandoned;
    {
        const std::lock_guard lock(mutex_);
        closed_ = true;
        for (auto& queue : queues_) {
            std::move(queue.begin(), queue.end(), std::back_inserter(abandoned));
            queue.clear();
        }
        wake_.notify_one();
    }
    for (Job& job : abandoned) {
        job.abandon();
    }
}

bool DeviceWorker::isClosed() const
{
    const std::lock_guard lock(mutex_);
    return closed_;
}

void DeviceWorker::run(const std::function<void()>& tearDown)
{
    for (;;) {
        Job next;
        {
            std::unique_lock lock(mutex_);
            const auto waiting = [this] {
                for (const auto& queue : queues_) {
                    if (!queue.empty()) {
                        return &queue - queues_.data();
                    }
                }
                return std::ptrdiff_t(-1);
            };
            wake_.wait(lock, [&] { return closed_ || waiting() >= 0; });
            const std::ptrdiff_t index = waiting();
            if (index < 0) {
                break; // closed, and close() took whatever waited
            }
            next = std::move(queues_[std::size_t(index)].front());
            queues_[std::size_t(index)].pop_front();
        }
        if (next.wanted && !next.wanted()) {
            next.abandon(); // withdrawn while it waited: the device is not asked
        } else {
            next.run();
        }
    }
    tearDown();
}

} // namespace pivra
