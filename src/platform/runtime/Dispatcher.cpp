#include "platform/runtime/Dispatcher.h"

#include "platform/runtime/TaskHandle.h"

#include <QAbstractEventDispatcher>
#include <QCoreApplication>
#include <QMetaObject>
#include <QThread>

#include <atomic>
#include <utility>

namespace pivra::detail {

namespace {

std::atomic<long> outstandingWork{0};

// The task's context died: its frames are destroyed rather than resumed.
void abandon(TaskState& state)
{
    if (std::coroutine_handle<> root = std::exchange(state.root, {})) {
        root.destroy();
    }
    markDone(state);
}

} // namespace

void resumeOnMain(std::shared_ptr<TaskState> state, std::coroutine_handle<> frame)
{
    // The application object lives on the GUI thread and outlives every task
    // worth resuming, so it serves as the dispatcher's receiver.
    QCoreApplication* app = QCoreApplication::instance();
    if (app == nullptr) {
        return; // shutting down: nothing is left to resume on
    }
    workQueued();
    QMetaObject::invokeMethod(
        app,
        [state = std::move(state), frame] {
            // Counted as delivered before resuming, so a nested event loop the
            // task opens (a modal dialog) does not hold drain() up.
            workDelivered();
            if (state->context.isNull()) {
                abandon(*state);
            } else {
                frame.resume();
            }
        },
        Qt::QueuedConnection);
}

void workQueued() noexcept
{
    outstandingWork.fetch_add(1, std::memory_order_relaxed);
}

void workDelivered() noexcept
{
    if (outstandingWork.fetch_sub(1, std::memory_order_release) == 1) {
        // Work that ends off the GUI thread without posting anything (a
        // fire-and-forget job) must still wake a drain() that sleeps on the
        // event loop.
        if (const QCoreApplication* app = QCoreApplication::instance()) {
            if (QAbstractEventDispatcher* dispatcher = app->thread()->eventDispatcher()) {
                dispatcher->wakeUp();
            }
        }
    }
}

bool hasOutstandingWork() noexcept
{
    return outstandingWork.load(std::memory_order_acquire) != 0;
}

} // namespace pivra::detail
