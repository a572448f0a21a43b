#include "catalog/search/SearchParser.h"

#include "SearchTestClock.h"

#include <QMap>
#include <gtest/gtest.h>

namespace pivra {
namespace {

const QDate today(2026, 12, 6);

QStringList list(std::initializer_list<const char16_t*> items)
{
    QStringList result;
    for (const char16_t* item : items) {
        result.append(QString::fromUtf16(item));
    }
    return result;
}

// The place-name cache as the parser sees it: folded phrase in, cell keys or
// none out; every question is recorded.
class FakePlaces {
public:
    QMap<QString, QStringList> known = {
        {QStringLiteral("new york"), {QStringLiteral("40.71,-74.01")}},
        {QStringLiteral("new york city"), {QStringLiteral("40.71,-74.00")}},
        {QStringLiteral("istanbul"), {QStringLiteral("41.01,28.98"), QStringLiteral("41.04,29.00")}},
        {QStringLiteral("ankara"), {QStringLiteral("39.93,32.86")}},
        {QStringLiteral("paris"), {QStringLiteral("48.86,2.35")}},
        {QStringLiteral("mars"), {}},
        {QStringLiteral("rio de janeiro"), {QStringLiteral("-22.91,-43.18")}},
        {QStringLiteral("bois de boulogne"), {QStringLiteral("48.86,2.25")}},
        {QStringLiteral("the hague"), {QStringLiteral("52.08,4.30")}},
        // A town whose name is a stop word: never looked up on its own.
        {QStringLiteral("of"), {QStringLiteral("40.95,40.26")}},
    };
    QStringList asked;

    PlaceLookup lookup()
    {
        return [this](const QString& phrase) -> std::optional<QStringList> {
            asked.append(phrase);
            const auto found = known.constFind(phrase);
            return found == known.cend() ? std::nullopt : std::optional(found.value());
        };
    }
};

class SearchParserTest : public ::testing::TestWithParam<const char*> {
protected:
    QTimeZone zone() const { return QTimeZone(GetParam()); }
    Timestamp now() const { return localTime(today, QTime(15, 30), zone()); }

    SearchQuery parse(const char16_t* text)
    {
        return SearchParser::parse(QString::fromUtf16(text), now(), SearchCalendar(zone(), Qt::Monday),
                                   places.lookup());
    }

    // A query with a date range given as local days; an invalid day is no bound.
    SearchQuery dated(QDate from, QDate until, QStringList terms = {}) const
    {
        SearchQuery query;
        query.terms = std::move(terms);
        if (from.isValid()) {
            query.from = startOfDay(from, zone());
        }
        if (until.isValid()) {
            query.until = startOfDay(until, zone());
        }
        return query;
    }

    FakePlaces places;
};

struct RangeCase {
    const char16_t* text;
    QDate from;
    QDate until;
    QStringList terms;
};

const QDate open;
const QDate y2019(2019, 1, 1);
const QDate y2020(2020, 1, 1);
const QDate y2022(2022, 1, 1);

TEST_P(SearchParserTest, RangesAndConnectors)
{
    const RangeCase cases[] = {
        {u"2019-2021", y2019, y2022, {}},
        {u"2019 - 2021", y2019, y2022, {}},
        {u"2019 \u2013 2021", y2019, y2022, {}},
        {u"2019 \u2014 2021", y2019, y2022, {}},
        {u"2019 \u2192 2021", y2019, y2022, {}},
        {u"2019 to 2021", y2019, y2022, {}},
        {u"2019 until 2021", y2019, y2022, {}},
        {u"between 2019 and 2021", y2019, y2022, {}},
        {u"2019 ile 2021 arasında", y2019, y2022, {}},
        {u"2019 ve 2021 arası", y2019, y2022, {}},
        {u"2019'dan 2021", y2019, y2022, {}},
        {u"march 2020 to may 2020", QDate(2020, 3, 1), QDate(2020, 6, 1), {}},
        {u"5 mart 2020 - 17.05.2020", QDate(2020, 3, 5), QDate(2020, 5, 18), {}},
        // One word with an en dash is not split: it stays a term.
        {u"2019\u20132021", open, open, list({u"2019\u20132021"})},
        {u"before 2019", open, y2019, {}},
        {u"2019 oncesi", open, y2019, {}},
        {u"2019'dan önce", open, y2019, {}},
        {u"after 2019", y2020, open, {}},
        {u"2019 sonrası", y2020, open, {}},
        {u"2019'dan sonra", y2020, open, {}},
        {u"since 2019", y2019, open, {}},
        {u"2019'dan beri", y2019, open, {}},
        {u"2019'dan itibaren", y2019, open, {}},
        {u"since march 2020", QDate(2020, 3, 1), open, {}},
        {u"photos before 17.05.2020", open, QDate(2020, 5, 17), {}},
        // The first date decides; later dates are consumed and ignored.
        {u"2018 2020", QDate(2018, 1, 1), QDate(2019, 1, 1), {}},
        {u"2018 beach 2020 to 2021", QDate(2018, 1, 1), QDate(2019, 1, 1), list({u"beach"})},
        // Connectors never become terms.
        {u"rock and roll", open, open, list({u"rock", u"roll"})},
        {u"and to ve ile - \u2013 till", open, open, {}},
    };
    for (const RangeCase& c : cases) {
        SearchQuery expected = dated(c.from, c.until, c.terms);
        if (QString::fromUtf16(c.text).startsWith(u"photos")) {
            expected.kind = MediaKind::image;
        }
        EXPECT_EQ(parse(c.text), expected) << QString::fromUtf16(c.text).toStdString();
    }
}

// "trip to 2019": the span after a bare "to" has no bounding connector
// before it, so it is read as the year itself.
TEST_P(SearchParserTest, AConnectorBeforeASpanOnlyBoundsWhenItIsBeforeAfterOrSince)
{
    EXPECT_EQ(parse(u"trip to 2019"), dated(y2019, y2020, list({u"trip"})));
}

// A range written the wrong way round covers both ends rather than nothing.
TEST_P(SearchParserTest, ReversedRangesCoverBothSpans)
{
    EXPECT_EQ(parse(u"2021-2019"), dated(y2019, y2022));
    EXPECT_EQ(parse(u"2021 to 2019"), dated(y2019, y2022));
    EXPECT_EQ(parse(u"2020 ile 2019 arasında"), dated(y2019, QDate(2021, 1, 1)));
    EXPECT_EQ(parse(u"2021 to march 2019"), dated(QDate(2019, 3, 1), y2022));
    EXPECT_EQ(parse(u"december 2020 - march 2020"), dated(QDate(2020, 3, 1), QDate(2021, 1, 1)));
    // Overlapping spans in the written order stay as written.
    EXPECT_EQ(parse(u"march 2020 to 2020"), dated(QDate(2020, 3, 1), QDate(2021, 1, 1)));
}

// The ablative alone adds a through connector with nothing after it, so the
// year is just the year, not "from 2019 on".
TEST_P(SearchParserTest, AblativeAloneIsTheYearItself)
{
    EXPECT_EQ(parse(u"2019'dan"), dated(y2019, y2020));
    EXPECT_EQ(parse(u"2019’den"), dated(y2019, y2020));
}

TEST_P(SearchParserTest, RelativeSpans)
{
    const Timestamp start = localTime(today.addDays(-3), QTime(15, 30), zone());
    SearchQuery lastDays;
    lastDays.from = start;
    lastDays.until = now() + 1;
    EXPECT_EQ(parse(u"last 3 days"), lastDays);
    EXPECT_EQ(parse(u"son 3 gün"), lastDays);
    EXPECT_EQ(parse(u"today"), dated(today, today.addDays(1)));
    EXPECT_EQ(parse(u"dün"), dated(today.addDays(-1), today));
    EXPECT_EQ(parse(u"geçen ay"), dated(QDate(2026, 11, 1), QDate(2026, 12, 1)));
    EXPECT_EQ(parse(u"since last week"), dated(QDate(2026, 11, 23), open));
    EXPECT_EQ(parse(u"son hafta"), dated(open, open, list({u"son", u"hafta"})));
}

// A negative or unrepresentable count is no date; its tokens stay words.
TEST_P(SearchParserTest, CountsThatCannotBeMetStayWords)
{
    EXPECT_EQ(parse(u"last -3 days"), dated(open, open, list({u"last", u"-3", u"days"})));
    EXPECT_EQ(parse(u"son 99999999999999999999 gün"),
              dated(open, open, list({u"son", u"99999999999999999999", u"gün"})));
    EXPECT_EQ(parse(u"last 5000 years"), dated(open, open, list({u"last", u"5000", u"years"})));
    // A year too large to make a date is no date either.
    EXPECT_EQ(parse(u"1.1.9999999999"), dated(open, open, list({u"1.1.9999999999"})));
}

TEST_P(SearchParserTest, KindWords)
{
    struct KindCase {
        const char16_t* text;
        std::optional<MediaKind> kind;
    };
    const KindCase cases[] = {
        {u"photos", MediaKind::image},
        {u"FOTOĞRAFLAR", MediaKind::image},
        {u"resimler", MediaKind::image},
        {u"videolar", MediaKind::video},
        {u"Videoları", MediaKind::video},
        {u"movies", MediaKind::video},
        {u"photos videos", std::nullopt},
        {u"fotoğraflar ve videolar", std::nullopt},
        {u"photo video photo", MediaKind::image},
        {u"video photo video", MediaKind::video},
    };
    for (const KindCase& c : cases) {
        SearchQuery expected;
        expected.kind = c.kind;
        EXPECT_EQ(parse(c.text), expected) << QString::fromUtf16(c.text).toStdString();
    }
}

TEST_P(SearchParserTest, TermsKeepWhatWasTyped)
{
    EXPECT_EQ(parse(u""), SearchQuery());
    EXPECT_EQ(parse(u" ,; ,"), SearchQuery());
    EXPECT_EQ(parse(u"show me all"), SearchQuery());
    EXPECT_EQ(parse(u"Bana tüm fotoğrafları göster"), [] {
        SearchQuery query;
        query.kind = MediaKind::image;
        return query;
    }());
    EXPECT_EQ(parse(u"Beach Sunset"), dated(open, open, list({u"Beach", u"Sunset"})));
    EXPECT_EQ(parse(u"\"new york\""), dated(open, open, list({u"\"new york\""})));
    EXPECT_EQ(parse(u"xyz:abc"), dated(open, open, list({u"xyz:abc"})));
    EXPECT_EQ(parse(u":abc abc:"), dated(open, open, list({u":abc", u"abc:"})));
    EXPECT_EQ(parse(u"mar may ara"), dated(open, open, list({u"mar", u"may", u"ara"})));
    EXPECT_EQ(parse(u"Kız Kulesi'nde"), dated(open, open, list({u"Kız", u"Kulesi"})));
}

TEST_P(SearchParserTest, NameTerms)
{
    SearchQuery expected;
    expected.nameTerms = list({u"IMG_1234"});
    EXPECT_EQ(parse(u"name:IMG_1234"), expected);
    expected.nameTerms = list({u"summer trip"});
    EXPECT_EQ(parse(u"name:\"summer trip\""), expected);
    expected.nameTerms = list({u"Ödev", u"tatil.JPG", u"a:b"});
    EXPECT_EQ(parse(u"İSİM:Ödev Dosya:tatil.JPG file:a:b"), expected);
    // The key decides before any date reading: the value is never a date.
    expected.nameTerms = list({u"2019"});
    EXPECT_EQ(parse(u"filename:2019"), expected);
}

TEST_P(SearchParserTest, PlacesThroughTheLookup)
{
    struct PlaceCase {
        const char16_t* text;
        std::optional<QStringList> cells;
        QStringList terms;
    };
    const PlaceCase cases[] = {
        {u"new york city", list({u"40.71,-74.00"}), {}},
        {u"new york", list({u"40.71,-74.01"}), {}},
        {u"new york beach", list({u"40.71,-74.01"}), list({u"beach"})},
        {u"İSTANBUL", list({u"41.01,28.98", u"41.04,29.00"}), {}},
        {u"istanbuldaki", list({u"41.01,28.98", u"41.04,29.00"}), {}},
        {u"Ankara'dan", list({u"39.93,32.86"}), {}},
        {u"Ankara'da", list({u"39.93,32.86"}), {}},
        {u"ankara istanbul", list({u"39.93,32.86", u"41.01,28.98", u"41.04,29.00"}), {}},
        {u"photos in paris", list({u"48.86,2.35"}), {}},
        // A known name without cells still consumes the word and matches nothing.
        {u"mars", QStringList(), {}},
        // Key-value places: an unknown place matches nothing.
        {u"place:Atlantis", QStringList(), {}},
        {u"in:Paris", list({u"48.86,2.35"}), {}},
        {u"konum:\"New York\"", list({u"40.71,-74.01"}), {}},
        {u"place:Atlantis ankara", list({u"39.93,32.86"}), {}},
        {u"atlantis", std::nullopt, list({u"atlantis"})},
        // Names with stop words inside or in front, in English and Turkish.
        {u"Rio de Janeiro", list({u"-22.91,-43.18"}), {}},
        {u"photos from Rio de Janeiro", list({u"-22.91,-43.18"}), {}},
        {u"Rio de Janeiro'daki fotoğraflar", list({u"-22.91,-43.18"}), {}},
        {u"rio de janeirodan", list({u"-22.91,-43.18"}), {}},
        {u"picnic in the Bois de Boulogne", list({u"48.86,2.25"}), list({u"picnic"})},
        {u"show me The Hague", list({u"52.08,4.30"}), {}},
        {u"The Hague'de çekilen videolar", list({u"52.08,4.30"}), {}},
        // A stop word is never a place on its own, nor at a run's end.
        {u"photos of paris", list({u"48.86,2.35"}), {}},
        {u"rio de", std::nullopt, list({u"rio"})},
        {u"beach of sunset", std::nullopt, list({u"beach", u"sunset"})},
    };
    for (const PlaceCase& c : cases) {
        const SearchQuery query = parse(c.text);
        EXPECT_EQ(query.placeCells, c.cells) << QString::fromUtf16(c.text).toStdString();
        EXPECT_EQ(query.terms, c.terms) << QString::fromUtf16(c.text).toStdString();
    }
}

// Longest run first, each run once more without a Turkish ending, and the
// suffix that is tried is the first in table order that leaves three letters.
TEST_P(SearchParserTest, PlaceLookupOrder)
{
    parse(u"istanbuldaki");
    EXPECT_EQ(places.asked, list({u"istanbuldaki", u"istanbul"}));

    places.asked.clear();
    parse(u"Beach Kadıköy'de");
    EXPECT_EQ(places.asked, list({u"beach kadikoy", u"beach", u"kadikoy"}));

    // Only the last word of a run loses its ending, and only while three
    // letters remain: "evde" is too short to lose "de".
    places.asked.clear();
    parse(u"ada evde");
    EXPECT_EQ(places.asked, list({u"ada evde", u"ada ev", u"ada", u"evde"}));

    // Stop words are looked up inside and in front of a run, never alone or
    // at its end.
    places.asked.clear();
    parse(u"in de Rio");
    EXPECT_EQ(places.asked, list({u"in de rio", u"de rio", u"rio"}));
}

// Without a place cache every word is a term and no place condition is set.
TEST_P(SearchParserTest, NoLookupMeansNoPlaces)
{
    const SearchQuery query = SearchParser::parse(QStringLiteral("new york 2019"), now(),
                                                  SearchCalendar(zone(), Qt::Monday), PlaceLookup());
    EXPECT_EQ(query, dated(y2019, y2020, list({u"new", u"york"})));
}

INSTANTIATE_TEST_SUITE_P(Zones, SearchParserTest, ::testing::Values("UTC", "America/New_York"),
                         [](const auto& info) { return info.index == 0 ? "Utc" : "NewYork"; });

} // namespace
} // namespace pivra
