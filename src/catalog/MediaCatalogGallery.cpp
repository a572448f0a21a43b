// The gallery's queries: the whole index of a scope, its count, the keyset
// step to the next or previous item, and one item by id.
#include "catalog/MediaCatalog.h"

#include "catalog/CatalogRows.h"
#include "platform/Prefault.h"

#include <algorithm>
#include <functional>
#include <iterator>

#include <sqlite3.h>

namespace pivra {

namespace {

// The index statement selects `indexColumns`, then the rowid.
constexpr int indexRowidColumn = 20;

// Date ranges per reader when an index read is spread: more ranges than
// readers, so a reader that finishes early takes another.
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

    // SQLite steps a statement on one thread, so a large index is read as
    // ranges of capture dates on several connections, newest range first;
    // joined in that order they are the gallery order. A folder's rows are
    // found by their paths, so each range would walk the whole folder again.
    const std::size_t readers = CatalogReaders::width();
    const bool spread = counted != nullptr && counted->rows >= tuning_.spreadIndexFromRows && !scope.folder;
    const std::vector<double> cuts = spread ? captureCuts(readers * rangesPerReader) : std::vector<double>();
    std::vector<IndexPart> parts(cuts.size() + 1);
    const auto readPart = [&](sqlite3* db, std::size_t index) {
        QString sql = QStringLiteral("SELECT ") + indexColumns() + QStringLiteral(",rowid FROM media WHERE (")
                    + where.where + u')';
        sql += index > 0 ? QStringLiteral(" AND media.captured < ?") : QString();
        sql += index < cuts.size() ? QStringLiteral(" AND media.captured >= ?") : QString();
        sqlite::Statement statement(db, sql + QStringLiteral(" ORDER BY captured DESC,id"));
        int next = statement.bindTexts(1, where.parameters);
        if (index > 0) {
            statement.bindDouble(next++, cuts[index - 1]);
        }
        if (index < cuts.size()) {
            statement.bindDouble(next, cuts[index]);
        }
        readIndexPart(statement, candidates, hidden, parts[index]);
    };

    if (parts.size() == 1) {
        // A million items would otherwise be moved again at every growth.
        const std::size_t expected =
            counted != nullptr ? static_cast<std::size_t>(counted->rows) - counted->hidden.size() : 0;
        parts.front().items.reserve(expected);
        prefaultInBackground(parts.front().items.data(), expected * sizeof(MediaItem));
        readPart(db_.get(), 0);
        IndexPart& part = parts.front();
        if (hidden == nullptr) {
            dropHidden(part.items, part.itemRows,
                       candidates.hiddenAmong(std::move(part.candidatesInScope), scope.offlineSources));
        }
        return std::move(part.items);
    }

    readers_->forEach(parts.size(), readers, readPart);
    std::size_t total = 0;
    for (const IndexPart& part : parts) {
        total += part.items.size();
    }
    std::vector<MediaItem> items;
    items.reserve(total);
    for (IndexPart& part : parts) {
        std::move(part.items.begin(), part.items.end(), std::back_inserter(items));
        part.items = {};
    }
    return items;
}

std::vector<double> MediaCatalog::captureCuts(std::size_t parts) const
{
    // The dates of evenly spaced rowids stand in for all rows: a few hundred
    // place the cuts well enough to share the work, in a millisecond.
    constexpr int samples = 512;
    sqlite::Statement range = prepare("SELECT min(rowid),max(rowid) FROM media");
    if (!range.nextRowChecked() || range.isNull(0)) {
        return {};
    }
    const double first = static_cast<double>(range.int64(0));
    const double span = static_cast<double>(range.int64(1)) - first;
    sqlite::Statement sample = prepare("SELECT captured FROM media WHERE rowid>=? ORDER BY rowid LIMIT 1");
    std::vector<double> dates;
    for (int at = 0; at < samples; ++at) {
        sample.resetForReuse();
        sample.bindInt64(1, static_cast<std::int64_t>(first + span * at / samples));
        if (sample.nextRowChecked()) {
            dates.push_back(sample.real(0));
        }
    }
    std::sort(dates.begin(), dates.end(), std::greater<>());
    std::vector<double> cuts;
    for (std::size_t part = 1; part < parts && !dates.empty(); ++part) {
        const double cut = dates[part * dates.size() / parts];
        if (cuts.empty() || cut < cuts.back()) {
            cuts.push_back(cut);
        }
    }
    return cuts;
}

std::int64_t MediaCatalog::galleryCount(const GalleryScope& scope)
{
    SqlPredicate where = scope.scopePredicate();
    const sqlite::ReadTransaction snapshot(db_.get());
    const DatabaseState state = databaseState();
    const DuplicateCandidates& candidates = duplicateCandidates(state);
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
    std::vector<std::int64_t> hidden = candidates.hiddenAmong(std::move(candidatesInScope), scope.offlineSources);
    const auto shown = rows - static_cast<std::int64_t>(hidden.size());
    lastCount_ = CountedScope{std::move(where), scope.offlineSources, state, rows, std::move(hidden)};
    return shown;
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
