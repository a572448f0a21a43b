#include "platform/runtime/threads/BackgroundReleaser.h"

#include "platform/runtime/Dispatcher.h"
#include "platform/runtime/MainThread.h"

#include <QAbstractEventDispatcher>
#include <QCoreApplication>
#include <QThread>

#include <condition_variable>
#include <mutex>
#include <thread>

namespace pivra {

struct BackgroundReleaser::Pending {
    std::mutex mutex;
    std::condition_variable done;
    int count = 0;
    // The GUI thread's, while finish() turns it: woken as the last release ends.
    QAbstractEventDispatcher* finishing = nullptr;
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
            if (--pending->count == 0 && pending->finishing != nullptr) {
                pending->finishing->wakeUp();
            }
        }
        pending->done.notify_all();
        detail::workDelivered();
    }).detach();
}

void BackgroundReleaser::finish()
{
    assertMainThread();
    QAbstractEventDispatcher* const dispatcher = QThread::currentThread()->eventDispatcher();
    for (;;) {
        QCoreApplication::processEvents(QEventLoop::AllEvents);
        {
            const std::lock_guard lock(pending_->mutex);
            if (pending_->count == 0) {
                pending_->finishing = nullptr;
                return;
            }
            pending_->finishing = dispatcher;
        }
        // A wake between the count above and this wait ends the wait at once.
        QCoreApplication::processEvents(QEventLoop::AllEvents | QEventLoop::WaitForMoreEvents);
    }
}

} // namespace pivra
