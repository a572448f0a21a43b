#pragma once

#include <condition_variable>
#include <mutex>

namespace pivra::test {

// Holds worker threads at a point until the test lets them pass. Starts open
// unless closed.
class Gate {
public:
    explicit Gate(bool open = true) : open_(open) {}

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
