#include "catalog/ScopeReads.h"

#include "catalog/CatalogReaders.h"
#include "catalog/model/Uuid.h"

#include <QSet>

#include <algorithm>

namespace pivra {

std::optional<QStringList> shownSources(sqlite3* db, const GalleryScope& scope)
{
    if (scope.excludedSources.isEmpty() || scope.sourceID || scope.albumID) {
        return std::nullopt;
    }
    // Each next source is sought in an index that leads with the source, so
    // finding them reads a row or two per source, not the rows of any.
    sqlite::Statement distinct(db, "WITH RECURSIVE source(id) AS (SELECT min(source_id) FROM media UNION ALL "
                                   "SELECT (SELECT min(source_id) FROM media WHERE source_id>source.id) FROM source "
                                   "WHERE source.id IS NOT NULL) SELECT id FROM source WHERE id IS NOT NULL");
    const QStringList excludedList = uuidStrings(scope.excludedSources);
    const QSet<QString> excluded(excludedList.begin(), excludedList.end());
    QStringList shown;
    while (distinct.nextRowChecked()) {
        QString source = distinct.text(0).value_or(QString());
        if (!excluded.contains(source)) {
            shown.append(std::move(source));
        }
    }
    return shown;
}

QString scopeReadText(const QString& columns, const QString& where, const std::optional<QStringList>& sources,
                      const QString& tail, const QString& bounds)
{
    // The sources lead the join, so that each is sought in an index that
    // leads with the source. As a plain IN list, SQLite (which cannot know
    // its length) chose to walk a capture or favourite order of the whole
    // catalog and test every row's source against the list.
    const QString from = sources ? QStringLiteral("WITH shown(shown_source) AS (SELECT value FROM json_each(?)) SELECT ")
                                       + columns
                                       + QStringLiteral(" FROM shown CROSS JOIN media WHERE media.source_id=shown_source AND ")
                                 : QStringLiteral("SELECT ") + columns + QStringLiteral(" FROM media WHERE ");
    return from + u'(' + where + u')' + bounds + tail;
}

sqlite::Statement prepareScopeRead(sqlite3* db, const QString& columns, const SqlPredicate& where,
                                   const std::optional<QStringList>& sources, const QString& tail,
                                   const QString& bounds, const std::vector<double>& boundValues)
{
    sqlite::Statement statement(db, scopeReadText(columns, where.where, sources, tail, bounds));
    int parameter = 1;
    if (sources) {
        statement.bindText(parameter++, sqlite::textList(*sources));
    }
    parameter = statement.bindTexts(parameter, where.parameters);
    for (const double value : boundValues) {
        statement.bindDouble(parameter++, value);
    }
    return statement;
}

QString scopeHeadText(const QString& columns, const QString& where, const QString& rules,
                      const std::optional<QStringList>& sources)
{
    // The whole catalog's order, or one shown source's own, is walked as it
    // is: merged, a lone source would be sought again for every row.
    if (!sources || sources->size() == 1) {
        return QStringLiteral("SELECT ") + columns + QStringLiteral(" FROM media WHERE ")
             + (sources ? QStringLiteral("media.source_id=? AND (") : QStringLiteral("(")) + where
             + QStringLiteral(") AND (") + rules + QStringLiteral(") ORDER BY captured DESC,id LIMIT ?");
    }
    // The rowid of the newest row of the scope in `source` that lies after
    // what `after` says.
    const auto newestOf = [&where](const QString& source, const QString& after) -> QString {
        return QStringLiteral("(SELECT media.rowid FROM media WHERE media.source_id=") + source + after
             + QStringLiteral(" AND (") + where + QStringLiteral(") ORDER BY media.captured DESC,media.id LIMIT 1)");
    };
    // A recursive query takes its rows from its queue in the order of its
    // ORDER BY, newest first here, and puts in each one's successor; so the
    // queue holds a row per source, and rows leave it in gallery order. It
    // runs only as far as the outer query asks for rows. SQLite drops the
    // ORDER BY of a subquery without a LIMIT as if it changed nothing, and
    // the queue then gives its rows in the order they came: hence the
    // LIMIT that limits nothing.
    // The keyset's first bound (a date no later than the row's) changes no
    // result, but lets SQLite seek the source's capture order at once.
    const QString taken = QStringLiteral(
        "found.rowid AS taken_rowid,found.captured AS taken_captured,found.id AS taken_id,"
        "found.source_id AS taken_source");
    return QStringLiteral("WITH RECURSIVE taken(taken_rowid,taken_captured,taken_id,taken_source) AS (SELECT ") + taken
         + QStringLiteral(" FROM json_each(?) AS shown CROSS JOIN media AS found WHERE found.rowid=")
         + newestOf(QStringLiteral("shown.value"), {}) + QStringLiteral(" UNION ALL SELECT ") + taken
         + QStringLiteral(" FROM taken CROSS JOIN media AS found WHERE found.rowid=")
         + newestOf(QStringLiteral("taken.taken_source"),
                    QStringLiteral(" AND media.captured<=taken.taken_captured AND (media.captured<taken.taken_captured "
                                   "OR (media.captured=taken.taken_captured AND media.id>taken.taken_id))"))
         + QStringLiteral(" ORDER BY taken_captured DESC,taken_id LIMIT -1) SELECT ") + columns
         + QStringLiteral(" FROM taken CROSS JOIN media ON media.rowid=taken.taken_rowid WHERE ") + rules
         + QStringLiteral(" LIMIT ?");
}

sqlite::Statement prepareScopeHead(sqlite3* db, const QString& columns, const SqlPredicate& where,
                                   const SqlPredicate& rules, const std::optional<QStringList>& sources, int limit)
{
    sqlite::Statement statement(db, scopeHeadText(columns, where.where, rules.where, sources));
    int parameter = 1;
    if (sources && sources->size() == 1) {
        statement.bindText(parameter++, sources->front());
    } else if (sources) {
        statement.bindText(parameter++, sqlite::textList(*sources));
        parameter = statement.bindTexts(parameter, where.parameters); // the first row of each source
    }
    parameter = statement.bindTexts(parameter, where.parameters);
    parameter = statement.bindTexts(parameter, rules.parameters);
    statement.bindInt64(parameter, std::max(limit, 0));
    return statement;
}

std::optional<std::pair<std::int64_t, std::int64_t>> rowidRange(sqlite3* db)
{
    // Each end in a subquery of its own: SQLite seeks a lone min() or max()
    // at the end of the table, but computes two of them, or an expression of
    // one, by reading every row.
    sqlite::Statement range(db, "SELECT (SELECT min(rowid) FROM media),(SELECT max(rowid) FROM media)");
    if (!range.nextRowChecked() || range.isNull(0)) {
        return std::nullopt;
    }
    return std::pair{range.int64(0), range.int64(1)};
}

std::vector<double> captureCuts(sqlite3* db, std::size_t ranges, const std::optional<QStringList>& sources)
{
    const auto span = rowidRange(db);
    if (!span) {
        return {};
    }
    // The dates of evenly spaced rowids stand in for all rows: a few hundred
    // place the cuts well enough to share the work, in a millisecond.
    constexpr int samples = 512;
    const double first = static_cast<double>(span->first);
    const double width = static_cast<double>(span->second) - first;
    sqlite::Statement sample(db, "SELECT captured,source_id FROM media WHERE rowid>=? ORDER BY rowid LIMIT 1");
    const QSet<QString> shown = sources ? QSet<QString>(sources->begin(), sources->end()) : QSet<QString>();
    std::vector<double> dates;
    for (int at = 0; at < samples; ++at) {
        sample.resetForReuse();
        sample.bindInt64(1, static_cast<std::int64_t>(first + width * at / samples));
        if (sample.nextRowChecked() && (!sources || shown.contains(sample.text(1).value_or(QString())))) {
            dates.push_back(sample.real(0));
        }
    }
    std::sort(dates.begin(), dates.end(), std::greater<>());
    std::vector<double> cuts;
    for (std::size_t range = 1; range < ranges && !dates.empty(); ++range) {
        const double cut = dates[range * dates.size() / ranges];
        if (cuts.empty() || cut < cuts.back()) {
            cuts.push_back(cut);
        }
    }
    return cuts;
}

void readDateRanges(sqlite3* db, CatalogReaders& readers, const std::vector<double>& cuts, const QString& columns,
                    const SqlPredicate& where, const std::optional<QStringList>& sources, const QString& tail,
                    const std::function<void(sqlite::Statement&, std::size_t)>& read)
{
    const auto readRange = [&](sqlite3* connection, std::size_t range) {
        QString bounds;
        std::vector<double> values;
        if (range > 0) {
            bounds += QStringLiteral(" AND media.captured < ?");
            values.push_back(cuts[range - 1]);
        }
        if (range < cuts.size()) {
            bounds += QStringLiteral(" AND media.captured >= ?");
            values.push_back(cuts[range]);
        }
        sqlite::Statement statement = prepareScopeRead(connection, columns, where, sources, tail, bounds, values);
        read(statement, range);
    };
    if (cuts.empty()) {
        readRange(db, 0);
    } else {
        readers.forEach(cuts.size() + 1, CatalogReaders::width(), readRange);
    }
}

} // namespace pivra
