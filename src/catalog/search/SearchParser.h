#pragma once

#include "catalog/search/SearchCalendar.h"
#include "catalog/search/SearchQuery.h"
#include "catalog/model/Timestamp.h"

#include <QString>
#include <QStringList>
#include <functional>
#include <optional>

namespace pivra {

// Answers the coordinate-cell keys of the known places whose name, region,
// country or area is the given folded phrase, or none when no place of that
// name is known. Called synchronously on the parsing thread, any number of
// times.
using PlaceLookup = std::function<std::optional<QStringList>(const QString& foldedPhrase)>;

namespace SearchParser {

// Turns free search text, English or Turkish, into a query: words, quoted
// phrases, key:value pairs ("name:IMG_1234", "place:Ankara"), kind words
// ("photos", "videolar"), places, dates and date ranges ("march 2020",
// "2019-2021", "between 2019 and 2021", "2019'dan sonra", "last 3 weeks").
// Nothing fails: whatever is not recognised becomes a term. `now` and
// `calendar` are the only source of the current date.
SearchQuery parse(const QString& text, Timestamp now, const SearchCalendar& calendar, const PlaceLookup& places);

} // namespace SearchParser
} // namespace pivra
