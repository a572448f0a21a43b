#include "catalog/search/SearchParser.h"

#include "SearchTestClock.h"

#include <gtest/gtest.h>
#include <cmath>
#include <random>

namespace pivra {
namespace {

// Pieces the random texts are made of: the vocabulary in both languages,
// dates of every form, Turkish letters, quotes, apostrophes, separators,
// combining marks, emoji halves and numbers far beyond any range.
const char16_t* const fragments[] = {
    u"last", u"past", u"son", u"geçen", u"önceki", u"this", u"bu", u"today", u"bugün", u"dün", u"yesterday",
    u"between", u"and", u"ile", u"ve", u"arasında", u"arası", u"before", u"önce", u"öncesi", u"after", u"sonra",
    u"beri", u"itibaren", u"since", u"to", u"until", u"-", u"\u2013", u"\u2014", u"\u2192", u"march", u"mart",
    u"mar", u"may", u"Mayıs", u"aralık", u"ARALIK", u"Ağu", u"sept", u"2019", u"2021", u"1900", u"2100", u"1899",
    u"17.05.2020", u"2020-05-17", u"05/2020", u"1.2.3", u"31.02.2021", u"1.1.0", u"9999.12.31", u"31.12.9999",
    u"1.1.1", u"2019-2021", u"2021-2019", u"days", u"weeks", u"months", u"years", u"gün", u"hafta", u"ay", u"yıl",
    u"sene", u"photos", u"videolar", u"FOTOĞRAF", u"name:", u"place:", u"in:", u"konum:", u"ankara", u"İstanbul",
    u"istanbuldaki", u"new", u"york", u"city", u"mars", u"\"", u"'", u"\u2019", u"'dan", u"'den", u"'TEN", u"İ",
    u"ı", u"I", u"Ş", u"ğ", u"Ü", u"ö", u"ç", u"0", u"1", u"5", u"12", u"31", u"32", u"+", u"99999999999999999999",
    u"-9223372036854775808", u"9223372036854775807", u"1.1.9999999999", u"4294969296", u" ", u" ", u",", u";",
    u":", u".", u"/", u"\u0301", u"\u200D", u"\U0001F600", u"\t", u"\n", u"ß", u"ǰ",
};

class RandomText {
public:
    explicit RandomText(std::mt19937& random)
        : m_random(random)
    {
    }

    QString fresh()
    {
        QString text;
        const int count = pick(14);
        for (int i = 0; i < count; ++i) {
            text += QString::fromUtf16(fragments[pick(std::size(fragments))]);
            if (pick(3) != 0) {
                text += u' ';
            }
        }
        return text;
    }

    // A small edit of an earlier text: a character inserted, removed,
    // replaced or a stretch repeated.
    QString mutated(QString text)
    {
        const int edits = 1 + pick(4);
        for (int i = 0; i < edits; ++i) {
            const qsizetype at = text.isEmpty() ? 0 : pick(static_cast<int>(text.size()));
            switch (pick(5)) {
            case 0:
                text.insert(at, QString::fromUtf16(fragments[pick(std::size(fragments))]));
                break;
            case 1:
                text.remove(at, 1);
                break;
            case 2:
                if (!text.isEmpty()) {
                    text[at] = QChar(static_cast<char16_t>(pick(0x10000)));
                }
                break;
            case 3:
                text.insert(at, text.mid(pick(static_cast<int>(text.size()) + 1), pick(12)));
                break;
            default:
                text.insert(at, QChar(static_cast<char16_t>(u'0' + pick(10))));
                break;
            }
        }
        return text;
    }

    int pick(std::size_t bound) { return static_cast<int>(m_random() % std::max<std::size_t>(bound, 1)); }

private:
    std::mt19937& m_random;
};

PlaceLookup somePlaces()
{
    return [](const QString& phrase) -> std::optional<QStringList> {
        if (phrase == u"ankara" || phrase == u"istanbul") {
            return QStringList{QStringLiteral("39.93,32.86"), QStringLiteral("41.01,28.98")};
        }
        if (phrase == u"mars") {
            return QStringList();
        }
        return std::nullopt;
    };
}

// 100,000 random and mutated texts: parsing never fails, and a range with both
// bounds always runs forwards, whatever the clock and the week start.
TEST(SearchParserRandomInput, NeverFailsAndRangesRunForwards)
{
    const QTimeZone newYork("America/New_York");
    const Timestamp clocks[] = {
        localTime(QDate(2026, 12, 6), QTime(15, 30), newYork),
        localTime(QDate(2026, 3, 11), QTime(2, 30), newYork), // three days after a skipped hour
        localTime(QDate(2026, 11, 1), QTime(1, 30), newYork), // a repeated hour
        startOfDay(QDate(1, 1, 3), newYork),
        localTime(QDate(9999, 12, 31), QTime(23, 59), newYork),
        1e13, // beyond the calendar
    };
    const Qt::DayOfWeek weekStarts[] = {Qt::Monday, Qt::Sunday, Qt::Saturday};

    std::mt19937 random(20261206);
    RandomText texts(random);
    const PlaceLookup places = somePlaces();
    QString previous;
    int withRange = 0;
    for (int round = 0; round < 100'000; ++round) {
        const QString text = texts.pick(2) == 0 ? texts.fresh() : texts.mutated(previous);
        previous = text.size() > 200 ? texts.fresh() : text;
        const SearchCalendar calendar(newYork, weekStarts[texts.pick(std::size(weekStarts))]);
        const SearchQuery query =
            SearchParser::parse(text, clocks[texts.pick(std::size(clocks))], calendar, places);
        for (const std::optional<Timestamp>& bound : {query.from, query.until}) {
            ASSERT_TRUE(!bound || std::isfinite(*bound)) << text.toStdString();
        }
        if (query.from && query.until) {
            ++withRange;
            ASSERT_LT(*query.from, *query.until) << text.toStdString();
        }
    }
    // The texts must reach the date forms, or the loop proves little.
    EXPECT_GT(withRange, 10'000);
}

} // namespace
} // namespace pivra
