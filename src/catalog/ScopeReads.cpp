#include "catalog/ScopeReads.h"

#include "catalog/CatalogReaders.h"
#include "catalog/model/Uuid.h"

#include <algorithm>

namespace pivra {

namespace {

// SQLite merges at most 500 arms of a compound statement; a library of more
// sources than this is read along the whole catalog's order, as before.
constexpr qsizetype mostMergedSources = 400;

// Arms of a read from `sources`: one per source, and one that matches
// nothing when no source is left.
qsizetype armCount(const std::optional<QStringList>& sources)
{
    return sources && !sources->isEmpty() ? sources->size() : 1;
}

} // namespace

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
    QStringList excluded;
    for (const QUuid& source : scope.excludedSources) {
        excluded.append(uuidString(source));
    }
    QStringList shown;
    while (distinct.nextRowChecked()) {
        QString source = distinct.text(0).value_or(QString());
        if (!excluded.contains(source)) {
            shown.append(std::move(source));
        }
        if (shown.size() > mostMergedSources) {
            return std::nullopt;
        }
    }
    return shown;
}

QString scopeReadText(const QString& select, const QString& where, const std::optional<QStringList>& sources,
                      const QString& tail, const QString& bounds)
{
    const QString limit = !sources              ? QString()
                        : sources->isEmpty()    ? QStringLiteral("0 AND ")
                                                : QStringLiteral("media.source_id=? AND ");
    const QString arm = select + QStringLiteral(" WHERE ") + limit + u'(' + where + u')' + bounds;
    QStringList arms;
    for (qsizetype at = 0; at < armCount(sources); ++at) {
        arms.append(arm);
    }
    return arms.join(QStringLiteral(" UNION ALL ")) + tail;
}

sqlite::Statement prepareScopeRead(sqlite3* db, const QString& select, const SqlPredicate& where,
                                   const std::optional<QStringList>& sources, const QString& tail,
                                   const QString& bounds, const std::vector<double>& boundValues, int* next)
{
    sqlite::Statement statement(db, scopeReadText(select, where.where, sources, tail, bounds));
    int parameter = 1;
    for (qsizetype at = 0; at < armCount(sources); ++at) {
        if (sources && !sources->isEmpty()) {
            statement.bindText(parameter++, sources->at(at));
        }
        parameter = statement.bindTexts(parameter, where.parameters);
        for (const double value : boundValues) {
            statement.bindDouble(parameter++, value);
        }
    }
    if (next != nullptr) {
        *next = parameter;
    }
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
    std::vector<double> dates;
    for (int at = 0; at < samples; ++at) {
        sample.resetForReuse();
        sample.bindInt64(1, static_cast<std::int64_t>(first + width * at / samples));
        if (sample.nextRowChecked() && (!sources || sources->contains(sample.text(1).value_or(QString())))) {
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

void readDateRanges(sqlite3* db, CatalogReaders& readers, const std::vector<double>& cuts, const QString& select,
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
        sqlite::Statement statement = prepareScopeRead(connection, select, where, sources, tail, bounds, values);
        read(statement, range);
    };
    if (cuts.empty()) {
        readRange(db, 0);
    } else {
        readers.forEach(cuts.size() + 1, CatalogReaders::width(), readRange);
    }
}

} // namespace pivra
