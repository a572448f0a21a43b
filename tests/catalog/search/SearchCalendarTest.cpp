#include "catalog/search/SearchCalendar.h"

#include "SearchTestClock.h"

#include <gtest/gtest.h>
#include <cmath>
#include <limits>

namespace pivra {
namespace {

const QTimeZone newYork("America/New_York");

// Day overflow rolls into the next month as the user's calendar does; a plain
// QDate would reject these days outright.
TEST(SearchCalendar, DaysPastTheMonthRollOver)
{
    const SearchCalendar calendar(QTimeZone::utc(), Qt::Monday);
    EXPECT_EQ(calendar.date(2026, 2, 31), startOfDay(QDate(2026, 3, 3), QTimeZone::utc()));
    EXPECT_EQ(calendar.date(2024, 2, 31), startOfDay(QDate(2024, 3, 2), QTimeZone::utc()));
    EXPECT_EQ(calendar.date(2026, 4, 31), startOfDay(QDate(2026, 5, 1), QTimeZone::utc()));
    EXPECT_EQ(calendar.date(2026, 12, 32), startOfDay(QDate(2027, 1, 1), QTimeZone::utc()));
    EXPECT_EQ(calendar.date(2024, 2, 29), startOfDay(QDate(2024, 2, 29), QTimeZone::utc()));
}

TEST(SearchCalendar, YearsOutsideTheRangeMakeNoDate)
{
    const SearchCalendar calendar(newYork, Qt::Monday);
    EXPECT_EQ(calendar.date(0, 1, 1), std::nullopt);
    EXPECT_EQ(calendar.date(-5, 1, 1), std::nullopt);
    EXPECT_EQ(calendar.date(10'000, 1, 1), std::nullopt);
    EXPECT_EQ(calendar.date(9999, 12, 32), std::nullopt);
    EXPECT_EQ(calendar.date(std::numeric_limits<qint64>::max(), 1, 1), std::nullopt);
    EXPECT_EQ(calendar.date(4'294'969'296LL, 1, 1), std::nullopt); // would wrap to year 2000 as an int
    EXPECT_EQ(calendar.date(2026, 13, 1), std::nullopt);
    EXPECT_TRUE(calendar.date(1, 1, 1).has_value());
    const std::optional<Timestamp> last = calendar.date(9999, 12, 31);
    ASSERT_TRUE(last.has_value());
    const std::optional<DateInterval> lastYear = calendar.interval(CalendarUnit::year, *last);
    ASSERT_TRUE(lastYear.has_value());
    EXPECT_EQ(lastYear->end, startOfDay(QDate(10'000, 1, 1), newYork));
}

TEST(SearchCalendar, InstantsThatAreNoDateAnswerNone)
{
    const SearchCalendar calendar(newYork, Qt::Monday);
    for (const double instant : {std::numeric_limits<double>::quiet_NaN(), std::numeric_limits<double>::infinity(),
                                 -std::numeric_limits<double>::infinity(), 1e300, -1e300, 1e15}) {
        EXPECT_EQ(calendar.interval(CalendarUnit::day, instant), std::nullopt) << instant;
        EXPECT_EQ(calendar.adding(CalendarUnit::day, 1, instant), std::nullopt) << instant;
        EXPECT_EQ(calendar.year(instant), std::nullopt) << instant;
    }
}

// 8 March 2026 has 23 hours in New York; a day is always from one local
// midnight to the next, never 24 hours from the first.
TEST(SearchCalendar, DaysFollowTheClockChange)
{
    const SearchCalendar calendar(newYork, Qt::Monday);
    const auto day = calendar.interval(CalendarUnit::day, localTime(QDate(2026, 3, 8), QTime(12, 0), newYork));
    ASSERT_TRUE(day.has_value());
    EXPECT_EQ(day->start, startOfDay(QDate(2026, 3, 8), newYork));
    EXPECT_EQ(day->end, startOfDay(QDate(2026, 3, 9), newYork));
    EXPECT_EQ(day->end - day->start, 23 * 3600);

    const auto autumn = calendar.interval(CalendarUnit::day, localTime(QDate(2026, 11, 1), QTime(23, 0), newYork));
    ASSERT_TRUE(autumn.has_value());
    EXPECT_EQ(autumn->end - autumn->start, 25 * 3600);
}

// In Santiago the clocks go from 24:00 to 01:00: 6 September 2026 has no
// midnight and begins at one o'clock.
TEST(SearchCalendar, ADayWithoutMidnightBeginsAtItsFirstInstant)
{
    const QTimeZone santiago("America/Santiago");
    const SearchCalendar calendar(santiago, Qt::Monday);
    const auto day = calendar.interval(CalendarUnit::day, localTime(QDate(2026, 9, 6), QTime(12, 0), santiago));
    ASSERT_TRUE(day.has_value());
    EXPECT_EQ(day->start, localTime(QDate(2026, 9, 6), QTime(1, 0), santiago));
    EXPECT_EQ(day->end - day->start, 23 * 3600);
}

TEST(SearchCalendar, WeeksBeginOnTheFirstWeekday)
{
    const Timestamp sunday = localTime(QDate(2026, 12, 6), QTime(15, 30), newYork);
    const Timestamp wednesday = localTime(QDate(2026, 12, 9), QTime(8, 0), newYork);
    struct Case {
        Qt::DayOfWeek firstWeekday;
        Timestamp date;
        QDate start;
    };
    const Case cases[] = {
        {Qt::Monday, sunday, QDate(2026, 11, 30)},
        {Qt::Sunday, sunday, QDate(2026, 12, 6)},
        {Qt::Saturday, sunday, QDate(2026, 12, 5)},
        {Qt::Monday, wednesday, QDate(2026, 12, 7)},
        {Qt::Sunday, wednesday, QDate(2026, 12, 6)},
    };
    for (const Case& c : cases) {
        const auto week = SearchCalendar(newYork, c.firstWeekday).interval(CalendarUnit::weekOfYear, c.date);
        ASSERT_TRUE(week.has_value());
        EXPECT_EQ(week->start, startOfDay(c.start, newYork)) << c.firstWeekday;
        EXPECT_EQ(week->end, startOfDay(c.start.addDays(7), newYork)) << c.firstWeekday;
    }
}

TEST(SearchCalendar, AddingKeepsTheWallClockAndClampsTheDay)
{
    const SearchCalendar calendar(newYork, Qt::Monday);
    const Timestamp january31 = localTime(QDate(2026, 1, 31), QTime(10, 0), newYork);
    EXPECT_EQ(calendar.adding(CalendarUnit::month, 1, january31), localTime(QDate(2026, 2, 28), QTime(10, 0), newYork));
    EXPECT_EQ(calendar.adding(CalendarUnit::year, -2, localTime(QDate(2024, 2, 29), QTime(9, 0), newYork)),
              localTime(QDate(2022, 2, 28), QTime(9, 0), newYork));
    // Across the spring change: same wall-clock time, 71 hours earlier.
    const Timestamp after = localTime(QDate(2026, 3, 10), QTime(12, 0), newYork);
    EXPECT_EQ(calendar.adding(CalendarUnit::day, -3, after), after - 71 * 3600);
    EXPECT_EQ(calendar.adding(CalendarUnit::weekOfYear, -1, after), after - (7 * 24 - 1) * 3600);
}

// 02:30 does not exist on 8 March 2026 in New York: the calendar moves such
// a time forward past the gap, to 03:30.
TEST(SearchCalendar, ATimeSkippedByTheClockChangeMovesForward)
{
    const SearchCalendar calendar(newYork, Qt::Monday);
    const Timestamp later = localTime(QDate(2026, 3, 11), QTime(2, 30), newYork);
    EXPECT_EQ(calendar.adding(CalendarUnit::day, -3, later), localTime(QDate(2026, 3, 8), QTime(3, 30), newYork));
}

// 01:30 on 1 November 2026 happens twice in New York; the calendar takes the
// later one, in standard time.
TEST(SearchCalendar, ARepeatedTimeIsTheLaterOne)
{
    const SearchCalendar calendar(newYork, Qt::Monday);
    const Timestamp before = localTime(QDate(2026, 10, 29), QTime(1, 30), newYork);
    EXPECT_EQ(calendar.adding(CalendarUnit::day, 3, before), before + 3 * 86'400 + 3600);
}

TEST(SearchCalendar, AddingKeepsFractionsOfAMillisecond)
{
    const SearchCalendar calendar(QTimeZone::utc(), Qt::Monday);
    const Timestamp now = 1'796'000'000.000125;
    const std::optional<Timestamp> earlier = calendar.adding(CalendarUnit::day, -1, now);
    ASSERT_TRUE(earlier.has_value());
    EXPECT_NEAR(*earlier, now - 86'400, 1e-6);
    EXPECT_NE(std::fmod(*earlier * 1000, 1.0), 0.0);
}

TEST(SearchCalendar, CountsBeyondTheCalendarAnswerNone)
{
    const SearchCalendar calendar(newYork, Qt::Monday);
    const Timestamp now = localTime(QDate(2026, 12, 6), QTime(15, 30), newYork);
    EXPECT_EQ(calendar.adding(CalendarUnit::year, -3000, now), std::nullopt);
    EXPECT_EQ(calendar.adding(CalendarUnit::day, std::numeric_limits<qint64>::min(), now), std::nullopt);
    EXPECT_EQ(calendar.adding(CalendarUnit::weekOfYear, std::numeric_limits<qint64>::max(), now), std::nullopt);
    EXPECT_EQ(calendar.adding(CalendarUnit::month, 4'294'967'296LL, now), std::nullopt);
    EXPECT_TRUE(calendar.adding(CalendarUnit::year, -2025, now).has_value());
}

} // namespace
} // namespace pivra
