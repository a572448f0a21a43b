#pragma once

#include <condition_variable>
#include <deque>
#include <functional>
#include <mutex>
#include <thread>

namespace pivra::detail {

// One thread running a FIFO queue of jobs, with a set-up step that runs on it
// before the first job and a tear-down step after the last. Jobs must not
// throw. The destructor lets the queue run dry, then tears down and joins:
// nothing queued is ever skipped. It must not run on the thread itself.
class SerialThread {
public:
    SerialThread(std::function<void()> setUp, std::function<void()> tearDown);
    ~SerialThread();

    SerialThread(const SerialThread&) = delete;
    SerialThread& operator=(const SerialThread&) = delete;

    void enqueue(std::function<void()> job);
    bool isCurrentThread() const noexcept;

private:
    void run(const std::function<void()>& setUp, const std::function<void()>& tearDown);

    std::mutex mutex_;
    std::condition_variable wake_;
    std::deque<std::function<void()>> jobs_;
    bool stopping_ = false;
    std::thread thread_; // last: starts once the queue above exists
};

} // namespace pivra::detail
