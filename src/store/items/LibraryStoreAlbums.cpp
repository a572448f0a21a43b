// Creating, renaming and deleting albums and changing their members.

#include "catalog/MediaCatalog.h"
#include "store/LibraryStore.h"

namespace pivra {

namespace {

// The name as stored: inner white space is the user's, the ends are not.
// None when nothing is left.
std::optional<QString> albumName(const QString& name)
{
    QString trimmed = name.trimmed();
    if (trimmed.isEmpty()) {
        return std::nullopt;
    }
    return trimmed;
}

// One job, so the new album never exists on its own while other catalog work
// could see it, except when adding the item fails.
void createAlbumInCatalog(MediaCatalog& catalog, const QString& name, const std::optional<QString>& itemID)
{
    const QUuid id = catalog.createAlbum(name);
    if (itemID) {
        catalog.addToAlbum(id, *itemID);
    }
}

void renameInCatalog(MediaCatalog& catalog, const QUuid& albumID, const QString& name)
{
    catalog.renameAlbum(albumID, name);
}

void deleteInCatalog(MediaCatalog& catalog, const QUuid& albumID, const QString&)
{
    catalog.deleteAlbum(albumID);
}

void addInCatalog(MediaCatalog& catalog, const QUuid& albumID, const QString& mediaID)
{
    catalog.addToAlbum(albumID, mediaID);
}

void removeInCatalog(MediaCatalog& catalog, const QUuid& albumID, const QString& mediaID)
{
    catalog.removeFromAlbum(albumID, mediaID);
}

} // namespace

void LibraryStore::createAlbum(const QString& name, const std::optional<QString>& itemID)
{
    assertMainThread();
    const std::optional<QString> trimmed = albumName(name);
    if (!trimmed || !catalog_) {
        return;
    }
    startTask(this, createAlbumWith(*trimmed, itemID));
}

void LibraryStore::renameAlbum(const QUuid& id, const QString& name)
{
    assertMainThread();
    if (const std::optional<QString> trimmed = albumName(name)) {
        startAlbumWrite(renameInCatalog, id, *trimmed, AfterAlbumWrite::nothing,
                        QStringLiteral("Could not rename this album."));
    }
}

void LibraryStore::deleteAlbum(const QUuid& id)
{
    startAlbumWrite(deleteInCatalog, id, QString(), AfterAlbumWrite::leaveShownAlbum,
                    QStringLiteral("Could not delete this album."));
}

void LibraryStore::addToAlbum(const QUuid& albumID, const QString& mediaID)
{
    startAlbumWrite(addInCatalog, albumID, mediaID, AfterAlbumWrite::reloadShownAlbum,
                    QStringLiteral("Could not add this item to the album."));
}

void LibraryStore::removeFromAlbum(const QUuid& albumID, const QString& mediaID)
{
    startAlbumWrite(removeInCatalog, albumID, mediaID, AfterAlbumWrite::reloadShownAlbum,
                    QStringLiteral("Could not remove this item from the album."));
}

void LibraryStore::startAlbumWrite(AlbumWrite write, const QUuid& albumID, const QString& text,
                                   AfterAlbumWrite after, const QString& failure)
{
    assertMainThread();
    if (catalog_) {
        startTask(this, writeAlbum(write, albumID, text, after, failure));
    }
}

// When the item cannot be added, the album stays in the catalog, and the
// list shows it only from its next refresh on.
Task<> LibraryStore::createAlbumWith(QString name, std::optional<QString> itemID)
{
    try {
        co_await catalog_->call(createAlbumInCatalog, name, itemID);
    } catch (const std::exception&) {
        setMessage(QStringLiteral("Could not create this album."));
        co_return;
    }
    co_await refreshAlbums();
}

// The selection is looked at once the catalog has answered: the album on
// screen then is the one that matters.
Task<> LibraryStore::writeAlbum(AlbumWrite write, QUuid albumID, QString text, AfterAlbumWrite after,
                                QString failure)
{
    try {
        co_await catalog_->call(write, albumID, text);
    } catch (const std::exception&) {
        setMessage(failure);
        co_return;
    }
    if (after == AfterAlbumWrite::leaveShownAlbum && selectedAlbumID_ == albumID) {
        selectAlbums();
    }
    co_await refreshAlbums();
    if (after == AfterAlbumWrite::reloadShownAlbum && selectedAlbumID_ == albumID) {
        co_await reload();
    }
}

} // namespace pivra
