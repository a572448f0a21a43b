#include "store/ProcessMonitor.h"

#include "platform/runtime/MainThread.h"


namespace pivra {

ProcessMonitor::ProcessMonitor(Clock clock, QObject* parent) : QObject(parent), clock_(std::move(clock)) {}

ProcessMonitor::Clock ProcessMonitor::systemClock()
{
    return currentTimestamp;
}

QUuid ProcessMonitor::begin(PivraProcess::Kind kind, const QString& detail, std::optional<int> total)
{
    assertMainThread();
    PivraProcess record;
    record.id = QUuid::createUuid();
    record.kind = kind;
    record.detail = detail;
    record.startedAt = clock_();
    record.total = total;
    running_.append(record);
    Q_EMIT runningChanged();
    return record.id;
}

void ProcessMonitor::update(const std::optional<QUuid>& id, const Changes& changes)
{
    assertMainThread();
    const qsizetype index = runningIndex(id);
    if (index < 0)
        return;
    PivraProcess record = running_.at(index);
    record.completed = changes.completed.value_or(record.completed);
    if (changes.total)
        record.total = changes.total;
    record.failed = changes.failed.value_or(record.failed);
    record.detail = changes.detail.value_or(record.detail);
    if (record == running_.at(index))
        return;
    running_[index] = std::move(record);
    Q_EMIT runningChanged();
}

void ProcessMonitor::end(const std::optional<QUuid>& id, PivraProcess::State state)
{
    assertMainThread();
    const qsizetype index = runningIndex(id);
    if (index < 0)
        return;
    PivraProcess record = running_.takeAt(index);
    record.state = state;
    record.finishedAt = clock_();
    finished_.prepend(std::move(record));
    if (finished_.size() > historyLimit)
        finished_.resize(historyLimit);
    // Both lists change before either signal, so no observer sees the record
    // in neither list.
    Q_EMIT runningChanged();
    Q_EMIT finishedChanged();
}

void ProcessMonitor::clearFinished()
{
    assertMainThread();
    finished_.clear();
    Q_EMIT finishedChanged();
}

qsizetype ProcessMonitor::runningIndex(const std::optional<QUuid>& id) const
{
    if (!id)
        return -1;
    for (qsizetype i = 0; i < running_.size(); ++i) {
        if (running_.at(i).id == *id)
            return i;
    }
    return -1;
}

void ProcessMonitor::setNotice(const std::optional<QString>& notice)
{
    if (notice != notice_) {
        notice_ = notice;
        Q_EMIT noticeChanged();
    }
}

} // namespace pivra
