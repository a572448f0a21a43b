#include "gallery/GalleryStoreBinding.h"

#include "gallery/GalleryGrid.h"
#include "store/LibraryStore.h"

namespace pivra {

namespace {

QSet<QUuid> offlineSources(const LibraryStore& store)
{
    QSet<QUuid> offline;
    for (const LibrarySource& source : store.sources()) {
        if (!source.isOnline) {
            offline.insert(source.id);
        }
    }
    return offline;
}

} // namespace

void bindGalleryToStore(GalleryGrid& grid, LibraryStore& store, std::function<void(const QString&)> createAlbum,
                        std::function<void(const MediaItem&)> reveal)
{
    GalleryCallbacks callbacks;
    callbacks.onSelect = [&store](const MediaItem& item) { store.openViewer(item); };
    callbacks.onFavorite = [&store](const QString& id) { store.toggleFavorite(id); };
    callbacks.onAddToAlbum = [&store](const QUuid& album, const QString& id) { store.addToAlbum(album, id); };
    callbacks.onRemoveFromAlbum = [&store](const QUuid& album, const QString& id) {
        store.removeFromAlbum(album, id);
    };
    callbacks.onCopy = [&store](const MediaItem& item) { store.copyItem(item); };
    callbacks.onCreateAlbum = std::move(createAlbum);
    callbacks.onReveal = std::move(reveal);
    grid.setCallbacks(std::move(callbacks));

    auto items = [&grid, &store] { grid.setItems(store.items(), store.itemsVersion()); };
    auto albums = [&grid, &store] { grid.setAlbums(store.albums()); };
    auto album = [&grid, &store] { grid.setCurrentAlbumID(store.selectedAlbumID()); };
    auto sources = [&grid, &store] { grid.setOfflineSourceIDs(offlineSources(store)); };
    QObject::connect(&store, &LibraryStore::itemsVersionChanged, &grid, items);
    QObject::connect(&store, &LibraryStore::itemsChanged, &grid, items);
    QObject::connect(&store, &LibraryStore::albumsChanged, &grid, albums);
    QObject::connect(&store, &LibraryStore::selectedAlbumIDChanged, &grid, album);
    QObject::connect(&store, &LibraryStore::sourcesChanged, &grid, sources);
    items();
    albums();
    album();
    sources();
}

} // namespace pivra
