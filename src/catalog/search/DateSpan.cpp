#include "catalog/search/DateSpan.h"

#include "catalog/search/SearchText.h"

#include <QHash>
#include <QSet>

namespace pivra::SearchParser {
namespace {

// Month words, English and Turkish, in folded form, to month numbers 1-12.
const QHash<QString, int>& months()
{
    static const std::pair<int, const char*> rows[] = {
        {1, "jan january ocak oca"},          {2, "feb february subat sub"},    {3, "mar march mart"},
        {4, "apr april nisan nis"},           {5, "may mayis"},                 {6, "jun june haziran haz"},
        {7, "jul july temmuz tem"},           {8, "aug august agustos agu"},    {9, "sep sept september eylul eyl"},
        {10, "oct october ekim eki"},         {11, "nov november kasim kas"},   {12, "dec december aralik ara"},
    };
    static const QHash<QString, int> table = wordTable(rows);
    return table;
}

// Unit words, English and Turkish, in folded form.
const QHash<QString, CalendarUnit>& units()
{
    static const std::pair<CalendarUnit, const char*> rows[] = {
        {CalendarUnit::day, "day days gun"},
        {CalendarUnit::weekOfYear, "week weeks hafta"},
        {CalendarUnit::month, "month months ay"},
        {CalendarUnit::year, "year years yil sene"},
    };
    static const QHash<QString, CalendarUnit> table = wordTable(rows);
    return table;
}

const QSet<QString>& relativePastWords()
{
    static const QSet<QString> words = wordSet("last past gecen onceki son");
    return words;
}

// A year a photo can plausibly carry, written with exactly four characters.
std::optional<int> yearReading(const QString* text)
{
    if (text == nullptr || codePointCount(*text) != 4) {
        return std::nullopt;
    }
    const std::optional<qint64> number = wholeNumber(*text);
    if (!number || *number < 1900 || *number > 2100) {
        return std::nullopt;
    }
    return static_cast<int>(*number);
}

// A day of the month; dots around it are allowed, as in "5." or "5.".
std::optional<int> dayReading(const QString* text)
{
    if (text == nullptr) {
        return std::nullopt;
    }
    QStringView digits(*text);
    while (!digits.isEmpty() && digits.front() == u'.') {
        digits = digits.sliced(1);
    }
    while (!digits.isEmpty() && digits.back() == u'.') {
        digits.chop(1);
    }
    const std::optional<qint64> number = wholeNumber(digits);
    if (!number || *number < 1 || *number > 31) {
        return std::nullopt;
    }
    return static_cast<int>(*number);
}

// One recognition: the token texts around the position and the clock.
class Recogniser {
public:
    Recogniser(qsizetype position, const TokenList& tokens, Timestamp now, const SearchCalendar& calendar)
        : m_w(tokens[position].text)
        , m_w1(position + 1 < tokens.size() ? &tokens[position + 1].text : nullptr)
        , m_w2(position + 2 < tokens.size() ? &tokens[position + 2].text : nullptr)
        , m_now(now)
        , m_calendar(calendar)
    {
    }

    std::optional<DateSpanMatch> match() const
    {
        if (m_w == u"today" || m_w == u"bugun") {
            return answer(m_calendar.interval(CalendarUnit::day, m_now), 1);
        }
        if (m_w == u"yesterday" || m_w == u"dun") {
            return answer(unitBefore(CalendarUnit::day), 1);
        }
        if (m_w == u"this" || m_w == u"bu") {
            if (const std::optional<CalendarUnit> unit = unitAt(m_w1)) {
                if (auto found = answer(m_calendar.interval(*unit, m_now), 2)) {
                    return found;
                }
            }
        } else if (relativePastWords().contains(m_w)) {
            if (auto found = relative()) {
                return found;
            }
        }
        if (auto found = numeric()) {
            return found;
        }
        if (auto found = dayThenMonth()) {
            return found;
        }
        if (auto found = monthName()) {
            return found;
        }
        if (const std::optional<int> year = yearReading(&m_w)) {
            return answer(intervalOn(CalendarUnit::year, *year, 1, 1), 1);
        }
        return std::nullopt;
    }

private:
    static std::optional<DateSpanMatch> answer(std::optional<DateInterval> interval, int tokenCount)
    {
        if (!interval) {
            return std::nullopt;
        }
        return DateSpanMatch{*interval, tokenCount};
    }

    static std::optional<CalendarUnit> unitAt(const QString* text)
    {
        if (text == nullptr) {
            return std::nullopt;
        }
        const auto found = units().constFind(*text);
        return found == units().cend() ? std::nullopt : std::optional(found.value());
    }

    static std::optional<int> monthAt(const QString* text)
    {
        if (text == nullptr) {
            return std::nullopt;
        }
        const auto found = months().constFind(*text);
        return found == months().cend() ? std::nullopt : std::optional(found.value());
    }

    // The whole unit before the one that holds now: "last week", "gecen ay".
    std::optional<DateInterval> unitBefore(CalendarUnit unit) const
    {
        const std::optional<Timestamp> earlier = m_calendar.adding(unit, -1, m_now);
        return earlier ? m_calendar.interval(unit, *earlier) : std::nullopt;
    }

    // The `unit` interval holding the given calendar day.
    std::optional<DateInterval> intervalOn(CalendarUnit unit, qint64 year, int month, int day) const
    {
        const std::optional<Timestamp> date = m_calendar.date(year, month, day);
        return date ? m_calendar.interval(unit, *date) : std::nullopt;
    }

    // The most recent year in which the given month (or day of it) has
    // already begun: on 6 December "march" is this March, "december 25" last
    // year's.
    std::optional<int> latestYear(int month, std::optional<int> day) const
    {
        const std::optional<int> year = m_calendar.year(m_now);
        if (!year) {
            return std::nullopt;
        }
        const std::optional<DateInterval> interval =
            intervalOn(day ? CalendarUnit::day : CalendarUnit::month, *year, month, day.value_or(1));
        return interval && interval->start > m_now ? *year - 1 : *year;
    }

    std::optional<DateInterval> latestIntervalOn(CalendarUnit unit, int month, std::optional<int> day) const
    {
        const std::optional<int> year = latestYear(month, day);
        return year ? intervalOn(unit, *year, month, day.value_or(1)) : std::nullopt;
    }

    // "last 3 days", "son 2 hafta", "last week", "gecen yil".
    std::optional<DateSpanMatch> relative() const
    {
        const std::optional<CalendarUnit> countedUnit = unitAt(m_w2);
        const std::optional<qint64> count = m_w1 != nullptr ? wholeNumber(*m_w1) : std::nullopt;
        if (count && countedUnit) {
            // A negative count would reach into the future and turn the range
            // around; it and a count beyond the calendar are no date at all.
            if (*count < 0) {
                return std::nullopt;
            }
            const std::optional<Timestamp> start = m_calendar.adding(*countedUnit, -*count, m_now);
            // One second past now keeps the present moment inside the end.
            const Timestamp end = m_now + 1;
            if (!start || !(*start < end)) {
                return std::nullopt;
            }
            return DateSpanMatch{{*start, end}, 3};
        }
        if (m_w == u"son") {
            return std::nullopt;
        }
        const std::optional<CalendarUnit> unit = unitAt(m_w1);
        return unit ? answer(unitBefore(*unit), 2) : std::nullopt;
    }

    // "05/2020", "5.2020", "17.05.2020", "2020-05-17".
    std::optional<DateSpanMatch> numeric() const
    {
        QList<qint64> numbers;
        bool slashOrDot = false;
        bool dash = false;
        QString piece;
        const auto takePiece = [&] {
            if (const std::optional<qint64> number = wholeNumber(piece)) {
                numbers.append(*number);
            }
            piece.clear();
        };
        for (const QString& character : graphemeClusters(m_w)) {
            if (character == u"/" || character == u".") {
                slashOrDot = true;
                takePiece();
            } else if (character == u"-") {
                dash = true;
                takePiece();
            } else {
                piece += character;
            }
        }
        takePiece();

        if (numbers.size() == 2 && slashOrDot) {
            // A dash alone does not make a month and year: "05-2020" is none.
            const QString yearText = QString::number(numbers[1]);
            const std::optional<int> year = yearReading(&yearText);
            if (numbers[0] >= 1 && numbers[0] <= 12 && year) {
                return answer(intervalOn(CalendarUnit::month, *year, static_cast<int>(numbers[0]), 1), 1);
            }
        } else if (numbers.size() == 3 && (slashOrDot || dash)) {
            // Day first unless the first number cannot be a day; the year is
            // taken as written, its range left to the calendar.
            const bool dayFirst = numbers[0] < 32;
            const qint64 day = dayFirst ? numbers[0] : numbers[2];
            const qint64 month = numbers[1];
            const qint64 year = dayFirst ? numbers[2] : numbers[0];
            if (month >= 1 && month <= 12 && day >= 1 && day <= 31) {
                return answer(intervalOn(CalendarUnit::day, year, static_cast<int>(month), static_cast<int>(day)), 1);
            }
        }
        return std::nullopt;
    }

    // "5 march 2020", "17 agustos", "5. march".
    std::optional<DateSpanMatch> dayThenMonth() const
    {
        const std::optional<int> day = dayReading(&m_w);
        const std::optional<int> month = monthAt(m_w1);
        if (!day || !month) {
            return std::nullopt;
        }
        if (const std::optional<int> year = yearReading(m_w2)) {
            return answer(intervalOn(CalendarUnit::day, *year, *month, *day), 3);
        }
        return answer(latestIntervalOn(CalendarUnit::day, *month, day), 2);
    }

    // "march 5 2020", "mart 2020", "march 5", "september"; a three-letter
    // abbreviation alone ("mar", "may", "ara") is too common a word to be one.
    std::optional<DateSpanMatch> monthName() const
    {
        const std::optional<int> month = monthAt(&m_w);
        if (!month) {
            return std::nullopt;
        }
        const std::optional<int> day = dayReading(m_w1);
        if (const std::optional<int> year = yearReading(m_w2); day && year) {
            if (auto found = answer(intervalOn(CalendarUnit::day, *year, *month, *day), 3)) {
                return found;
            }
        }
        if (const std::optional<int> year = yearReading(m_w1)) {
            if (auto found = answer(intervalOn(CalendarUnit::month, *year, *month, 1), 2)) {
                return found;
            }
        }
        if (day && codePointCount(*m_w1) <= 2) {
            if (auto found = answer(latestIntervalOn(CalendarUnit::day, *month, day), 2)) {
                return found;
            }
        }
        if (codePointCount(m_w) > 3) {
            return answer(latestIntervalOn(CalendarUnit::month, *month, std::nullopt), 1);
        }
        return std::nullopt;
    }

    const QString& m_w;
    const QString* m_w1;
    const QString* m_w2;
    Timestamp m_now;
    const SearchCalendar& m_calendar;
};

} // namespace

std::optional<DateSpanMatch> dateSpan(qsizetype position, const TokenList& tokens, Timestamp now,
                                      const SearchCalendar& calendar)
{
    if (position < 0 || position >= tokens.size()) {
        return std::nullopt;
    }
    return Recogniser(position, tokens, now, calendar).match();
}

} // namespace pivra::SearchParser
