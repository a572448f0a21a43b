#pragma once

#include "catalog/search/SearchCalendar.h"
#include "catalog/search/SearchToken.h"
#include "catalog/model/Timestamp.h"

#include <QString>
#include <optional>

namespace pivra::SearchParser {

// A date phrase found in the token list: the calendar interval it names and
// how many tokens it spans (1 to 3) from where it starts.
struct DateSpanMatch {
    DateInterval interval;
    int tokenCount = 0;

    bool operator==(const DateSpanMatch&) const = default;
};

// The date phrase that starts at `position` of `tokens`, if any: a relative
// word ("today", "dun", "this month", "gecen yil", "last 3 weeks"), a numeric
// date ("17.05.2020", "2020-05-17", "05/2020"), a day and month name ("5
// march", "mart 5 2020"), a month name ("september", "agustos 2021") or a year
// ("2019"). `now` and `calendar` are the only source of the current date.
std::optional<DateSpanMatch> dateSpan(qsizetype position, const TokenList& tokens, Timestamp now,
                                      const SearchCalendar& calendar);

} // namespace pivra::SearchParser
