#include "catalog/search/DateSpan.h"

#include "SearchTestClock.h"

#include <gtest/gtest.h>

namespace pivra::SearchParser {
namespace {

// Every case runs in two zones, one of them with clock changes, at 15:30 local
// time on Sunday 6 December 2026, with weeks that begin on Monday.
const QDate today(2026, 12, 6);

struct SpanCase {
    const char16_t* text;
    QDate start; // local days; an invalid start means no span
    QDate end;
    int tokenCount;
};

class DateSpanTest : public ::testing::TestWithParam<const char*> {
protected:
    QTimeZone zone() const { return QTimeZone(GetParam()); }
    Timestamp now() const { return localTime(today, QTime(15, 30), zone()); }

    std::optional<DateSpanMatch> spanOf(const QString& text, qsizetype position = 0) const
    {
        return dateSpan(position, tokensOf(text), now(), SearchCalendar(zone(), Qt::Monday));
    }

    void check(std::initializer_list<SpanCase> cases) const
    {
        for (const SpanCase& c : cases) {
            const QString text = QString::fromUtf16(c.text);
            const std::optional<DateSpanMatch> found = spanOf(text);
            if (!c.start.isValid()) {
                EXPECT_EQ(found, std::nullopt) << text.toStdString();
                continue;
            }
            const DateSpanMatch expected{{startOfDay(c.start, zone()), startOfDay(c.end, zone())}, c.tokenCount};
            EXPECT_EQ(found, expected) << text.toStdString();
        }
    }
};

const QDate none;

TEST_P(DateSpanTest, TodayYesterdayAndCurrentUnits)
{
    check({
        {u"today", today, today.addDays(1), 1},
        {u"Bugün", today, today.addDays(1), 1},
        {u"yesterday", today.addDays(-1), today, 1},
        {u"dün", today.addDays(-1), today, 1},
        {u"this week", QDate(2026, 11, 30), QDate(2026, 12, 7), 2},
        {u"bu hafta", QDate(2026, 11, 30), QDate(2026, 12, 7), 2},
        {u"this month", QDate(2026, 12, 1), QDate(2027, 1, 1), 2},
        {u"bu ay", QDate(2026, 12, 1), QDate(2027, 1, 1), 2},
        {u"this year", QDate(2026, 1, 1), QDate(2027, 1, 1), 2},
        {u"bu yıl", QDate(2026, 1, 1), QDate(2027, 1, 1), 2},
        {u"bu sene", QDate(2026, 1, 1), QDate(2027, 1, 1), 2},
        {u"this", none, none, 0},
        {u"this photo", none, none, 0},
    });
}

TEST_P(DateSpanTest, PreviousUnits)
{
    check({
        {u"last week", QDate(2026, 11, 23), QDate(2026, 11, 30), 2},
        {u"geçen hafta", QDate(2026, 11, 23), QDate(2026, 11, 30), 2},
        {u"last month", QDate(2026, 11, 1), QDate(2026, 12, 1), 2},
        {u"geçen ay", QDate(2026, 11, 1), QDate(2026, 12, 1), 2},
        {u"past year", QDate(2025, 1, 1), QDate(2026, 1, 1), 2},
        {u"geçen yıl", QDate(2025, 1, 1), QDate(2026, 1, 1), 2},
        {u"önceki sene", QDate(2025, 1, 1), QDate(2026, 1, 1), 2},
        {u"last day", today.addDays(-1), today, 2},
        // "son" needs a number.
        {u"son hafta", none, none, 0},
        {u"son", none, none, 0},
        {u"last", none, none, 0},
    });
}

// "last N units" runs from exactly N units before now to one second after it.
TEST_P(DateSpanTest, CountedSpansEndJustAfterNow)
{
    struct CountedCase {
        const char16_t* text;
        QDate startDay; // at now's wall-clock time
    };
    const CountedCase cases[] = {
        {u"last 3 days", today.addDays(-3)},        {u"son 3 gün", today.addDays(-3)},
        {u"last 2 weeks", today.addDays(-14)},      {u"son 2 hafta", today.addDays(-14)},
        {u"past 1 month", QDate(2026, 11, 6)},      {u"geçen 18 ay", QDate(2025, 6, 6)},
        {u"last 10 years", QDate(2016, 12, 6)},     {u"son 1 sene", QDate(2025, 12, 6)},
        {u"last 0 days", today},                    {u"last +2 days", today.addDays(-2)},
    };
    for (const CountedCase& c : cases) {
        const QString text = QString::fromUtf16(c.text);
        const DateSpanMatch expected{{localTime(c.startDay, QTime(15, 30), zone()), now() + 1}, 3};
        EXPECT_EQ(spanOf(text), expected) << text.toStdString();
    }
}

// A count that would reach into the future or beyond the calendar is no
// date: the phrase stays words.
TEST_P(DateSpanTest, CountsThatCannotBeMetAreNoDate)
{
    check({
        {u"last -3 days", none, none, 0},
        {u"son -1 hafta", none, none, 0},
        {u"last 99999999999999999999 days", none, none, 0},
        {u"last 9223372036854775807 weeks", none, none, 0},
        {u"last -9223372036854775808 days", none, none, 0},
        {u"last 5000 years", none, none, 0},
        {u"last 3 apples", none, none, 0},
    });
}

TEST_P(DateSpanTest, NumericDates)
{
    check({
        {u"17.05.2020", QDate(2020, 5, 17), QDate(2020, 5, 18), 1},
        {u"17/05/2020", QDate(2020, 5, 17), QDate(2020, 5, 18), 1},
        {u"2020-05-17", QDate(2020, 5, 17), QDate(2020, 5, 18), 1},
        {u"2020.5.17", QDate(2020, 5, 17), QDate(2020, 5, 18), 1},
        {u"17-5-2020", QDate(2020, 5, 17), QDate(2020, 5, 18), 1},
        {u"05/17/2020", none, none, 0}, // month first fails the month check
        {u"05/2020", QDate(2020, 5, 1), QDate(2020, 6, 1), 1},
        {u"5.2020", QDate(2020, 5, 1), QDate(2020, 6, 1), 1},
        {u"12/1999", QDate(1999, 12, 1), QDate(2000, 1, 1), 1},
        {u"05-2020", none, none, 0}, // a dash alone makes no month and year
        {u"2020/05", none, none, 0},
        {u"13/2020", none, none, 0},
        {u"05/1899", none, none, 0},
        {u"1.2.3", QDate(3, 2, 1), QDate(3, 2, 2), 1}, // the year as written
        {u"31.02.2021", QDate(2021, 3, 3), QDate(2021, 3, 4), 1},
        {u"29.02.2020", QDate(2020, 2, 29), QDate(2020, 3, 1), 1},
        {u"0.5.2020", none, none, 0},
        {u"32.5.2020", none, none, 0}, // read year first: month 5, day 2020
        {u"1.1.0", none, none, 0},     // there is no year 0
        {u"1.1.9999999999", none, none, 0},
        {u"1.1.99999999999999999999", none, none, 0},
        {u"2020-05-17-", QDate(2020, 5, 17), QDate(2020, 5, 18), 1},
    });
}

TEST_P(DateSpanTest, DayBeforeMonthName)
{
    check({
        {u"5 march 2020", QDate(2020, 3, 5), QDate(2020, 3, 6), 3},
        {u"17 Ağustos 2021", QDate(2021, 8, 17), QDate(2021, 8, 18), 3},
        {u"31 feb 2021", QDate(2021, 3, 3), QDate(2021, 3, 4), 3},
        {u"5 march", QDate(2026, 3, 5), QDate(2026, 3, 6), 2},
        {u"5. mart", QDate(2026, 3, 5), QDate(2026, 3, 6), 2},
        {u"5 mar", QDate(2026, 3, 5), QDate(2026, 3, 6), 2},
        {u"6 december", today, today.addDays(1), 2},
        {u"7 aralık", QDate(2025, 12, 7), QDate(2025, 12, 8), 2},
        {u"25 december", QDate(2025, 12, 25), QDate(2025, 12, 26), 2},
        {u"5 march 1899", QDate(2026, 3, 5), QDate(2026, 3, 6), 2}, // the year does not read
        {u"32 march", none, none, 0},
        {u"0 march", none, none, 0},
    });
}

TEST_P(DateSpanTest, MonthNames)
{
    check({
        {u"march 5 2020", QDate(2020, 3, 5), QDate(2020, 3, 6), 3},
        {u"mart 5 2020", QDate(2020, 3, 5), QDate(2020, 3, 6), 3},
        {u"march 2020", QDate(2020, 3, 1), QDate(2020, 4, 1), 2},
        {u"mar 2020", QDate(2020, 3, 1), QDate(2020, 4, 1), 2},
        {u"Ağustos 2021", QDate(2021, 8, 1), QDate(2021, 9, 1), 2},
        {u"feb 31 2021", QDate(2021, 3, 3), QDate(2021, 3, 4), 3},
        {u"march 5", QDate(2026, 3, 5), QDate(2026, 3, 6), 2},
        {u"december 25", QDate(2025, 12, 25), QDate(2025, 12, 26), 2},
        {u"december 6", today, today.addDays(1), 2},
        {u"aralık 7", QDate(2025, 12, 7), QDate(2025, 12, 8), 2},
        {u"march 5.", QDate(2026, 3, 5), QDate(2026, 3, 6), 2},
        {u"march 05.", QDate(2026, 3, 1), QDate(2026, 4, 1), 1}, // a day after the name has at most 2 characters
        {u"march", QDate(2026, 3, 1), QDate(2026, 4, 1), 1},
        {u"december", QDate(2026, 12, 1), QDate(2027, 1, 1), 1},
        {u"sept", QDate(2026, 9, 1), QDate(2026, 10, 1), 1},
        {u"Eylül", QDate(2026, 9, 1), QDate(2026, 10, 1), 1},
        {u"ekim", QDate(2026, 10, 1), QDate(2026, 11, 1), 1},
        {u"Şubat", QDate(2026, 2, 1), QDate(2026, 3, 1), 1},
        {u"MAYIS", QDate(2026, 5, 1), QDate(2026, 6, 1), 1},
        {u"march 123", QDate(2026, 3, 1), QDate(2026, 4, 1), 1},
        // Three-letter names alone are common words.
        {u"mar", none, none, 0},
        {u"may", none, none, 0},
        {u"ara", none, none, 0},
        {u"may 32", none, none, 0},
    });
}

TEST_P(DateSpanTest, Years)
{
    check({
        {u"2019", QDate(2019, 1, 1), QDate(2020, 1, 1), 1},
        {u"1900", QDate(1900, 1, 1), QDate(1901, 1, 1), 1},
        {u"2100", QDate(2100, 1, 1), QDate(2101, 1, 1), 1},
        {u"+201", none, none, 0},
        {u"1899", none, none, 0},
        {u"2101", none, none, 0},
        {u"02019", none, none, 0},
        {u"201", none, none, 0},
        {u"2019x", none, none, 0},
    });
}

TEST_P(DateSpanTest, PositionsAndTokenCounts)
{
    const QString text = QStringLiteral("photos from march 2020");
    const auto march = spanOf(text, 2);
    ASSERT_TRUE(march.has_value());
    EXPECT_EQ(march->tokenCount, 2);
    EXPECT_EQ(march->interval.start, startOfDay(QDate(2020, 3, 1), zone()));
    EXPECT_EQ(spanOf(text, 0), std::nullopt);
    EXPECT_EQ(spanOf(text, 4), std::nullopt);
    EXPECT_EQ(spanOf(text, -1), std::nullopt);
    EXPECT_EQ(spanOf(QString(), 0), std::nullopt);
}

INSTANTIATE_TEST_SUITE_P(Zones, DateSpanTest, ::testing::Values("UTC", "America/New_York"),
                         [](const auto& info) { return info.index == 0 ? "Utc" : "NewYork"; });

// Around a clock change the relative forms still follow the wall clock.
TEST(DateSpanAcrossClockChanges, TodayAndLastDaysFollowTheWallClock)
{
    const QTimeZone newYork("America/New_York");
    const SearchCalendar calendar(newYork, Qt::Sunday);
    const Timestamp changeDay = localTime(QDate(2026, 3, 8), QTime(12, 0), newYork);
    const auto todaySpan = dateSpan(0, tokensOf(QStringLiteral("today")), changeDay, calendar);
    ASSERT_TRUE(todaySpan.has_value());
    EXPECT_EQ(todaySpan->interval.end - todaySpan->interval.start, 23 * 3600);

    const Timestamp later = localTime(QDate(2026, 3, 10), QTime(12, 0), newYork);
    const auto lastDays = dateSpan(0, tokensOf(QStringLiteral("last 3 days")), later, calendar);
    ASSERT_TRUE(lastDays.has_value());
    EXPECT_EQ(lastDays->interval.start, later - 71 * 3600);
    EXPECT_EQ(lastDays->interval.end, later + 1);

    // With Sunday first, Sunday 8 March begins the week.
    const auto thisWeek = dateSpan(0, tokensOf(QStringLiteral("this week")), later, calendar);
    ASSERT_TRUE(thisWeek.has_value());
    EXPECT_EQ(thisWeek->interval.start, startOfDay(QDate(2026, 3, 8), newYork));
    EXPECT_EQ(thisWeek->interval.end, startOfDay(QDate(2026, 3, 15), newYork));
}

} // namespace
} // namespace pivra::SearchParser
