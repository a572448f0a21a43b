// The user's own data in the catalog: albums and their members, favourites
// and the viewing rotation of items; and the one fact of an item the viewer
// learns, a video's length as it plays.
#include "catalog/MediaCatalog.h"

#include "catalog/CatalogRows.h"
#include "catalog/model/Uuid.h"


namespace pivra {

namespace {

enum AlbumListColumn { albumIDColumn, albumNameColumn, albumCountColumn, albumCoverColumn };

} // namespace

QList<Album> MediaCatalog::albums()
{
    // The count covers every link, also items the gallery hides; the cover is
    // the newest member that the gallery would show.
    sqlite::Statement list = prepare(QStringLiteral("SELECT a.id, a.name,\n"
                                                    "    (SELECT COUNT(*) FROM album_media WHERE album_id=a.id),\n"
                                                    "    (SELECT am.media_id FROM album_media AS am\n"
                                                    "     JOIN media ON media.id=am.media_id\n"
                                                    "     WHERE am.album_id=a.id AND ")
                                     + GalleryScope::visible(QStringLiteral("media"))
                                     + QStringLiteral("\n     ORDER BY media.captured DESC, media.id LIMIT 1)\n"
                                                      "FROM albums AS a ORDER BY a.created DESC, a.id"));
    sqlite::Statement cover =
        prepare(QStringLiteral("SELECT ") + indexColumns() + QStringLiteral(" FROM media WHERE id=?"));

    QList<Album> albums;
    while (list.nextRow()) {
        const std::optional<QString> idText = list.text(albumIDColumn);
        const std::optional<QUuid> id = idText ? parseUuid(*idText) : std::nullopt;
        const std::optional<QString> name = list.text(albumNameColumn);
        if (!id || !name) {
            continue;
        }
        Album album{*id, *name, static_cast<int>(list.int64(albumCountColumn)), std::nullopt};
        if (const std::optional<QString> coverID = list.text(albumCoverColumn)) {
            cover.resetForReuse();
            cover.bindText(1, *coverID);
            if (cover.nextRow()) {
                album.cover = readItem(cover);
            }
        }
        albums.append(std::move(album));
    }
    return albums;
}

QUuid MediaCatalog::createAlbum(const QString& name)
{
    const QUuid id = QUuid::createUuid();
    sqlite::Statement statement = prepare("INSERT INTO albums(id,name,created) VALUES (?,?,?)");
    statement.bindUuid(1, id);
    statement.bindText(2, name);
    statement.bindDouble(3, currentTimestamp());
    statement.run();
    return id;
}

void MediaCatalog::renameAlbum(const QUuid& albumID, const QString& name)
{
    sqlite::Statement statement = prepare("UPDATE albums SET name=? WHERE id=?");
    statement.bindText(1, name);
    statement.bindUuid(2, albumID);
    statement.run();
}

void MediaCatalog::deleteAlbum(const QUuid& albumID)
{
    sqlite::Statement statement = prepare("DELETE FROM albums WHERE id=?");
    statement.bindUuid(1, albumID);
    statement.run();
}

void MediaCatalog::addToAlbum(const QUuid& albumID, const QString& mediaID)
{
    // OR IGNORE keeps an existing link (and its date); it does not cover the
    // foreign key, so an unknown album fails the step.
    sqlite::Statement statement =
        prepare("INSERT OR IGNORE INTO album_media(album_id,media_id,added) SELECT ?,id,? FROM media WHERE id=?");
    statement.bindUuid(1, albumID);
    statement.bindDouble(2, currentTimestamp());
    statement.bindText(3, mediaID);
    statement.run();
}

void MediaCatalog::removeFromAlbum(const QUuid& albumID, const QString& mediaID)
{
    sqlite::Statement statement = prepare("DELETE FROM album_media WHERE album_id=? AND media_id=?");
    statement.bindUuid(1, albumID);
    statement.bindText(2, mediaID);
    statement.run();
}

void MediaCatalog::setFavorite(bool isFavorite, const QString& mediaID)
{
    sqlite::Statement statement = prepare("UPDATE media SET is_favorite=? WHERE id=?");
    statement.bindInt(1, isFavorite ? 1 : 0);
    statement.bindText(2, mediaID);
    statement.run();
}

void MediaCatalog::setRotation(int quarters, const QString& mediaID)
{
    sqlite::Statement statement = prepare("UPDATE media SET rotation_quarters=? WHERE id=?");
    statement.bindInt(1, quarters & 3); // two's complement: -1 stores 3, 5 stores 1
    statement.bindText(2, mediaID);
    statement.run();
}

void MediaCatalog::setStreamsDuration(double seconds, const QString& mediaID)
{
    sqlite::Statement statement =
        prepare("UPDATE media SET duration=?1 WHERE id=?2 AND kind='video' AND (duration IS NULL OR duration>?1)");
    statement.bindDouble(1, seconds);
    statement.bindText(2, mediaID);
    statement.run();
}

} // namespace pivra
