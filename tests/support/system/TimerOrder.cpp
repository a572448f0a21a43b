#include "support/system/TimerOrder.h"

#include <QSignalSpy>
#include <QTimer>

namespace pivra::test {

bool outlastTimers(std::chrono::milliseconds interval)
{
    QTimer later;
    later.setSingleShot(true);
    later.setTimerType(Qt::PreciseTimer);
    QSignalSpy fired(&later, &QTimer::timeout);
    later.start(interval);
    return fired.wait(static_cast<int>(interval.count()) + 10000);
}

} // namespace pivra::test
