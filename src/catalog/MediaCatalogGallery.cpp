// The gallery's queries: the whole index of a scope, its count, the keyset
// step to the next or previous item, and one item by id.
#include "catalog/MediaCatalog.h"

#include "catalog/CatalogRows.h"
#include "catalog/ScopeReads.h"
#include "platform/runtime/memory/Prefault.h"

#include <algorithm>
#include <iterator>

#include <sqlite3.h>

namespace pivra {

namespace {

// The index statement selects `indexColumns`, then the rowid.
constexpr int indexRowidColumn = 20;

// Date ranges per reader when a read is spread: more ranges than readers, so
// a reader that finishes early takes another.
constexpr std::size_t rangesPerReader = 4;

// Reads the items of one statement of an index read, leaving out the rows in
// `hidden` (ascending). `candidates`, when known, answers first for most rows
// that none of them is hidden.
void readIndexPart(sqlite::Statement& statement, const DuplicateCandidates* candidates,
                   const std::vector<std::int64_t>& hidden, std::vector<MediaItem>& items)
{
    while (statement.nextRow()) {
        const std::int64_t rowid = statement.int64(indexRowidColumn);
        if ((candidates == nullptr || candidates->contains(rowid))
            && std::binary_search(hidden.begin(), hidden.end(), rowid)) {
            continue;
        }
        if (std::optional<MediaItem> item = readItem(statement)) {
            items.push_back(std::move(*item));
        }
    }
}

// The parts of a spread read, one after the other.
std::vector<MediaItem> joined(std::vector<std::vector<MediaItem>> parts)
{
    if (parts.size() == 1) {
        return std::move(parts.front());
    }
    std::size_t size = 0;
    for (const std::vector<MediaItem>& part : parts) {
        size += part.size();
    }
    std::vector<MediaItem> whole;
    whole.reserve(size);
    for (std::vector<MediaItem>& part : parts) {
        std::move(part.begin(), part.end(), std::back_inserter(whole));
        part = {};
    }
    return whole;
}

const QString& rowidColumn()
{
    static const QString column = QStringLiteral("media.rowid");
    return column;
}

} // namespace

// The index and the count read the scope's rows without the duplicate rules
// and take the hidden ones from the count's verdict, counting first when the
// scope was not just counted. Each runs in one read transaction, so the
// verdict and the scope's rows come from one state of the file.
std::vector<MediaItem> MediaCatalog::galleryIndex(const GalleryScope& scope)
{
    SqlPredicate where = scope.scopePredicate();
    const sqlite::ReadTransaction snapshot(db_.get());
    const DatabaseState state = databaseState();
    const CountedScope& counted =
        lastCount_ && lastCount_->state == state && lastCount_->scope == where
                && lastCount_->offlineSources == scope.offlineSources
            ? *lastCount_
            : countScope(scope, std::move(where), state);
    const DuplicateCandidates* candidates = currentCandidates(state);

    const std::vector<double> cuts = spreadCuts(scope, counted);
    std::vector<std::vector<MediaItem>> parts(cuts.size() + 1);
    if (cuts.empty()) {
        // A million items would otherwise be moved again at every growth.
        const auto expected = static_cast<std::size_t>(counted.rows) - counted.hidden.size();
        parts.front().reserve(expected);
        prefaultInBackground(parts.front().data(), expected * sizeof(MediaItem));
    }
    readDateRanges(db_.get(), *readers_, cuts, indexColumns() + QStringLiteral(",media.rowid"),
                   counted.scope, counted.sources, QStringLiteral(" ORDER BY captured DESC,id"),
                   [&](sqlite::Statement& statement, std::size_t range) {
                       readIndexPart(statement, candidates, counted.hidden, parts[range]);
                   });
    std::vector<MediaItem> items = joined(std::move(parts));
    // The list lives as long as the gallery shows it: spread, it grew by
    // doubling and may hold twice its size.
    items.shrink_to_fit();
    return items;
}

// The duplicate rules are decided in SQL here, row by row: a few hundred
// lookups cost less than finding the catalog's duplicate candidates, so the
// first screen needs no pass over the whole catalog.
std::vector<MediaItem> MediaCatalog::galleryHead(const GalleryScope& scope, int limit)
{
    const sqlite::ReadTransaction snapshot(db_.get());
    const std::optional<QStringList> sources = shownSources(db_.get(), scope);
    sqlite::Statement statement = prepareScopeHead(db_.get(), indexColumns(), scope.scopePredicate(),
                                                   scope.duplicateRules(sources), sources, limit);
    std::vector<MediaItem> items;
    while (statement.nextRow()) {
        if (std::optional<MediaItem> item = readItem(statement)) {
            items.push_back(std::move(*item));
        }
    }
    return items;
}

std::vector<double> MediaCatalog::spreadCuts(const GalleryScope& scope, const CountedScope& counted) const
{
    // A folder's rows are found by their paths and an album's by its links:
    // cut by date, each range would walk them all again.
    if (scope.folder || scope.albumID || counted.rows < tuning_.spreadFromRows) {
        return {};
    }
    return captureCuts(db_.get(), CatalogReaders::width() * rangesPerReader, counted.sources);
}

std::int64_t MediaCatalog::galleryCount(const GalleryScope& scope)
{
    SqlPredicate where = scope.scopePredicate();
    const sqlite::ReadTransaction snapshot(db_.get());
    const CountedScope& counted = countScope(scope, std::move(where), databaseState());
    return counted.rows - static_cast<std::int64_t>(counted.hidden.size());
}

const MediaCatalog::CountedScope& MediaCatalog::countScope(const GalleryScope& scope, SqlPredicate where,
                                                           const DatabaseState& state)
{
    std::optional<QStringList> sources = shownSources(db_.get(), scope);
    const DuplicateCandidates* known = currentCandidates(state);
    // Read in one statement: the scopes most reloads count walk a covering
    // index that way, which ranges of dates would trade for table rows.
    sqlite::Statement statement = prepareScopeRead(db_.get(), rowidColumn(), where, sources, {});
    std::int64_t rows = 0;
    std::vector<std::int64_t> rowsInScope; // only candidates, once they are known
    while (statement.nextRowChecked()) {
        ++rows;
        if (const std::int64_t rowid = statement.int64(0); known == nullptr || known->contains(rowid)) {
            rowsInScope.push_back(rowid);
        }
    }
    releasePassedPages();
    std::vector<std::int64_t> hidden;
    if (known != nullptr) {
        hidden = known->hiddenAmong(std::move(rowsInScope), scope.offlineSources);
    } else if (const auto span = rowidRange(db_.get());
               span && double(rows) < double(span->second - span->first + 1) * tuning_.rulesInSqlBelowShare) {
        rowsInScope = {};
        hidden = hiddenBySql(scope, sources);
    } else {
        const DuplicateCandidates& candidates = duplicateCandidates(state);
        std::erase_if(rowsInScope, [&](std::int64_t rowid) { return !candidates.contains(rowid); });
        hidden = candidates.hiddenAmong(std::move(rowsInScope), scope.offlineSources);
    }
    lastCount_ = CountedScope{std::move(where), scope.offlineSources, state, std::move(sources), rows, std::move(hidden)};
    return *lastCount_;
}

std::vector<std::int64_t> MediaCatalog::hiddenBySql(const GalleryScope& scope,
                                                    const std::optional<QStringList>& sources) const
{
    const SqlPredicate own = scope.scopePredicate();
    const SqlPredicate shown = scope.predicate(sources);
    const SqlPredicate hiddenRows{u'(' + own.where + QStringLiteral(") AND NOT (") + shown.where + u')',
                                  own.parameters + shown.parameters};
    sqlite::Statement statement = prepareScopeRead(db_.get(), rowidColumn(), hiddenRows, sources, {});
    std::vector<std::int64_t> hidden;
    while (statement.nextRowChecked()) {
        hidden.push_back(statement.int64(0));
    }
    std::sort(hidden.begin(), hidden.end());
    return hidden;
}

MediaCatalog::GalleryStamp MediaCatalog::galleryStamp(const GalleryScope& scope) const
{
    return {scope.scopePredicate(), scope.offlineSources, databaseState()};
}

MediaCatalog::DatabaseState MediaCatalog::databaseState() const
{
    sqlite::Statement version = prepare("PRAGMA data_version");
    if (!version.nextRowChecked()) {
        throw CatalogError(CatalogError::Kind::step);
    }
    return {sqlite3_total_changes64(db_.get()), version.int64(0)};
}

const DuplicateCandidates& MediaCatalog::duplicateCandidates(const DatabaseState& state)
{
    if (const DuplicateCandidates* current = currentCandidates(state)) {
        return *current;
    }
    if (candidates_) {
        earlierCandidateRowsRead_ += candidates_->set.rowsRead();
        candidates_.reset(); // the old set is freed before the new one is read
    }
    written_->take(); // the new set reads them as they are
    candidates_.emplace(KnownCandidates{state.second, state.first, DuplicateCandidates(*readers_)});
    return candidates_->set;
}

const DuplicateCandidates* MediaCatalog::currentCandidates(const DatabaseState& state)
{
    if (!candidates_ || candidates_->dataVersion != state.second || written_->overflowed()) {
        return nullptr;
    }
    if (candidates_->changes != state.first) {
        candidates_->set.update(db_.get(), written_->take());
        candidates_->changes = state.first;
    }
    return &candidates_->set;
}

std::int64_t MediaCatalog::duplicateCandidateRowsRead() const
{
    return earlierCandidateRowsRead_ + (candidates_ ? candidates_->set.rowsRead() : 0);
}

std::optional<MediaItem> MediaCatalog::neighbor(const MediaItem& item, int direction, const GalleryScope& scope)
{
    // Keyset on (captured, id): gallery order is captured descending, then id
    // ascending, so "after" means older, or as old with a larger id.
    // The added bound on ?1 (the same capture date) follows from the keyset
    // and changes no result; it lets SQLite seek into the capture-order index
    // and stop at the first match instead of collecting and sorting half the
    // library for every step.
    const bool forward = direction >= 1;
    const QString keyset = forward ? QStringLiteral("(captured < ? OR (captured = ? AND id > ?)) AND captured <= ?1")
                                   : QStringLiteral("(captured > ? OR (captured = ? AND id < ?)) AND captured >= ?1");
    const QString order = forward ? QStringLiteral("captured DESC,id ASC") : QStringLiteral("captured ASC,id DESC");
    const SqlPredicate predicate = scope.predicate();
    sqlite::Statement statement =
        prepare(QStringLiteral("SELECT ") + fullColumns() + QStringLiteral(" FROM media WHERE ") + keyset
                + QStringLiteral(" AND ") + predicate.where + QStringLiteral(" ORDER BY ") + order
                + QStringLiteral(" LIMIT 1"));
    statement.bindDouble(1, item.captureDate());
    statement.bindDouble(2, item.captureDate());
    statement.bindText(3, item.id());
    statement.bindTexts(4, predicate.parameters);
    if (!statement.nextRow()) {
        return std::nullopt;
    }
    return readItem(statement);
}

std::optional<MediaItem> MediaCatalog::item(const QString& id)
{
    sqlite::Statement statement =
        prepare(QStringLiteral("SELECT ") + fullColumns() + QStringLiteral(" FROM media WHERE id=?"));
    statement.bindText(1, id);
    if (!statement.nextRow()) {
        return std::nullopt;
    }
    return readItem(statement);
}

} // namespace pivra
