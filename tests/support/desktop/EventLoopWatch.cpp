#include "support/desktop/EventLoopWatch.h"

#include <QEventLoop>

#include <algorithm>

namespace pivra::test {

EventLoopWatch::EventLoopWatch()
{
    tick_.setTimerType(Qt::PreciseTimer);
    QObject::connect(&tick_, &QTimer::timeout, &tick_, [this] {
        longest_ = std::max(longest_, pass_.heldUpMs());
        longestBusy_ = std::max(longestBusy_, pass_.busyMs());
        pass_.restart();
        ++ticks_;
    });
    tick_.start(1);
}

bool EventLoopWatch::waitFor(const std::function<bool()>& done, int timeoutMs)
{
    if (done()) {
        return true;
    }
    QEventLoop loop;
    const QMetaObject::Connection check = QObject::connect(&tick_, &QTimer::timeout, &loop, [&] {
        if (done()) {
            loop.quit();
        }
    });
    QTimer::singleShot(timeoutMs, &loop, &QEventLoop::quit);
    loop.exec();
    QObject::disconnect(check);
    return done();
}

double EventLoopWatch::slowdown()
{
#if defined(__SANITIZE_ADDRESS__)
    return 4;
#else
    return 1;
#endif
}

} // namespace pivra::test
