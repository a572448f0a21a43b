#pragma once

#include "catalog/GalleryScope.h"
#include "catalog/Sqlite.h"

#include <QString>

#include <cstddef>
#include <cstdint>
#include <functional>
#include <vector>

struct sqlite3;

namespace pivra {

class CatalogReaders;

// A gallery read spread over several connections: SQLite steps a statement on
// one thread, so a large scope is read as ranges of capture dates at once,
// newest range first. Range 0 holds the dates at or after the first cut,
// range k those before cut k-1 and at or after cut k, the last range those
// before the last cut; joined in that order, results in capture order stay
// in capture order.

// Capture dates that cut the catalog into about `ranges` ranges of as many
// rows, descending; none when the catalog holds fewer than `fromRows` rows
// (counted by rowid span), which are read faster in one statement.
std::vector<double> captureCuts(sqlite3* db, std::size_t ranges, std::int64_t fromRows);

// Prepares `select` + " WHERE (" + the predicate + ")", the range's bounds
// and `tail`, binds it and hands it to read(statement, range) for every
// range of `cuts`: without cuts, the one statement on `db`; with cuts, each
// on a connection of `readers`, several at once.
void readDateRanges(sqlite3* db, CatalogReaders& readers, const std::vector<double>& cuts, const QString& select,
                    const SqlPredicate& where, const QString& tail,
                    const std::function<void(sqlite::Statement&, std::size_t)>& read);

} // namespace pivra
