// The gallery's queries: the whole index of a scope, its count, the keyset
// step to the next or previous item, and one item by id.
#include "catalog/MediaCatalog.h"

#include "catalog/CatalogRows.h"
#include "catalog/DateRanges.h"
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

// What one statement of an index read found: its items and, without a count's
// verdict, what deciding the hidden rows afterwards needs.
struct IndexPart {
    std::vector<MediaItem> items;
    std::vector<std::int64_t> itemRows;
    std::vector<std::int64_t> candidatesInScope;
};

// `hidden` is the count's verdict (ascending rows), or null without one.
void readIndexPart(sqlite::Statement& statement, const DuplicateCandidates& candidates,
                   const std::vector<std::int64_t>* hidden, IndexPart& part)
{
    while (statement.nextRow()) {
        const std::int64_t rowid = statement.int64(indexRowidColumn);
        if (candidates.contains(rowid)) {
            if (hidden == nullptr) {
                part.candidatesInScope.push_back(rowid);
            } else if (std::binary_search(hidden->begin(), hidden->end(), rowid)) {
                continue;
            }
        }
        if (std::optional<MediaItem> item = readItem(statement)) {
            part.items.push_back(std::move(*item));
            if (hidden == nullptr) {
                part.itemRows.push_back(rowid);
            }
        }
    }
}

// Removes the items whose row is in `hidden` (ascending), keeping the order.
void dropHidden(std::vector<MediaItem>& items, const std::vector<std::int64_t>& itemRows,
                const std::vector<std::int64_t>& hidden)
{
    std::size_t kept = 0;
    for (std::size_t at = 0; at < items.size(); ++at) {
        if (std::binary_search(hidden.begin(), hidden.end(), itemRows[at])) {
            continue;
        }
        if (kept != at) {
            items[kept] = std::move(items[at]);
        }
        ++kept;
    }
    items.resize(kept);
}

// The parts of a spread read, one after the other.
IndexPart joined(std::vector<IndexPart> parts)
{
    if (parts.size() == 1) {
        return std::move(parts.front());
    }
    IndexPart whole;
    std::size_t items = 0;
    for (const IndexPart& part : parts) {
        items += part.items.size();
    }
    whole.items.reserve(items);
    for (IndexPart& part : parts) {
        std::move(part.items.begin(), part.items.end(), std::back_inserter(whole.items));
        part.items = {};
        whole.itemRows.insert(whole.itemRows.end(), part.itemRows.begin(), part.itemRows.end());
        whole.candidatesInScope.insert(whole.candidatesInScope.end(), part.candidatesInScope.begin(),
                                       part.candidatesInScope.end());
    }
    return whole;
}

} // namespace

// The index and the count read the scope's rows without the duplicate rules
// and decide those among the catalog's duplicate candidates, which hide the
// same rows as GalleryScope::predicate() (the neighbour step's SQL) at a
// fraction of the cost. Each runs in one read transaction, so the candidates
// and the scope's rows come from one state of the file.
std::vector<MediaItem> MediaCatalog::galleryIndex(const GalleryScope& scope)
{
    const SqlPredicate where = scope.scopePredicate();
    const sqlite::ReadTransaction snapshot(db_.get());
    const DatabaseState state = databaseState();
    const DuplicateCandidates& candidates = duplicateCandidates(state);
    const CountedScope* counted = lastCount_ && lastCount_->state == state && lastCount_->scope == where
                                       && lastCount_->offlineSources == scope.offlineSources
                                    ? &*lastCount_
                                    : nullptr;
    // Without the count's verdict, the hidden items are made and dropped after.
    const std::vector<std::int64_t>* hidden = counted != nullptr ? &counted->hidden : nullptr;

    const std::vector<double> cuts = spreadCuts(scope);
    std::vector<IndexPart> parts(cuts.size() + 1);
    if (cuts.empty() && counted != nullptr) {
        // A million items would otherwise be moved again at every growth.
        const auto expected = static_cast<std::size_t>(counted->rows) - counted->hidden.size();
        parts.front().items.reserve(expected);
        prefaultInBackground(parts.front().items.data(), expected * sizeof(MediaItem));
    }
    readDateRanges(db_.get(), *readers_, cuts, QStringLiteral("SELECT ") + indexColumns() + QStringLiteral(",rowid FROM media"),
                   where, QStringLiteral(" ORDER BY captured DESC,id"),
                   [&](sqlite::Statement& statement, std::size_t range) {
                       readIndexPart(statement, candidates, hidden, parts[range]);
                   });
    IndexPart whole = joined(std::move(parts));
    if (hidden == nullptr) {
        dropHidden(whole.items, whole.itemRows,
                   candidates.hiddenAmong(std::move(whole.candidatesInScope), scope.offlineSources));
    }
    // The list lives as long as the gallery shows it: without a count to
    // reserve from, it grew by doubling and may hold twice its size.
    whole.items.shrink_to_fit();
    return std::move(whole.items);
}

// The duplicate rules are decided in SQL here, row by row: a few hundred
// lookups cost less than finding the catalog's duplicate candidates, so the
// first screen needs no pass over the whole catalog.
std::vector<MediaItem> MediaCatalog::galleryHead(const GalleryScope& scope, int limit)
{
    const SqlPredicate predicate = scope.predicate();
    sqlite::Statement statement = prepare(QStringLiteral("SELECT ") + indexColumns() + QStringLiteral(" FROM media WHERE ")
                                          + predicate.where + QStringLiteral(" ORDER BY captured DESC,id LIMIT ?"));
    const int next = statement.bindTexts(1, predicate.parameters);
    statement.bindInt64(next, std::max(limit, 0));
    std::vector<MediaItem> items;
    while (statement.nextRow()) {
        if (std::optional<MediaItem> item = readItem(statement)) {
            items.push_back(std::move(*item));
        }
    }
    return items;
}

std::vector<double> MediaCatalog::spreadCuts(const GalleryScope& scope) const
{
    // A folder's rows are found by their paths and an album's by its links:
    // cut by date, each range would walk them all again.
    if (scope.folder || scope.albumID) {
        return {};
    }
    return captureCuts(db_.get(), CatalogReaders::width() * rangesPerReader, tuning_.spreadFromRows);
}

std::int64_t MediaCatalog::galleryCount(const GalleryScope& scope)
{
    SqlPredicate where = scope.scopePredicate();
    const sqlite::ReadTransaction snapshot(db_.get());
    const DatabaseState state = databaseState();
    const DuplicateCandidates& candidates = duplicateCandidates(state);
    // Read in one statement: the scopes most reloads count walk a covering
    // index that way, which ranges of dates would trade for table rows.
    sqlite::Statement statement = prepare(QStringLiteral("SELECT rowid FROM media WHERE ") + where.where);
    statement.bindTexts(1, where.parameters);
    std::int64_t rows = 0;
    std::vector<std::int64_t> candidatesInScope;
    while (statement.nextRowChecked()) {
        ++rows;
        if (const std::int64_t rowid = statement.int64(0); candidates.contains(rowid)) {
            candidatesInScope.push_back(rowid);
        }
    }
    releasePassedPages();
    std::vector<std::int64_t> hidden = candidates.hiddenAmong(std::move(candidatesInScope), scope.offlineSources);
    const auto shown = rows - static_cast<std::int64_t>(hidden.size());
    lastCount_ = CountedScope{std::move(where), scope.offlineSources, state, rows, std::move(hidden)};
    return shown;
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
    if (!candidates_ || candidates_->first != state) {
        candidates_.reset(); // the old set is freed before the new one is read
        candidates_.emplace(state, DuplicateCandidates(*readers_));
    }
    return candidates_->second;
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
