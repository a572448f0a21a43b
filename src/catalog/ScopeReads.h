#pragma once

#include "catalog/GalleryScope.h"
#include "catalog/Sqlite.h"

#include <QString>
#include <QStringList>

#include <cstddef>
#include <cstdint>
#include <functional>
#include <optional>
#include <utility>
#include <vector>

struct sqlite3;

namespace pivra {

class CatalogReaders;

// How the gallery's statements reach the rows of a scope.
//
// Sources left out. A scope that leaves sources out (the disconnected ones,
// when they are hidden) is read source by source: each shown source along its
// own capture order, the orders merged by SQLite. Led by the capture order of
// the whole catalog instead, a read steps over every row of the sources left
// out, and an unplugged disk of a million photos made the first screen wait
// for minutes.
//
// Spread reads. SQLite steps a statement on one thread, so a large scope is
// read as ranges of capture dates on several connections at once, newest
// range first. Range 0 holds the dates at or after the first cut, range k
// those before cut k-1 and at or after cut k, the last range those before the
// last cut; joined in that order, results in capture order stay in capture
// order.

// The sources a scope's rows can lie in when it leaves some out: the
// catalog's sources other than those, ascending. None when the scope leaves
// no source out, or its rows are led by its own source or album anyway, or
// more sources remain than one statement can merge.
std::optional<QStringList> shownSources(sqlite3* db, const GalleryScope& scope);

// The text of a read of a scope's rows: "<select> WHERE (<where>)<bounds>",
// then `tail`; with `sources`, one such arm per source, each also limited to
// "media.source_id=?" (or to nothing for no source), joined by UNION ALL.
QString scopeReadText(const QString& select, const QString& where, const std::optional<QStringList>& sources,
                      const QString& tail, const QString& bounds = {});

// A read of a scope's rows: "<select> WHERE (<where>)<bounds>" and then
// `tail`. With `sources`, one such arm per source, each also limited to
// "media.source_id=?", joined by UNION ALL, so that an ORDER BY in `tail`
// merges the arms. Binds per arm its source, the where's parameters, then
// `boundValues` (the "?" of `bounds`); returns the statement and sets `next`
// to the index of the first parameter of `tail`.
sqlite::Statement prepareScopeRead(sqlite3* db, const QString& select, const SqlPredicate& where,
                                   const std::optional<QStringList>& sources, const QString& tail,
                                   const QString& bounds = {}, const std::vector<double>& boundValues = {},
                                   int* next = nullptr);

// The first and the last rowid of the catalog, none without a row.
std::optional<std::pair<std::int64_t, std::int64_t>> rowidRange(sqlite3* db);

// Capture dates that cut the rows of `sources` (all rows without) into about
// `ranges` ranges of as many rows, descending, from a sample of rows spread
// over the whole file.
std::vector<double> captureCuts(sqlite3* db, std::size_t ranges, const std::optional<QStringList>& sources);

// Reads "<select> WHERE (<where>)", with the bounds of each range of `cuts`,
// then `tail`, as prepareScopeRead() does, and hands every range's statement
// to read(statement, range): without cuts, the one statement on `db`; with
// cuts, each on a connection of `readers`, several at once.
void readDateRanges(sqlite3* db, CatalogReaders& readers, const std::vector<double>& cuts, const QString& select,
                    const SqlPredicate& where, const std::optional<QStringList>& sources, const QString& tail,
                    const std::function<void(sqlite::Statement&, std::size_t)>& read);

} // namespace pivra
