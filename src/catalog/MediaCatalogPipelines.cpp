// What the background pipelines read and write: thumbnail candidates and
// outcomes, per-source thumbnail counts, preview-clip candidates, locations,
// the map, the coordinate cells and the folders of a source.
#include "catalog/MediaCatalog.h"

#include "catalog/CatalogRows.h"
#include "catalog/CatalogSummaries.h"
#include "catalog/model/CellKey.h"
#include "catalog/model/Uuid.h"

#include <sqlite3.h>

namespace pivra {

namespace {

QString visibleMedia()
{
    return GalleryScope::visible(QStringLiteral("media"));
}

// Binds the keyset tail " AND id>?" (when continuing) and the page size.
void bindPage(sqlite::Statement& statement, const std::optional<QString>& afterID, int limit)
{
    int index = 2;
    if (afterID) {
        statement.bindText(index++, *afterID);
    }
    statement.bindInt(index, limit);
}

QString pageTail(const std::optional<QString>& afterID)
{
    return (afterID ? QStringLiteral(" AND id>?") : QString()) + QStringLiteral(" ORDER BY id LIMIT ?");
}

std::vector<MediaItem> readItems(sqlite::Statement& statement)
{
    std::vector<MediaItem> items;
    while (statement.nextRow()) {
        if (std::optional<MediaItem> item = readItem(statement)) {
            items.push_back(std::move(*item));
        }
    }
    return items;
}

} // namespace

std::vector<MediaItem> MediaCatalog::thumbnailBatch(const QUuid& sourceID, const std::optional<QString>& afterID,
                                                    int limit)
{
    sqlite::Statement statement = prepare(
        QStringLiteral("SELECT ") + indexColumns()
        + QStringLiteral(" FROM media WHERE source_id=? AND thumbnail_key IS NULL AND thumbnail_failed=0 AND width>0 "
                         "AND height>0 AND ")
        + visibleMedia() + pageTail(afterID));
    statement.bindUuid(1, sourceID);
    bindPage(statement, afterID, limit);
    return readItems(statement);
}

bool MediaCatalog::setThumbnailKey(const QString& key, const QString& mediaID)
{
    sqlite::Statement statement =
        prepare("UPDATE media SET thumbnail_key=?,thumbnail_failed=0 WHERE id=? AND thumbnail_key IS NULL");
    statement.bindText(1, key);
    statement.bindText(2, mediaID);
    statement.run();
    return sqlite3_changes(db_.get()) > 0;
}

void MediaCatalog::setThumbnailFailed(const QString& mediaID, bool forGood)
{
    sqlite::Statement statement = prepare("UPDATE media SET thumbnail_failed=? WHERE id=? AND thumbnail_key IS NULL");
    statement.bindInt(1, forGood ? thumbnailFailedForGood : thumbnailFailedOnce);
    statement.bindText(2, mediaID);
    statement.run();
}

void MediaCatalog::retryFailedThumbnails(const QUuid& sourceID)
{
    sqlite::Statement statement =
        prepare("UPDATE media SET thumbnail_failed=0 WHERE source_id=? AND thumbnail_key IS NULL AND thumbnail_failed=1");
    statement.bindUuid(1, sourceID);
    statement.run();
}

QHash<QUuid, ThumbnailStatus> MediaCatalog::thumbnailStatuses()
{
    return CatalogSummaries::readThumbnailStatuses(db_.get());
}

std::vector<MediaItem> MediaCatalog::videoPreviewCandidates(const QUuid& sourceID)
{
    sqlite::Statement statement =
        prepare(QStringLiteral("SELECT ") + indexColumns()
                + QStringLiteral(" FROM media WHERE source_id=? AND kind='video' AND thumbnail_key IS NOT NULL AND ")
                + visibleMedia() + QStringLiteral(" GROUP BY thumbnail_key ORDER BY captured DESC"));
    statement.bindUuid(1, sourceID);
    return readItems(statement);
}

std::vector<LocationCandidate> MediaCatalog::locationBatch(const QUuid& sourceID,
                                                           const std::optional<QString>& afterID, int limit)
{
    sqlite::Statement statement =
        prepare(QStringLiteral("SELECT id,path,kind,metadata_json FROM media WHERE source_id=? AND location_checked=0")
                + pageTail(afterID));
    statement.bindUuid(1, sourceID);
    bindPage(statement, afterID, limit);
    std::vector<LocationCandidate> rows;
    while (statement.nextRow()) {
        std::optional<QString> id = statement.text(0);
        std::optional<QString> path = statement.text(1);
        const std::optional<QString> kindText = statement.text(2);
        const std::optional<MediaKind> kind = kindText ? mediaKindFromRaw(*kindText) : std::nullopt;
        if (!id || !path || !kind) {
            continue;
        }
        rows.push_back({std::move(*id), std::move(*path), *kind, statement.text(3)});
    }
    return rows;
}

void MediaCatalog::setLocations(const std::vector<LocationUpdate>& updates)
{
    if (updates.empty()) {
        return;
    }
    sqlite::Transaction transaction(db_.get());
    sqlite::Statement statement = prepare(
        "UPDATE media SET latitude=?,longitude=?,location_checked=1,metadata_json=COALESCE(?,metadata_json) WHERE id=?");
    for (const LocationUpdate& update : updates) {
        statement.resetForReuse();
        if (update.latitude && update.longitude) {
            statement.bindDouble(1, *update.latitude);
            statement.bindDouble(2, *update.longitude);
        } else {
            statement.bindNull(1);
            statement.bindNull(2);
        }
        statement.bindText(3, update.metadataJSON);
        statement.bindText(4, update.id);
        statement.run();
    }
    transaction.commit();
}

std::vector<MapPhoto> MediaCatalog::mapPhotos(const QList<QUuid>& excludedSources)
{
    QString sql = QStringLiteral("SELECT ") + indexColumns()
                  + QStringLiteral(",latitude,longitude FROM media WHERE latitude IS NOT NULL AND ") + visibleMedia();
    if (!excludedSources.isEmpty()) {
        sql += QStringLiteral(" AND NOT (") + sqlite::inTextList(QStringLiteral("source_id")) + u')';
    }
    sql += QStringLiteral(" GROUP BY COALESCE(thumbnail_key, id) ORDER BY captured DESC");
    sqlite::Statement statement = prepare(sql);
    if (!excludedSources.isEmpty()) {
        statement.bindText(1, sqlite::textList(uuidStrings(excludedSources)));
    }
    constexpr int latitudeColumn = 20;
    constexpr int longitudeColumn = 21;
    std::vector<MapPhoto> photos;
    while (statement.nextRow()) {
        if (std::optional<MediaItem> item = readItem(statement)) {
            photos.emplace_back(std::move(*item), statement.real(latitudeColumn), statement.real(longitudeColumn));
        }
    }
    return photos;
}

std::vector<PlaceCell> MediaCatalog::placeCells()
{
    // The cells come from the same key function the gallery's place clause
    // and the place namer use, so a cell listed here is exactly a cell a
    // place search matches; SQLite's own printf rounds some edges the other
    // way.
    sqlite::Statement statement = prepare(QStringLiteral("SELECT DISTINCT ") + QLatin1StringView(cellKeySqlFunction)
                                          + QStringLiteral("(latitude, longitude) FROM media WHERE latitude IS NOT NULL"));
    std::vector<PlaceCell> cells;
    while (statement.nextRow()) {
        const std::optional<QString> key = statement.text(0);
        const qsizetype comma = key ? key->indexOf(u',') : -1;
        if (comma < 0) {
            continue;
        }
        bool latitudeRead = false;
        bool longitudeRead = false;
        const double latitude = QStringView(*key).left(comma).toDouble(&latitudeRead);
        const double longitude = QStringView(*key).mid(comma + 1).toDouble(&longitudeRead);
        if (latitudeRead && longitudeRead) {
            cells.push_back({latitude, longitude});
        }
    }
    return cells;
}

QStringList MediaCatalog::indexedFolders(const QUuid& sourceID)
{
    return CatalogSummaries::readIndexedFolders(db_.get(), sourceID);
}

} // namespace pivra
