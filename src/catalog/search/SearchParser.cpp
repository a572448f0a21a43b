#include "catalog/search/SearchParser.h"

#include "catalog/search/DateSpan.h"
#include "catalog/search/SearchFold.h"
#include "catalog/search/SearchText.h"
#include "catalog/search/SearchTokenizer.h"
#include "catalog/search/SearchVocabulary.h"

#include <algorithm>
#include <variant>

namespace pivra::SearchParser {
namespace {

// A token list read as dates, connectors and plain words.
using Item = std::variant<DateInterval, Connector, Token>;

// Both bounds are optional: "before 2019" has only an upper one.
struct DateRange {
    std::optional<Timestamp> lower;
    std::optional<Timestamp> upper;
};

std::optional<QStringList> lookUp(const PlaceLookup& places, const QString& foldedPhrase)
{
    return places ? places(foldedPhrase) : std::nullopt;
}

void addPlaceCells(SearchQuery& query, const std::optional<QStringList>& cells)
{
    QStringList combined = query.placeCells.value_or(QStringList());
    if (cells) {
        combined.append(*cells);
    }
    query.placeCells = combined;
}

// "name:IMG_1234" and "place:Ankara" pairs. Answers whether the word was one;
// any other key leaves the word, colon and all, to the tokenizer.
bool readKeyValue(const QString& word, SearchQuery& query, const PlaceLookup& places)
{
    const QStringList characters = graphemeClusters(word);
    const qsizetype colon = characters.indexOf(QStringLiteral(":"));
    if (colon <= 0 || colon == characters.size() - 1) {
        return false;
    }
    const QString key = searchFold(characters.sliced(0, colon).join(QString()));
    qsizetype begin = colon + 1;
    qsizetype end = characters.size();
    while (begin < end && characters[begin] == u"\"") {
        ++begin;
    }
    while (end > begin && characters[end - 1] == u"\"") {
        --end;
    }
    const QString value = characters.sliced(begin, end - begin).join(QString());
    if (nameKeys().contains(key)) {
        query.nameTerms.append(value);
        return true;
    }
    if (placeKeys().contains(key)) {
        addPlaceCells(query, lookUp(places, searchFold(value)));
        return true;
    }
    return false;
}

// Date recognition comes first: a token that starts a date is never a
// connector or a word.
QList<Item> readItems(const TokenList& tokens, Timestamp now, const SearchCalendar& calendar)
{
    QList<Item> items;
    for (qsizetype i = 0; i < tokens.size();) {
        if (const std::optional<DateSpanMatch> span = dateSpan(i, tokens, now, calendar)) {
            items.append(span->interval);
            i += span->tokenCount;
            continue;
        }
        const auto connector = connectors().constFind(tokens[i].text);
        if (connector != connectors().cend()) {
            items.append(connector.value());
        } else {
            items.append(tokens[i]);
        }
        ++i;
    }
    return items;
}

// A connector that bounds a single date: before, after, since.
std::optional<Connector> boundingConnector(const std::optional<Connector>& connector)
{
    if (connector && *connector > Connector::between) {
        return connector;
    }
    return std::nullopt;
}

DateRange bounded(const DateInterval& span, Connector connector)
{
    switch (connector) {
    case Connector::before:
        return {std::nullopt, span.start};
    case Connector::after:
        return {span.end, std::nullopt};
    default:
        return {span.start, std::nullopt};
    }
}

// "2019 to 2021". Written the wrong way round ("2021 to 2019") the range
// still covers both years rather than nothing at all.
DateRange through(const DateInterval& first, const DateInterval& last)
{
    if (first.start < last.end) {
        return {first.start, last.end};
    }
    return {std::min(first.start, last.start), std::max(first.end, last.end)};
}

struct FoldResult {
    std::optional<DateRange> range;
    TokenList words;
};

// The first date phrase the walk reaches decides the range, with the
// connectors around it; later dates are consumed and ignored, and connectors
// never become words ("rock and roll" searches "rock" and "roll").
FoldResult fold(const QList<Item>& items)
{
    const auto connectorAt = [&items](qsizetype k) -> std::optional<Connector> {
        if (k < 0 || k >= items.size() || !std::holds_alternative<Connector>(items[k])) {
            return std::nullopt;
        }
        return std::get<Connector>(items[k]);
    };
    const auto spanAt = [&items](qsizetype k) -> const DateInterval* {
        return k < items.size() ? std::get_if<DateInterval>(&items[k]) : nullptr;
    };

    FoldResult result;
    for (qsizetype j = 0; j < items.size();) {
        if (const Token* word = std::get_if<Token>(&items[j])) {
            result.words.append(*word);
            ++j;
            continue;
        }
        const DateInterval* span = spanAt(j);
        if (span == nullptr) {
            ++j;
            continue;
        }
        DateRange candidate;
        qsizetype advance = 1;
        const bool throughNext = connectorAt(j + 1) == Connector::through;
        if (const DateInterval* last = spanAt(j + 2); throughNext && last != nullptr) {
            candidate = through(*span, *last);
            advance = connectorAt(j + 3) == Connector::between ? 4 : 3;
        } else if (const auto after = boundingConnector(connectorAt(j + 2)); throughNext && after) {
            candidate = bounded(*span, *after);
            advance = 3;
        } else if (const auto next = boundingConnector(connectorAt(j + 1))) {
            candidate = bounded(*span, *next);
            advance = 2;
        } else if (const auto before = boundingConnector(connectorAt(j - 1))) {
            candidate = bounded(*span, *before);
        } else {
            candidate = {span->start, span->end};
        }
        if (!result.range) {
            result.range = candidate;
        }
        j += advance;
    }
    return result;
}

// The word without one Turkish locative or ablative ending, keeping at least
// three characters: "istanbuldaki" becomes "istanbul", not "istanbuld".
QString withoutTurkishSuffix(const QString& word)
{
    static const QStringList turkishSuffixes = {
        QStringLiteral("daki"), QStringLiteral("deki"), QStringLiteral("taki"), QStringLiteral("teki"),
        QStringLiteral("dan"),  QStringLiteral("den"),  QStringLiteral("tan"),  QStringLiteral("ten"),
        QStringLiteral("da"),   QStringLiteral("de"),   QStringLiteral("ta"),   QStringLiteral("te"),
    };
    for (const QString& suffix : turkishSuffixes) {
        if (word.endsWith(suffix) && codePointCount(word) > suffix.size() + 2) {
            return word.chopped(suffix.size());
        }
    }
    return word;
}

// A run of words as one place phrase, and once more without a Turkish ending
// on its last word ("istanbuldaki").
std::optional<QStringList> lookUpRun(const PlaceLookup& places, const TokenList& run)
{
    QStringList texts;
    for (const Token& word : run) {
        texts.append(word.text);
    }
    const QString phrase = texts.join(u' ');
    std::optional<QStringList> cells = lookUp(places, phrase);
    if (const QString stripped = withoutTurkishSuffix(phrase); !cells && stripped != phrase) {
        cells = lookUp(places, stripped);
    }
    return cells;
}

// Kind words set the kind (both kinds named leave it open). The other words
// are looked up as places in runs, longest first, stop words included, since
// names hold them ("Rio de Janeiro", "The Hague"): a run holds at most three
// words that are not stop words and ends on one of them, so a stop word is
// never a place on its own. A stop word that no place took is dropped; any
// other word becomes a term as typed.
void readWords(const TokenList& words, const PlaceLookup& places, SearchQuery& query)
{
    constexpr qsizetype longestPlace = 3; // words besides stop words

    TokenList kept;
    for (const Token& word : words) {
        if (photoWords().contains(word.text)) {
            query.kind = query.kind == MediaKind::video ? std::nullopt : std::optional(MediaKind::image);
        } else if (videoWords().contains(word.text)) {
            query.kind = query.kind == MediaKind::image ? std::nullopt : std::optional(MediaKind::video);
        } else {
            kept.append(word);
        }
    }
    const auto isStopWord = [&kept](qsizetype i) { return stopWords().contains(kept[i].text); };

    for (qsizetype k = 0; k < kept.size();) {
        QList<qsizetype> runEnds; // exclusive, longest first
        for (qsizetype end = k, others = 0; end < kept.size() && others < longestPlace; ++end) {
            if (!isStopWord(end)) {
                ++others;
                runEnds.prepend(end + 1);
            }
        }
        std::optional<QStringList> cells;
        for (const qsizetype end : runEnds) {
            cells = lookUpRun(places, kept.sliced(k, end - k));
            if (cells) {
                addPlaceCells(query, cells);
                k = end;
                break;
            }
        }
        if (cells) {
            continue;
        }
        if (!isStopWord(k)) {
            query.terms.append(kept[k].original);
        }
        ++k;
    }
}

} // namespace

SearchQuery parse(const QString& text, Timestamp now, const SearchCalendar& calendar, const PlaceLookup& places)
{
    SearchQuery query;
    TokenList tokens;
    for (const QString& word : split(text)) {
        if (!readKeyValue(word, query, places)) {
            tokens.append(tokenize(word));
        }
    }
    const FoldResult folded = fold(readItems(tokens, now, calendar));
    if (folded.range) {
        query.from = folded.range->lower;
        query.until = folded.range->upper;
    }
    readWords(folded.words, places, query);
    return query;
}

} // namespace pivra::SearchParser
