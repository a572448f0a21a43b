#include "catalog/search/SearchCalendar.h"

#include <cmath>
#include <utility>

namespace pivra {
namespace {

// Generous bounds on magnitudes that keep all arithmetic inside qint64 and
// int before the year check has its say.
constexpr double maximumSeconds = 1e12;
constexpr qint64 maximumDays = 10'000LL * 366;

bool isWithinYears(QDate date)
{
    return date.isValid() && date.year() >= SearchCalendar::minimumYear && date.year() <= SearchCalendar::maximumYear;
}

// Whole days, months or years to move by, or none when the count is beyond
// anything the year range can absorb.
std::optional<qint64> boundedCount(CalendarUnit unit, qint64 count)
{
    qint64 limit = maximumDays;
    qint64 factor = 1;
    switch (unit) {
    case CalendarUnit::day:
        break;
    case CalendarUnit::weekOfYear:
        limit = maximumDays / 7;
        factor = 7;
        break;
    case CalendarUnit::month:
        limit = 12 * (SearchCalendar::maximumYear + 1);
        break;
    case CalendarUnit::year:
        limit = SearchCalendar::maximumYear + 1;
        break;
    }
    if (count < -limit || count > limit) {
        return std::nullopt;
    }
    return count * factor;
}

} // namespace

SearchCalendar::SearchCalendar(QTimeZone timeZone, Qt::DayOfWeek firstWeekday)
    : m_timeZone(std::move(timeZone))
    , m_firstWeekday(firstWeekday)
{
}

std::optional<QDateTime> SearchCalendar::toDateTime(Timestamp date) const
{
    if (!std::isfinite(date) || std::abs(date) > maximumSeconds) {
        return std::nullopt;
    }
    const auto milliseconds = static_cast<qint64>(std::floor(date * 1000.0));
    QDateTime local = QDateTime::fromMSecsSinceEpoch(milliseconds, m_timeZone);
    if (!local.isValid() || !isWithinYears(local.date())) {
        return std::nullopt;
    }
    return local;
}

std::optional<Timestamp> SearchCalendar::startOf(QDate day) const
{
    // The year after the last one is still allowed here: it is where the
    // last year's intervals end.
    if (!day.isValid() || day.year() < minimumYear || day.year() > maximumYear + 1) {
        return std::nullopt;
    }
    const QDateTime start = day.startOfDay(m_timeZone);
    if (!start.isValid()) {
        return std::nullopt;
    }
    return static_cast<Timestamp>(start.toMSecsSinceEpoch()) / 1000.0;
}

std::optional<DateInterval> SearchCalendar::interval(CalendarUnit unit, Timestamp date) const
{
    const std::optional<QDateTime> local = toDateTime(date);
    if (!local) {
        return std::nullopt;
    }
    const QDate day = local->date();
    QDate first;
    QDate next;
    switch (unit) {
    case CalendarUnit::day:
        first = day;
        next = day.addDays(1);
        break;
    case CalendarUnit::weekOfYear:
        first = day.addDays(-((day.dayOfWeek() - m_firstWeekday + 7) % 7));
        next = first.addDays(7);
        break;
    case CalendarUnit::month:
        first = QDate(day.year(), day.month(), 1);
        next = first.addMonths(1);
        break;
    case CalendarUnit::year:
        first = QDate(day.year(), 1, 1);
        next = first.addYears(1);
        break;
    }
    const std::optional<Timestamp> start = startOf(first);
    const std::optional<Timestamp> end = startOf(next);
    if (!start || !end || !(*start < *end)) {
        return std::nullopt;
    }
    return DateInterval{*start, *end};
}

std::optional<Timestamp> SearchCalendar::adding(CalendarUnit unit, qint64 count, Timestamp date) const
{
    const std::optional<QDateTime> local = toDateTime(date);
    const std::optional<qint64> steps = boundedCount(unit, count);
    if (!local || !steps) {
        return std::nullopt;
    }
    // QDate clamps the day of the month itself (31 January + 1 month is 28
    // February); the wall-clock time is then placed on the new day here rather
    // than by QDateTime, which steps back over a skipped hour.
    QDate day = local->date();
    switch (unit) {
    case CalendarUnit::day:
    case CalendarUnit::weekOfYear:
        day = day.addDays(*steps);
        break;
    case CalendarUnit::month:
        day = day.addMonths(static_cast<int>(*steps));
        break;
    case CalendarUnit::year:
        day = day.addYears(static_cast<int>(*steps));
        break;
    }
    if (!isWithinYears(day)) {
        return std::nullopt;
    }
    const std::optional<qint64> moved = instantOf(day, local->time());
    if (!moved) {
        return std::nullopt;
    }
    // Keep the part below a millisecond that QDateTime cannot hold.
    const double remainder = date - std::floor(date * 1000.0) / 1000.0;
    return static_cast<Timestamp>(*moved) / 1000.0 + remainder;
}

std::optional<qint64> SearchCalendar::instantOf(QDate day, QTime time) const
{
    const QDateTime exact(day, time, m_timeZone);
    if (exact.isValid()) {
        return exact.toMSecsSinceEpoch();
    }
    // A time that a clock change skips is read with the offset in force before
    // the change, which puts it as far past the change as it lay inside the
    // gap: 02:30 on a night that jumps from 02:00 to 03:00 becomes 03:30.
    const qint64 wallClock = QDateTime(day, time, QTimeZone::utc()).toMSecsSinceEpoch();
    const qint64 dayLength = 86'400'000;
    const QTimeZone::OffsetData change =
        m_timeZone.nextTransition(QDateTime::fromMSecsSinceEpoch(wallClock - dayLength, QTimeZone::utc()));
    if (!change.atUtc.isValid()) {
        return std::nullopt;
    }
    const qint64 changeAt = change.atUtc.toMSecsSinceEpoch();
    const int offsetBefore =
        m_timeZone.offsetFromUtc(QDateTime::fromMSecsSinceEpoch(changeAt - 1, QTimeZone::utc()));
    const qint64 instant = wallClock - static_cast<qint64>(offsetBefore) * 1000;
    if (instant < changeAt || instant >= changeAt + dayLength) {
        return std::nullopt;
    }
    return instant;
}

std::optional<Timestamp> SearchCalendar::date(qint64 year, int month, int day) const
{
    if (year < minimumYear || year > maximumYear || month < 1 || month > 12 || day < -maximumDays
        || day > maximumDays) {
        return std::nullopt;
    }
    const QDate rolled = QDate(static_cast<int>(year), month, 1).addDays(day - 1);
    if (!isWithinYears(rolled)) {
        return std::nullopt;
    }
    return startOf(rolled);
}

std::optional<int> SearchCalendar::year(Timestamp date) const
{
    const std::optional<QDateTime> local = toDateTime(date);
    if (!local) {
        return std::nullopt;
    }
    return local->date().year();
}

} // namespace pivra
