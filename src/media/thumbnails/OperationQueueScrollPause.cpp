#include "media/thumbnails/OperationQueueScrollPause.h"

#include "platform/runtime/MainThread.h"

#include <QCoreApplication>
#include <QTimer>

#include <chrono>
#include <cmath>

namespace pivra {

PauseClock PauseClock::system()
{
    return {
        [] {
            return std::chrono::duration<double>(std::chrono::steady_clock::now().time_since_epoch()).count();
        },
        [](double delaySeconds, std::function<void()> call) {
            QTimer::singleShot(std::chrono::milliseconds(std::lround(delaySeconds * 1000)),
                               QCoreApplication::instance(), std::move(call));
        },
    };
}

ScrollPause::ScrollPause(OperationQueue& queue, PauseClock clock)
    : queue_(queue), clock_(std::move(clock)), self_(std::make_shared<ScrollPause*>(this))
{
}

void ScrollPause::noteScroll()
{
    assertMainThread();
    lastScrollActivity_ = clock_.uptime();
    if (!queue_.isSuspended()) {
        queue_.setSuspended(true);
    }
    if (!resumePending_) {
        schedulePreparationResume();
    }
}

void ScrollPause::schedulePreparationResume()
{
    resumePending_ = true;
    clock_.schedule(quietSeconds, [weak = std::weak_ptr<ScrollPause*>(self_)] {
        if (const auto alive = weak.lock()) {
            (*alive)->checkResume();
        }
    });
}

void ScrollPause::checkResume()
{
    resumePending_ = false;
    // The check was scheduled a quiet period after a scroll; rounding of the
    // clock's large values must not cost a second period.
    constexpr double rounding = 1e-6;
    if (clock_.uptime() - lastScrollActivity_ >= quietSeconds - rounding) {
        queue_.setSuspended(false);
    } else {
        schedulePreparationResume();
    }
}

} // namespace pivra
