#include "platform/runtime/Task.h"

#include <QCoreApplication>
#include <QtGlobal>

#include <exception>

namespace pivra {

namespace detail {

namespace {

void logEscapedException(const std::exception_ptr& error)
{
    try {
        std::rethrow_exception(error);
    } catch (const std::exception& exception) {
        qWarning("pivra: a task ended with an uncaught exception: %s", exception.what());
    } catch (...) {
        qWarning("pivra: a task ended with an uncaught exception of a non-standard type");
    }
}

} // namespace

void finishRoot(std::coroutine_handle<> frame, std::shared_ptr<TaskState> state,
                std::exception_ptr error) noexcept
{
    // The frame is suspended at its final point, so destroying it here is
    // allowed; `state` and `error` are copies and survive it.
    frame.destroy();
    if (error) {
        logEscapedException(error);
    }
    markDone(*state);
}

} // namespace detail

TaskHandle startTask(QObject* context, Task<void> task)
{
    assertMainThread();
    auto state = std::make_shared<TaskState>();
    state->context = context != nullptr ? context : QCoreApplication::instance();
    const auto frame = std::exchange(task.frame_, {});
    Q_ASSERT_X(frame, "startTask", "the task was moved from");
    frame.promise().state = state;
    state->root = frame;
    detail::resumeOnMain(state, frame);
    return TaskHandle(state);
}

} // namespace pivra
