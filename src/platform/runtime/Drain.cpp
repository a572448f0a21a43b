#include "platform/runtime/Drain.h"

#include "platform/runtime/Dispatcher.h"
#include "platform/runtime/MainThread.h"

#include <QCoreApplication>
#include <QDeadlineTimer>
#include <QEventLoop>
#include <QTimer>

namespace pivra {

bool drain(int timeoutMs)
{
    assertMainThread();
    const QDeadlineTimer deadline(timeoutMs, Qt::PreciseTimer);
    // Wakes the blocking wait below if nothing else arrives in time. Re-armed
    // before every wait, since a timer may fire a little early.
    QTimer wake;
    wake.setSingleShot(true);
    wake.setTimerType(Qt::PreciseTimer);
    for (;;) {
        QCoreApplication::processEvents(QEventLoop::AllEvents);
        if (!detail::hasOutstandingWork()) {
            return true;
        }
        const qint64 remainingMs = deadline.remainingTime();
        if (remainingMs == 0) {
            return false;
        }
        // Work is still running on other threads; sleep until its result (or
        // anything else) is posted.
        if (remainingMs > 0) { // negative: a negative timeout waits for ever
            wake.start(static_cast<int>(remainingMs));
        }
        QCoreApplication::processEvents(QEventLoop::AllEvents | QEventLoop::WaitForMoreEvents);
    }
}

} // namespace pivra
