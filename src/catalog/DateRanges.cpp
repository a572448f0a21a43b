#include "catalog/DateRanges.h"

#include "catalog/CatalogReaders.h"

#include <algorithm>

namespace pivra {

std::vector<double> captureCuts(sqlite3* db, std::size_t ranges, std::int64_t fromRows)
{
    sqlite::Statement span(db, "SELECT min(rowid),max(rowid) FROM media");
    if (!span.nextRowChecked() || span.isNull(0) || span.int64(1) - span.int64(0) + 1 < fromRows) {
        return {};
    }
    // The dates of evenly spaced rowids stand in for all rows: a few hundred
    // place the cuts well enough to share the work, in a millisecond.
    constexpr int samples = 512;
    const double first = static_cast<double>(span.int64(0));
    const double width = static_cast<double>(span.int64(1)) - first;
    sqlite::Statement sample(db, "SELECT captured FROM media WHERE rowid>=? ORDER BY rowid LIMIT 1");
    std::vector<double> dates;
    for (int at = 0; at < samples; ++at) {
        sample.resetForReuse();
        sample.bindInt64(1, static_cast<std::int64_t>(first + width * at / samples));
        if (sample.nextRowChecked()) {
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
                    const SqlPredicate& where, const QString& tail,
                    const std::function<void(sqlite::Statement&, std::size_t)>& read)
{
    const auto readRange = [&](sqlite3* connection, std::size_t range) {
        QString sql = select + QStringLiteral(" WHERE (") + where.where + u')';
        sql += range > 0 ? QStringLiteral(" AND media.captured < ?") : QString();
        sql += range < cuts.size() ? QStringLiteral(" AND media.captured >= ?") : QString();
        sqlite::Statement statement(connection, sql + tail);
        int next = statement.bindTexts(1, where.parameters);
        if (range > 0) {
            statement.bindDouble(next++, cuts[range - 1]);
        }
        if (range < cuts.size()) {
            statement.bindDouble(next, cuts[range]);
        }
        read(statement, range);
    };
    if (cuts.empty()) {
        readRange(db, 0);
    } else {
        readers.forEach(cuts.size() + 1, CatalogReaders::width(), readRange);
    }
}

} // namespace pivra
