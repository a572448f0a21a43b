#include "platform/runtime/threads/BackgroundReleaser.h"

#include "platform/runtime/Dispatcher.h"
#include "platform/runtime/MainThread.h"
#include "platform/runtime/threads/HeldFileCalls.h"

#include <QAbstractEventDispatcher>
#include <QCoreApplication>
#include <QThread>
#include <QTimer>

#include <chrono>
#include <condition_variable>
#include <mutex>
#include <thread>

namespace pivra {
namespace {

using namespace std::chrono_literals;

// How often finish() looks for a thread held on a file, and how long one
// may stay held before it stops waiting: far longer than a local disk or a
// live share keeps one call waiting, far shorter than anyone waits for a
// quit.
constexpr auto heldLookEvery = 40ms;
constexpr auto heldLongest = 240ms;

} // namespace

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
        // Told before the count goes down: whoever waited for the count may
        // let the application go at once, and this may wake its dispatcher.
        detail::workDelivered();
        {
            const std::lock_guard lock(pending->mutex);
            if (--pending->count == 0 && pending->finishing != nullptr) {
                pending->finishing->wakeUp();
            }
        }
        pending->done.notify_all();
    }).detach();
}

void BackgroundReleaser::finish()
{
    assertMainThread();
    QAbstractEventDispatcher* const dispatcher = QThread::currentThread()->eventDispatcher();
    HeldFileCalls held;
    std::chrono::steady_clock::duration heldFor{};
    auto lastLook = std::chrono::steady_clock::now();
    QTimer looks;
    looks.start(heldLookEvery);
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
        const auto now = std::chrono::steady_clock::now();
        if (now - lastLook >= heldLookEvery) {
            // Only the time a thread could not move on counts: a release
            // held in a call on a share that never answers would hold the
            // program for good, and the process's end ends that thread.
            heldFor = held.lookAgain() ? heldFor + (now - lastLook) : std::chrono::steady_clock::duration{};
            lastLook = now;
            if (heldFor >= heldLongest) {
                const std::lock_guard lock(pending_->mutex);
                pending_->finishing = nullptr;
                return;
            }
        }
        // A wake between the count above and this wait ends the wait at
        // once; the looks' timer ends it too.
        QCoreApplication::processEvents(QEventLoop::AllEvents | QEventLoop::WaitForMoreEvents);
    }
}

} // namespace pivra
