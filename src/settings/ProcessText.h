#pragma once

#include "catalog/model/Timestamp.h"
#include "store/PivraProcess.h"

#include <QString>

// The short texts the Processes tab tells a background run with. Counts are
// written in the current locale with grouping ("1,200"), durations in plain
// digits; the words are English. Pure functions.
namespace pivra::ProcessText {

// The kind's noun for `count`: singular for exactly 1, else plural.
QString noun(PivraProcess::Kind kind, int count);

// "12 items found" while the total is unknown, else "3 of 40 thumbnails"
// (the noun agrees with the total), then " · 2 unavailable" when any failed.
QString progress(const PivraProcess& process);

// Whole seconds from `from` to `to`, truncated and never negative: "59 s",
// "1 min 0 s", "25 h 0 min".
QString duration(Timestamp from, Timestamp to);

// "Failed", "Stopped after 5 of 9" or "40 thumbnails prepared", then the
// failures and, once ended, the time the run took, each after " · ".
QString result(const PivraProcess& process);

} // namespace pivra::ProcessText
