#include "platform/runtime/threads/BackgroundReleaser.h"

#include "platform/runtime/Dispatcher.h"

#include <condition_variable>
#include <mutex>
#include <thread>

namespace pivra {

struct BackgroundReleaser::Pending {
    std::mutex mutex;
    std::condition_variable done;
    int count = 0;
};

BackgroundReleaser::BackgroundReleaser() : pending_(std::make_shared<Pending>()) {}

BackgroundReleaser::~BackgroundReleaser()
{
    std::unique_lock lock(pending_->mutex);
    pending_->done.wait(lock, [this] { return pending_->count == 0; });
}

BackgroundReleaser& BackgroundReleaser::shared()
{
    static BackgroundReleaser releaser;
    return releaser;
}

void BackgroundReleaser::release(std::shared_ptr<void> object)
{
    detail::workQueued();
    {
        const std::lock_guard lock(pending_->mutex);
        ++pending_->count;
    }
    std::thread([pending = pending_, object = std::move(object)]() mutable {
        object.reset();
        {
            const std::lock_guard lock(pending->mutex);
            --pending->count;
        }
        pending->done.notify_all();
        detail::workDelivered();
    }).detach();
}

} // namespace pivra
