#include "platform/runtime/threads/Strand.h"

#include <condition_variable>
#include <deque>
#include <map>
#include <mutex>

namespace pivra {

struct Strand::Queue {
    std::mutex mutex;
    std::condition_variable wake;
    std::deque<std::function<void()>> jobs;
    std::multimap<std::chrono::steady_clock::time_point, std::function<void()>> later;
    bool stopping = false;

    void run()
    {
        std::unique_lock lock(mutex);
        while (true) {
            for (auto due = later.begin(); due != later.end() && due->first <= std::chrono::steady_clock::now();) {
                jobs.push_back(std::move(due->second));
                due = later.erase(due);
            }
            if (jobs.empty()) {
                if (stopping) {
                    return;
                }
                if (later.empty()) {
                    wake.wait(lock);
                } else {
                    wake.wait_until(lock, later.begin()->first);
                }
                continue;
            }
            std::function<void()> job = std::move(jobs.front());
            jobs.pop_front();
            lock.unlock();
            job();
            job = nullptr; // what the job holds goes before the lock is taken again
            lock.lock();
        }
    }
};

Strand::Strand()
    : queue_(std::make_shared<Queue>())
    , thread_([queue = queue_] { queue->run(); })
{
}

Strand::~Strand()
{
    {
        std::lock_guard guard(queue_->mutex);
        queue_->stopping = true;
    }
    queue_->wake.notify_one();
    if (thread_.get_id() == std::this_thread::get_id()) {
        thread_.detach();
    } else {
        thread_.join();
    }
}

void Strand::post(std::function<void()> job)
{
    {
        std::lock_guard guard(queue_->mutex);
        queue_->jobs.push_back(std::move(job));
    }
    queue_->wake.notify_one();
}

void Strand::postAfter(std::chrono::milliseconds delay, std::function<void()> job)
{
    {
        std::lock_guard guard(queue_->mutex);
        queue_->later.emplace(std::chrono::steady_clock::now() + delay, std::move(job));
    }
    queue_->wake.notify_one();
}

} // namespace pivra
