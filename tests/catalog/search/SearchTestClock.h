#pragma once

// Shared by the search tests: instants written as local calendar days and
// times in a given zone, and readable failure output for queries and spans.

#include "catalog/search/DateSpan.h"
#include "catalog/search/SearchQuery.h"
#include "catalog/search/SearchTokenizer.h"

#include <QDateTime>
#include <gtest/gtest.h>
#include <QTimeZone>
#include <ostream>

namespace pivra {

inline Timestamp startOfDay(QDate day, const QTimeZone& zone)
{
    return static_cast<Timestamp>(day.startOfDay(zone).toMSecsSinceEpoch()) / 1000.0;
}

inline Timestamp localTime(QDate day, QTime time, const QTimeZone& zone)
{
    const QDateTime local(day, time, zone);
    EXPECT_TRUE(local.isValid()) << day.toString(Qt::ISODate).toStdString();
    return static_cast<Timestamp>(local.toMSecsSinceEpoch()) / 1000.0;
}

inline std::string describe(std::optional<Timestamp> instant)
{
    if (!instant) {
        return "none";
    }
    return QDateTime::fromMSecsSinceEpoch(static_cast<qint64>(*instant * 1000), QTimeZone::utc())
        .toString(Qt::ISODateWithMs)
        .toStdString();
}

inline void PrintTo(const SearchQuery& query, std::ostream* out)
{
    *out << "{terms [" << query.terms.join(u'|').toStdString() << "] names ["
         << query.nameTerms.join(u'|').toStdString() << "] from " << describe(query.from) << " until "
         << describe(query.until) << " places "
         << (query.placeCells ? "[" + query.placeCells->join(u'|').toStdString() + "]" : std::string("none"))
         << " kind " << (query.kind ? rawValue(*query.kind).toStdString() : std::string("none")) << "}";
}

namespace SearchParser {

// The tokens the parser would hand to the date recogniser for plain text.
inline TokenList tokensOf(const QString& text)
{
    TokenList tokens;
    for (const QString& word : split(text)) {
        tokens.append(tokenize(word));
    }
    return tokens;
}

inline void PrintTo(const DateSpanMatch& match, std::ostream* out)
{
    *out << "{" << describe(match.interval.start) << " .. " << describe(match.interval.end) << ", "
         << match.tokenCount << " tokens}";
}

inline void PrintTo(const Token& token, std::ostream* out)
{
    *out << "{" << token.text.toStdString() << " / " << token.original.toStdString() << "}";
}

} // namespace SearchParser
} // namespace pivra
