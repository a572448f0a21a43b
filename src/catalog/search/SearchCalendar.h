#pragma once

#include "catalog/model/Timestamp.h"

#include <QDateTime>
#include <QLocale>
#include <QTimeZone>
#include <optional>

namespace pivra {

// The calendar units a date phrase can name.
enum class CalendarUnit { day, weekOfYear, month, year };

// A span of time: `start` inclusive, `end` exclusive.
struct DateInterval {
    Timestamp start = 0;
    Timestamp end = 0;

    bool operator==(const DateInterval&) const = default;
};

// The user's calendar as the search reads dates: Gregorian, in one time zone,
// with weeks beginning on a given weekday. Every operation answers none rather
// than a wrong date when its result would leave the years 1 to 9999; dates
// beyond those are nothing a photo library can hold, and keeping within them
// keeps every conversion exact.
class SearchCalendar {
public:
    static constexpr int minimumYear = 1;
    static constexpr int maximumYear = 9999;

    explicit SearchCalendar(QTimeZone timeZone = QTimeZone::systemTimeZone(),
                            Qt::DayOfWeek firstWeekday = QLocale::system().firstDayOfWeek());

    const QTimeZone& timeZone() const { return m_timeZone; }
    Qt::DayOfWeek firstWeekday() const { return m_firstWeekday; }

    // The unit that contains `date`, from its first instant to the first
    // instant of the next one. A day begins at its first existing instant,
    // which is not midnight where a clock change skips midnight.
    std::optional<DateInterval> interval(CalendarUnit unit, Timestamp date) const;

    // `date` moved by `count` units on the wall clock: the time of day stays,
    // a day of the month beyond the new month's end becomes its last day, a
    // time skipped by a clock change moves forward by the length of the gap,
    // and a time that occurs twice is the later of the two.
    std::optional<Timestamp> adding(CalendarUnit unit, qint64 count, Timestamp date) const;

    // The first instant of the given day. A day past the end of the month
    // rolls over into the next (31 February is 3 March, or 2 March in a leap
    // year); `month` must lie within 1 to 12.
    std::optional<Timestamp> date(qint64 year, int month, int day) const;

    // The calendar year in which `date` lies.
    std::optional<int> year(Timestamp date) const;

private:
    std::optional<QDateTime> toDateTime(Timestamp date) const;
    std::optional<Timestamp> startOf(QDate day) const;
    std::optional<qint64> instantOf(QDate day, QTime time) const;

    QTimeZone m_timeZone;
    Qt::DayOfWeek m_firstWeekday;
};

} // namespace pivra
