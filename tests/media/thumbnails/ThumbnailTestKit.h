#pragma once

#include <chrono>
#include <condition_variable>
#include <functional>
#include <mutex>
#include <thread>

namespace pivra::test {

// Waits, on any thread, for a state that worker threads reach; false when
// they never do.
inline bool reaches(const std::function<bool()>& state)
{
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(30);
    while (!state()) {
        if (std::chrono::steady_clock::now() > deadline) {
            return false;
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(1));
    }
    return true;
}

// Holds worker threads at a point until the test lets them pass. Starts open
// unless closed, and may be closed and opened again.
class ReopenableGate {
public:
    explicit ReopenableGate(bool open = true) : open_(open) {}

    void close()
    {
        std::lock_guard lock(mutex_);
        open_ = false;
    }

    void open()
    {
        {
            std::lock_guard lock(mutex_);
            open_ = true;
        }
        changed_.notify_all();
    }

    void pass()
    {
        std::unique_lock lock(mutex_);
        changed_.wait(lock, [this] { return open_; });
    }

private:
    std::mutex mutex_;
    std::condition_variable changed_;
    bool open_;
};

} // namespace pivra::test
