#include "platform/RuntimeTestKit.h"

#include <QMutex>
#include <QMutexLocker>

namespace pivra::test {

void Gate::open()
{
    {
        const std::lock_guard lock(mutex_);
        open_ = true;
    }
    changed_.notify_all();
}

void Gate::wait()
{
    std::unique_lock lock(mutex_);
    reached_ = true;
    changed_.wait(lock, [this] { return open_; });
}

bool Gate::wasReached()
{
    const std::lock_guard lock(mutex_);
    return reached_;
}

namespace {

QMutex warningsMutex;
QStringList warnings;

void collectWarning(QtMsgType type, const QMessageLogContext&, const QString& message)
{
    if (type == QtWarningMsg) {
        const QMutexLocker locker(&warningsMutex);
        warnings.append(message);
    }
}

} // namespace

WarningLog::WarningLog() : previous_(qInstallMessageHandler(collectWarning))
{
    const QMutexLocker locker(&warningsMutex);
    warnings.clear();
}

WarningLog::~WarningLog()
{
    qInstallMessageHandler(previous_);
}

QStringList WarningLog::messages() const
{
    const QMutexLocker locker(&warningsMutex);
    return warnings;
}

} // namespace pivra::test
