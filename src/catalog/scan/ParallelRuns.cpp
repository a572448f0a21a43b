#include "catalog/scan/ParallelRuns.h"

#include "platform/runtime/threads/Pool.h"

#include <algorithm>
#include <atomic>
#include <condition_variable>
#include <deque>
#include <exception>
#include <memory>
#include <mutex>
#include <thread>

#include <sys/fsuid.h>

namespace pivra {
namespace {

// The identity a thread opens files under. Linux keeps it per thread, so a
// helper made earlier must take on its caller's: a folder the caller may not
// open is not opened for it by a helper that happens to be root.
struct FilesystemIdentity {
    uid_t user = 0;
    gid_t group = 0;

    static FilesystemIdentity current()
    {
        // An invalid id changes nothing and answers the current one.
        return {uid_t(setfsuid(uid_t(-1))), gid_t(setfsgid(gid_t(-1)))};
    }

    void adopt() const
    {
        setfsgid(group);
        setfsuid(user);
    }

    bool operator==(const FilesystemIdentity&) const = default;
};

// One call's jobs, shared by the caller and the helpers that join it.
struct Run {
    const std::vector<std::function<void()>>* jobs = nullptr;
    std::atomic<std::size_t> nextJob{0};
    std::mutex lock;
    std::condition_variable helpersDone;
    int helping = 0; // helpers inside work(), under `lock`
    std::exception_ptr failure;
    const FilesystemIdentity identity = FilesystemIdentity::current();

    void work()
    {
        for (std::size_t index = nextJob++; index < jobs->size(); index = nextJob++) {
            try {
                (*jobs)[index]();
            } catch (...) {
                const std::lock_guard guard(lock);
                failure = failure ? failure : std::current_exception();
            }
        }
    }
};

// Threads kept for every run of the process: a scan runs one call a batch,
// hundreds of them, and threads made and ended for each cost more than the
// waits they would save. A helper joins one run at a time; a run whose
// helpers are all busy elsewhere is worked by its caller alone.
class Helpers {
public:
    static Helpers& shared()
    {
        static Helpers helpers;
        return helpers;
    }

    void help(const std::shared_ptr<Run>& run, std::size_t count)
    {
        const std::lock_guard guard(lock_);
        for (std::size_t made = threads_.size(); made < std::min(count, mostThreads); ++made) {
            threads_.emplace_back([this](const std::stop_token& stop) { serve(stop); });
        }
        waiting_.insert(waiting_.end(), std::min(count, mostThreads), run);
        wake_.notify_all();
    }

    // Takes back the places of `run` no helper took: its jobs are all claimed.
    void withdraw(const std::shared_ptr<Run>& run)
    {
        const std::lock_guard guard(lock_);
        std::erase(waiting_, run);
    }

    ~Helpers()
    {
        {
            const std::lock_guard guard(lock_);
            for (std::jthread& thread : threads_) {
                thread.request_stop();
            }
        }
        wake_.notify_all();
    }

private:
    static constexpr std::size_t mostThreads = 64;

    void serve(const std::stop_token& stop)
    {
        becomeWorkerThread();
        const FilesystemIdentity own = FilesystemIdentity::current();
        for (;;) {
            std::shared_ptr<Run> run;
            {
                std::unique_lock guard(lock_);
                wake_.wait(guard, stop, [this] { return !waiting_.empty(); });
                if (stop.stop_requested()) {
                    return;
                }
                run = std::move(waiting_.front());
                waiting_.pop_front();
                const std::lock_guard joined(run->lock);
                ++run->helping;
            }
            const bool borrowed = run->identity != own;
            if (borrowed) {
                run->identity.adopt();
            }
            run->work();
            if (borrowed) {
                own.adopt();
            }
            const std::lock_guard left(run->lock);
            if (--run->helping == 0) {
                run->helpersDone.notify_all();
            }
        }
    }

    std::mutex lock_;
    std::condition_variable_any wake_;
    std::deque<std::shared_ptr<Run>> waiting_;
    std::vector<std::jthread> threads_;
};

} // namespace

void runInParallel(const std::vector<std::function<void()>>& jobs, int width)
{
    const std::size_t threadCount = std::min<std::size_t>(static_cast<std::size_t>(std::max(width, 1)), jobs.size());
    if (threadCount <= 1) {
        for (const auto& job : jobs) {
            job();
        }
        return;
    }
    auto run = std::make_shared<Run>();
    run->jobs = &jobs;
    Helpers::shared().help(run, threadCount - 1);
    run->work();
    Helpers::shared().withdraw(run);
    std::unique_lock guard(run->lock);
    run->helpersDone.wait(guard, [&run] { return run->helping == 0; });
    if (run->failure) {
        std::rethrow_exception(run->failure);
    }
}

} // namespace pivra
