#include "platform/cameras/DeviceWorker.h"

#include <algorithm>
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

bool DeviceWorker::enqueue(Priority priority, Job& job, Place place, std::uint64_t batch, std::uint64_t order)
{
    const std::lock_guard lock(mutex_);
    if (closed_) {
        return false;
    }
    std::deque<Waiting>& queue = queues_[std::size_t(priority)];
    if (place == Place::inTurn) {
        queue.push_back({std::move(job), 0, 0});
    } else if (batch == 0) {
        queue.push_front({std::move(job), 0, 0});
    } else {
        // Behind the jobs of its own batch the view wants first, ahead of
        // everything older.
        const auto later = std::find_if(queue.begin(), queue.end(), [batch, order](const Waiting& waiting) {
            return waiting.batch < batch || (waiting.batch == batch && waiting.order > order);
        });
        queue.insert(later, {std::move(job), batch, order});
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
            for (Waiting& waiting : queue) {
                abandoned.push_back(std::move(waiting.job));
            }
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
            next = std::move(queues_[std::size_t(index)].front().job);
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
