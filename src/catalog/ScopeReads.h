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
// when they are hidden) is read source by source, each shown source sought
// in an index that leads with the source. Led by the capture order of the
// whole catalog instead, a read steps over every row of the sources left
// out, and an unplugged disk of a million photos made the first screen wait
// for minutes. The shown sources are one list parameter, so a statement is
// the same for one source or thousands.
//
// A count reads the shown sources' rows in any order. The first screen
// merges the shown sources' capture orders: it takes each source's newest
// row, then again and again the newest of those taken, replaced by the next
// row of its source, so it reads a row per source and a row per item. A
// whole index sorts the rows it read, as many as it returns.
//
// Spread reads. SQLite steps a statement on one thread, so a large scope is
// read as ranges of capture dates on several connections at once, newest
// range first. Range 0 holds the dates at or after the first cut, range k
// those before cut k-1 and at or after cut k, the last range those before the
// last cut; joined in that order, results in capture order stay in capture
// order.

// The sources a scope's rows can lie in when it leaves some out: the
// catalog's sources other than those, ascending. None when the scope leaves
// no source out, or its rows are led by its own source or album anyway.
std::optional<QStringList> shownSources(sqlite3* db, const GalleryScope& scope);

// The text of a read of a scope's rows: "SELECT <columns>" of the rows that
// "(<where>)<bounds>" selects, then `tail`; with `sources`, only the rows of
// those sources. The columns name the table "media".
QString scopeReadText(const QString& columns, const QString& where, const std::optional<QStringList>& sources,
                      const QString& tail, const QString& bounds = {});

// A read of a scope's rows as scopeReadText() writes it, with the list of
// `sources` when given, the where's parameters, then `boundValues` (the "?"
// of `bounds`) bound; `tail` takes no parameter.
sqlite::Statement prepareScopeRead(sqlite3* db, const QString& columns, const SqlPredicate& where,
                                   const std::optional<QStringList>& sources, const QString& tail,
                                   const QString& bounds = {}, const std::vector<double>& boundValues = {});

// The text of the first rows of a scope in gallery order (captured
// descending, then id): "SELECT <columns>" of the rows that "(<where>)" and
// "(<rules>)" select, with `sources` merged from those sources' own orders
// (or walked in its own, for one), and then "LIMIT ?". The rules are tested only on the rows the merge
// brings, in order, until enough have passed.
QString scopeHeadText(const QString& columns, const QString& where, const QString& rules,
                      const std::optional<QStringList>& sources);

// The first `limit` rows of a scope in gallery order, as scopeHeadText()
// writes it, with every parameter bound.
sqlite::Statement prepareScopeHead(sqlite3* db, const QString& columns, const SqlPredicate& where,
                                   const SqlPredicate& rules, const std::optional<QStringList>& sources, int limit);

// The first and the last rowid of the catalog, none without a row.
std::optional<std::pair<std::int64_t, std::int64_t>> rowidRange(sqlite3* db);

// Capture dates that cut the rows of `sources` (all rows without) into about
// `ranges` ranges of as many rows, descending, from a sample of rows spread
// over the whole file.
std::vector<double> captureCuts(sqlite3* db, std::size_t ranges, const std::optional<QStringList>& sources);

// Reads the `columns` of "(<where>)", with the bounds of each range of `cuts`,
// then `tail`, as prepareScopeRead() does, and hands every range's statement
// to read(statement, range): without cuts, the one statement on `db`; with
// cuts, each on a connection of `readers`, several at once.
void readDateRanges(sqlite3* db, CatalogReaders& readers, const std::vector<double>& cuts, const QString& columns,
                    const SqlPredicate& where, const std::optional<QStringList>& sources, const QString& tail,
                    const std::function<void(sqlite::Statement&, std::size_t)>& read);

} // namespace pivra
