// The gallery's queries: the whole index of a scope, its count, the keyset
// step to the next or previous item, and one item by id.
#include "catalog/MediaCatalog.h"

#include "catalog/CatalogRows.h"

namespace pivra {

std::vector<MediaItem> MediaCatalog::galleryIndex(const GalleryScope& scope)
{
    const SqlPredicate predicate = scope.predicate();
    sqlite::Statement statement = prepare(QStringLiteral("SELECT ") + indexColumns()
                                          + QStringLiteral(" FROM media WHERE ") + predicate.where
                                          + QStringLiteral(" ORDER BY captured DESC,id"));
    statement.bindTexts(1, predicate.parameters);
    std::vector<MediaItem> items;
    while (statement.nextRow()) {
        if (std::optional<MediaItem> item = readItem(statement)) {
            items.push_back(std::move(*item));
        }
    }
    return items;
}

std::int64_t MediaCatalog::galleryCount(const GalleryScope& scope)
{
    const SqlPredicate predicate = scope.predicate();
    sqlite::Statement statement = prepare(QStringLiteral("SELECT COUNT(*) FROM media WHERE ") + predicate.where);
    statement.bindTexts(1, predicate.parameters);
    if (!statement.nextRow()) {
        throw CatalogError(CatalogError::Kind::step);
    }
    return statement.int64(0);
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
