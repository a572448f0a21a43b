// The gallery's queries: the whole index of a scope, its count, the keyset
// step to the next or previous item, and one item by id.
#include "catalog/MediaCatalog.h"

#include "catalog/CatalogRows.h"
#include "catalog/DuplicateSieve.h"

#include <algorithm>

#include <sqlite3.h>

namespace pivra {

namespace {

// The index statement selects `indexColumns`, then these two, which only the
// duplicate rules read.
constexpr int indexRowidColumn = 20;
constexpr TwinColumns indexTwinColumns{.rowid = indexRowidColumn, .sourceID = 1, .name = 3, .kind = 4, .captured = 5,
                                       .width = 7, .height = 8, .fileSize = 12, .thumbnailKey = 16,
                                       .relativePath = 21};

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

// The index and the count read the scope's rows once and leave the duplicate
// rules to DuplicateSieve, which hides the same rows as GalleryScope::predicate()
// (the neighbour step's SQL) at a fraction of the cost. Each runs in one read
// transaction, so the re-read of candidates sees the rows of the first pass.
std::vector<MediaItem> MediaCatalog::galleryIndex(const GalleryScope& scope)
{
    const SqlPredicate where = scope.scopePredicate();
    const sqlite::ReadTransaction snapshot(db_.get());
    sqlite::Statement statement = prepare(QStringLiteral("SELECT ") + indexColumns()
                                          + QStringLiteral(",rowid,relative_path FROM media WHERE ") + where.where
                                          + QStringLiteral(" ORDER BY captured DESC,id"));
    statement.bindTexts(1, where.parameters);
    bool hasRow = statement.nextRow(); // the snapshot begins with the first step
    const HiddenDuplicates* known = knownHiddenRows(where, scope.offlineSources);
    std::optional<DuplicateSieve> sieve;
    std::vector<MediaItem> items;
    std::vector<std::int64_t> itemRows;
    if (known != nullptr) {
        // A million items would otherwise be moved again at every growth.
        items.reserve(static_cast<std::size_t>(known->scopeRows));
        itemRows.reserve(static_cast<std::size_t>(known->scopeRows));
    } else {
        sieve.emplace(scope.offlineSources);
    }
    for (; hasRow; hasRow = statement.nextRow()) {
        if (sieve) {
            sieve->add(statement, indexTwinColumns);
        }
        if (std::optional<MediaItem> item = readItem(statement)) {
            items.push_back(std::move(*item));
            itemRows.push_back(statement.int64(indexRowidColumn));
        }
    }
    dropHidden(items, itemRows, sieve ? sieve->hiddenRows(db_.get()) : known->rows);
    return items;
}

std::int64_t MediaCatalog::galleryCount(const GalleryScope& scope)
{
    SqlPredicate where = scope.scopePredicate();
    const sqlite::ReadTransaction snapshot(db_.get());
    sqlite::Statement statement = prepare(QStringLiteral("SELECT ") + QLatin1StringView(DuplicateSieve::twinColumnList)
                                          + QStringLiteral(" FROM media WHERE ") + where.where);
    statement.bindTexts(1, where.parameters);
    DuplicateSieve sieve(scope.offlineSources);
    while (statement.nextRowChecked()) {
        sieve.add(statement, DuplicateSieve::twinColumns);
    }
    lastHidden_ = HiddenDuplicates{std::move(where), scope.offlineSources, databaseState(), sieve.rowCount(),
                                   sieve.hiddenRows(db_.get())};
    return sieve.rowCount() - static_cast<std::int64_t>(lastHidden_->rows.size());
}

std::pair<std::int64_t, std::int64_t> MediaCatalog::databaseState() const
{
    sqlite::Statement version = prepare("PRAGMA data_version");
    if (!version.nextRowChecked()) {
        throw CatalogError(CatalogError::Kind::step);
    }
    return {sqlite3_total_changes64(db_.get()), version.int64(0)};
}

const MediaCatalog::HiddenDuplicates* MediaCatalog::knownHiddenRows(const SqlPredicate& scope,
                                                                    const QList<QUuid>& offlineSources) const
{
    if (!lastHidden_ || lastHidden_->scope != scope || lastHidden_->offlineSources != offlineSources
        || lastHidden_->databaseState != databaseState()) {
        return nullptr;
    }
    return &*lastHidden_;
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
    statement.bindDouble(1, item.captureDate);
    statement.bindDouble(2, item.captureDate);
    statement.bindText(3, item.id);
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
